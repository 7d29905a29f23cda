#include "ovixrestoremanager.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "XMLParser.h"
#include "answerreader.h"
#include "command.h"
#include "extractToken.h"
#include "ovixconfig.h"
#include "ovixserver.h"
#include "restoredbserver.h"
#include "sysutil.h"

namespace msg {
const char* const kNoServerIP = "Cannot find Ovix Server IP";
const char* const kWelcome = "  Welcome to Ovix Kestrun ver 1.00.0011";
const char* const kSupport = "  For any assistance please write to support@ovix.example";
const char* const kTermsTitle = "Terms and Conditions";
const char* const kTerms[] = {
    "a.. Ovix8 should be installed with latest build",
    "b.. The server should be added in Ovix8 cluster with proper roles and services",
    "c.. Kestrun is not capable to restore passwords for database users. It sets username as its "
    "password for every database user",
    "d.. Host should keep the system IP addresses same as were on old machine",
    "e.. and MySQL versions should be the same",
};
const char* const kAcceptTerms = "Do you accept (yes/no): ";
const char* const kWrongInput = "Wrong Input";
const char* const kNoConnection = "Cannot connect to Ovix Server";
const char* const kLocationTitle = "Backup Location";
const char* const kAskBackupPath = "Enter backup folder path from where rebuild will take place: ";
const char* const kInvalidPath = "Invalid Path";
const char* const kInvalidWebspacePath = "Invalid Path.";
const char* const kStarting = "Starting Restore...................";
const char* const kNoWebBackup = "Cannot find Webserver backup";
const char* const kAskWebspace = "Do you want to restore webspace (yes/no): ";
const char* const kAskWebspacePath = "Enter the backup webspace folder path: ";
const char* const kBadWebSettings = "Invalid values from Ovix Server for webserver";
const char* const kNoDatabaseBackup = "Cannot find Database Server Backup";
const char* const kNoDatabaseConnection = "Cannot connect with Ovix Server to get DB info";
const char* const kNoDatabaseInfo = "No db info received from Ovix Server";
const char* const kRestoringDatabase = "Restoring Database Server";
const char* const kBadInstance = "Incomplete database server instance from Ovix Server, skipped: ";
const char* const kNoMailBackup = "Cannot find Mailserver Backup";
const char* const kNoDNSBackup = "Cannot find DNS Backup";
const char* const kBadDNSSettings = "Invalid values from Ovix Server for DSN conf file";
}  // namespace msg

namespace {

constexpr std::size_t kBannerTextWidth = 65;

struct RoleQuestion {
    const char* prompt;
    std::string* flag;
};

void clearScreen() {
    Command("clear").run();
}

std::string framed(const std::string& text) {
    std::string line = "*" + text;
    if (text.size() < kBannerTextWidth) {
        line.append(kBannerTextWidth - text.size(), ' ');
    }
    return line + "*";
}

void showBanner() {
    std::cout << "/" << std::string(66, '*') << "\n"
              << framed(msg::kWelcome) << "\n"
              << framed(msg::kSupport) << "\n"
              << framed("") << "\n"
              << std::string(66, '*') << "/\n\n";
}

bool saysYes(const std::string& answer) {
    return startsWithIgnoreCase(answer, "yes");
}

// Every value of name in entries (entry 0, the action, skipped).
std::vector<std::string> valuesOf(const std::vector<std::string>& entries, const char* name) {
    std::vector<std::string> values;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::vector<std::string> pair = COvixGetCommand(entries[i]);
        if (pair.size() == 2 && equalsIgnoreCase(pair[0], name)) {
            values.push_back(pair[1]);
        }
    }
    return values;
}

std::string lastValueOf(const std::vector<std::string>& entries, const char* name) {
    std::vector<std::string> values = valuesOf(entries, name);
    return values.empty() ? "" : values.back();
}

}  // namespace

OvixRestoreManager* OvixRestoreManager::ptr = nullptr;

OvixRestoreManager::OvixRestoreManager() {
    ptr = this;
}

OvixRestoreManager::~OvixRestoreManager() {
    if (ptr == this) {
        ptr = nullptr;
    }
}

OvixRestoreManager* OvixRestoreManager::getPtr() {
    return ptr;
}

int OvixRestoreManager::getParamFromOvixConfFile(std::string file, std::string& ParamVal,
                                                 std::string param) {
    return ::getParamFromOvixConfFile(file, ParamVal, param);
}

