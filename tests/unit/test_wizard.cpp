#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <utility>

#include "XMLParser.h"
#include "answerreader.h"
#include "backupconfig.h"
#include "runsettings.h"
#include "schedule.h"
#include "wizardchecks.h"

namespace {

template <typename Result>
struct Case {
    std::string answer;
    Result expected;
};

// Runs check over a table of answers and their expected results.
template <typename Result, typename Check>
void expectAll(const char* what, Check check, const std::vector<Case<Result>>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(check(c.answer), c.expected) << what << "(\"" << c.answer << "\")";
    }
}

// A check that must take every accepted answer and none of the refused.
template <typename Check>
void expectSplit(const char* what, Check check, const std::vector<std::string>& accepted,
                 const std::vector<std::string>& refused) {
    for (const std::string& answer : accepted) {
        EXPECT_TRUE(check(answer)) << what << "(\"" << answer << "\")";
    }
    for (const std::string& answer : refused) {
        EXPECT_FALSE(check(answer)) << what << "(\"" << answer << "\")";
    }
}

}  // namespace

TEST(WizardChecks, IsValidTime) {
    expectSplit("isValidTime", isValidTime,
                {"23:59", "0:0", "12:", ":30", "7:5", "07:05", "0023:0059", ":"},
                {"24:00", "12:60", "1200", "12:3a", "-1:30", "", " 1:30", "1:30 ", "+1:30", "1:2:3",
                 "00001:00", "1:00030", "99999999999999999999:00"});
}

TEST(WizardChecks, IsValidIP) {
    expectSplit("isValidIP", isValidIP,
                {"10.0.0.1", "10.0.1", "0.0.0.0", "255.255.255.255", "ftp.example.com", "a.b.c.d",
                 "localhost", "10..0.1", "1.2.3.4x", ""},  // emptiness is checked apart
                {"10.0.0.256", "300.1.1.1", "1.2.3.4.5", "a.b.c.d.e", "1.2.3.4.", "-1.0.0.0",
                 "99999999999999999999.1"});
}

TEST(WizardChecks, CanStoreValueOnlyWhatReadsBack) {
    expectSplit("canStoreValue", canStoreValue,
                {"ab", "p w'd\"$(id);=x #\\", "\xc3\xa9" /* one character, two bytes */,
                 "\xe6\x97\xa5\xe6\x9c\xac", "]ab", "a\tb", "<&>"},
                {"", "a", ".", "/", ":", "]]>", "a]]>b", "a]",
                 "ab]cd",  // the reader splits character data at "]"
                 "a\001b", "a\rb", "ab\r",
                 "\xe9t\xe9",  // Latin-1, not UTF-8
                 std::string("a\0b", 3)});
}

TEST(WizardChecks, YesNoAnswers) {
    expectSplit("isYesOrNo", isYesOrNo, {"yes", "YES", "No", "no"}, {"y", "", "yess", " yes"});
    expectSplit("beginsWithYes", beginsWithYes, {"yes", "Yesterday"}, {"y", "no", " yes"});
    expectAll<PurgeAnswer>("purgeAnswer", purgeAnswer,
                           {{"yes", PurgeAnswer::Yes},
                            {"yesterday", PurgeAnswer::Yes},
                            {"YES", PurgeAnswer::Yes},
                            {"no", PurgeAnswer::No},
                            {"nope", PurgeAnswer::No},
                            {"NO", PurgeAnswer::No},
                            {"", PurgeAnswer::Neither},
                            {"y", PurgeAnswer::Neither},
                            {" yes", PurgeAnswer::Neither},
                            {"maybe", PurgeAnswer::Neither}});
}

TEST(WizardChecks, NumberAnswers) {
    expectAll<int>("purgeDays", purgeDays,
                   {{"1", 1},
                    {"30", 30},
                    {"7days", 7},
                    {" 7", 7},
                    {"07", 7},
                    {"0", 0},
                    {"31", 0},
                    {"x", 0},
                    {"", 0},
                    {"-5", 0},
                    {"99999999999999999999", 0}});
    expectSplit("isValidWeekDay", isValidWeekDay, {"0", "3", "6"},
                {"7", "06", "", "-1", "a", " 3"});
    expectSplit("isValidMonthDay", isValidMonthDay, {"1", "5", "05", "15", "28", "0028"},
                {"0", "29", "", "-1", "5x", " 5", "99999999999999999999"});
}

