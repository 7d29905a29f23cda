// PunyCode runs the system's which, locale and idn; these tests use the real
// tools and steer them through LANG and PATH, as the daemon's environment
// would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "PunyCode.h"
#include "command.h"

namespace {

// Sets an environment variable for the length of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = getenv(name);
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (hadOld_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace

TEST(PunyCode, CharsetFollowsLang) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"en_US.UTF-8", CHARSET_UTF8}, {"en_US.utf-8", CHARSET_UTF8}, {"C.UTF-8", CHARSET_UTF8},
        {"en_US.utf8", CHARSET_OTHER}, {"C", CHARSET_OTHER},          {"", CHARSET_OTHER},
    };
    PunyCode puny;
    for (const auto& [lang, expected] : cases) {
        ScopedEnv env("LANG", lang);
        ScopedEnv all("LC_ALL", "");
        EXPECT_EQ(puny.isSystemCharsetIsUTF8(), expected) << "LANG=" << lang;
    }
}

TEST(PunyCode, ConvertsWithTheIdnTool) {
    ScopedEnv env("LANG", "C.UTF-8");
    PunyCode puny;
    EXPECT_EQ(puny.getCommandPath("idn"), "/usr/bin/idn");
    EXPECT_EQ(puny.getCommandPath("no-such-tool-ovix"), "");

    struct Case {
        std::string name;
        int result;
        std::string punycode;
    };
    const std::vector<Case> cases = {
        {"b\xc3\xbc"
         "cher.example.com",
         PUNYCODE_OK, "xn--bcher-kva.example.com\n"},
        {"www.b\xc3\xbc"
         "cher.de",
         PUNYCODE_OK, "www.xn--bcher-kva.de\n"},
        // Not UTF-8: the tool refuses it on its error output and prints nothing.
        {"\xff\xfe.example", PUNYCODE_NO_OUTPUT, ""},
        // Shell text reaches the tool as part of one name and runs nothing.
        {"b\xc3\xbc"
         "; touch /tmp/ovix-puny-pwned",
         PUNYCODE_OK, "xn--b; touch /tmp/ovix-puny-pwned-lbd\n"},
        {"-b\xc3\xbc", PUNYCODE_OK, "xn---b-yka\n"},
    };
    for (const auto& c : cases) {
        std::string punycode = "stale";
        testing::internal::CaptureStdout();
        int result = puny.getPunycode(c.name, punycode);
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(punycode, c.punycode) << c.name;
        EXPECT_EQ(printed, "command =/usr/bin/idn --quiet " + c.name + "\n");
    }
    EXPECT_NE(access("/tmp/ovix-puny-pwned", F_OK), 0);
}

TEST(PunyCode, MissingToolsHaveTheirOwnResults) {
    // A PATH with `which` but neither idn nor locale.
    char pattern[] = "/tmp/ovix-puny-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_EQ(symlink("/usr/bin/which", (dir + "/which").c_str()), 0);
    {
        ScopedEnv env("PATH", dir);
        PunyCode puny;
        std::string punycode = "untouched";
        EXPECT_EQ(puny.getPunycode("b\xc3\xbc.de", punycode), PUNYCODE_NO_IDN_TOOL);
        EXPECT_EQ(punycode, "untouched");
        EXPECT_EQ(puny.isSystemCharsetIsUTF8(), CHARSET_NO_LOCALE_TOOL);
    }
    Command("rm").args({"-rf", "--", dir}).run();
}
