#include "sysutil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "pendingfile.h"

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset(other.release());
    }
    return *this;
}

int UniqueFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) {
        // Retrying close on EINTR is wrong on Linux: the descriptor is gone.
        ::close(fd_);
    }
    fd_ = fd;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const std::string& data) {
    return writeAll(fd, data.data(), data.size());
}

ssize_t readSome(int fd, void* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

LineReader::LineReader(const std::string& path, std::size_t maxLength)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)), maxLength_(maxLength) {}

bool LineReader::fill() {
    if (start_ > 0) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    char chunk[16384];
    ssize_t n = readSome(fd_.get(), chunk, sizeof chunk);
    if (n < 0) {
        failed_ = true;
        return false;
    }
    if (n == 0) {
        eof_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

LineReader::Result LineReader::next(std::string& line) {
    line.clear();
    if (!fd_.valid() || failed_) {
        return Result::Error;
    }
    std::size_t scanned = start_;
    for (;;) {
        std::size_t nl = buffer_.find('\n', scanned);
        if (nl != std::string::npos) {
            if (nl - start_ > maxLength_) {
                failed_ = true;
                return Result::TooLong;
            }
            line.assign(buffer_, start_, nl - start_);
            start_ = nl + 1;
            return Result::Line;
        }
        if (buffer_.size() - start_ > maxLength_) {
            failed_ = true;
            return Result::TooLong;
        }
        if (eof_) {
            if (buffer_.size() == start_) {
                return Result::End;
            }
            line.assign(buffer_, start_, std::string::npos);
            start_ = buffer_.size();
            return Result::Line;
        }
        scanned = buffer_.size() - start_;
        if (!fill() && failed_) {
            return Result::Error;
        }
        // fill() moved the unread text to the front of the buffer.
    }
}

LineReader::Result readFirstLine(const std::string& path, std::string& line) {
    LineReader reader(path);
    if (!reader.isOpen()) {
        line.clear();
        return LineReader::Result::Error;
    }
    return reader.next(line);
}

bool writeFileAtomic(const std::string& path, const std::string& content, mode_t mode) {
    PendingFile file;
    return file.open(path, mode) && file.commit(content);
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool makeDirectories(const std::string& path, mode_t mode) {
    if (path.empty()) {
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return isDirectory(path);
}