int OvixRestoreManager::runServiceCommand(const std::string& command, const std::string& verb) {
    std::istringstream words(command);
    std::vector<std::string> argv;
    for (std::string word; words >> word;) {
        argv.push_back(word);
    }
    if (argv.empty()) {
        return COMMAND_NOT_FOUND;
    }
    return Command(argv[0])
        .args(std::vector<std::string>(argv.begin() + 1, argv.end()))
        .arg(verb)
        .run();
}

bool OvixRestoreManager::restartService(std::string /*pidFile*/, std::string serviceName) {
    return runServiceCommand(serviceName, "restart") == 0;
}

bool OvixRestoreManager::ask(AnswerReader& reader, const char* prompt, std::string& answer) {
    for (;;) {
        std::cout << prompt << std::flush;
        switch (reader.next(answer)) {
            case AnswerReader::Result::Answer:
                return true;
            case AnswerReader::Result::TooLong:
                std::cout << msg::kWrongInput << std::endl;
                continue;
            case AnswerReader::Result::End:
                std::cout << std::endl;
                return false;
        }
    }
}

bool OvixRestoreManager::askOvixServer(const std::string& action, std::vector<std::string>& entries,
                                       bool& connected) {
    entries.clear();
    OvixServerExchange exchange;
    connected = exchange.connect(OvixServerIP);
    if (!connected) {
        return false;
    }
    int result = exchange.ask(action, kGreetingSize, false);
    if (result == OVIX_MALFORMED) {
        std::cerr << exchange.parseError() << std::flush;
        std::exit(XML_PARSE_EXIT_STATUS);
    }
    if (result == OVIX_NO_ANSWER) {
        connected = false;
        return false;
    }
    if (result == OVIX_OK) {
        entries = exchange.entries();
    }
    return true;
}

int OvixRestoreManager::startOvixRestore() {
    std::string insFolder;
    getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder");
    OvixServerIP = insFolder.empty() ? "" : getOvixServerIP(insFolder);
    if (OvixServerIP.empty()) {
        std::cout << msg::kNoServerIP << std::endl;
        return RESTORE_DONE;
    }
    if (chdir("/") != 0) {
        return RESTORE_DONE;
    }
    std::string bpWebserver = "no";
    std::string bpDBserver = "no";
    std::string bpMailserver = "no";
    std::string bpDNSserver = "no";
    AnswerReader reader(STDIN_FILENO);
    std::string input;

    clearScreen();
    showBanner();
    std::cout << msg::kTermsTitle << "\n" << std::string(20, '*') << "\n\n";
    for (const char* term : msg::kTerms) {
        std::cout << term << "\n";
    }
    std::cout << "\n";
    for (;;) {
        if (!ask(reader, msg::kAcceptTerms, input) || equalsIgnoreCase(input, "no")) {
            return RESTORE_DECLINED;
        }
        if (saysYes(input)) {
            break;
        }
        std::cout << msg::kWrongInput << std::endl;
    }

    std::vector<std::string> entries;
    bool connected = false;
    askOvixServer("GetServerRoles", entries, connected);
    if (!connected) {
        std::cout << msg::kNoConnection << std::endl;
        return RESTORE_DONE;
    }
    for (const auto& [name, flag] :
         {std::pair<const char*, std::string*>{"WebServer", &bpWebserver},
          {"MailServer", &bpMailserver},
          {"DNSServer", &bpDNSserver},
          {"DatabaseServer", &bpDBserver}}) {
        std::vector<std::string> values = valuesOf(entries, name);
        if (!values.empty()) {
            *flag = values.back();
        }
    }

    clearScreen();
    showBanner();
    std::cout << msg::kLocationTitle << "\n" << std::string(15, '*') << "\n\n";
    for (;;) {
        if (!ask(reader, msg::kAskBackupPath, input)) {
            return RESTORE_DECLINED;
        }
        if (!input.empty() && isDirectory(input)) {
            break;
        }
        std::cout << msg::kInvalidPath << std::endl;
    }
    backupPath = input;

    const RoleQuestion questions[] = {
        {"Do you want to restore Web Server (yes/no): ", &bpWebserver},
        {"Do you want to restore Mail Server (yes/no): ", &bpMailserver},
        {"Do you want to restore DNS Server (yes/no): ", &bpDNSserver},
        {"Do you want to restore Database Server (yes/no): ", &bpDBserver},
    };
    for (const RoleQuestion& question : questions) {
        while (*question.flag == "yes") {
            if (!ask(reader, question.prompt, input)) {
                return RESTORE_DECLINED;
            }
            if (saysYes(input)) {
                break;
            }
            if (startsWithIgnoreCase(input, "no")) {
                *question.flag = "no";
                break;
            }
            std::cout << msg::kWrongInput << std::endl;
        }
    }

    clearScreen();
    showBanner();
    std::cout << msg::kStarting << std::endl;
    if (bpWebserver == "yes" && restoreWebRole(reader) != RESTORE_DONE) {
        return RESTORE_DECLINED;
    }
    if (bpDBserver == "yes") {
        restoreDatabaseRole();
    }
    if (bpMailserver == "yes") {
        restoreMailRole();
    }
    if (bpDNSserver == "yes") {
        restoreDNSRole();
    }
    return RESTORE_DONE;
}

