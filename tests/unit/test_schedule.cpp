#include <gtest/gtest.h>

#include "backupset.h"
#include "schedule.h"

namespace {

// A calendar time: weekday 0 is Sunday.
struct tm at(int mday, int wday, int hour, int minute) {
    struct tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = mday;
    t.tm_wday = wday;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

std::string param(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\"><![CDATA[" + value + "]]></parameter>";
}

std::string configLine(const std::string& type, const std::string& time,
                       const std::string& extra = "") {
    return "<command><Action><![CDATA[BackupOvix]]></Action>" + param("BackupWebserver", "no") +
           param("BackupScheduleType", type) + param("BackupTime", time) + extra + "</command>";
}

}  // namespace

TEST(ParseTime, AcceptsHoursAndMinutesInRange) {
    struct Case {
        std::string text;
        bool ok;
        int hour;
        int minute;
    };
    const std::vector<Case> cases = {
        {"2:30", true, 2, 30},
        {"02:30", true, 2, 30},
        {":30", true, 0, 30},
        {"7:", true, 7, 0},
        {"23:59", true, 23, 59},
        {"0:0", true, 0, 0},
        {"24:00", false, -1, 9},
        {"12:60", false, 12, -1},
        {"12-30", false, 9, 9},
        {"a:10", false, -1, -1},
        {"12:x", false, 12, -1},
        {"-1:10", false, -1, -1},
        {"", false, 9, 9},
        {"99999999999:00", false, -1, 9},
        {"12:99999999999", false, 12, -1},
    };
    for (const auto& c : cases) {
        int hour = 9;
        int minute = 9;
        EXPECT_EQ(parseTime(c.text, hour, minute), c.ok) << c.text;
        EXPECT_EQ(hour, c.hour) << c.text;
        EXPECT_EQ(minute, c.minute) << c.text;
    }
}

TEST(Schedule, DueOnlyInTheScheduledMinute) {
    struct Case {
        std::string line;
        struct tm now;
        ScheduleCheck expected;
    };
    const std::string sunday = param("BackupWeekDay", "00");
    const std::string wednesday = param("BackupWeekDay", "03");
    const std::string fifth = param("BackupMonthDay", "05");
    const std::vector<Case> cases = {
        {configLine("daily", "23:59"), at(11, 5, 23, 59), ScheduleCheck::Due},
        {configLine("daily", "23:59"), at(11, 5, 23, 58), ScheduleCheck::NotDue},
        {configLine("daily", "23:59"), at(11, 5, 22, 59), ScheduleCheck::NotDue},
        {configLine("daily", "02:30"), at(11, 5, 2, 30), ScheduleCheck::Due},
        {configLine("Daily", "02:30"), at(11, 5, 2, 30), ScheduleCheck::NotDue},
        {configLine("DAILY", "02:30"), at(11, 5, 2, 30), ScheduleCheck::NotDue},
        {configLine("hourly", "02:30"), at(11, 5, 2, 30), ScheduleCheck::NotDue},
        {configLine("daily", "24:00"), at(11, 5, 0, 0), ScheduleCheck::NotDue},
        {configLine("daily", "12:60"), at(11, 5, 12, 0), ScheduleCheck::NotDue},
        {configLine("daily", ":30"), at(11, 5, 0, 30), ScheduleCheck::Due},
        {configLine("daily", "7:"), at(11, 5, 7, 0), ScheduleCheck::Due},
        {configLine("weekly", "10:00", sunday), at(13, 0, 10, 0), ScheduleCheck::Due},
        {configLine("weekly", "10:00", sunday), at(14, 1, 10, 0), ScheduleCheck::NotDue},
        {configLine("weekly", "10:00", wednesday), at(16, 3, 10, 0), ScheduleCheck::Due},
        {configLine("monthly", "10:00", fifth), at(5, 6, 10, 0), ScheduleCheck::Due},
        {configLine("monthly", "10:00", fifth), at(15, 2, 10, 0), ScheduleCheck::NotDue},
        // A later entry overrides an earlier one.
        {configLine("daily", "10:00", param("BackupTime", "11:00")), at(1, 1, 11, 0),
         ScheduleCheck::Due},
        // Names are compared ignoring case, values are not.
        {"<command><Action>BackupOvix</Action>" + param("backupscheduletype", "daily") +
             param("BACKUPTIME", "10:00") + "</command>",
         at(1, 1, 10, 0), ScheduleCheck::Due},
        {"", at(1, 1, 10, 0), ScheduleCheck::NotConfigured},
        {std::string(19, 'x'), at(1, 1, 10, 0), ScheduleCheck::NotConfigured},
        {std::string(20, 'x'), at(1, 1, 10, 0), ScheduleCheck::Malformed},
        {"<command></command>\n", at(1, 1, 10, 0), ScheduleCheck::NotDue},  // 20 characters
        {configLine("daily", "10:00").substr(0, 100), at(1, 1, 10, 0), ScheduleCheck::Malformed},
        // Long lines are used whole: the schedule may come after 10,000 characters.
        {configLine("daily", "10:00", "")
             .insert(48, param("FileToFilter", std::string(10000, 'x'))),
         at(1, 1, 10, 0), ScheduleCheck::Due},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(checkScheduleLine(c.line, c.now, error), c.expected) << c.line;
        EXPECT_EQ(error.empty(), c.expected != ScheduleCheck::Malformed) << c.line;
    }
}

TEST(BackupStamp, DayMonthAndTwoDigitYearWithoutLeadingZeros) {
    struct tm t = {};
    t.tm_mday = 9;
    t.tm_mon = 11;
    t.tm_year = 2024 - 1900;
    EXPECT_EQ(backupStamp(t), "9-12-24");
    t.tm_mday = 5;
    t.tm_mon = 0;
    t.tm_year = 2000 - 1900;
    EXPECT_EQ(backupStamp(t), "5-1-00");
    t.tm_mday = 31;
    t.tm_year = 2009 - 1900;
    EXPECT_EQ(backupStamp(t), "31-1-09");
    EXPECT_EQ(backupSetRoot("/backup", "9-12-24"), "/backup/OvixBackup-9-12-24");
}
