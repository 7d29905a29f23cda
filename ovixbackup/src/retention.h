// Which entries of a backup location are backup sets, and how old they are.
// Pure functions: the purge itself lives in BackupManager.
#ifndef OVIXBACKUP_RETENTION_H
#define OVIXBACKUP_RETENTION_H

#include <ctime>
#include <string>

// Seconds in a day; PurgeTime is a number of days.
constexpr long kSecondsPerDay = 86400;

// The date a backup set name carries. Only names of the form
// "OvixBackup-<day>-<month>-<yy>" (the prefix compared ignoring case, day
// 1-31 and month 1-12 in one or two digits, a two-digit year), optionally
// followed by ".zip", are backup sets; false for anything else.
bool parseBackupSetName(const std::string& name, int& day, int& month, int& year);

// Age in seconds, at now, of the set called name: now minus the set's date
// at the current time of day (so a set of today is 0 and one of N days ago
// N * 86400, give or take an hour across a daylight saving change; a date in
// the future gives a negative age). False, age untouched, for names that
// are not backup sets.
bool backupSetAge(const std::string& name, time_t now, long& age);

#endif
