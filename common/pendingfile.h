// A file that replaces its target whole or not at all. It is created as a
// temporary file beside the target (so that creating it proves the target's
// folder can take the new file) and renamed over the target only when
// committed; until then readers of the target see the old file.
#ifndef OVIX_COMMON_PENDINGFILE_H
#define OVIX_COMMON_PENDINGFILE_H

#include <sys/types.h>

#include <string>

#include "sysutil.h"

class PendingFile {
public:
    PendingFile() = default;
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file for target with the given mode. False when
    // it cannot be created, or when target is a folder (it could never be
    // replaced).
    bool open(const std::string& target, mode_t mode);

    // The temporary file's path while it is open, else empty.
    const std::string& tempPath() const { return tempPath_; }

    // Writes content, flushes it to disk and renames the temporary file over
    // the target. False on failure, the target untouched and the temporary
    // file removed.
    bool commit(const std::string& content);

    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    std::string target_;
    std::string tempPath_;
    UniqueFd fd_;
};

#endif
