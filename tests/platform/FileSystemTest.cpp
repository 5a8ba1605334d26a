// Files on disk: text files and their line ends, saves that replace a file, and the
// directory lock.
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/TextFile.h"
#include "support/TempDir.h"

namespace {

platform::TempFileWriter writes(const std::string& text)
{
    return [text](const std::string& temp) {
        platform::TextFile f;
        return f.Open(temp, "wb") && f.Puts(text) && f.Close();
    };
}

mode_t modeOf(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class TextFileTest : public ::testing::Test {
protected:
    /// Writes text through a TextFile opened in the given mode.
    void write(const char* mode, const std::string& text)
    {
        platform::TextFile out;
        ASSERT_TRUE(out.Open(path, mode));
        EXPECT_TRUE(out.Puts(text));
        out.Close();
    }

    zpftest::TempDir dir;
    std::string path = dir.file("f");
};

size_t entriesIn(const std::string& dir)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

} // namespace

// A save must not loosen a private file, break a link the owner set up, or leave
// anything behind when it fails.
TEST(FileSystemTest, ReplaceKeepsModeFollowsLinksAndLeavesNothingOnFailure)
{
    zpftest::TempDir dir;
    for (mode_t mode : {mode_t{0600}, mode_t{0640}}) {
        dir.writeBytes("passwd", "old");
        ASSERT_EQ(::chmod(dir.file("passwd").c_str(), mode), 0);
        ASSERT_TRUE(platform::ReplaceFileAtomically(dir.file("passwd"), writes("new")));
        EXPECT_EQ(dir.readBytes("passwd"), "new");
        EXPECT_EQ(modeOf(dir.file("passwd")), mode);
    }

    // A new file that will hold secrets is private from the start.
    ASSERT_TRUE(platform::ReplaceFileAtomically(dir.file("new"), writes("x"), {}, platform::kPrivateFileMode));
    EXPECT_EQ(modeOf(dir.file("new")), 0600u);

    dir.writeBytes("real/zpf.cnf", "old");
    ASSERT_EQ(::symlink("real/zpf.cnf", dir.file("zpf.cnf").c_str()), 0);
    ASSERT_TRUE(platform::ReplaceFileAtomically(dir.file("zpf.cnf"), writes("new")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("zpf.cnf")));
    EXPECT_EQ(dir.readBytes("real/zpf.cnf"), "new");

    const size_t before = entriesIn(dir.path());
    EXPECT_FALSE(platform::ReplaceFileAtomically(dir.file("passwd"), [](const std::string&) { return false; }));
    EXPECT_FALSE(platform::ReplaceFileAtomically(dir.file("gone/x"), writes("x")));
    EXPECT_EQ(dir.readBytes("passwd"), "new");
    EXPECT_EQ(entriesIn(dir.path()), before);
}

// Two programs saving the same file at once each write their own temporary file, so
// every save lands whole and none fails.
TEST(FileSystemTest, ConcurrentReplacesEachLandWhole)
{
    zpftest::TempDir dir;
    const std::string a(5000, 'a');
    const std::string b(7000, 'b');
    int failures = 0;
    std::thread other([&] {
        for (int i = 0; i < 50; ++i)
            failures += platform::ReplaceFileAtomically(dir.file("time.cnf"), writes(b)) ? 0 : 1;
    });
    int mine = 0;
    for (int i = 0; i < 50; ++i) {
        mine += platform::ReplaceFileAtomically(dir.file("time.cnf"), writes(a)) ? 0 : 1;
        const std::string now = dir.readBytes("time.cnf");
        EXPECT_TRUE(now == a || now == b) << now.size();
    }
    other.join();
    EXPECT_EQ(mine + failures, 0);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

// The save lock excludes a second holder, in this process or another, until released.
TEST(FileSystemTest, DirectoryLockExcludesASecondHolder)
{
    zpftest::TempDir dir;
    platform::DirectoryLock first;
    platform::DirectoryLock second;
    ASSERT_TRUE(first.Acquire(dir.path(), "save.lock", 0));
    EXPECT_FALSE(second.Acquire(dir.path(), "save.lock", 50));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        first.Release();
    });
    EXPECT_TRUE(second.Acquire(dir.path(), "save.lock", 5000)); // waits for the release
    release.join();
    EXPECT_FALSE(first.Acquire(dir.path() + "gone/", "save.lock", 0));
}

TEST_F(TextFileTest, TextModeWritesCrLfAndReadsBothLineEnds)
{
    platform::TextFile out;
    ASSERT_TRUE(out.Open(path, "w"));
    EXPECT_TRUE(out.Puts("one\ntwo\n"));
    EXPECT_TRUE(out.Printf("%s=%d\n", "k", 5));
    out.Close();
    EXPECT_EQ(dir.readBytes("f"), "one\r\ntwo\r\nk=5\r\n");

    // Mixed line ends read back as LF; binary mode wrote them unchanged.
    write("wb", std::string("a\r\nb\nc\0", 7));
    EXPECT_EQ(dir.readBytes("f"), std::string("a\r\nb\nc\0", 7));
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "r"));
    char buf[16];
    for (const char* line : {"a\n", "b\n", "c"}) {
        ASSERT_TRUE(in.Gets(buf, sizeof buf));
        EXPECT_STREQ(buf, line);
    }
    EXPECT_FALSE(in.Gets(buf, sizeof buf));
}

TEST_F(TextFileTest, CrLfSplitByTheBufferStillReadsAsOneLineEnd)
{
    write("wb", "abc\r\nd\r");
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "rt"));
    char buf[5]; // "abc\r" fills it
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "abc\n");
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "d\r"); // a lone CR is data
}

TEST_F(TextFileTest, ReadLineCutsLongLinesAndSkipsTheirRest)
{
    write("w", std::string(3000, 'x') + "\nshort\n");
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "r"));
    std::string line;
    ASSERT_TRUE(in.ReadLine(line, 1023));
    EXPECT_EQ(line.size(), 1023u);
    ASSERT_TRUE(in.ReadLine(line, 1023));
    EXPECT_EQ(line, "short");
    EXPECT_FALSE(in.ReadLine(line, 1023));
}
