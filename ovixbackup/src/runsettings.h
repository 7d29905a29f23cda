// The settings of one backup run, as read from the backup configuration
// file. Pure functions: the manager reads the file, this makes sense of it.
#ifndef OVIXBACKUP_RUNSETTINGS_H
#define OVIXBACKUP_RUNSETTINGS_H

#include <string>
#include <vector>

#define DEFAULT_BACKUP_LOCATION "/usr/local/OvixBackup/"

struct RunSettings {
    std::string backupWebserver;  // a role runs when its flag is "yes" exactly
    bool backupWebspace = true;   // "yes" ignoring case, or absent
    std::vector<std::string> dirFilter;
    std::vector<std::string> fileFilter;
    std::string backupMailServer;
    std::string backupDNSServer;
    std::string backupDatabaseServer;
    std::string backupType;
    std::string backupPath = DEFAULT_BACKUP_LOCATION;
    std::string ftpServer;
    std::string ftpPort;
    std::string ftpUserName;
    std::string ftpPassword;
    int purgeTime = 0;  // days; 0 or less means no purge

    bool isRemote() const { return backupType == "remote"; }
    // The backup location: backupPath with one trailing "/" removed.
    std::string location() const;
};

// Reads the run settings from a parsed configuration. Entry 0 (the action)
// is skipped unchecked; names are compared ignoring case; a later entry
// replaces an earlier value, except the two filter lists, which grow.
RunSettings readRunSettings(const std::vector<std::string>& entries);

#endif
