#include "BackupManager.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "PunyCode.h"
#include "XMLParser.h"
#include "backupdatabase.h"
#include "backupset.h"
#include "command.h"
#include "extractToken.h"
#include "ovixconfig.h"
#include "ovixserver.h"
#include "retention.h"
#include "sysutil.h"

namespace msg {
const char* const kCannotOpenLog = "Cannot open LogFile";
const char* const kNoServerIP = "Cannot find Ovix Server IP";
const char* const kNoConfFile = "cannot open backup configuration file";
const char* const kHeaderStart = "-------------Starting backup at ";
const char* const kHeaderEnd = "------------------";
const char* const kServerAddress = "OvixServer IP = ";
const char* const kNoBackupPath = "Backup path does not exist";
const char* const kLookingForLocal = "Looking for old local backups";
const char* const kLocalDeleted = "Old backup from local machine deleted : ";
const char* const kLocalNotDeleted = "Cannot delete old backup from local machine : ";
const char* const kLocalPurgeDone = "Local purged finished";
const char* const kCannotCreateFolder = "Cannot create folder ";
const char* const kRestartServices = "Please restart windows Ovix services";
const char* const kBackingUpDNS = "Backing up DNS";
const char* const kInvalidDNS = "Not a valid DNS server infomation, aborting DNS server backup";
const char* const kBackingUpMail = "Backing up Mail Server";
const char* const kInvalidMail = "Not a valid Mail Server information, aborting Mail Server backup";
const char* const kBackingUpDatabase = "Backingup Database Server";
const char* const kNoDatabaseInfo = "No db info received from Ovix Server";
const char* const kBadInstance = "Incomplete database server instance from Ovix Server, skipped: ";
const char* const kFtpAccounts = "Taking backup of ftp accounts";
const char* const kWebLog = "Taking backup of Webserver";
const char* const kWebPrint = "Taking backup of webserver";
}  // namespace msg

// One question of a backup run to the Ovix Server and how its failures are
// reported: logged text, printed text, and whether the printed lines end.
struct RoleQuestion {
    const char* action;
    std::size_t greetingSize;
    const char* noConnectionLog;
    const char* noConnectionPrint;
    bool addressLineEnd;
    const char* invalidPacket;  // nullptr: the question has no such message
    bool invalidLineEnd;
};

namespace {

const RoleQuestion kDNSQuestion = {"GetServerDNS",
                                   kGreetingSizeDNS,
                                   "Cannot connect with Ovix Server to get DNS Domanins",
                                   "Cannot connect with Ovix Server to get DNS Domanins",
                                   false,
                                   "Invalid DNS Server packet from Ovix Server",
                                   true};
const RoleQuestion kMailQuestion = {"GetServerMailDomains",
                                    kGreetingSize,
                                    "Cannot connect with Ovix Server to get Mail Domanins",
                                    "Cannot connect with Ovix Server to get Mail Domanins",
                                    true,
                                    "Invalid Mail Server packet from Ovix Server",
                                    true};
const RoleQuestion kDatabaseQuestion = {"GetServerDatabases",
                                        kGreetingSize,
                                        "Cannot connect with Ovix Server to get DB info",
                                        "Cannot connect with Ovix Server to get DB info",
                                        true,
                                        nullptr,
                                        true};
const RoleQuestion kUsersQuestion = {"GetServerUsers",
                                     kGreetingSize,
                                     "Cannot connect with Ovix Server to get ftp users Info",
                                     "Cannot connect with Ovix Server to get ftp users info",
                                     true,
                                     "Invalid Ftp accounts packet from Ovix Server",
                                     false};
const RoleQuestion kWebsitesQuestion = {
    "GetServerWebsites",
    kGreetingSize,
    "Cannot connect OvixServer to get webdomains so no backup of webserver",
    "Cannot connect OvixServer to get webdomains so no backup of webserver",
    true,
    nullptr,
    true};

void print(const std::string& text, bool lineEnd = true) {
    std::cout << text;
    if (lineEnd) {
        std::cout << '\n';
    }
    std::cout.flush();
}

// Calls visit(name, value) for every entry after the action.
template <typename Visit>
void walkEntries(const std::vector<std::string>& entries, Visit visit) {
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::vector<std::string> pair = COvixGetCommand(entries[i]);
        if (pair.size() == 2) {
            visit(pair[0], pair[1]);
        }
    }
}

}  // namespace

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

BackupManager* BackupManager::getPtr() {
    return ptr;
}

bool BackupManager::isLogSwitchOn() {
    return pathExists(LOG_SWITCH_FILE);
}

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
            print(msg::kCannotOpenLog);
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

bool BackupManager::makeBackupFolder(const std::string& path) {
    if (isDirectory(path)) {
        return true;
    }
    if (!createBackupFolder(path)) {
        print(msg::kCannotCreateFolder + path);
        logMessage(msg::kCannotCreateFolder + path);
        return false;
    }
    if (!giveBackupFolderToRoot(path)) {
        logMessage(msg::kCannotCreateFolder + path);
    }
    return true;
}

