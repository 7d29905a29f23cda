#include "backupdatabase.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "BackupManager.h"
#include "backupset.h"
#include "command.h"
#include "sysutil.h"

namespace msg {
const char* const kCannotBackup = "Cannot backup database ";
}  // namespace msg

BackupDatabase::BackupDatabase(std::string location) : targetPath(std::move(location)) {}

std::string BackupDatabase::databaseName(const std::string& entry) {
    return entry.substr(0, entry.find(':'));
}

int BackupDatabase::backupDatabaseServer(std::string HostName, int port, std::string AdminName,
                                         std::string AdminPassword,
                                         std::vector<std::string>& database) {
    BackupManager* manager = BackupManager::getPtr();
    // The service's answer does not matter: a server that is down makes every
    // dump fail, and each failure is logged.
    Command(MYSQL_SERVICE_SCRIPT).arg("start").run();

    const std::string root = backupSetRoot(targetPath, manager->getBackupDateTime());
    const std::string dataFolder = root + "/db/data";
    if (!manager->makeBackupFolder(root) || !manager->makeBackupFolder(root + "/db") ||
        !manager->makeBackupFolder(dataFolder)) {
        return DB_BACKUP_NO_FOLDER;
    }
    for (const std::string& entry : database) {
        const std::string name = databaseName(entry);
        if (!isSafeSetFileName(name) ||
            !dumpDatabase(dataFolder, name, HostName, port, AdminName, AdminPassword)) {
            manager->logMessage(msg::kCannotBackup + entry);
            std::cout << msg::kCannotBackup << entry << std::endl;
        }
    }
    return DB_BACKUP_DONE;
}

bool BackupDatabase::dumpDatabase(const std::string& dataFolder, const std::string& name,
                                  const std::string& HostName, int port,
                                  const std::string& AdminName, const std::string& AdminPassword) {
    // The dump goes to a temporary file first, so a failed dump never
    // replaces the good dump of an earlier run of the same day.
    std::string pattern = dataFolder + "/.dump-XXXXXX";
    UniqueFd fd(mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return false;
    }
    fd.reset();
    const std::string finalPath = dataFolder + "/" + name;
    int status = Command(MYSQLDUMP_PATH)
                     .arg("--result-file=" + pattern)
                     .args({"--compact", "--force", "-n", "--add-drop-table"})
                     // A compact dump names no character set: pin the one
                     // that holds every text, and restores load it with it.
                     .arg("--default-character-set=utf8mb4")
                     .args({"-h", HostName, "-u", AdminName, "--port=" + std::to_string(port)})
                     .args({"--databases", "--", name})
                     .setEnv("MYSQL_PWD", AdminPassword)
                     .run();
    if (status == 0 && std::rename(pattern.c_str(), finalPath.c_str()) == 0) {
        return true;
    }
    unlink(pattern.c_str());
    return false;
}
