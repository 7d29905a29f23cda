// The one way the suite runs external programs. The program and each
// argument are separate values handed to execve unchanged: no shell ever sees
// a name that came from the Ovix Server, a backup set or a file. The child
// gets /dev/null (or a named file) as standard input, no descriptors of ours
// beyond the standard three, and our environment plus any variables set here
// (how secrets such as database passwords reach a child without appearing on
// its command line).
#ifndef OVIX_COMMON_COMMAND_H
#define OVIX_COMMON_COMMAND_H

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Results of Command::run besides a program's own exit status (0 to 255) and
// 128 + signal number for a program killed by a signal.
constexpr int COMMAND_NOT_STARTED = -1;       // fork, pipe or a redirection failed
constexpr int COMMAND_OUTPUT_TOO_LARGE = -2;  // captured output passed its limit
constexpr int COMMAND_NOT_FOUND = 127;        // as a shell reports it
constexpr int COMMAND_NOT_EXECUTABLE = 126;

// Captured output beyond this is refused rather than cut silently.
constexpr std::size_t kDefaultCaptureLimit = 16 * 1024 * 1024;

class Command {
public:
    // program is looked up in PATH when it holds no "/".
    explicit Command(std::string program);

    Command& arg(std::string value);
    Command& args(const std::vector<std::string>& values);
    // Sets (or overrides) one variable of the child's environment.
    Command& setEnv(std::string name, std::string value);
    // Standard input from a file instead of /dev/null.
    Command& stdinFrom(std::string path);
    // Standard output into a file, created or truncated with the given mode.
    Command& stdoutTo(std::string path, mode_t mode = 0600);
    // Standard output captured into *output (replaced), at most limit bytes.
    Command& captureOutput(std::string* output, std::size_t limit = kDefaultCaptureLimit);
    // Standard error goes wherever standard output goes.
    Command& mergeStderr();
    // Standard output and error discarded.
    Command& quiet();

    // Runs the program and waits for it. Returns its exit status, 128 + the
    // signal that ended it, COMMAND_NOT_FOUND / COMMAND_NOT_EXECUTABLE when it
    // could not be executed, COMMAND_NOT_STARTED when the child could not be
    // set up, or COMMAND_OUTPUT_TOO_LARGE (after the child ended) when the
    // captured output passed its limit.
    int run();

    // The program followed by its arguments, as execve receives them.
    std::vector<std::string> argv() const;

private:
    enum class Out { Inherit, File, Capture, Null };

    std::string program_;
    std::vector<std::string> args_;
    std::vector<std::pair<std::string, std::string>> env_;
    std::string stdinPath_ = "/dev/null";
    Out out_ = Out::Inherit;
    std::string stdoutPath_;
    mode_t stdoutMode_ = 0600;
    std::string* output_ = nullptr;
    std::size_t captureLimit_ = kDefaultCaptureLimit;
    bool mergeStderr_ = false;
};

// Quotes text for a POSIX shell so that it stands for itself as one word.
// Only for the rare place where a shell feature is truly needed; everything
// else uses Command's argument vector.
std::string shellQuote(const std::string& text);

#endif
