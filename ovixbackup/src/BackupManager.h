// One backup run: fixes the run's stamp, keeps the daemon log open, finds the
// Ovix Server, reads the run settings, purges old sets and, role by role,
// asks the Ovix Server what to back up. Role classes reach the running
// manager through BackupManager::getPtr() for logging, the stamp and panel
// configuration lookups.
#ifndef OVIXBACKUP_BACKUPMANAGER_H
#define OVIXBACKUP_BACKUPMANAGER_H

#include <cstddef>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "runsettings.h"

// The log switch: when this file exists the daemon stays in the foreground
// and every run prints its protocol traces.
#define LOG_SWITCH_FILE "/usr/local/ovix/etc/enablekestrunlog"

// Files under the install folder.
#define BACKUP_CONF_FILE "/etc/ovixbackup.conf"
#define DAEMON_LOG_FOLDER "/log"
#define DAEMON_LOG_FILE "/log/ovixbackup.log"

// Logged and printed when the backup configuration cannot be used, followed
// by the reason: the parser's message, or the line being too long.
#define BAD_CONFIGURATION_MESSAGE "Backup configuration file cannot be read, skipped: "
#define CONFIGURATION_LINE_TOO_LONG "first line too long"

// Results of startBackup.
constexpr int BACKUP_RUN_DONE = 1;
constexpr int BACKUP_RUN_ABORTED = 0;

class OvixServerExchange;
struct RoleQuestion;

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

    // Makes one folder of a backup set (its parent must exist) with mode 0744,
    // owned by root. A folder that exists already is left as it is. On
    // failure prints and logs "Cannot create folder <path>" and returns false.
    bool makeBackupFolder(const std::string& path);

    // Age in seconds of the backup set called szDIRName; false (diffEpoc
    // untouched) when the name is no backup set name.
    bool parseDIRName(std::string szDIRName, long& diffEpoc);

    // Deletes the backup sets in szBackupPath that are purgeTime seconds old
    // or older; nothing else in the folder is touched.
    void purgeLocalBackup(std::string szBackupPath, long purgeTime);

    // True when the log switch file exists.
    static bool isLogSwitchOn();

private:
    bool openLog();
    bool readSettings(RunSettings& settings);
    bool acceptDomainName(const std::string& name);
    int askForRole(const RoleQuestion& question, OvixServerExchange& exchange);
    void reportNoConnection(const RoleQuestion& question);

    void backupDNSRole();
    void backupMailRole();
    void backupDatabaseRole(const RunSettings& settings);
    void backupWebRole();

    std::string backupDateTime;
    std::ofstream logFile;
    std::string ovixInsFolder;
    std::string OvixServerIP;
    bool trace = false;

    static BackupManager* ptr;
};

#endif
