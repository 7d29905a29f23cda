#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "ovixconfig.h"

namespace {

// A panel or settings file in a private temporary folder.
class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ovixconf-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/Ovix.conf";
    }
    void TearDown() override {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    void write(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    }
    std::string dir_;
    std::string path_;
};

}  // namespace

TEST_F(ConfigFile, PanelLookupFollowsTheFirstMatchingLine) {
    struct Case {
        std::string file;
        std::string key;
        int result;
        std::string value;
    };
    const std::string longLine(150, 'x');
    const std::string veryLongLine(10000, 'y');
    const std::vector<Case> cases = {
        {"insfolder=\"/x\"\n", "InsFolder", 1, "/x"},
        {"InsFolder = \"/usr/local/ovix\"\n", "InsFolder", 1, "/usr/local/ovix"},
        {"  \tInsFolder=\"/a\" # note \"b\"\n", "InsFolder", 1, "/a"},
        {"WebSpace=\"/home\"\nWeb=\"/w\"\n", "Web", 1, "/home"},  // prefix match
        {"InsFolder=/x\nInsFolder=\"/y\"\n", "InsFolder", 0, "unset"},
        {"InsFolder=\"\"\n", "InsFolder", 1, ""},
        {"\n\nOther=\"1\"\nInsFolder=\"/z\"", "InsFolder", 1, "/z"},  // no final line end
        {"Other=\"1\"\n", "InsFolder", 0, "unset"},
        {"InsFolder=\"/x\"\n", "", 0, "unset"},
        // Long lines ahead of the key no longer hide it.
        {longLine + "\nInsFolder=\"/x\"\n", "InsFolder", 1, "/x"},
        {veryLongLine + "\nInsFolder=\"/x\"\n", "InsFolder", 1, "/x"},
        {"InsFolder=\"" + veryLongLine + "\"\n", "InsFolder", 1, veryLongLine},
    };
    for (const auto& c : cases) {
        write(c.file);
        std::string value = "unset";
        EXPECT_EQ(getParamFromOvixConfFile(path_, value, c.key), c.result) << c.file.substr(0, 60);
        EXPECT_EQ(value, c.value) << c.file.substr(0, 60);
    }
}

TEST_F(ConfigFile, PanelLookupOfMissingOrOversizedFileFails) {
    std::string value = "unset";
    EXPECT_EQ(getParamFromOvixConfFile(dir_ + "/missing", value, "InsFolder"), 0);
    // A line past the reading limit ends the scan rather than being cut.
    write(std::string(1024 * 1024 + 10, 'z') + "\nInsFolder=\"/x\"\n");
    EXPECT_EQ(getParamFromOvixConfFile(path_, value, "InsFolder"), 0);
    EXPECT_EQ(value, "unset");
}

TEST_F(ConfigFile, SettingsLookupReadsQuotedAndPlainValues) {
    struct Case {
        std::string file;
        std::string name;
        std::string comment;
        bool quoted;
        int result;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"#ROOTDIR=\"/x\"\nROOTDIR = \"/y\"\n", "ROOTDIR", "#", true, 0, "/y"},
        {"ROOTDIR=/x\n", "ROOTDIR", "#", true, 0, "/x"},
        {"OPTIONS=\"-u named -t /x\"\n", "OPTIONS", "#", true, 0, "-u named -t /x"},
        {"rootdir\t=\t\"/x\"\n", "ROOTDIR", "#", true, 0, "/x"},
        {"ROOTDIR=\"/x\"\n", "ROOTDIR", "#", false, 0, "\"/x\""},
        {"ROOTDIRX=\"/x\"\n", "ROOTDIR", "#", true, 3, ""},  // whole-name match
        {"ROOTDIR \"/x\"\n", "ROOTDIR", "#", true, 3, ""},   // no separator
        {"ROOTDIR=\"/x\"\n", "ROOTDIR", "", true, 3, ""},    // every line a comment
        {"ROOTDIR=\n", "ROOTDIR", "#", true, 0, ""},
        {"ROOTDIR=\"/x\"\n", "", "#", true, 3, ""},
        {std::string(5000, 'a') + "\nROOTDIR=\"/x\"\n", "ROOTDIR", "#", true, 0, "/x"},
    };
    for (const auto& c : cases) {
        write(c.file);
        std::string value = "stale";
        EXPECT_EQ(GetParameterFromFile(path_, c.name, '=', c.comment, value, c.quoted), c.result)
            << c.file.substr(0, 60);
        EXPECT_EQ(value, c.value) << c.file.substr(0, 60);
    }
    std::string value = "stale";
    EXPECT_EQ(GetParameterFromFile(dir_ + "/missing", "ROOTDIR", '=', "#", value, true), 3);
    EXPECT_EQ(value, "");
}
