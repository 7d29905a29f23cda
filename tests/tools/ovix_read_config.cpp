// Test tool: reads the backup configuration file the way the daemon does
// (the install folder from the panel configuration file, the first line of
// <install folder>/etc/ovixbackup.conf, the XML command reader, then the
// daemon's readers of the run settings and of the schedule) and prints what
// the daemon would act on, one "name=value" line per setting, so that system
// tests can compare it with the answers given to the wizard.
//
// First line: "result=" ok, no-install-folder, unreadable, too-long,
// not-configured or malformed (followed by "error=" lines). Exit status 0
// only for ok.
#include <iostream>
#include <string>
#include <vector>

#include "BackupManager.h"
#include "XMLParser.h"
#include "ovixconfig.h"
#include "runsettings.h"
#include "schedule.h"
#include "sysutil.h"

namespace {

int fail(const std::string& result, const std::string& error = "") {
    std::cout << "result=" << result << "\n";
    if (!error.empty()) {
        std::cout << "error=" << error;
    }
    std::cout << std::flush;
    return 1;
}

void show(const char* name, const std::string& value) {
    std::cout << name << "=" << value << "\n";
}

void showList(const char* name, const std::vector<std::string>& values) {
    for (const std::string& value : values) {
        show(name, value);
    }
}

}  // namespace

int main() {
    std::string insFolder;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder") != OVIXCONF_FOUND) {
        return fail("no-install-folder");
    }
    std::string line;
    switch (readFirstLine(insFolder + BACKUP_CONF_FILE, line)) {
        case LineReader::Result::Line:
            break;
        case LineReader::Result::TooLong:
            return fail("too-long");
        case LineReader::Result::End:
            return fail("not-configured");
        case LineReader::Result::Error:
            return fail("unreadable");
    }
    if (line.size() <= kShortestConfigLine) {
        return fail("not-configured");
    }
    std::vector<std::string> entries;
    std::string error;
    if (XMLParser(line, entries, error) != XML_PARSE_OK) {
        return fail("malformed", error);
    }
    const RunSettings run = readRunSettings(entries);
    const BackupSchedule schedule = readSchedule(entries);
    std::cout << "result=ok\n";
    show("backupWebserver", run.backupWebserver);
    show("backupWebspace", run.backupWebspace ? "yes" : "no");
    showList("dirFilter", run.dirFilter);
    showList("fileFilter", run.fileFilter);
    show("backupMailServer", run.backupMailServer);
    show("backupDNSServer", run.backupDNSServer);
    show("backupDatabaseServer", run.backupDatabaseServer);
    show("backupType", run.backupType);
    show("backupPath", run.backupPath);
    show("ftpServer", run.ftpServer);
    show("ftpPort", run.ftpPort);
    show("ftpUserName", run.ftpUserName);
    show("ftpPassword", run.ftpPassword);
    show("purgeTime", std::to_string(run.purgeTime));
    show("backupScheduleType", schedule.backupScheduleType);
    show("backupTime", schedule.backupTime);
    show("backupWeekDay", schedule.backupWeekDay);
    show("backupMonthDay", schedule.backupMonthDay);
    std::cout << std::flush;
    return 0;
}
