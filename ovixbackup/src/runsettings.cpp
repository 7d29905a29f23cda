#include "runsettings.h"

#include <cstdlib>

#include "XMLParser.h"
#include "extractToken.h"

std::string RunSettings::location() const {
    std::string path = backupPath;
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

RunSettings readRunSettings(const std::vector<std::string>& entries) {
    RunSettings s;
    struct Text {
        const char* name;
        std::string* value;
    };
    const Text texts[] = {
        {"BackupWebserver", &s.backupWebserver},
        {"BackupMailServer", &s.backupMailServer},
        {"BackupDNSServer", &s.backupDNSServer},
        {"BackupDatabaseServer", &s.backupDatabaseServer},
        {"BackupType", &s.backupType},
        {"BackupLocation", &s.backupPath},
        {"FTPServer", &s.ftpServer},
        {"FTPPort", &s.ftpPort},
        {"FTPUserName", &s.ftpUserName},
        {"FTPPassword", &s.ftpPassword},
    };
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::vector<std::string> pair = COvixGetCommand(entries[i]);
        if (pair.size() != 2) {
            continue;
        }
        const std::string& name = pair[0];
        const std::string& value = pair[1];
        if (equalsIgnoreCase(name, "BackupWebspace")) {
            s.backupWebspace = equalsIgnoreCase(value, "yes");
        } else if (equalsIgnoreCase(name, "DirToFilter")) {
            s.dirFilter.push_back(value);
        } else if (equalsIgnoreCase(name, "FileToFilter")) {
            s.fileFilter.push_back(value);
        } else if (equalsIgnoreCase(name, "PurgeTime")) {
            s.purgeTime = std::atoi(value.c_str());
        } else {
            for (const Text& t : texts) {
                if (equalsIgnoreCase(name, t.name)) {
                    *t.value = value;
                    break;
                }
            }
        }
    }
    return s;
}