int OvixRestoreManager::restoreWebRole(AnswerReader& reader) {
    if (!isDirectory(backupPath + "/web")) {
        std::cout << msg::kNoWebBackup << std::endl;
        return RESTORE_DONE;
    }
    backupWebspacePath.clear();
    std::string input;
    for (;;) {
        if (!ask(reader, msg::kAskWebspace, input)) {
            return RESTORE_DECLINED;
        }
        if (equalsIgnoreCase(input, "no")) {
            break;
        }
        if (!saysYes(input)) {
            std::cout << msg::kWrongInput << std::endl;
            continue;
        }
        for (;;) {
            if (!ask(reader, msg::kAskWebspacePath, input)) {
                return RESTORE_DECLINED;
            }
            if (!input.empty() && isDirectory(input)) {
                break;
            }
            std::cout << msg::kInvalidWebspacePath << std::endl;
        }
        backupWebspacePath = input;
        break;
    }
    std::vector<std::string> entries;
    bool connected = false;
    askOvixServer("GetServerSettings", entries, connected);
    std::vector<std::string> nameVirtualHost = valuesOf(entries, "IPLessDomainIP");
    std::string httpdConfFile = lastValueOf(entries, "HttpdConfFile");
    if (httpdConfFile.empty() || nameVirtualHost.empty()) {
        std::cout << msg::kBadWebSettings << std::endl;
    }
    // The web server restore itself and its service restart arrive with the
    // web role's restore class.
    return RESTORE_DONE;
}

void OvixRestoreManager::restoreDatabaseRole() {
    if (!isDirectory(backupPath + "/db")) {
        std::cout << msg::kNoDatabaseBackup << std::endl;
        return;
    }
    std::vector<std::string> entries;
    bool connected = false;
    askOvixServer("GetServerDatabases", entries, connected);
    if (!connected) {
        std::cout << msg::kNoDatabaseConnection << std::endl;
        return;
    }
    std::vector<std::string> dbServerInfo = valuesOf(entries, "DBServerInstance");
    std::vector<std::string> databasesInfo = valuesOf(entries, "Databases");
    if (dbServerInfo.empty() || databasesInfo.empty()) {
        std::cout << msg::kNoDatabaseInfo << std::endl;
        return;
    }
    std::cout << msg::kRestoringDatabase << std::endl;
    RestoreDBServer restore(backupPath);
    for (std::size_t i = 0; i < dbServerInfo.size(); ++i) {
        std::vector<std::string> parsedDbServerInfo;
        parse(dbServerInfo[i], ",", parsedDbServerInfo);
        if (parsedDbServerInfo.size() < 4 || i >= databasesInfo.size()) {
            // The fields hold the administrator password: name only the host.
            std::cout << msg::kBadInstance
                      << (parsedDbServerInfo.empty() ? "" : parsedDbServerInfo[0]) << std::endl;
            continue;
        }
        std::vector<std::string> parsedDatabasesInfo;
        parse(databasesInfo[i], ",", parsedDatabasesInfo);
        restore.restoreDatabaseServer(
            parsedDbServerInfo[0], std::atoi(parsedDbServerInfo[1].c_str()), parsedDbServerInfo[2],
            parsedDbServerInfo[3], parsedDatabasesInfo);
    }
}

void OvixRestoreManager::restoreMailRole() {
    if (!isDirectory(backupPath + "/mail")) {
        std::cout << msg::kNoMailBackup << std::endl;
    }
    // The mail server restore and its service restart arrive with the mail
    // role's restore class.
}

void OvixRestoreManager::restoreDNSRole() {
    if (!isDirectory(backupPath + "/dns")) {
        std::cout << msg::kNoDNSBackup << std::endl;
        return;
    }
    std::vector<std::string> entries;
    bool connected = false;
    askOvixServer("GetServerSettings", entries, connected);
    if (lastValueOf(entries, "DNSConfFile").empty()) {
        std::cout << msg::kBadDNSSettings << std::endl;
    }
    // The DNS restore and its service restart arrive with the DNS role's
    // restore class.
}
