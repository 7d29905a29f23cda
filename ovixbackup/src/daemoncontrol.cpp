#include "daemoncontrol.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "extractToken.h"
#include "sysutil.h"

namespace {

std::string procFile(pid_t pid, const char* name) {
    return "/proc/" + std::to_string(pid) + "/" + name;
}

// A zombie has ended; only its parent's wait is missing.
bool isZombie(pid_t pid) {
    std::string stat;
    if (readFirstLine(procFile(pid, "stat"), stat) != LineReader::Result::Line) {
        return true;
    }
    // The state follows the command name, which is in parentheses and may
    // itself hold ") ".
    std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z';
}

bool isAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 && !isZombie(pid);
}

void sleepMilliseconds(long ms) {
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

bool waitUntilGone(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (!isAlive(pid)) {
            return true;
        }
        sleepMilliseconds(50);
    }
    return !isAlive(pid);
}

}  // namespace

pid_t readPidFile(const std::string& path) {
    std::string line;
    if (readFirstLine(path, line) != LineReader::Result::Line || line.empty() || line.size() > 9 ||
        !isInteger(line)) {
        return 0;
    }
    return static_cast<pid_t>(std::atoi(line.c_str()));
}

bool writePidFile(const std::string& path, pid_t pid) {
    return writeFileAtomic(path, std::to_string(pid), 0644);
}

bool isDaemonProcess(pid_t pid) {
    if (pid <= 0 || !isAlive(pid)) {
        return false;
    }
    std::string comm;
    return readFirstLine(procFile(pid, "comm"), comm) == LineReader::Result::Line &&
           comm == DAEMON_NAME;
}

bool stopDaemonProcess(pid_t pid, int graceMs) {
    if (pid <= 0) {
        return false;
    }
    if (::kill(pid, SIGTERM) != 0) {
        return errno == ESRCH;
    }
    if (waitUntilGone(pid, graceMs)) {
        return true;
    }
    ::kill(pid, SIGKILL);
    return waitUntilGone(pid, 2000);
}

void sleepSeconds(unsigned seconds) {
    sleepMilliseconds(static_cast<long>(seconds) * 1000);
}
