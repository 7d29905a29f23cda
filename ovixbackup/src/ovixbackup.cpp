// ovixbackup { start | stop }: the backup daemon. `start` detaches (unless
// the log switch file exists) and wakes every 20 seconds to see whether the
// schedule in the backup configuration file calls for a backup in this
// minute; `stop` ends the daemon named by the pid file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <iostream>

#include "BackupManager.h"
#include "daemoncontrol.h"
#include "extractToken.h"
#include "ovixconfig.h"
#include "schedule.h"
#include "sysutil.h"

namespace msg {
const char* const kNoConfiguration = "Cannot Find Ovix Configuration File";
const char* const kNoPermission = "You do not have enough permissions to run ovixbackup";
const char* const kAlreadyRunning = "ovixbackup is already running";
const char* const kStarting = "Starting ovixbackup";
const char* const kAlreadyStopped = "ovixbackup is already in stop state";
const char* const kCannotDetach = "Cannot start ovixbackup, plz try again";
const char* const kNoInsFolder = "Cannot find Ovix installation folder path";
}  // namespace msg

namespace {

constexpr unsigned kWakeUpSeconds = 20;
constexpr unsigned kAfterRunSeconds = 60;
constexpr int kStopGraceMs = 5000;
constexpr int kExitCannotStart = 255;
constexpr int kExitAlreadyRunning = 1;

// Why the last wake-up skipped the configuration; empty after a good one.
std::string lastBadConfiguration;

// Reports a configuration line the daemon had to skip on standard output and
// in the daemon log, once for as long as the same fault lasts.
void reportBadConfiguration(const std::string& insFolder, const std::string& reason) {
    if (reason == lastBadConfiguration) {
        return;
    }
    lastBadConfiguration = reason;
    std::cout << BAD_CONFIGURATION_MESSAGE << reason << std::endl;
    makeDirectories(insFolder + DAEMON_LOG_FOLDER, 0755);
    std::ofstream log(insFolder + DAEMON_LOG_FILE, std::ios::out | std::ios::app);
    log << BAD_CONFIGURATION_MESSAGE << reason << '\n';
}

// One wake-up: returns true when a backup was run.
bool checkOnce() {
    std::string insFolder;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder") != OVIXCONF_FOUND) {
        std::cout << msg::kNoInsFolder << std::endl;
        return false;
    }
    std::string line;
    switch (readFirstLine(insFolder + BACKUP_CONF_FILE, line)) {
        case LineReader::Result::Line:
            break;
        case LineReader::Result::TooLong:
            reportBadConfiguration(insFolder, CONFIGURATION_LINE_TOO_LONG);
            return false;
        default:
            return false;
    }
    time_t now = time(nullptr);
    struct tm local = {};
    localtime_r(&now, &local);
    std::string error;
    ScheduleCheck check = checkScheduleLine(line, local, error);
    if (check == ScheduleCheck::Malformed) {
        error.pop_back();  // the parser's message ends with a line feed
        reportBadConfiguration(insFolder, error);
    } else {
        lastBadConfiguration.clear();
    }
    if (check != ScheduleCheck::Due) {
        return false;
    }
    BackupManager manager;
    manager.startBackup();
    return true;
}

[[noreturn]] void checkBackupSchedule() {
    for (;;) {
        if (checkOnce()) {
            // Carries the loop past the scheduled minute: one run per minute.
            sleepSeconds(kAfterRunSeconds);
        }
        sleepSeconds(kWakeUpSeconds);
    }
}

// Leaves the terminal: a child in a session of its own, "/" as working
// folder and the standard streams on /dev/null. The parent records the
// child's pid in the pid file and returns; the child never returns.
int detachAndRun(const std::string& pidPath) {
    pid_t child = fork();
    if (child < 0) {
        std::cout << msg::kCannotDetach << std::endl;
        return kExitCannotStart;
    }
    if (child > 0) {
        if (!writePidFile(pidPath, child)) {
            kill(child, SIGKILL);
            std::cout << msg::kCannotDetach << std::endl;
            return kExitCannotStart;
        }
        return 0;
    }
    setsid();
    if (chdir("/") != 0) {
        _exit(kExitCannotStart);
    }
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO) {
            close(null);
        }
    }
    checkBackupSchedule();
}

int startDaemon() {
    std::string insFolder;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder") != OVIXCONF_FOUND) {
        std::cout << msg::kNoConfiguration << std::endl;
        return 0;
    }
    const std::string pidPath = insFolder + PID_FILE;
    struct stat st;
    if (stat(pidPath.c_str(), &st) != 0 && errno != ENOENT) {
        std::cout << msg::kNoPermission << std::endl;
        return 0;
    }
    pid_t recorded = readPidFile(pidPath);
    if (recorded > 0 && recorded != getpid() && isDaemonProcess(recorded)) {
        std::cout << msg::kAlreadyRunning << std::endl;
        return kExitAlreadyRunning;
    }
    std::cout << msg::kStarting << std::endl;
    if (!BackupManager::isLogSwitchOn()) {
        return detachAndRun(pidPath);
    }
    if (!writePidFile(pidPath, getpid())) {
        std::cout << msg::kCannotDetach << std::endl;
        return kExitCannotStart;
    }
    checkBackupSchedule();
}

int stopDaemon() {
    std::string insFolder;
    if (getParamFromOvixConfFile(OVIXCONFFILE, insFolder, "InsFolder") != OVIXCONF_FOUND) {
        return 0;
    }
    const std::string pidPath = insFolder + PID_FILE;
    if (access(pidPath.c_str(), R_OK) != 0) {
        std::cout << msg::kAlreadyStopped << std::endl;
        return 0;
    }
    pid_t recorded = readPidFile(pidPath);
    unlink(pidPath.c_str());
    if (recorded > 0 && recorded != getpid() && isDaemonProcess(recorded)) {
        stopDaemonProcess(recorded, kStopGraceMs);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string program = argc > 0 ? argv[0] : DAEMON_NAME;
    if (argc != 2) {
        std::cout << "Usage: " << program << " { start | stop }" << std::endl;
        return 0;
    }
    const std::string verb = argv[1];
    if (equalsIgnoreCase(verb, "start")) {
        return startDaemon();
    }
    if (equalsIgnoreCase(verb, "stop")) {
        return stopDaemon();
    }
    std::cout << "Usage: " << program << "{ start | stop }" << std::endl;
    return 0;
}
