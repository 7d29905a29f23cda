// The wizard's settings and the one line of the backup configuration file
// that carries them to the daemon. Pure functions: the dialogue gathers the
// settings, this turns them into the file's text.
#ifndef SERVERBACKUP_BACKUPCONFIG_H
#define SERVERBACKUP_BACKUPCONFIG_H

#include <string>
#include <vector>

// Where backups go when the administrator names no folder.
constexpr const char* kDefaultBackupPath = "/usr/local/OvixBackup/";

// The backup configuration file, below the install folder.
constexpr const char* kBackupConfFile = "/etc/ovixbackup.conf";

// The answers of one dialogue, kept as the texts the file carries.
struct BackupConfig {
    std::string backupWebserver = "no";  // role flags: "yes" or "no"
    std::string backupWebspace = "yes";
    std::vector<std::string> dirFilter;
    std::vector<std::string> fileFilter;  // each begins with "."
    std::string backupMailServer = "no";
    std::string backupDNSServer = "no";
    std::string backupDatabaseServer = "no";
    std::string backupType;  // "local" or "remote"
    std::string backupPath;  // local folder, ending in "/"
    std::string ftpServer;
    std::string ftpPort;
    std::string ftpUserName;
    std::string ftpPassword;
    std::string backupScheduleType;  // "daily", "weekly" or "monthly"
    std::string backupTime;          // as typed, e.g. "2:30"
    std::string backupWeekDay;       // the digit chosen, "0" (Sunday) to "6"
    std::string backupMonthDay;      // as typed, "1" to "28" or "01"
    int purgeTime = 0;               // days; 0 when old backups are kept
};

// Takes the server's roles from a GetServerRoles answer (entry 0, the
// action, is not looked at). A role is present only when its value is "yes"
// exactly; its flag becomes "yes", any other value "no", so that the file
// never carries a value it cannot hold. The last entry of a role wins.
// Returns true when the answer names at least one of the four roles, whatever
// their values.
bool applyServerRoles(const std::vector<std::string>& entries, BackupConfig& config);

// The configuration line, without its line feed: the command element with
// the parameters present for these settings, in the file's fixed order. The
// week day is written with a "0" in front, a one-character month day too,
// and the purge age as two digits at least.
std::string buildConfPacket(const BackupConfig& config);

#endif
