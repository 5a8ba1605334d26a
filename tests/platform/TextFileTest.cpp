#include "platform/TextFile.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"

namespace {

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

} // namespace

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
