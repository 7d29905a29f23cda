#include "restoredbserver.h"

#include <mysql.h>

#include <iostream>
#include <memory>

#include "backupset.h"
#include "command.h"
#include "ovixconfig.h"
#include "ovixrestoremanager.h"

namespace msg {
const char* const kNoHandle = "unable to initialize mysql";
const char* const kNoConnection = "Unable to connect to database server";
const char* const kCannotCreate = "Cannot create database";
const char* const kCannotLoad = "Cannot resote database ----- ";
const char* const kCannotSelect = "Cannot change DB ";
const char* const kCannotGrant = "cannot create user -----";
}  // namespace msg

namespace {

constexpr unsigned kConnectTimeoutSeconds = 30;

struct MysqlClose {
    void operator()(MYSQL* handle) const { mysql_close(handle); }
};
using MysqlHandle = std::unique_ptr<MYSQL, MysqlClose>;

// An identifier in backquotes, embedded backquotes doubled.
std::string quoteName(const std::string& name) {
    std::string quoted = "`";
    for (char c : name) {
        quoted += c;
        if (c == '`') {
            quoted += '`';
        }
    }
    return quoted + "`";
}

// A string literal escaped by the client library for this connection.
std::string quoteString(MYSQL* handle, const std::string& text) {
    std::string buffer(text.size() * 2 + 1, '\0');
    unsigned long length =
        mysql_real_escape_string(handle, buffer.data(), text.c_str(), text.size());
    return "'" + buffer.substr(0, length) + "'";
}

bool execute(MYSQL* handle, const std::string& sql) {
    return mysql_real_query(handle, sql.c_str(), sql.size()) == 0;
}

// The user gets all privileges on the database from any host and from
// localhost, with its name as password. Works where GRANT no longer creates
// users or sets passwords: create, set the password, then grant.
bool grantUser(MYSQL* handle, const std::string& database, const std::string& user) {
    if (user.empty()) {
        return false;  // an empty name would be the anonymous account
    }
    const std::string password = quoteString(handle, user);
    for (const char* host : {"%", "localhost"}) {
        const std::string account = quoteString(handle, user) + "@" + quoteString(handle, host);
        if (!execute(handle, "CREATE USER IF NOT EXISTS " + account) ||
            !execute(handle, "ALTER USER " + account + " IDENTIFIED BY " + password) ||
            !execute(handle,
                     "GRANT ALL PRIVILEGES ON " + quoteName(database) + ".* TO " + account)) {
            return false;
        }
    }
    return true;
}

}  // namespace

RestoreDBServer::RestoreDBServer(std::string setFolder) : backupPath(std::move(setFolder)) {}

void RestoreDBServer::splitEntry(const std::string& entry, std::string& databaseName,
                                 std::string& userName) {
    std::size_t colon = entry.find(':');
    databaseName = entry.substr(0, colon);
    userName = colon == std::string::npos ? entry : entry.substr(colon + 1);
}

int RestoreDBServer::restoreDatabaseServer(std::string dbServer, int port, std::string dbAdmin,
                                           std::string password,
                                           std::vector<std::string>& database) {
    std::string service = DEFAULT_DATABASE_SERVICE;
    OvixRestoreManager::getPtr()->getParamFromOvixConfFile(OVIXCONFFILE, service,
                                                           "DatabaseServiceName");
    OvixRestoreManager::runServiceCommand(service, "restart");

    const std::string dumpFolder = backupPath + "/db/data/";
    MysqlHandle handle(mysql_init(nullptr));
    if (!handle) {
        std::cout << msg::kNoHandle << std::endl;
        return DB_RESTORE_NO_SERVER;
    }
    mysql_options(handle.get(), MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSeconds);
    mysql_options(handle.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (mysql_real_connect(handle.get(), dbServer.c_str(), dbAdmin.c_str(), password.c_str(),
                           nullptr, static_cast<unsigned>(port), nullptr, 0) == nullptr) {
        std::cout << msg::kNoConnection << std::endl;
        return DB_RESTORE_NO_SERVER;
    }
    for (const std::string& entry : database) {
        std::string name;
        std::string userName;
        splitEntry(entry, name, userName);
        // A dump is read from <set>/db/data/<name>: a name that could leave
        // that folder is no database of ours.
        if (!isSafeSetFileName(name) ||
            !execute(handle.get(), "CREATE DATABASE " + quoteName(name))) {
            // An existing database is left untouched: neither loaded nor granted.
            std::cout << msg::kCannotCreate << name << std::flush;
            continue;
        }
        int status = Command(MYSQL_CLIENT_PATH)
                         .args({"-h", dbServer, "-u", dbAdmin})
                         .arg("--port=" + std::to_string(port))
                         .arg("--database=" + name)
                         // Dumps are utf8mb4 text and say so nowhere.
                         .arg("--default-character-set=utf8mb4")
                         .setEnv("MYSQL_PWD", password)
                         .stdinFrom(dumpFolder + name)
                         .run();
        if (status != 0) {
            std::cout << msg::kCannotLoad << name << std::flush;
        }
        if (mysql_select_db(handle.get(), name.c_str()) != 0) {
            std::cout << msg::kCannotSelect << name << std::endl;
            continue;
        }
        if (!grantUser(handle.get(), name, userName)) {
            std::cout << msg::kCannotGrant << userName << std::endl;
        }
    }
    return DB_RESTORE_DONE;
}
