// When a backup is due: the schedule read from the backup configuration
// line, decided against a calendar time. Pure functions, no I/O.
#ifndef OVIXBACKUP_SCHEDULE_H
#define OVIXBACKUP_SCHEDULE_H

#include <ctime>
#include <string>
#include <vector>

// A first line this short (or shorter) means no backup is configured.
constexpr std::size_t kShortestConfigLine = 19;

// The schedule fields of the backup configuration file, as they stand.
struct BackupSchedule {
    std::string backupScheduleType;  // "daily", "weekly" or "monthly", exactly
    std::string backupTime;          // "hh:mm"
    std::string backupWeekDay;       // "00" (Sunday) to "06"
    std::string backupMonthDay;      // "01" to "28"
};

// Parses "hh:mm" (hour 0-23, minute 0-59, either part may be empty for 0,
// digits only). Returns false for anything else; as the daemon always did,
// an invalid hour sets hour (and for non-digits minute) to -1, an invalid
// minute sets minute to -1, and a text without ":" leaves both untouched.
bool parseTime(const std::string& time1, int& hour, int& minute);

// Takes the schedule fields from a parsed configuration (entry 0, the action,
// is skipped). Names are compared ignoring case; a later entry wins.
BackupSchedule readSchedule(const std::vector<std::string>& entries);

// True when the schedule calls for a backup in the minute of now.
bool isScheduleDue(const BackupSchedule& schedule, const struct tm& now);

// What one wake-up makes of the first line of the configuration file.
enum class ScheduleCheck {
    NotConfigured,  // line too short: nothing configured
    Malformed,      // not well-formed XML; error holds the parser's text
    NotDue,
    Due,
};

ScheduleCheck checkScheduleLine(const std::string& line, const struct tm& now, std::string& error);

#endif
