// Names of the backup set tree: the run's stamp and the set root, shared by
// the daemon that writes sets and the restore tool that reads them.
#ifndef OVIX_COMMON_BACKUPSET_H
#define OVIX_COMMON_BACKUPSET_H

#include <sys/types.h>

#include <ctime>
#include <string>

// Every set folder begins with this; the purge touches nothing else.
#define BACKUPSET_PREFIX "OvixBackup"

// Mode of every folder of a backup set.
constexpr mode_t kBackupFolderMode = 0744;

// The backup stamp of a calendar day: day of the month, month and the last
// two digits of the year, joined by "-" without leading zeros on the first
// two (9 December 2024 gives "9-12-24"; 5 January 2000 gives "5-1-00").
std::string backupStamp(const struct tm& day);

// The set root of a run: location + "/OvixBackup-" + stamp.
std::string backupSetRoot(const std::string& location, const std::string& stamp);

// True when name (a database name from the Ovix Server) can be a file name
// inside a set folder: not empty, not "." or "..", no "/" and no control
// characters. Anything else could lead a path out of the set.
bool isSafeSetFileName(const std::string& name);

// Creates one backup folder (its parent must exist) with kBackupFolderMode.
// True when it was made or existed already.
bool createBackupFolder(const std::string& path);

// Gives a backup folder kBackupFolderMode (whatever the umask made of it)
// and root as owner and group. False when either step fails.
bool giveBackupFolderToRoot(const std::string& path);

#endif
