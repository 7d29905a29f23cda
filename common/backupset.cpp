#include "backupset.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string backupStamp(const struct tm& day) {
    int year = (day.tm_year + 1900) % 100;
    std::string twoDigits = (year < 10 ? "0" : "") + std::to_string(year);
    return std::to_string(day.tm_mday) + "-" + std::to_string(day.tm_mon + 1) + "-" + twoDigits;
}

std::string backupSetRoot(const std::string& location, const std::string& stamp) {
    return location + "/" BACKUPSET_PREFIX "-" + stamp;
}

bool isSafeSetFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7f) {
            return false;
        }
    }
    return true;
}

bool createBackupFolder(const std::string& path) {
    return ::mkdir(path.c_str(), kBackupFolderMode) == 0 || errno == EEXIST;
}

bool giveBackupFolderToRoot(const std::string& path) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (const struct passwd* root = ::getpwnam("root")) {
        uid = root->pw_uid;
        gid = root->pw_gid;
    }
    return ::chmod(path.c_str(), kBackupFolderMode) == 0 && ::chown(path.c_str(), uid, gid) == 0;
}
