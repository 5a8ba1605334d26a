// The log viewer's byte rules against their stated cases and against iconv where both
// read the same text, cutting at the column widths, the file filter and which logged
// addresses may reach the browser.
#include <gtest/gtest.h>

#include "common/Encoding.h"
#include "core/LogColumns.h"

using namespace logview;

namespace {

struct Case {
    const char* name;
    std::string in;
    std::string out;
};

// The same Japanese words in each encoding: あいう, 漢字, ｱ (half-width), and ASCII.
const std::string kSjis = "\x82\xa0\x82\xa2\x82\xa4\x8a\xbf\x8e\x9a\xb1 ok";
const std::string kEuc = "\xa4\xa2\xa4\xa4\xa4\xa6\xb4\xc1\xbb\xfa\x8e\xb1 ok";
const std::string kJis = "\x1b$B$\"$$$&4A;z\x1b(B ok"; // no half-width kana in 7-bit JIS
const std::string kUtf8 = "\xe3\x81\x82\xe3\x81\x84\xe3\x81\x86\xe6\xbc\xa2\xe5\xad\x97\xef\xbd\xb1 ok";

TEST(LogColumnsTest, ShiftJisRule)
{
    const Case cases[] = {
        {"ascii", "(URL Block),Kids,12", "(URL Block),Kids,12"},
        {"pair", "\x82\xa0", "\x82\xa0"},
        {"pair with low trail", "\xe0\x40", "\xe0\x40"},
        {"lead before 0x7F: dot, then 0x7F copied", "\x82\x7f", ".\x7f"},
        {"lead before control: both dots", std::string("\x82\x01", 2), ".."},
        {"lead at the end", "a\x82", "a."},
        {"0xF0 and up", "\xf0\xfd\xff", "..."},
        {"0xFC is no lead here", "\xfc\x40", ".@"},
        {"control bytes", "a\tb\x1b", "a.b."},
        {"single bytes 0x80, 0xA0, kana copied", "\x80\xa0\xb1\xdf", "\x80\xa0\xb1\xdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShiftJisColumn(c.in), c.out) << c.name;
    // Valid Shift_JIS passes unchanged, as a strict converter reads it.
    std::string utf8;
    EXPECT_EQ(ShiftJisColumn(kSjis), kSjis);
    EXPECT_TRUE(encoding::convert("CP932", "UTF-8", ShiftJisColumn(kSjis), utf8));
    EXPECT_EQ(utf8, kUtf8);
}

TEST(LogColumnsTest, EucRule)
{
    const Case cases[] = {
        {"two-byte character", "\xa4\xa2", "\x82\xa0"},
        {"last row and cell", "\xfe\xfe", "\xef\xfc"},
        {"0x8E dropped, next byte copied", "\x8e\xb1", "\xb1"},
        {"0x8E before ASCII", std::string("\x8e") + "A", "A"},
        {"0x8E at the end", "a\x8e", "a"},
        {"high byte at the end", "a\xa4", "a\xa4"},
        {"high byte before a low one", std::string("\xa4") + "A", std::string("\xa4") + "A"},
        {"bytes up to 0xA0 and 0xFF", "\x80\xa0\xff", "\x80\xa0\xff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EucColumn(c.in), c.out) << c.name;
    std::string viaIconv;
    ASSERT_TRUE(encoding::convert("EUC-JP", "CP932", kEuc, viaIconv));
    EXPECT_EQ(EucColumn(kEuc), viaIconv);
    EXPECT_EQ(EucColumn(kEuc), kSjis);
}

TEST(LogColumnsTest, JisRule)
{
    const Case cases[] = {
        {"starts in two-byte mode", "$\"", "\x82\xa0"},
        {"ASCII read as pairs", "(U", "\x84\xd3"},
        {"single-byte mode", "\x1b(Babc", "abc"},
        {"back to two-byte mode", "\x1b(Ba\x1b$B$\"", "a\x82\xa0"},
        {"top bit set", "\x1b(Bx\xa0", "x."},
        {"second byte with top bit", "$\xa2", "$."},
        {"other escape copied", "\x1b(Bx\x1bK", "x\x1bK"},
        {"lone byte at the end", "$\"$", "\x82\xa0$"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JisColumn(c.in), c.out) << c.name;
    std::string viaIconv;
    ASSERT_TRUE(encoding::convert("ISO-2022-JP", "CP932", kJis, viaIconv));
    EXPECT_EQ(JisColumn(kJis), viaIconv);
}

TEST(LogColumnsTest, Utf8Rule)
{
    std::string viaIconv;
    ASSERT_TRUE(encoding::convert("UTF-8", "CP932", kUtf8, viaIconv));
    EXPECT_EQ(Utf8Column(kUtf8), viaIconv);
    EXPECT_EQ(Utf8Column(kUtf8), kSjis);
    EXPECT_EQ(Utf8Column(std::string("a\xff") + "b"), "a?b");
    EXPECT_EQ(Utf8Column(std::string(600, 'a')), std::string(511, 'a'));
}

TEST(LogColumnsTest, CutKeepsWidthLessOneWithoutSplittingCharacters)
{
    const std::string pairs = "\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0\x82\xa0";
    const struct {
        std::string in;
        size_t width;
        std::string out;
    } cases[] = {
        {"2004/05/10", 12, "2004/05/10"},
        {"123456789012", 12, "12345678901"},
        {"12345678901", 12, "12345678901"},
        {pairs, 20, pairs.substr(0, 18)}, // the tenth character would need byte 20
        {"a" + pairs, 20, "a" + pairs.substr(0, 18)},
        {std::string(150, 'u'), Info(Column::Url).width, std::string(99, 'u')},
        {"abc", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CutToWidth(c.in, c.width), c.out) << c.in << " " << c.width;
    const size_t widths[] = {12, 10, 30, 100, 20, 20, 20, 20, 30};
    const int pixels[] = {80, 60, 70, 160, 90, 90, 90, 90, 150};
    for (int i = 0; i < kColumnCount; ++i) {
        EXPECT_EQ(Info(static_cast<Column>(i)).width, widths[i]);
        EXPECT_EQ(Info(static_cast<Column>(i)).pixels, pixels[i]);
    }
}

TEST(LogColumnsTest, FileFilterForQt)
{
    EXPECT_EQ(QtFileFilter("ﾛｸﾞ ﾌｧｲﾙ (*.log)|*.log|ﾃｷｽﾄ ﾌｧｲﾙ (*.txt)|*.txt|すべてのﾌｧｲﾙ (*.*)|*.*||"),
              "ﾛｸﾞ ﾌｧｲﾙ (*.log);;ﾃｷｽﾄ ﾌｧｲﾙ (*.txt);;すべてのﾌｧｲﾙ (*)");
    EXPECT_EQ(QtFileFilter(""), "");
}

TEST(LogColumnsTest, OnlyWebAddressesReachTheBrowser)
{
    const struct {
        const char* url;
        const char* address;
    } cases[] = {
        {"http://adult.example/a%2Cb", "http://adult.example/a%2Cb"},
        {"HTTPS://Example.org/", "HTTPS://Example.org/"},
        {"ftp://files.example/x", "ftp://files.example/x"},
        {"secure.example:443", "https://secure.example/"},
        {"secure.example:8443", "https://secure.example:8443/"},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"/usr/bin/xterm", ""},
        {"-e:1", ""},
        {"http://a b/", ""},
        {"http://", ""},
        {"host:", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserAddress(c.url), c.address) << c.url;
}

} // namespace
