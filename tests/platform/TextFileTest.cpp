#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/ProgramDirectory.h"

namespace {
std::string tempFile(const char* name)
{
    return (std::filesystem::temp_directory_path() / (std::string("zpf-textfile-") + name)).string();
}
} // namespace

TEST(TextFileTest, TextModeWritesCrLfAndReadsBothLineEnds)
{
    std::string path = tempFile("a");
    platform::TextFile out;
    ASSERT_TRUE(out.Open(path, "w"));
    EXPECT_TRUE(out.Puts("one\ntwo\n"));
    EXPECT_TRUE(out.Printf("%s=%d\n", "k", 5));
    out.Close();
    std::string bytes;
    ASSERT_TRUE(platform::ReadFileBytes(path, bytes));
    EXPECT_EQ(bytes, "one\r\ntwo\r\nk=5\r\n");

    // Mixed line ends read back as LF.
    platform::TextFile raw;
    ASSERT_TRUE(raw.Open(path, "wb"));
    raw.Puts("a\r\nb\nc");
    raw.Close();
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "r"));
    char buf[16];
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "a\n");
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "b\n");
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "c");
    EXPECT_FALSE(in.Gets(buf, sizeof buf));
    std::filesystem::remove(path);
}

TEST(TextFileTest, CrLfSplitByTheBufferStillReadsAsOneLineEnd)
{
    std::string path = tempFile("b");
    platform::TextFile raw;
    ASSERT_TRUE(raw.Open(path, "wb"));
    raw.Puts("abc\r\nd\r");
    raw.Close();
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "rt"));
    char buf[5]; // "abc\r" fills it
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "abc\n");
    ASSERT_TRUE(in.Gets(buf, sizeof buf));
    EXPECT_STREQ(buf, "d\r"); // a lone CR is data
    std::filesystem::remove(path);
}

TEST(TextFileTest, BinaryModePassesBytes)
{
    std::string path = tempFile("c");
    platform::TextFile out;
    ASSERT_TRUE(out.Open(path, "wb"));
    out.Puts(std::string("x\ny\0z", 5));
    out.Close();
    std::string bytes;
    platform::ReadFileBytes(path, bytes);
    EXPECT_EQ(bytes, std::string("x\ny\0z", 5));
    std::filesystem::remove(path);
}

TEST(TextFileTest, ReadLineCutsLongLinesAndSkipsTheirRest)
{
    std::string path = tempFile("d");
    platform::TextFile out;
    ASSERT_TRUE(out.Open(path, "w"));
    out.Puts(std::string(3000, 'x') + "\nshort\n");
    out.Close();
    platform::TextFile in;
    ASSERT_TRUE(in.Open(path, "r"));
    std::string line;
    ASSERT_TRUE(in.ReadLine(line, 1023));
    EXPECT_EQ(line.size(), 1023u);
    ASSERT_TRUE(in.ReadLine(line, 1023));
    EXPECT_EQ(line, "short");
    EXPECT_FALSE(in.ReadLine(line, 1023));
    std::filesystem::remove(path);
}

TEST(ProgramDirectoryTest, ExecutableDirectoryEndsInSlashAndExists)
{
    std::string dir = platform::ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(platform::PathExists(dir + "test_platform"));
    EXPECT_EQ(platform::WithTrailingSlash("/a"), "/a/");
    EXPECT_EQ(platform::WithTrailingSlash("/a/"), "/a/");
    EXPECT_EQ(platform::WithTrailingSlash(""), "");
}
