#include "schedule.h"

#include <cstdlib>

#include "XMLParser.h"
#include "extractToken.h"

namespace {

// Decimal value of a field as atoi reads it (an empty text is 0); values far
// out of range never match a calendar field, so they all become -1.
int decimal(const std::string& text) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    return (value < -1 || value > 1000) ? -1 : static_cast<int>(value);
}

}  // namespace

bool parseTime(const std::string& time1, int& hour, int& minute) {
    std::size_t colon = time1.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string hourText = time1.substr(0, colon);
    std::string minuteText = time1.substr(colon + 1);
    if (!isInteger(hourText)) {
        hour = -1;
        minute = -1;
        return false;
    }
    int h = hourText.size() > 4 ? 99 : std::atoi(hourText.c_str());
    if (h > 23) {
        hour = -1;
        return false;
    }
    hour = h;
    if (!isInteger(minuteText)) {
        minute = -1;
        return false;
    }
    int m = minuteText.size() > 4 ? 99 : std::atoi(minuteText.c_str());
    if (m >= 60) {
        minute = -1;
        return false;
    }
    minute = m;
    return true;
}

BackupSchedule readSchedule(const std::vector<std::string>& entries) {
    BackupSchedule schedule;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        std::vector<std::string> pair = COvixGetCommand(entries[i]);
        if (pair.size() != 2) {
            continue;
        }
        const std::string& name = pair[0];
        if (equalsIgnoreCase(name, "BackupScheduleType")) {
            schedule.backupScheduleType = pair[1];
        } else if (equalsIgnoreCase(name, "BackupTime")) {
            schedule.backupTime = pair[1];
        } else if (equalsIgnoreCase(name, "BackupWeekDay")) {
            schedule.backupWeekDay = pair[1];
        } else if (equalsIgnoreCase(name, "BackupMonthDay")) {
            schedule.backupMonthDay = pair[1];
        }
    }
    return schedule;
}

bool isScheduleDue(const BackupSchedule& schedule, const struct tm& now) {
    int hour = -1;
    int minute = -1;
    if (!parseTime(schedule.backupTime, hour, minute) || now.tm_hour != hour ||
        now.tm_min != minute) {
        return false;
    }
    const std::string& type = schedule.backupScheduleType;
    if (type == "daily") {
        return true;
    }
    if (type == "weekly") {
        return now.tm_wday == decimal(schedule.backupWeekDay);
    }
    if (type == "monthly") {
        return now.tm_mday == decimal(schedule.backupMonthDay);
    }
    return false;
}

ScheduleCheck checkScheduleLine(const std::string& line, const struct tm& now, std::string& error) {
    error.clear();
    if (line.size() <= kShortestConfigLine) {
        return ScheduleCheck::NotConfigured;
    }
    std::vector<std::string> entries;
    if (XMLParser(line, entries, error) != XML_PARSE_OK) {
        return ScheduleCheck::Malformed;
    }
    return isScheduleDue(readSchedule(entries), now) ? ScheduleCheck::Due : ScheduleCheck::NotDue;
}