TEST(WizardChecks, MenuChoices) {
    expectAll<int>("locationChoice", locationChoice,
                   {{"1", kChoiceLocal},
                    {"1abc", kChoiceLocal},
                    {"2", kChoiceRemote},
                    {"2x", kChoiceRemote},
                    {"", kChoiceNone},
                    {"3", kChoiceNone},
                    {" 1", kChoiceNone}});
    expectAll<int>("scheduleChoice", scheduleChoice,
                   {{"1", kChoiceDaily},
                    {"2", kChoiceWeekly},
                    {"3", kChoiceMonthly},
                    {"0", kChoiceNone},
                    {"4", kChoiceNone},
                    {"11", kChoiceNone},
                    {"1 ", kChoiceNone},
                    {"", kChoiceNone},
                    {"a", kChoiceNone}});
}

TEST(WizardChecks, FoldersFiltersAndPorts) {
    expectSplit("isFileFilter", isFileFilter, {".log", "."}, {"*.log", "log", ""});
    expectAll<std::string>("backupFolderPath", backupFolderPath,
                           {{"/backup", "/backup/"}, {"/backup/", "/backup/"}, {"/", "/"}});
    expectSplit("isUsableBackupPath", isUsableBackupPath, {"/backup/", "/a b/"},
                {"backup/", "~/x/", "/", "/a]]>b/", ""});
    expectAll<std::string>("ftpPortValue", ftpPortValue,
                           {{"", "21"}, {"7", "07"}, {"21", "21"}, {"abc", "abc"}, {"x", "x"}});
}

TEST(ServerRoles, FlagsFromTheAnswer) {
    struct RoleCase {
        std::vector<std::string> entries;
        bool found;
        std::vector<std::string> flags;  // web, mail, DNS, database
    };
    const std::string action = "action=GetServerRoles";
    const std::vector<RoleCase> cases = {
        {{action, "WebServer=yes", "MailServer=no", "DNSServer=yes", "DatabaseServer=no"},
         true,
         {"yes", "no", "yes", "no"}},
        {{action, "DNSServer=yes"}, true, {"no", "no", "yes", "no"}},
        {{action, "WebServer=no", "MailServer=no", "DNSServer=no", "DatabaseServer=no"},
         true,
         {"no", "no", "no", "no"}},
        {{action, "webserver=yes", "MAILSERVER=yes"}, true, {"yes", "yes", "no", "no"}},
        // Only "yes" itself is a role; any other value is stored as "no".
        {{action, "WebServer=Yes", "DatabaseServer=y"}, true, {"no", "no", "no", "no"}},
        {{action, "WebServer=yes", "WebServer=no"}, true, {"no", "no", "no", "no"}},
        {{action, "garbage", "=yes", "DNSServer=yes"}, true, {"no", "no", "yes", "no"}},
        {{action}, false, {"no", "no", "no", "no"}},
        {{action, "Other=yes"}, false, {"no", "no", "no", "no"}},
        {{"WebServer=yes"}, false, {"no", "no", "no", "no"}},  // entry 0 is the action
        {{}, false, {"no", "no", "no", "no"}},
    };
    for (const auto& c : cases) {
        BackupConfig config;
        EXPECT_EQ(applyServerRoles(c.entries, config), c.found)
            << ::testing::PrintToString(c.entries);
        const std::vector<std::string> flags = {config.backupWebserver, config.backupMailServer,
                                                config.backupDNSServer,
                                                config.backupDatabaseServer};
        EXPECT_EQ(flags, c.flags) << ::testing::PrintToString(c.entries);
    }
}

