#include "backupconfig.h"

#include "XMLParser.h"
#include "extractToken.h"

namespace {

const char* const kYes = "yes";
const char* const kNo = "no";

std::string element(const char* prefix, const char* name, const std::string& value) {
    return std::string(prefix) + "\"" + name + "\"><![CDATA[" + value + "]]></parameter>";
}

// Every parameter but one is written this way.
std::string param(const char* name, const std::string& value) {
    return element("<parameter name=", name, value);
}

// The mail role's element has always been written with two blanks before
// "name"; readers treat both spellings alike.
std::string mailParam(const std::string& value) {
    return element("<parameter  name=", "BackupMailServer", value);
}

// As "%02d" formats a count of days.
std::string twoDigits(int number) {
    return (number >= 0 && number < 10 ? "0" : "") + std::to_string(number);
}

}  // namespace

bool applyServerRoles(const std::vector<std::string>& entries, BackupConfig& config) {
    struct Role {
        const char* name;
        std::string* flag;
    };
    const Role roles[] = {
        {"WebServer", &config.backupWebserver},
        {"MailServer", &config.backupMailServer},
        {"DNSServer", &config.backupDNSServer},
        {"DatabaseServer", &config.backupDatabaseServer},
    };
    bool isRoleFound = false;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::vector<std::string> command = COvixGetCommand(entries[i]);
        if (command.size() != 2) {
            continue;
        }
        for (const Role& role : roles) {
            if (equalsIgnoreCase(command[0], role.name)) {
                *role.flag = command[1] == kYes ? kYes : kNo;
                isRoleFound = true;
            }
        }
    }
    return isRoleFound;
}

std::string buildConfPacket(const BackupConfig& config) {
    std::string confPacket = "<command><Action><![CDATA[BackupOvix]]></Action>";
    confPacket += param("BackupWebserver", config.backupWebserver);
    if (config.backupWebserver == kYes) {
        confPacket += param("BackupWebspace", config.backupWebspace);
        for (const std::string& dir : config.dirFilter) {
            confPacket += param("DirToFilter", dir);
        }
        if (config.backupWebspace == kYes) {
            for (const std::string& filter : config.fileFilter) {
                confPacket += param("FileToFilter", filter);
            }
        }
    }
    confPacket += mailParam(config.backupMailServer);
    confPacket += param("BackupDNSServer", config.backupDNSServer);
    confPacket += param("BackupDatabaseServer", config.backupDatabaseServer);
    confPacket += param("BackupType", config.backupType);
    if (config.backupType == "local") {
        confPacket += param("BackupLocation", config.backupPath);
    } else if (config.backupType == "remote") {
        confPacket += param("FTPServer", config.ftpServer);
        confPacket += param("FTPPort", config.ftpPort);
        confPacket += param("FTPUserName", config.ftpUserName);
        confPacket += param("FTPPassword", config.ftpPassword);
    }
    confPacket += param("BackupScheduleType", config.backupScheduleType);
    const std::string& type = config.backupScheduleType;
    if (type == "monthly") {
        const std::string& day = config.backupMonthDay;
        confPacket += param("BackupMonthDay", day.size() == 1 ? "0" + day : day);
    }
    confPacket += param("BackupTime", config.backupTime);
    if (type == "weekly") {
        confPacket += param("BackupWeekDay", "0" + config.backupWeekDay);
    }
    if (config.purgeTime >= 1) {
        confPacket += param("PurgeTime", twoDigits(config.purgeTime));
    }
    return confPacket + "</command>";
}
