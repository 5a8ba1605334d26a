#include "common/Encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/TextFile.h"
#include "support/TempProgramDir.h"

using namespace encoding;

namespace {

bool hasHalfWidthKana(const std::string& s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (isSjisLead(c))
            ++i;
        else if (c >= 0xA1 && c <= 0xDF)
            return true;
    }
    return false;
}

std::string withoutEscapes(const std::string& jis)
{
    std::string out;
    for (size_t i = 0; i < jis.size(); ++i) {
        if (jis[i] == '\x1b' && i + 2 < jis.size()) {
            i += 2;
            continue;
        }
        out.push_back(jis[i]);
    }
    return out;
}

} // namespace

TEST(EncodingTest, EveryJisCodeRoundTripsAndAgreesWithIconv)
{
    int compared = 0;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            auto [lead, trail] = jisToSjis(static_cast<unsigned char>(row), static_cast<unsigned char>(cell));
            ASSERT_TRUE(isSjisLead(lead) && isSjisTrail(trail)) << row << "," << cell;
            auto back = sjisToJis(lead, trail);
            ASSERT_EQ(back.first, row);
            ASSERT_EQ(back.second, cell);

            std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
            std::string euc{static_cast<char>(row | 0x80), static_cast<char>(cell | 0x80)};
            EXPECT_EQ(eucToSjis(euc), sjis);
            // Where the C library knows the character in both code sets, it must agree.
            std::string viaIconv;
            if (convert("EUC-JP", "SHIFT_JIS", euc, viaIconv)) {
                EXPECT_EQ(viaIconv, sjis) << std::hex << row << " " << cell;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 6800); // all of JIS X 0208
}

TEST(EncodingTest, PhraseFormsAgreeWithIconvForFullWidthText)
{
    for (const std::string& phrase : zpftest::TestDataLines("phrases.sjis")) {
        SCOPED_TRACE(phrase);
        std::string utf8;
        ASSERT_TRUE(convert("CP932", "UTF-8", phrase, utf8));
        EXPECT_EQ(sjisToUtf8(phrase), utf8);
        EXPECT_EQ(utf8ToSjis(utf8), phrase);
        if (hasHalfWidthKana(phrase))
            continue;
        std::string euc, jis;
        ASSERT_TRUE(convert("CP932", "EUC-JP", phrase, euc));
        ASSERT_TRUE(convert("CP932", "ISO-2022-JP", phrase, jis));
        EXPECT_EQ(sjisToEucForm(phrase), euc);
        EXPECT_EQ(sjisToJisForm(phrase), withoutEscapes(jis));
        EXPECT_EQ(eucToSjis(euc), phrase);
    }
}

TEST(EncodingTest, HalfWidthKatakanaAndInvalidShiftJisStayBytes)
{
    struct Row {
        std::string in, euc, jis, utf8;
    };
    const std::string bad = "\xEF\xBF\xBD";
    const std::string kana = "\xB1\xC0\xDE\xD9\xC4\n"; // half-width "adaruto"
    const Row rows[] = {
        {kana, kana, kana, "\xEF\xBD\xB1\xEF\xBE\x80\xEF\xBE\x9E\xEF\xBE\x99\xEF\xBE\x84\n"},
        // A lead byte at the very end is dropped.
        {"a\x8A", "a", "a", "a" + bad},
        // A lead byte before a line feed keeps both bytes.
        {"\x8A\n", "\x8A\n", "\x8A\n", bad + "\n"},
        // A lead byte before a byte outside the trail range keeps both bytes.
        {"\x8A\xFDz", "\x8A\xFDz", "\x8A\xFDz", bad + bad + "z"},
        // Bytes outside every range are copied.
        {"\x80\xA0\xFF", "\x80\xA0\xFF", "\x80\xA0\xFF", bad + bad + bad},
        // 0xF0 and above are no lead bytes for the pair rule.
        {std::string("\xF0\x40", 2), std::string("\xF0\x40", 2), std::string("\xF0\x40", 2), "\xEE\x80\x80"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.in));
        EXPECT_EQ(sjisToEucForm(r.in), r.euc);
        EXPECT_EQ(sjisToJisForm(r.in), r.jis);
        EXPECT_EQ(sjisToUtf8(r.in), r.utf8);
    }
    // Real EUC-JP marks half-width katakana with 0x8E; the inverse conversion takes that form too.
    std::string euc;
    ASSERT_TRUE(convert("CP932", "EUC-JP", kana, euc));
    EXPECT_EQ(euc, "\x8E\xB1\x8E\xC0\x8E\xDE\x8E\xD9\x8E\xC4\n");
    EXPECT_EQ(eucToSjis(euc), kana);
    EXPECT_EQ(utf8ToSjis(std::string("a\xFF") + "b"), "a?b");
    EXPECT_EQ(utf8ToSjis("\xF0\x9F\x98\x80"), "?"); // no Shift_JIS form
}

