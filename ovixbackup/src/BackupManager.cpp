#include "BackupManager.h"

#include <iostream>

#include "backupset.h"
#include "ovixconfig.h"
#include "ovixserver.h"
#include "sysutil.h"

namespace msg {
const char* const kCannotOpenLog = "Cannot open LogFile";
const char* const kNoServerIP = "Cannot find Ovix Server IP";
const char* const kNoConfFile = "cannot open backup configuration file";
}  // namespace msg

BackupManager* BackupManager::ptr = nullptr;

BackupManager::BackupManager() {
    ptr = this;
    getParamFromOvixConfFile(OVIXCONFFILE, ovixInsFolder, "InsFolder");
    openLog();
    backupDateTime = currentTimeStamp();
}

BackupManager::~BackupManager() {
    logFile.close();
    if (ptr == this) {
        ptr = nullptr;
    }
}

BackupManager* BackupManager::getPtr() { return ptr; }

bool BackupManager::isLogSwitchOn() { return pathExists(LOG_SWITCH_FILE); }

bool BackupManager::openLog() {
    if (ovixInsFolder.empty()) {
        return false;
    }
    // A fresh install may not have its log folder yet.
    makeDirectories(ovixInsFolder + DAEMON_LOG_FOLDER, 0755);
    logFile.clear();
    logFile.open(ovixInsFolder + DAEMON_LOG_FILE, std::ios::out | std::ios::app);
    return logFile.is_open();
}

void BackupManager::logMessage(const std::string& message) {
    if (!logFile.is_open() || !logFile.good()) {
        logFile.close();
        if (!openLog()) {
            std::cout << msg::kCannotOpenLog << std::endl;
            return;
        }
    }
    logFile << message << '\n';
    logFile.flush();
}

std::string BackupManager::currentTimeStamp() {
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    return backupStamp(local);
}

int BackupManager::startBackup() {
    OvixServerIP = getOvixServerIP(ovixInsFolder);
    if (ovixInsFolder.empty() || OvixServerIP.empty()) {
        std::cout << msg::kNoServerIP << std::endl;
        return BACKUP_RUN_ABORTED;
    }
    std::string line;
    LineReader::Result read = readFirstLine(ovixInsFolder + BACKUP_CONF_FILE, line);
    logMessage("-------------Starting backup at " + currentTimeStamp() + "------------------");
    if (read == LineReader::Result::Error) {
        logMessage(msg::kNoConfFile);
        std::cout << msg::kNoConfFile << std::endl;
        return BACKUP_RUN_ABORTED;
    }
    return BACKUP_RUN_DONE;
}
