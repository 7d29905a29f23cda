// The database role of a restore: recreates each database of one database
// server instance from its dump in the backup set and gives the database's
// user its privileges back.
#ifndef KESTRUN_RESTOREDBSERVER_H
#define KESTRUN_RESTOREDBSERVER_H

#include <string>
#include <vector>

// Results of restoreDatabaseServer.
constexpr int DB_RESTORE_DONE = 0;        // the server was reached
constexpr int DB_RESTORE_NO_SERVER = -1;  // no client handle, or no connection

#define MYSQL_CLIENT_PATH "/usr/bin/mysql"
#define DEFAULT_DATABASE_SERVICE "/etc/init.d/mysqld"

class RestoreDBServer {
public:
    RestoreDBServer() = default;
    // setFolder: the backup set folder.
    explicit RestoreDBServer(std::string setFolder);
    ~RestoreDBServer() = default;

    // Restarts the database service, connects to dbServer:port as dbAdmin
    // and, for every entry "database:user" (or "database" for both), creates
    // the database, loads its dump <set>/db/data/<database> with the mysql
    // client and grants the user all privileges on it, from any host and
    // from localhost, with the user name as password. The administrator
    // password reaches the client in its environment, never its command line.
    int restoreDatabaseServer(std::string dbServer, int port, std::string dbAdmin,
                              std::string password, std::vector<std::string>& database);

    // Splits an entry at its first ":" into database and user names.
    static void splitEntry(const std::string& entry, std::string& databaseName,
                           std::string& userName);

private:
    std::string backupPath;
};

#endif