namespace {

std::string param(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\"><![CDATA[" + value + "]]></parameter>";
}

std::string mail(const std::string& value) {
    return "<parameter  name=\"BackupMailServer\"><![CDATA[" + value + "]]></parameter>";
}

std::string line(const std::string& params) {
    return "<command><Action><![CDATA[BackupOvix]]></Action>" + params + "</command>";
}

BackupConfig localDaily() {
    BackupConfig c;
    c.backupWebserver = "yes";
    c.fileFilter = {".log", ".tmp", ".bak"};
    c.backupMailServer = "yes";
    c.backupDatabaseServer = "yes";
    c.backupType = "local";
    c.backupPath = "/usr/local/OvixBackup/";
    c.backupScheduleType = "daily";
    c.backupTime = "02:30";
    return c;
}

BackupConfig remote(const std::string& scheduleType) {
    BackupConfig c;
    c.backupDNSServer = "yes";
    c.backupType = "remote";
    c.ftpServer = "ftp.example.com";
    c.ftpPort = "21";
    c.ftpUserName = "backup";
    c.ftpPassword = "pa=ss wo\"rd";
    c.backupScheduleType = scheduleType;
    c.backupTime = "7:5";
    return c;
}

struct PacketCase {
    std::string name;
    BackupConfig config;
    std::string expected;
};

std::vector<PacketCase> packetCases() {
    const std::string roles = mail("no") + param("BackupDNSServer", "yes") +
                              param("BackupDatabaseServer", "no") + param("BackupType", "remote") +
                              param("FTPServer", "ftp.example.com") + param("FTPPort", "21") +
                              param("FTPUserName", "backup") + param("FTPPassword", "pa=ss wo\"rd");
    std::vector<PacketCase> cases;
    cases.push_back(
        {"local daily with three filters", localDaily(),
         line(param("BackupWebserver", "yes") + param("BackupWebspace", "yes") +
              param("FileToFilter", ".log") + param("FileToFilter", ".tmp") +
              param("FileToFilter", ".bak") + mail("yes") + param("BackupDNSServer", "no") +
              param("BackupDatabaseServer", "yes") + param("BackupType", "local") +
              param("BackupLocation", "/usr/local/OvixBackup/") +
              param("BackupScheduleType", "daily") + param("BackupTime", "02:30"))});
    BackupConfig c = localDaily();
    c.backupWebserver = "no";
    cases.push_back(
        {"web role no: no webspace, no filters", c,
         line(param("BackupWebserver", "no") + mail("yes") + param("BackupDNSServer", "no") +
              param("BackupDatabaseServer", "yes") + param("BackupType", "local") +
              param("BackupLocation", "/usr/local/OvixBackup/") +
              param("BackupScheduleType", "daily") + param("BackupTime", "02:30"))});
    c = localDaily();
    c.backupWebspace = "no";
    c.dirFilter = {"/var/www/cache"};
    c.purgeTime = 30;
    cases.push_back(
        {"webspace no keeps folders, drops file filters", c,
         line(param("BackupWebserver", "yes") + param("BackupWebspace", "no") +
              param("DirToFilter", "/var/www/cache") + mail("yes") +
              param("BackupDNSServer", "no") + param("BackupDatabaseServer", "yes") +
              param("BackupType", "local") + param("BackupLocation", "/usr/local/OvixBackup/") +
              param("BackupScheduleType", "daily") + param("BackupTime", "02:30") +
              param("PurgeTime", "30"))});
    c = remote("weekly");
    c.backupWeekDay = "3";
    c.purgeTime = 7;
    cases.push_back({"remote weekly on Wednesday, purge 7", c,
                     line(param("BackupWebserver", "no") + roles +
                          param("BackupScheduleType", "weekly") + param("BackupTime", "7:5") +
                          param("BackupWeekDay", "03") + param("PurgeTime", "07"))});
    for (const auto& [day, written] : std::vector<std::pair<std::string, std::string>>{
             {"5", "05"}, {"15", "15"}, {"05", "05"}}) {
        c = remote("monthly");
        c.backupMonthDay = day;
        cases.push_back(
            {"monthly on " + day, c,
             line(param("BackupWebserver", "no") + roles + param("BackupScheduleType", "monthly") +
                  param("BackupMonthDay", written) + param("BackupTime", "7:5"))});
    }
    return cases;
}

}  // namespace

TEST(ConfPacket, ExactLine) {
    for (const auto& c : packetCases()) {
        EXPECT_EQ(buildConfPacket(c.config), c.expected) << c.name;
    }
}

