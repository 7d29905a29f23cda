#include <gtest/gtest.h>

#include "backupdatabase.h"
#include "backupset.h"
#include "retention.h"
#include "runsettings.h"

using Strings = std::vector<std::string>;

TEST(RunSettings, DefaultsWhenNothingIsSet) {
    RunSettings s = readRunSettings({"Action=BackupOvix"});
    EXPECT_EQ(s.backupWebserver, "");
    EXPECT_TRUE(s.backupWebspace);
    EXPECT_EQ(s.location(), "/usr/local/OvixBackup");
    EXPECT_FALSE(s.isRemote());
    EXPECT_EQ(s.purgeTime, 0);
    EXPECT_TRUE(s.fileFilter.empty());
}

TEST(RunSettings, ReadsEveryNameIgnoringCase) {
    RunSettings s = readRunSettings({
        "Action=ignored",
        "BackupWebserver=yes",
        "backupwebspace=YES",
        "DirToFilter=/tmp",
        "FileToFilter=.log",
        "FILETOFILTER=.tmp",
        "BackupMailServer=Yes",
        "BackupDNSServer=yes",
        "BackupDatabaseServer=no",
        "BackupType=remote",
        "BackupLocation=/backup//",
        "FTPServer=192.0.2.1",
        "FTPPort=2121",
        "FTPUserName=user",
        "FTPPassword=a=b",
        "PurgeTime=03",
        "BackupType=local",  // a later entry wins
        "NoEquals",
        "Unknown=x",
    });
    EXPECT_EQ(s.backupWebserver, "yes");
    EXPECT_TRUE(s.backupWebspace);
    EXPECT_EQ(s.dirFilter, Strings{"/tmp"});
    EXPECT_EQ(s.fileFilter, (Strings{".log", ".tmp"}));
    EXPECT_EQ(s.backupMailServer, "Yes");  // the flag itself is compared exactly later
    EXPECT_EQ(s.backupType, "local");
    EXPECT_EQ(s.location(), "/backup/");  // only one trailing "/" goes
    EXPECT_EQ(s.ftpPassword, "a=b");
    EXPECT_EQ(s.purgeTime, 3);
    EXPECT_FALSE(readRunSettings({"", "BackupWebspace=no"}).backupWebspace);
    EXPECT_EQ(readRunSettings({"", "BackupLocation=/backup"}).location(), "/backup");
    EXPECT_TRUE(readRunSettings({"", "BackupType=remote"}).isRemote());
    EXPECT_FALSE(readRunSettings({"", "BackupType=Remote"}).isRemote());
}

TEST(Retention, OnlyDatedSetNamesAreBackupSets) {
    struct Case {
        std::string name;
        bool isSet;
    };
    const std::vector<Case> cases = {
        {"OvixBackup-1-3-24", true},
        {"ovixbackup-2-3-24", true},
        {"OVIXBACKUP-31-12-99", true},
        {"OvixBackup-1-3-24.zip", true},
        {"OvixBackup-01-03-24", true},
        {"OvixBackup-1-3-24.ZIP", true},
        {"OvixBackup", false},
        {"OvixBackup-", false},
        {"OvixBackup-1-3", false},
        {"OvixBackup-a-3-24", false},
        {"OvixBackup-1-3-2024", false},
        {"OvixBackup-1-3-4", false},
        {"OvixBackup-0-3-24", false},
        {"OvixBackup-1-13-24", false},
        {"OvixBackup-32-1-24", false},
        {"OvixBackup-1-3-24.tar", false},
        {"OvixBackup-1-3-24 ", false},
        {"OvixBackup-1-3-24x", false},
        {"OvixBackup-latest", false},
        {"OvixBackup-1--3-24", false},
        {"webspace", false},
        {"OvixBackup-001-3-24", false},
        {"xOvixBackup-1-3-24", false},
        {"OvixBackup-1-3-24/../x", false},
    };
    for (const auto& c : cases) {
        int day = 0;
        int month = 0;
        int year = 0;
        EXPECT_EQ(parseBackupSetName(c.name, day, month, year), c.isSet) << c.name;
    }
    int day = 0;
    int month = 0;
    int year = 0;
    ASSERT_TRUE(parseBackupSetName("ovixbackup-2-3-24.zip", day, month, year));
    EXPECT_EQ(day, 2);
    EXPECT_EQ(month, 3);
    EXPECT_EQ(year, 2024);
}

TEST(Retention, AgeInWholeDaysFromTheSetName) {
    // 5 March 2024, 10:30 local time.
    struct tm t = {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 10;
    t.tm_min = 30;
    t.tm_isdst = -1;
    const time_t now = mktime(&t);
    const long day = kSecondsPerDay;
    struct Case {
        std::string name;
        long days;
    };
    const std::vector<Case> cases = {
        {"OvixBackup-5-3-24", 0},   {"OvixBackup-4-3-24", 1},  {"ovixbackup-2-3-24", 3},
        {"OvixBackup-1-3-24", 4},   {"OvixBackup-28-2-24", 6}, {"OvixBackup-6-3-24", -1},
        {"OvixBackup-5-3-23", 366},
    };
    for (const auto& c : cases) {
        long age = 12345;
        ASSERT_TRUE(backupSetAge(c.name, now, age)) << c.name;
        // A daylight saving change between the two dates moves it by an hour.
        EXPECT_NEAR(static_cast<double>(age), static_cast<double>(c.days * day), 3600) << c.name;
    }
    long age = 12345;
    EXPECT_FALSE(backupSetAge("OvixBackup-x", now, age));
    EXPECT_EQ(age, 12345);
}

TEST(BackupDatabase, DatabaseNamesAndSafeFileNames) {
    EXPECT_EQ(BackupDatabase::databaseName("shop:utf8"), "shop");
    EXPECT_EQ(BackupDatabase::databaseName("shop"), "shop");
    EXPECT_EQ(BackupDatabase::databaseName(":x"), "");
    for (const char* ok : {"shop", "my-db", "-dash", ".hidden", "a b", "$(id)", "日本"}) {
        EXPECT_TRUE(isSafeSetFileName(ok)) << ok;
    }
    for (const char* bad : {"", ".", "..", "a/b", "/etc", "new\nline", "tab\t", "del\x7f"}) {
        EXPECT_FALSE(isSafeSetFileName(bad)) << bad;
    }
}
