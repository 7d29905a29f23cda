#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "command.h"

namespace {

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ovixcmd-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { Command("rm").arg("-rf").arg("--").arg(dir_).run(); }

    std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    // Texts that would do harm if any shell saw them. Each one writes the
    // file "pwned" in the test folder if it is ever run.
    std::vector<std::string> hostile() const {
        const std::string touch = "touch " + dir_ + "/pwned";
        return {
            "; " + touch,
            "$(" + touch + ")",
            "`" + touch + "`",
            "| " + touch,
            "&& " + touch,
            "a b  c",
            " leading and trailing ",
            "it's \"quoted\"",
            "-rf",
            "--help",
            "line\nbreak\n" + touch,
            "*",
            "~root",
            "$HOME ${PATH}",
            "back\\slash",
            "",
            "\t",
            "\xc3\xbc\xff",
        };
    }

    std::string dir_;
};

std::vector<std::string> splitNul(const std::string& s) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    std::size_t nul;
    while ((nul = s.find('\0', start)) != std::string::npos) {
        parts.push_back(s.substr(start, nul - start));
        start = nul + 1;
    }
    return parts;
}

}  // namespace

TEST_F(CommandTest, HostileArgumentsArriveLiterallyAndRunNothing) {
    for (const auto& text : hostile()) {
        std::string out;
        int status =
            Command("printf").arg("%s\\0").arg(text).arg("after").captureOutput(&out).run();
        EXPECT_EQ(status, 0) << text;
        EXPECT_EQ(splitNul(out), (std::vector<std::string>{text, "after"})) << text;
    }
    // A hostile text as the program name is looked for as a file, never run
    // through a shell.
    for (const auto& text : hostile()) {
        Command(text).quiet().run();
    }
    EXPECT_NE(access((dir_ + "/pwned").c_str(), F_OK), 0);
}

TEST_F(CommandTest, ShellQuoteRoundTripsThroughARealShell) {
    for (const auto& text : hostile()) {
        std::string out;
        Command("/bin/sh")
            .arg("-c")
            .arg("printf '%s' " + shellQuote(text))
            .captureOutput(&out)
            .run();
        EXPECT_EQ(out, text);
    }
    EXPECT_NE(access((dir_ + "/pwned").c_str(), F_OK), 0);
}

TEST_F(CommandTest, ReportsExitStatusSignalAndStartFailures) {
    EXPECT_EQ(Command("true").run(), 0);
    EXPECT_EQ(Command("sh").arg("-c").arg("exit 3").run(), 3);
    EXPECT_EQ(Command("sh").arg("-c").arg("kill -9 $$").run(), 128 + 9);
    EXPECT_EQ(Command("no-such-program-ovix").run(), COMMAND_NOT_FOUND);
    EXPECT_EQ(Command(dir_ + "/missing").run(), COMMAND_NOT_FOUND);
    EXPECT_EQ(Command(dir_).run(), COMMAND_NOT_EXECUTABLE);
    EXPECT_EQ(Command("").run(), COMMAND_NOT_FOUND);
    EXPECT_EQ(Command("cat").stdinFrom(dir_ + "/missing").run(), COMMAND_NOT_STARTED);
    EXPECT_EQ(Command("true").stdoutTo(dir_ + "/no/such/folder/out").run(), COMMAND_NOT_STARTED);
}

TEST_F(CommandTest, FeedsStandardInputAndWritesStandardOutput) {
    { std::ofstream(dir_ + "/in", std::ios::binary) << "dump\0data\n"; }
    EXPECT_EQ(Command("cat").stdinFrom(dir_ + "/in").stdoutTo(dir_ + "/out", 0640).run(), 0);
    EXPECT_EQ(read(dir_ + "/out"), read(dir_ + "/in"));
    struct stat st;
    ASSERT_EQ(stat((dir_ + "/out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u & ~umask(umask(0)));

    // Without a file, standard input is empty rather than our own.
    std::string out;
    EXPECT_EQ(Command("cat").captureOutput(&out).run(), 0);
    EXPECT_EQ(out, "");
}

TEST_F(CommandTest, CapturedOutputIsBoundedNotCut) {
    std::string out;
    EXPECT_EQ(
        Command("head").arg("-c").arg("5000").arg("/dev/zero").captureOutput(&out, 5000).run(), 0);
    EXPECT_EQ(out.size(), 5000u);
    EXPECT_EQ(
        Command("head").arg("-c").arg("5001").arg("/dev/zero").captureOutput(&out, 5000).run(),
        COMMAND_OUTPUT_TOO_LARGE);
    // Standard error joins the capture only when asked.
    EXPECT_EQ(Command("sh")
                  .arg("-c")
                  .arg("echo out; echo err >&2")
                  .captureOutput(&out)
                  .mergeStderr()
                  .run(),
              0);
    EXPECT_EQ(out, "out\nerr\n");
}

TEST_F(CommandTest, SecretsTravelInTheEnvironment) {
    std::string out;
    const std::string secret = "pa ss'$(id)\"";
    EXPECT_EQ(Command("sh")
                  .arg("-c")
                  .arg("printf '%s' \"$MYSQL_PWD\"")
                  .setEnv("MYSQL_PWD", secret)
                  .captureOutput(&out)
                  .run(),
              0);
    EXPECT_EQ(out, secret);
    // An override replaces an inherited variable instead of adding a second.
    setenv("OVIX_TEST_VAR", "old", 1);
    EXPECT_EQ(Command("sh")
                  .arg("-c")
                  .arg("env | grep -c '^OVIX_TEST_VAR='; printf %s \"$OVIX_TEST_VAR\"")
                  .setEnv("OVIX_TEST_VAR", "new")
                  .captureOutput(&out)
                  .run(),
              0);
    EXPECT_EQ(out, "1\nnew");
    unsetenv("OVIX_TEST_VAR");
}

TEST_F(CommandTest, ChildGetsNoDescriptorsOfOurs) {
    int leaked = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
    ASSERT_GE(leaked, 0);
    std::string out;
    // ls holds one descriptor of its own for the folder it lists.
    EXPECT_EQ(Command("ls").arg("/proc/self/fd").captureOutput(&out).run(), 0);
    close(leaked);
    EXPECT_EQ(out, "0\n1\n2\n3\n");
}