TEST(ConfPacket, DaemonReadsBackWhatWasEntered) {
    for (const auto& c : packetCases()) {
        const BackupConfig& in = c.config;
        std::vector<std::string> entries;
        std::string error;
        ASSERT_EQ(XMLParser(buildConfPacket(in), entries, error), XML_PARSE_OK) << c.name << error;
        const RunSettings run = readRunSettings(entries);
        const bool web = in.backupWebserver == "yes";
        EXPECT_EQ(run.backupWebserver, in.backupWebserver) << c.name;
        EXPECT_EQ(run.backupWebspace, !web || in.backupWebspace == "yes") << c.name;
        EXPECT_EQ(run.dirFilter, web ? in.dirFilter : std::vector<std::string>{}) << c.name;
        EXPECT_EQ(run.fileFilter,
                  web && in.backupWebspace == "yes" ? in.fileFilter : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(run.backupMailServer, in.backupMailServer) << c.name;
        EXPECT_EQ(run.backupDNSServer, in.backupDNSServer) << c.name;
        EXPECT_EQ(run.backupDatabaseServer, in.backupDatabaseServer) << c.name;
        EXPECT_EQ(run.backupType, in.backupType) << c.name;
        EXPECT_EQ(run.isRemote(), in.backupType == "remote") << c.name;
        if (!run.isRemote()) {
            EXPECT_EQ(run.backupPath, in.backupPath) << c.name;
        }
        EXPECT_EQ(run.ftpServer, in.ftpServer) << c.name;
        EXPECT_EQ(run.ftpPort, in.ftpPort) << c.name;
        EXPECT_EQ(run.ftpUserName, in.ftpUserName) << c.name;
        EXPECT_EQ(run.ftpPassword, in.ftpPassword) << c.name;
        EXPECT_EQ(run.purgeTime, in.purgeTime) << c.name;

        const BackupSchedule schedule = readSchedule(entries);
        EXPECT_EQ(schedule.backupScheduleType, in.backupScheduleType) << c.name;
        EXPECT_EQ(schedule.backupTime, in.backupTime) << c.name;
        if (in.backupScheduleType == "weekly") {
            EXPECT_EQ(std::stoi(schedule.backupWeekDay), std::stoi(in.backupWeekDay)) << c.name;
        }
        if (in.backupScheduleType == "monthly") {
            EXPECT_EQ(std::stoi(schedule.backupMonthDay), std::stoi(in.backupMonthDay)) << c.name;
        }
    }
}

namespace {

using Read = std::pair<AnswerReader::Result, std::string>;
constexpr AnswerReader::Result kAnswer = AnswerReader::Result::Answer;
constexpr AnswerReader::Result kTooLong = AnswerReader::Result::TooLong;
constexpr AnswerReader::Result kEnd = AnswerReader::Result::End;

// Everything a reader makes of input arriving through a pipe, up to the end.
std::vector<Read> readAll(const std::string& input) {
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    // Small inputs only: the pipe holds all of it before anything is read.
    EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    AnswerReader reader(fds[0]);
    std::vector<Read> reads;
    std::string answer;
    AnswerReader::Result result;
    do {
        result = reader.next(answer);
        reads.emplace_back(result, answer);
    } while (result != kEnd && reads.size() < 100);
    close(fds[0]);
    return reads;
}

}  // namespace

TEST(AnswerReader, LinesUpToTheLimit) {
    const std::string longest(kMaxAnswerLength, 'a');
    const std::string tooLong(kMaxAnswerLength + 1, 'b');
    const std::string huge(20000, 'c');
    const std::vector<std::pair<std::string, std::vector<Read>>> cases = {
        {"", {{kEnd, ""}}},
        {"yes\nno\n", {{kAnswer, "yes"}, {kAnswer, "no"}, {kEnd, ""}}},
        {"\n\n", {{kAnswer, ""}, {kAnswer, ""}, {kEnd, ""}}},
        {"last", {{kAnswer, "last"}, {kEnd, ""}}},
        {"a\r\n", {{kAnswer, "a\r"}, {kEnd, ""}}},
        {longest + "\n", {{kAnswer, longest}, {kEnd, ""}}},
        {longest, {{kAnswer, longest}, {kEnd, ""}}},
        {tooLong + "\nnext\n", {{kTooLong, ""}, {kAnswer, "next"}, {kEnd, ""}}},
        {huge + "\n" + huge + "\n1\n",
         {{kTooLong, ""}, {kTooLong, ""}, {kAnswer, "1"}, {kEnd, ""}}},
        {tooLong, {{kTooLong, ""}, {kEnd, ""}}},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(readAll(input), expected) << input.substr(0, 40);
    }
}
