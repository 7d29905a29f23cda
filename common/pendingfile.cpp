#include "pendingfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>
#include <vector>

PendingFile::~PendingFile() {
    discard();
}

bool PendingFile::open(const std::string& target, mode_t mode) {
    discard();
    if (isDirectory(target)) {
        return false;
    }
    const std::string pattern = target + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    const std::string tempPath(name.data());
    if (::fchmod(fd.get(), mode) != 0) {
        ::unlink(tempPath.c_str());
        return false;
    }
    target_ = target;
    tempPath_ = tempPath;
    fd_ = std::move(fd);
    return true;
}

bool PendingFile::commit(const std::string& content) {
    if (!fd_.valid()) {
        return false;
    }
    bool ok = writeAll(fd_.get(), content) && ::fsync(fd_.get()) == 0;
    ok = ::close(fd_.release()) == 0 && ok;
    if (!ok || ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        discard();
        return false;
    }
    tempPath_.clear();
    return true;
}

void PendingFile::discard() {
    fd_.reset();
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}
