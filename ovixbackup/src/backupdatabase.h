// The database role of a backup run: one SQL dump per database of one
// database server instance, into the set's db/data folder.
#ifndef OVIXBACKUP_BACKUPDATABASE_H
#define OVIXBACKUP_BACKUPDATABASE_H

#include <string>
#include <vector>

// Results of backupDatabaseServer.
constexpr int DB_BACKUP_DONE = 0;       // folders in place, whatever the single dumps did
constexpr int DB_BACKUP_NO_FOLDER = 1;  // a folder of the set could not be created

#define MYSQLDUMP_PATH "/usr/bin/mysqldump"
#define MYSQL_SERVICE_SCRIPT "/etc/init.d/mysqld"

class BackupDatabase {
public:
    BackupDatabase() = default;
    // location: the backup location.
    explicit BackupDatabase(std::string location);

    // Dumps every database of the list (entries "name" or "name:anything")
    // from the server at HostName:port into <set>/db/data/<name>. A dump
    // replaces the file of an earlier run only when it succeeded. The
    // password reaches the dump tool through its environment, never its
    // command line.
    int backupDatabaseServer(std::string HostName, int port, std::string AdminName,
                             std::string AdminPassword, std::vector<std::string>& database);

    // The database name of a list entry: the text before the first ":".
    static std::string databaseName(const std::string& entry);

private:
    bool dumpDatabase(const std::string& dataFolder, const std::string& name,
                      const std::string& HostName, int port, const std::string& AdminName,
                      const std::string& AdminPassword);

    std::string targetPath;
};

#endif
