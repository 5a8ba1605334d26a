#include "config/ListChecks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct EntryCase {
    const char* what;
    std::string entry; // Shift_JIS
    bool phrase;
    std::string error; // "" when it passes
};

TEST(ListChecksTest, EntriesAreRefusedWithTheirLineNumber)
{
    const std::string longUrl = "www.example.com/" + std::string(listchecks::kMaxLineBytes - 16, 'a');
    // Each kanji (two bytes) becomes nine in the percent-encoded UTF-8 form written beside it.
    const std::string kanji = "\x8C\xEA"; // 語
    std::string longPattern = "(";
    while (longPattern.size() < 600)
        longPattern += kanji;
    longPattern += ")";
    const EntryCase cases[] = {
        {"a URL", "www.example.com/", true, ""},
        {"an empty line", "", true, ""},
        {"a phrase in braces", "{{\x97\x4C\x8A\x51}}", true, ""},
        {"a phrase in brackets", "[[\x8C\xEA\x8B\xE5]]", true, ""},
        {"a trailing CR is the line end", "{{x}}\r", true, ""},
        {"one brace opens", "{x}}", true, "7行目の{{が正しくありません。"},
        {"one brace closes", "{{x}", true, "7行目の}}が正しくありません。"},
        {"one bracket opens", "[x]]", true, "7行目の[[が正しくありません。"},
        {"one bracket closes", "[[x]", true, "7行目の]]が正しくありません。"},
        {"braces are no check of the URL lists", "{x", false, ""},
        {"a CR inside", "a\rb", false, "7行目に改行などの制御文字は入力できません。"},
        {"a NUL inside", std::string("a\0b", 3), false, "7行目に改行などの制御文字は入力できません。"},
        {"a section line", "%kids%", false, "7行目は % で始められません（グループの区切りと見なされます）。"},
        {"the longest line", longUrl, false, ""},
        {"one byte more", longUrl + "a", false, "7行目が長すぎます（2000 バイトまで）。"},
        {"a pattern whose encoded forms are too long", longPattern, true, "7行目が長すぎます（2000 バイトまで）。"},
        {"the same as a URL list entry", longPattern, false, ""},
    };
    for (const EntryCase& c : cases)
        EXPECT_EQ(listchecks::EntryError(c.entry, 7, c.phrase), c.error) << c.what;
    EXPECT_EQ(listchecks::EntryError("{x}}", 2, true, false), "Line 2: a phrase must begin with {{.");
}

TEST(ListChecksTest, Utf8EntriesMustHaveAShiftJisForm)
{
    std::string sjis;
    EXPECT_TRUE(listchecks::EntryFromUtf8("{{有害}}", sjis));
    EXPECT_EQ(sjis, "{{\x97\x4C\x8A\x51}}");
    EXPECT_TRUE(listchecks::EntryFromUtf8("ｱﾀﾞﾙﾄ", sjis)) << "half-width katakana";
    EXPECT_FALSE(listchecks::EntryFromUtf8("𠮷野家", sjis)) << "outside code page 932";
    EXPECT_FALSE(listchecks::EntryFromUtf8("\xff", sjis)) << "broken UTF-8";
}

TEST(ListChecksTest, AListTooLargeForItsFileIsRefused)
{
    GroupList groups;
    // Lines of 1999 characters and the line feed, 2001 bytes on disk with CR LF.
    const std::string line(1999, 'u');
    const size_t fits = (listchecks::kMaxFileBytes - 2) / 2001; // the group's empty line first
    std::string text;
    for (size_t i = 0; i < fits; ++i)
        text += line + "\n";
    const std::vector<const std::string*> texts{&text};
    EXPECT_EQ(listchecks::FileSizeError(groups, texts, false), "");
    text += line + "\n";
    EXPECT_NE(listchecks::FileSizeError(groups, texts, false), "");
}

} // namespace