bool BackupManager::parseDIRName(std::string szDIRName, long& diffEpoc) {
    return backupSetAge(szDIRName, time(nullptr), diffEpoc);
}

void BackupManager::purgeLocalBackup(std::string szBackupPath, long purgeTime) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(szBackupPath.c_str())) {
        while (const struct dirent* entry = readdir(dir)) {
            names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    for (const std::string& name : names) {
        if (!startsWithIgnoreCase(name, BACKUPSET_PREFIX)) {
            continue;
        }
        print(name);
        long age = 0;
        if (!parseDIRName(name, age) || age < purgeTime) {
            continue;  // not a set, or young enough to keep
        }
        int status = Command("rm").args({"-rf", "--", szBackupPath + "/" + name}).run();
        logMessage((status == 0 ? msg::kLocalDeleted : msg::kLocalNotDeleted) + name);
    }
    print(msg::kLocalPurgeDone);
}

bool BackupManager::readSettings(RunSettings& settings) {
    std::string line;
    std::vector<std::string> entries;
    std::string error;
    if (readFirstLine(ovixInsFolder + BACKUP_CONF_FILE, line) == LineReader::Result::TooLong) {
        error = CONFIGURATION_LINE_TOO_LONG;
    } else if (XMLParser(line, entries, error) != XML_PARSE_OK) {
        error.pop_back();  // the parser's message ends with a line feed
    }
    if (!error.empty()) {
        logMessage(BAD_CONFIGURATION_MESSAGE + error);
        print(BAD_CONFIGURATION_MESSAGE + error);
        return false;
    }
    settings = readRunSettings(entries);
    return true;
}

int BackupManager::startBackup() {
    trace = isLogSwitchOn();
    OvixServerIP = ovixInsFolder.empty() ? "" : getOvixServerIP(ovixInsFolder);
    if (OvixServerIP.empty()) {
        print(msg::kNoServerIP);
        return BACKUP_RUN_ABORTED;
    }
    const std::string confPath = ovixInsFolder + BACKUP_CONF_FILE;
    const bool confReadable = access(confPath.c_str(), R_OK) == 0;
    logMessage(msg::kHeaderStart + currentTimeStamp() + msg::kHeaderEnd);
    if (!confReadable) {
        logMessage(msg::kNoConfFile);
        print(msg::kNoConfFile);
        return BACKUP_RUN_ABORTED;
    }
    RunSettings settings;
    if (!readSettings(settings)) {
        return BACKUP_RUN_ABORTED;
    }

    const std::string location = settings.location();
    const bool existed = isDirectory(location);
    const bool exists = existed || makeDirectories(location, 0755);
    if (existed && settings.purgeTime >= 1 && !settings.isRemote()) {
        logMessage(msg::kLookingForLocal);
        purgeLocalBackup(location, settings.purgeTime * kSecondsPerDay);
    }
    if (!exists) {
        logMessage(msg::kNoBackupPath);
        print(msg::kNoBackupPath);
        return BACKUP_RUN_ABORTED;
    }

    if (settings.backupDNSServer == "yes") {
        backupDNSRole();
    }
    if (settings.backupMailServer == "yes") {
        backupMailRole();
    }
    if (settings.backupDatabaseServer == "yes") {
        backupDatabaseRole(settings);
    }
    if (settings.backupWebserver == "yes") {
        backupWebRole();
    }
    return BACKUP_RUN_DONE;
}

void BackupManager::reportNoConnection(const RoleQuestion& question) {
    logMessage(question.noConnectionLog);
    logMessage(msg::kServerAddress + OvixServerIP);
    print(question.noConnectionPrint);
    print(msg::kServerAddress + OvixServerIP, question.addressLineEnd);
}

// Asks the question on a connection already made. An answer that never came
// (time-out, size cap) is reported like a lost connection; one that is not
// usable gets the question's invalid-packet message, when it has one.
int BackupManager::askForRole(const RoleQuestion& question, OvixServerExchange& exchange) {
    int result = exchange.ask(question.action, question.greetingSize, trace);
    if (result == OVIX_NO_ANSWER) {
        reportNoConnection(question);
    } else if (result != OVIX_OK && question.invalidPacket != nullptr) {
        logMessage(question.invalidPacket);
        logMessage(exchange.greeting());
        print(question.invalidPacket, question.invalidLineEnd);
    }
    return result;
}

// Non-ASCII names are kept only when this system can handle them: a UTF-8
// character set and a name the idn tool converts.
bool BackupManager::acceptDomainName(const std::string& name) {
    if (isAsciiString(name)) {
        return true;
    }
    PunyCode puny;
    std::string ascii;
    return puny.isSystemCharsetIsUTF8() == CHARSET_UTF8 &&
           puny.getPunycode(name, ascii) == PUNYCODE_OK;
}

void BackupManager::backupDNSRole() {
    OvixServerExchange exchange;
    if (!exchange.connect(OvixServerIP)) {
        reportNoConnection(kDNSQuestion);
        return;
    }
    logMessage(msg::kBackingUpDNS);
    if (askForRole(kDNSQuestion, exchange) != OVIX_OK) {
        return;
    }
    std::vector<std::string> addresses;
    std::vector<std::string> domains;
    std::string confFile;
    bool valid = false;
    walkEntries(exchange.entries(), [&](const std::string& name, const std::string& value) {
        if (equalsIgnoreCase(name, "IPAddress")) {
            addresses.push_back(value);
        } else if (equalsIgnoreCase(name, "DNSDomain")) {
            if (acceptDomainName(value)) {
                domains.push_back(value);
            }
        } else if (equalsIgnoreCase(name, "DNSConfFile")) {
            confFile = value;
            valid = true;
        }
    });
    if (!valid) {
        logMessage(msg::kInvalidDNS);
        logMessage(msg::kRestartServices);
    }
}

void BackupManager::backupMailRole() {
    OvixServerExchange exchange;
    if (!exchange.connect(OvixServerIP)) {
        reportNoConnection(kMailQuestion);
        return;
    }
    logMessage(msg::kBackingUpMail);
    if (askForRole(kMailQuestion, exchange) != OVIX_OK) {
        return;
    }
    std::vector<std::string> domains;
    bool valid = false;
    walkEntries(exchange.entries(), [&](const std::string& name, const std::string& value) {
        if (equalsIgnoreCase(name, "DomainName")) {
            valid = true;
            if (acceptDomainName(value)) {
                domains.push_back(value);
            }
        }
    });
    if (!valid) {
        logMessage(msg::kInvalidMail);
        logMessage(msg::kRestartServices);
    }
}

void BackupManager::backupDatabaseRole(const RunSettings& settings) {
    OvixServerExchange exchange;
    if (!exchange.connect(OvixServerIP)) {
        reportNoConnection(kDatabaseQuestion);
        return;
    }
    logMessage(msg::kBackingUpDatabase);
    int result = askForRole(kDatabaseQuestion, exchange);
    if (result == OVIX_NO_ANSWER) {
        return;
    }
    std::vector<std::string> instances;
    std::vector<std::string> databaseLists;
    if (result == OVIX_OK) {
        walkEntries(exchange.entries(), [&](const std::string& name, const std::string& value) {
            if (equalsIgnoreCase(name, "DBServerInstance")) {
                instances.push_back(value);
            } else if (equalsIgnoreCase(name, "Databases")) {
                databaseLists.push_back(value);
            }
        });
    }
    if (instances.empty() || databaseLists.empty()) {
        logMessage(msg::kNoDatabaseInfo);
        print(msg::kNoDatabaseInfo);
        return;
    }
    BackupDatabase backup(settings.location());
    for (std::size_t i = 0; i < instances.size(); ++i) {
        std::vector<std::string> fields;
        parse(instances[i], ",", fields);
        if (fields.size() < 4 || i >= databaseLists.size()) {
            // The instance's fields hold the administrator password: log
            // only where the instance lives.
            logMessage(msg::kBadInstance + (fields.empty() ? std::string() : fields[0]));
            continue;
        }
        std::vector<std::string> databases;
        parse(databaseLists[i], ",", databases);
        backup.backupDatabaseServer(fields[0], std::atoi(fields[1].c_str()), fields[2], fields[3],
                                    databases);
    }
}

void BackupManager::backupWebRole() {
    {
        OvixServerExchange exchange;
        if (!exchange.connect(OvixServerIP)) {
            reportNoConnection(kUsersQuestion);
        } else {
            logMessage(msg::kFtpAccounts);
            print(msg::kFtpAccounts);
            if (askForRole(kUsersQuestion, exchange) == OVIX_OK) {
                std::vector<std::string> ftpUsers;
                std::vector<std::string> webAdmins;
                walkEntries(exchange.entries(),
                            [&](const std::string& name, const std::string& value) {
                                if (equalsIgnoreCase(name, "FTPUser")) {
                                    ftpUsers.push_back(value);
                                } else if (equalsIgnoreCase(name, "WebAdmin")) {
                                    webAdmins.push_back(value);
                                }
                            });
            }
        }
    }
    OvixServerExchange exchange;
    if (!exchange.connect(OvixServerIP)) {
        reportNoConnection(kWebsitesQuestion);
        return;
    }
    logMessage(msg::kWebLog);
    print(msg::kWebPrint);
    if (askForRole(kWebsitesQuestion, exchange) != OVIX_OK) {
        return;
    }
    std::vector<std::string> webDomains;
    std::string httpdConfFile;
    walkEntries(exchange.entries(), [&](const std::string& name, const std::string& value) {
        if (equalsIgnoreCase(name, "WebDomain")) {
            webDomains.push_back(value);
        } else if (equalsIgnoreCase(name, "HttpdConfFile")) {
            httpdConfFile = value;
        }
    });
}
