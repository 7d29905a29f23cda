// The pid file and the daemon process it names: who is running, and how to
// stop exactly that process and no other.
#ifndef OVIXBACKUP_DAEMONCONTROL_H
#define OVIXBACKUP_DAEMONCONTROL_H

#include <sys/types.h>

#include <string>

// The command name every daemon process carries.
#define DAEMON_NAME "ovixbackup"

// The pid file under the install folder.
#define PID_FILE "/ovixbackup.pid"

// The pid written in the file (decimal, nothing else but an optional line
// end), or 0 when the file is missing or holds anything else.
pid_t readPidFile(const std::string& path);

// Replaces the pid file with pid, in decimal and without a line end.
bool writePidFile(const std::string& path, pid_t pid);

// True when pid is a live process (not a zombie) named DAEMON_NAME.
bool isDaemonProcess(pid_t pid);

// Asks pid to end (SIGTERM) and, when it is still there after graceMs,
// kills it (SIGKILL). True when the process is gone afterwards.
bool stopDaemonProcess(pid_t pid, int graceMs);

// Sleeps the whole number of seconds, resuming after signals.
void sleepSeconds(unsigned seconds);

#endif
