#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "pendingfile.h"
#include "sysutil.h"

namespace {

class SysutilTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ovixsys-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/file";
    }
    void TearDown() override {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
    }
    void write(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    }
    std::vector<std::string> lines(std::size_t limit = kMaxLineLength,
                                   LineReader::Result* last = nullptr) {
        LineReader reader(path_, limit);
        std::vector<std::string> out;
        std::string line;
        LineReader::Result r;
        while ((r = reader.next(line)) == LineReader::Result::Line) {
            out.push_back(line);
        }
        if (last != nullptr) {
            *last = r;
        }
        return out;
    }
    std::string dir_;
    std::string path_;
};

}  // namespace

TEST_F(SysutilTest, LineReaderReturnsWholeLines) {
    using V = std::vector<std::string>;
    const std::vector<std::pair<std::string, V>> cases = {
        {"", {}},
        {"a\nb\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"\n\n", {"", ""}},
        {"crlf\r\n", {"crlf\r"}},
        {std::string(100000, 'x') + "\ny", {std::string(100000, 'x'), "y"}},
    };
    for (const auto& [content, expected] : cases) {
        write(content);
        LineReader::Result last;
        EXPECT_EQ(lines(kMaxLineLength, &last), expected);
        EXPECT_EQ(last, LineReader::Result::End);
    }
}

TEST_F(SysutilTest, LineReaderRefusesLinesPastItsLimit) {
    LineReader::Result last;
    write("short\n" + std::string(11, 'x') + "\nafter\n");
    EXPECT_EQ(lines(10, &last), std::vector<std::string>{"short"});
    EXPECT_EQ(last, LineReader::Result::TooLong);
    write(std::string(10, 'x'));
    EXPECT_EQ(lines(10, &last), std::vector<std::string>{std::string(10, 'x')});

    LineReader missing(dir_ + "/missing");
    std::string line;
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(missing.next(line), LineReader::Result::Error);
}

TEST_F(SysutilTest, AtomicWriteReplacesWholeFileWithMode) {
    write("old content");
    ASSERT_TRUE(writeFileAtomic(path_, "new\n", 0600));
    std::string line;
    EXPECT_EQ(readFirstLine(path_, line), LineReader::Result::Line);
    EXPECT_EQ(line, "new");
    struct stat st;
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(rmdir(dir_.c_str()), -1);
    unlink(path_.c_str());
    EXPECT_EQ(rmdir(dir_.c_str()), 0);
    ASSERT_EQ(mkdir(dir_.c_str(), 0700), 0);

    EXPECT_FALSE(writeFileAtomic(dir_ + "/missing/file", "x", 0600));
}

TEST_F(SysutilTest, PathChecks) {
    write("x");
    EXPECT_TRUE(isDirectory(dir_));
    EXPECT_FALSE(isDirectory(path_));
    EXPECT_TRUE(pathExists(path_));
    EXPECT_FALSE(pathExists(dir_ + "/missing"));
}

namespace {

class PendingFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ovixpending-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        target_ = dir_ + "/ovixbackup.conf";
    }
    void TearDown() override {
        for (const std::string& name : names()) {
            std::string path = dir_ + "/" + name;
            if (unlink(path.c_str()) != 0) {
                rmdir(path.c_str());
            }
        }
        rmdir(dir_.c_str());
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        if (DIR* dir = opendir(dir_.c_str())) {
            while (const struct dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    out.push_back(name);
                }
            }
            closedir(dir);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string content() const {
        std::ifstream in(target_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    mode_t mode(const std::string& path) const {
        struct stat st = {};
        stat(path.c_str(), &st);
        return st.st_mode & 07777;
    }
    void writeOld() {
        std::ofstream(target_) << "old\n";
        chmod(target_.c_str(), 0644);
    }
    std::string dir_;
    std::string target_;
};

}  // namespace

TEST_F(PendingFileTest, CommitReplacesTheTargetWithAPrivateFile) {
    writeOld();
    PendingFile file;
    ASSERT_TRUE(file.open(target_, 0600));
    EXPECT_EQ(names().size(), 2u);
    EXPECT_EQ(mode(file.tempPath()), 0600u);
    EXPECT_EQ(content(), "old\n");
    ASSERT_TRUE(file.commit("new\n"));
    EXPECT_EQ(content(), "new\n");
    EXPECT_EQ(mode(target_), 0600u);
    EXPECT_EQ(names(), std::vector<std::string>{"ovixbackup.conf"});
    EXPECT_TRUE(file.tempPath().empty());
}

TEST_F(PendingFileTest, UncommittedFileLeavesTheTargetAlone) {
    writeOld();
    {
        PendingFile file;
        ASSERT_TRUE(file.open(target_, 0600));
    }
    EXPECT_EQ(content(), "old\n");
    EXPECT_EQ(mode(target_), 0644u);
    EXPECT_EQ(names(), std::vector<std::string>{"ovixbackup.conf"});
}

TEST_F(PendingFileTest, RefusedWhereNoFileCanReplaceTheTarget) {
    PendingFile file;
    EXPECT_FALSE(file.open(dir_ + "/missing/ovixbackup.conf", 0600));
    ASSERT_EQ(mkdir(target_.c_str(), 0755), 0);
    EXPECT_FALSE(file.open(target_, 0600));
    EXPECT_FALSE(file.commit("x\n"));
    EXPECT_EQ(names(), std::vector<std::string>{"ovixbackup.conf"});
}
