// One backup run: fixes the run's stamp, keeps the daemon log open, finds the
// Ovix Server and reads the run settings. Role classes reach the running
// manager through BackupManager::getPtr() for logging, the stamp and panel
// configuration lookups.
#ifndef OVIXBACKUP_BACKUPMANAGER_H
#define OVIXBACKUP_BACKUPMANAGER_H

#include <fstream>
#include <string>
#include <vector>

// The log switch: when this file exists the daemon stays in the foreground
// and every run prints its protocol traces.
#define LOG_SWITCH_FILE "/usr/local/ovix/etc/enablekestrunlog"

// Files under the install folder.
#define BACKUP_CONF_FILE "/etc/ovixbackup.conf"
#define DAEMON_LOG_FOLDER "/log"
#define DAEMON_LOG_FILE "/log/ovixbackup.log"

// Results of startBackup.
constexpr int BACKUP_RUN_DONE = 1;
constexpr int BACKUP_RUN_ABORTED = 0;

class BackupManager {
public:
    BackupManager();
    ~BackupManager();
    BackupManager(const BackupManager&) = delete;
    BackupManager& operator=(const BackupManager&) = delete;

    // The manager of the running backup, or nullptr between runs.
    static BackupManager* getPtr();

    // Runs one backup. Returns BACKUP_RUN_DONE when the roles were processed,
    // BACKUP_RUN_ABORTED when the run ended early.
    int startBackup();

    // Appends one line to the daemon log; prints "Cannot open LogFile" when
    // the log cannot be opened.
    void logMessage(const std::string& message);

    // Today's stamp.
    std::string currentTimeStamp();
    // The stamp fixed when this run began.
    std::string getBackupDateTime() const { return backupDateTime; }
    const std::string& insFolder() const { return ovixInsFolder; }
    const std::string& serverIP() const { return OvixServerIP; }

    // True when the log switch file exists.
    static bool isLogSwitchOn();

private:
    bool openLog();

    std::string backupDateTime;
    std::ofstream logFile;
    std::string ovixInsFolder;
    std::string OvixServerIP;

    static BackupManager* ptr;
};

#endif
