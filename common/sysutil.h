// The one layer over raw system calls: descriptors that close themselves,
// reads and writes that survive EINTR and short transfers, bounded line
// reading, and files that are replaced whole or not at all.
#ifndef OVIX_COMMON_SYSUTIL_H
#define OVIX_COMMON_SYSUTIL_H

#include <sys/types.h>

#include <cstddef>
#include <string>

// Longest line any reader of the suite accepts. Files are small; the cap only
// keeps a runaway file from taking all memory.
constexpr std::size_t kMaxLineLength = 1024 * 1024;

// Owns a file descriptor and closes it when it goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives up ownership without closing.
    int release();
    // Closes the descriptor held (if any) and takes fd instead.
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Writes all of data; false on any error (errno is set).
bool writeAll(int fd, const void* data, std::size_t size);
bool writeAll(int fd, const std::string& data);

// Reads up to size bytes, retrying on EINTR; returns what read(2) returns.
ssize_t readSome(int fd, void* buffer, std::size_t size);

// Reads a text file line by line. A line is returned without its line feed
// (a carriage return before it is kept); the last line counts even without a
// line feed. Lines longer than the limit are reported, never cut silently.
class LineReader {
public:
    enum class Result { Line, End, TooLong, Error };

    explicit LineReader(const std::string& path, std::size_t maxLength = kMaxLineLength);
    bool isOpen() const { return fd_.valid(); }
    Result next(std::string& line);

private:
    bool fill();

    UniqueFd fd_;
    std::size_t maxLength_;
    std::string buffer_;
    std::size_t start_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// Reads the first line of a file. Returns Line, End (empty file), TooLong or
// Error (also when the file cannot be opened).
LineReader::Result readFirstLine(const std::string& path, std::string& line);

// Replaces path with content: writes a temporary file in the same folder with
// the given mode, flushes it and renames it over path, so a reader sees the
// old file or the new one, never a half-written one. False on failure, in
// which case path is untouched and the temporary file is removed. (A file
// whose content is known only later is a PendingFile.)
bool writeFileAtomic(const std::string& path, const std::string& content, mode_t mode);

// True when path names an existing folder (following links).
bool isDirectory(const std::string& path);

// Creates path and any missing parent folders with mode (as mkdir -p
// would). True when path is a folder afterwards.
bool makeDirectories(const std::string& path, mode_t mode);

// True when path exists, whatever it is.
bool pathExists(const std::string& path);

#endif