TEST(EncodingTest, PatternForm)
{
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {"(free money)\n", "(free%20money)\n"},
        {"((a,,b))\n", "((a,,b))\n"},
        {"([a,b])\n", "([a%2Cb])\n"},
        {"(x-y_z.*(w)\n", "(x-y_z.*(w)\n"},
        {"(a)b)\n", "(a%29b)\n"},
        {"(\x96\xB3\x97\xBF)\n", "(%96%B3%97%BF)\n"},
        {std::string("(a)\0", 4), std::string("(a)\0", 4)},
        {"(\n", "(\n"},
        {")\n", ")\n"},
        {"", ""},
        {"(50%)\n", "(50%25)\n"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(patternForm(r.in), r.out) << testing::PrintToString(r.in);
}

TEST(EncodingTest, DetectEncoding)
{
    struct Row {
        std::string line;
        TextEncoding expected;
    };
    const Row rows[] = {
        {"casino\n", TextEncoding::Ascii},
        {"\x1b$B4A;z\x1b(B\n", TextEncoding::Jis},
        {"\x1bK4A\n", TextEncoding::Jis},
        {"\x8A\xBF\x8E\x9A\n", TextEncoding::ShiftJis}, // kanji, lead 0x8A exists only in Shift_JIS
        {"\xB4\xC1\xBB\xFA\n", TextEncoding::EucJp}, // the same kanji in EUC-JP
        {"\xB1\xB2\xB3\n", TextEncoding::ShiftJis}, // odd half-width katakana run
        {"\xB1\xB2\n", TextEncoding::Unknown}, // valid as either
        {"\x8E\xB1\n", TextEncoding::Unknown}, // EUC kana or a Shift_JIS kanji
        {"\xA4\xA2\xFE\xFE\n", TextEncoding::EucJp}, // 0xFE exists only in EUC-JP
        {"\x80\n", TextEncoding::Unknown}, // invalid in both
        {"a\x8A", TextEncoding::ShiftJis}, // EUC breaks first, at 0x8A
    };
    for (const Row& r : rows)
        EXPECT_EQ(detectEncoding(r.line), r.expected) << testing::PrintToString(r.line);
}

TEST(EncodingTest, FindSjisCharStepsOverDoubleByteCharacters)
{
    const std::string po = "\x83\x7C"; // second byte is '|'
    // The category line tests cover lead bytes before separators.
    EXPECT_EQ(findSjisChar(po + po, '|'), std::string::npos);
    EXPECT_EQ(findSjisChar("a|b|c", '|', 2), 3u);
    // Half-width katakana are single bytes.
    EXPECT_EQ(findSjisChar("\xB1|", '|'), 1u);
    // A lead byte without a valid trail byte is a character of its own.
    EXPECT_EQ(findSjisChar("\x83\n|", '|'), 2u);
    EXPECT_EQ(findSjisChar("\x83", '|'), std::string::npos);
}
