#include "command.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "sysutil.h"

extern char** environ;

namespace {

// Builds the child's environment: ours, with the overrides replacing
// variables of the same name.
std::vector<std::string> childEnvironment(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string entry(*e);
        bool overridden = false;
        for (const auto& o : overrides) {
            if (entry.compare(0, o.first.size() + 1, o.first + "=") == 0) {
                overridden = true;
                break;
            }
        }
        if (!overridden) {
            env.push_back(entry);
        }
    }
    for (const auto& o : overrides) {
        env.push_back(o.first + "=" + o.second);
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

void closeDescriptorsFrom(int first) {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, first, ~0U, 0) == 0) {
        return;
    }
#endif
    long max = ::sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536) {
        max = 65536;
    }
    for (int fd = first; fd < max; ++fd) {
        ::close(fd);
    }
}

// In the child: only async-signal-safe calls from here to execve. Reports
// errno through the status pipe and exits if anything fails.
[[noreturn]] void execChild(int stdinFd, int stdoutFd, bool mergeStderr, int statusFd,
                            char* const* argv, char* const* envp) {
    if (::dup2(stdinFd, STDIN_FILENO) < 0 ||
        (stdoutFd >= 0 && ::dup2(stdoutFd, STDOUT_FILENO) < 0) ||
        (mergeStderr && ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0)) {
        int err = errno;
        writeAll(statusFd, &err, sizeof err);
        ::_exit(COMMAND_NOT_EXECUTABLE);
    }
    // Our own descriptors are not the child's business; the status pipe is
    // close-on-exec and closes itself when execve succeeds.
    if (statusFd != 3 && ::dup2(statusFd, 3) == 3) {
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
        statusFd = 3;
    }
    closeDescriptorsFrom(statusFd + 1);
    // A parent that ignores SIGPIPE must not hand that to the programs it runs.
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    ::execvpe(argv[0], argv, envp);
    int err = errno;
    writeAll(statusFd, &err, sizeof err);
    ::_exit(err == ENOENT ? COMMAND_NOT_FOUND : COMMAND_NOT_EXECUTABLE);
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return COMMAND_NOT_STARTED;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return COMMAND_NOT_STARTED;
}

// Reads the child's output to its end, keeping at most limit bytes. Returns
// false when more arrived than the limit allows.
bool drain(int fd, std::string& output, std::size_t limit) {
    bool fits = true;
    char chunk[65536];
    for (;;) {
        ssize_t n = readSome(fd, chunk, sizeof chunk);
        if (n <= 0) {
            return fits;
        }
        std::size_t room = limit - output.size();
        if (static_cast<std::size_t>(n) > room) {
            output.append(chunk, room);
            fits = false;
        } else {
            output.append(chunk, static_cast<std::size_t>(n));
        }
    }
}

}  // namespace

Command::Command(std::string program) : program_(std::move(program)) {}

Command& Command::arg(std::string value) {
    args_.push_back(std::move(value));
    return *this;
}

Command& Command::args(const std::vector<std::string>& values) {
    args_.insert(args_.end(), values.begin(), values.end());
    return *this;
}

Command& Command::setEnv(std::string name, std::string value) {
    env_.emplace_back(std::move(name), std::move(value));
    return *this;
}

Command& Command::stdinFrom(std::string path) {
    stdinPath_ = std::move(path);
    return *this;
}

Command& Command::stdoutTo(std::string path, mode_t mode) {
    out_ = Out::File;
    stdoutPath_ = std::move(path);
    stdoutMode_ = mode;
    return *this;
}

Command& Command::captureOutput(std::string* output, std::size_t limit) {
    out_ = Out::Capture;
    output_ = output;
    captureLimit_ = limit;
    return *this;
}

Command& Command::mergeStderr() {
    mergeStderr_ = true;
    return *this;
}

Command& Command::quiet() {
    out_ = Out::Null;
    mergeStderr_ = true;
    return *this;
}

std::vector<std::string> Command::argv() const {
    std::vector<std::string> all;
    all.reserve(args_.size() + 1);
    all.push_back(program_);
    all.insert(all.end(), args_.begin(), args_.end());
    return all;
}

int Command::run() {
    if (output_ != nullptr) {
        output_->clear();
    }
    if (program_.empty()) {
        return COMMAND_NOT_FOUND;
    }
    std::vector<std::string> argvStrings = argv();
    std::vector<std::string> envStrings = childEnvironment(env_);
    std::vector<char*> argvPtrs = pointers(argvStrings);
    std::vector<char*> envPtrs = pointers(envStrings);

    UniqueFd input(::open(stdinPath_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!input.valid()) {
        return COMMAND_NOT_STARTED;
    }
    UniqueFd outWrite;
    UniqueFd outRead;
    if (out_ == Out::File) {
        outWrite.reset(
            ::open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, stdoutMode_));
    } else if (out_ == Out::Null) {
        outWrite.reset(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    } else if (out_ == Out::Capture) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            outRead.reset(fds[0]);
            outWrite.reset(fds[1]);
        }
    }
    if (out_ != Out::Inherit && !outWrite.valid()) {
        return COMMAND_NOT_STARTED;
    }
    int statusPipe[2];
    if (::pipe2(statusPipe, O_CLOEXEC) != 0) {
        return COMMAND_NOT_STARTED;
    }
    UniqueFd statusRead(statusPipe[0]);
    UniqueFd statusWrite(statusPipe[1]);

    pid_t pid = ::fork();
    if (pid < 0) {
        return COMMAND_NOT_STARTED;
    }
    if (pid == 0) {
        execChild(input.get(), outWrite.get(), mergeStderr_, statusWrite.get(), argvPtrs.data(),
                  envPtrs.data());
    }
    statusWrite.reset();
    outWrite.reset();
    input.reset();

    bool fits = true;
    if (outRead.valid()) {
        std::string sink;
        fits = drain(outRead.get(), output_ != nullptr ? *output_ : sink, captureLimit_);
    }
    int childErrno = 0;
    bool execFailed = readSome(statusRead.get(), &childErrno, sizeof childErrno) ==
                      static_cast<ssize_t>(sizeof childErrno);
    int status = waitForChild(pid);
    if (execFailed) {
        return childErrno == ENOENT ? COMMAND_NOT_FOUND : COMMAND_NOT_EXECUTABLE;
    }
    if (!fits) {
        return COMMAND_OUTPUT_TOO_LARGE;
    }
    return status;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += "'";
    return quoted;
}
