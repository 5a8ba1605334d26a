#include "config/ListFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "platform/TextFile.h"
#include "support/SmallDisk.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

const std::string kPorno = "\x83\x7C\x83\x8B\x83\x6D\n"; // second byte of the first is '|'
const std::string kFree = "(\x96\xB3\x97\xBF[\x93\xAE\x89\xE6])\n"; // a pattern line with kanji
const std::string kKana = "\xB1\xC0\xDE\xD9\xC4\n"; // half-width katakana only

GroupList groupsNamed(std::initializer_list<const char*> names)
{
    GroupList list;
    for (const char* n : names)
        list.AddGroup(n);
    return list;
}

// Pointers to each text, as the list file calls take them.
template <class T> std::vector<T*> pointers(std::vector<std::string>& texts)
{
    std::vector<T*> p;
    for (std::string& t : texts)
        p.push_back(&t);
    return p;
}

// Reads file content (LF line ends) into fresh texts for these groups.
std::vector<std::string> readBack(const GroupList& list, const std::string& content, bool phrase)
{
    TempProgramDir dir;
    dir.writeBytes("list.fdb", Crlf(content));
    std::vector<std::string> texts(static_cast<size_t>(list.GetGroupNum()));
    EXPECT_FALSE(listfiles::ReadListFile(dir.file("list.fdb"), list, pointers<std::string>(texts), phrase));
    return texts;
}

} // namespace

TEST(ListFilesTest, PhraseVariantLines)
{
    struct Row {
        std::string phrase;
        std::vector<std::string> lines;
    };
    auto euc = encoding::sjisToEucForm;
    auto jis = encoding::sjisToJisForm;
    auto utf8 = encoding::sjisToUtf8;
    auto pat = encoding::patternForm;
    const Row rows[] = {
        {"casino\n", {"casino\n"}},
        {"(free money)\n", {"(free money)\n"}},
        {kPorno, {kPorno, "\xA5\xDD\xA5\xEB\xA5\xCE\n", "%]%k%N\n", "\xE3\x83\x9D\xE3\x83\xAB\xE3\x83\x8E\n"}},
        {kFree,
         {kFree, euc(kFree), jis(kFree), "(%96%B3%97%BF%5B%93%AE%89%E6])\n", pat(euc(kFree)), utf8(kFree),
          pat(utf8(kFree))}},
        // Its EUC-JP and JIS forms equal the phrase, so only the UTF-8 form follows.
        {kKana, {kKana, utf8(kKana)}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.phrase);
        std::string expected;
        for (const std::string& l : r.lines)
            expected += l;
        EXPECT_EQ(listfiles::PhraseLines(r.phrase, false), expected);
        // Each phrase reads back alone, its variant lines dropped.
        GroupList none;
        EXPECT_EQ(readBack(none, "\n" + expected, true)[0], r.phrase);
    }
}

TEST(ListFilesTest, SectionsFollowGroupNamesNotPositions)
{
    const GroupList groups = groupsNamed({"a", "b"});
    const std::string file = "\nzero\n"
                             "\n%a%\nfirst\n"
                             "\n%b%\nb1\n"
                             "\n%gone%\nstray\n" // unknown group: lines stay with b
                             "\n%a%\nsecond\n" // a repeated section keeps its last lines
                             "%a\n"; // no closing '%': names no group
    for (bool phrase : {false, true}) {
        std::vector<std::string> texts = readBack(groups, file, phrase);
        EXPECT_EQ(texts[0], "zero\n");
        EXPECT_EQ(texts[1], "second\n");
        EXPECT_EQ(texts[2], "b1\nstray\n");
    }
}

TEST(ListFilesTest, DeletedGroupsKeepTheirLinesOutOfTheFileAndFailuresLeaveTextsAlone)
{
    TempProgramDir dir;
    GroupList groups = groupsNamed({"a", "b"});
    std::vector<std::string> texts = {"zero\n", "gone\n", "bee\n"};
    groups.DeleteGroup(1);
    std::string content = listfiles::ListFileText(groups, pointers<const std::string>(texts), false, false);
    EXPECT_EQ(content, "\nzero\n\n%%\n\n%b%\nbee\n");
    EXPECT_EQ(readBack(groups, content, false)[0], "zero\n");
    EXPECT_TRUE(listfiles::ReadListFile(dir.file("none.fdb"), groups, pointers<std::string>(texts), true));
    EXPECT_EQ(texts[0], "zero\n");
    EXPECT_TRUE(listfiles::WriteListFile(dir.file("no/such/dir.fdb"), groups, pointers<const std::string>(texts), false,
                                         false));
}

TEST(ListFilesTest, WrittenFormsReadBackToTheirPhrases)
{
    using listfiles::PhraseLines;
    const auto asList = [](const std::string& text) {
        GroupList none;
        return listfiles::ListFileText(none, {&text}, true, false);
    };
    const std::string kanji = "\x8F\x6F\n"; // its UTF-8 form is the next phrase
    const std::string jisPattern = "(\x1b$B4A\x1b(B)\n"; // every form but the pattern forms equals it
    const std::string sjis = "\x8A\xBF\x8E\x9A\n";
    const std::string eucLine = encoding::sjisToEucForm(sjis); // 0xFA before LF: only EUC-JP
    std::string longText(listfiles::kReadBufferSize - 1, 'x'); // fills a piece; its LF comes alone
    longText += "\n" + std::string(listfiles::kReadBufferSize - 1, 'y') + "%z%\nnext\n";
    for (int i = 0; i < 400; ++i)
        longText += "\x8A\xBF";
    longText += "\n";
    struct Row {
        const char* what;
        std::string file;
        bool phrase;
        std::string expected;
    };
    const Row rows[] = {
        {"identical ASCII phrases in a row read as one", "\nsex\nsex\nporn\nsex\n", true, "sex\nporn\nsex\n"},
        {"without variant dropping every line stays", "\nsex\nsex\n", false, "sex\nsex\n"},
        {"a phrase equal to the previous one's last variant stays",
         asList(kanji + encoding::sjisToUtf8(kanji) + kKana + kKana), true,
         kanji + encoding::sjisToUtf8(kanji) + kKana + kKana},
        {"JIS pattern line", "\n" + PhraseLines(jisPattern, false) + "next\n", true, jisPattern + "next\n"},
        {"EUC-JP phrase comes back in Shift_JIS", "\n" + PhraseLines(eucLine, false), true, sjis},
        // phraseEuc takes every non-ASCII line as EUC-JP, half-width katakana pairs too.
        {"half-width kana as EUC-JP", "\n" + PhraseLines(kKana, true), true, encoding::eucToSjis(kKana)},
        // A line with no Shift_JIS form whose EUC-JP form gives it back is kept as it is.
        {"no Shift_JIS form", "\n" + PhraseLines(kPorno, true), true, kPorno},
        {"EUC kana or kanji", "\n" + PhraseLines("\x8E\xB1\n", true), true, "\x8E\xB1\n"},
        {"long lines", "\n" + longText, false, longText},
        {"long lines as phrases", asList(longText), true, longText},
    };
    for (const Row& r : rows) {
        GroupList none;
        EXPECT_EQ(readBack(none, r.file, r.phrase)[0], r.expected) << r.what;
    }
}

// ---- the singleton's list members ----

namespace {
class TestConfig : public ConfigrationFileSigleton { };
} // namespace

TEST(ListFilesTest, WritePhraseReadsBackToTheSameGroupTexts)
{
    TempProgramDir dir;
    std::vector<std::string> phrases = zpftest::TestDataLines("phrases.sjis");
    const std::string texts[] = {
        phrases[0] + "casino\n" + phrases[2],
        phrases[1] + phrases[5] + "(free money)\n" + phrases[3],
        phrases[6] + phrases[4] + "poker\n" + phrases[8],
    };
    {
        TestConfig cnf;
        cnf.AddGroup("kids");
        cnf.AddGroup("staff");
        EXPECT_TRUE(cnf.bPhraseChanged) << "a new group's copy of group 0's lists is to be written";
        cnf.bPhraseChanged = false;
        EXPECT_FALSE(cnf.WritePhrase(false)); // nothing changed: nothing written
        EXPECT_FALSE(platform::PathExists(dir.file("phrase.fdb")));
        for (int g = 0; g < 3; ++g)
            cnf.SetPhrase(texts[g].c_str(), g);
        EXPECT_TRUE(cnf.bPhraseChanged);
        ASSERT_FALSE(cnf.WritePhrase(false));
        EXPECT_FALSE(cnf.bPhraseChanged);
    }
    std::string first = dir.readBytes("phrase.fdb");
    TestConfig cnf;
    cnf.AddGroup("kids");
    cnf.AddGroup("staff");
    cnf.bPhraseChanged = true;
    ASSERT_FALSE(cnf.ReadPhrase());
    EXPECT_FALSE(cnf.bPhraseChanged);
    for (int g = 0; g < 3; ++g)
        EXPECT_EQ(cnf.GetPhrase(g), texts[g]) << g;

    // Read and written again, the file is byte for byte the same.
    cnf.SetPhrase(cnf.GetPhrase(0), 0);
    ASSERT_FALSE(cnf.WritePhrase(false));
    EXPECT_EQ(dir.readBytes("phrase.fdb"), first);
}

TEST(ListFilesTest, PlainListFlagsAndFailures)
{
    TempProgramDir dir;
    TestConfig cnf;
    cnf.AddGroup("kids");
    EXPECT_TRUE(cnf.ReadNoFilter()); // no file yet
    cnf.SetNoFilter("http://ok.example/\n", 1);
    cnf.SetPassURL("http://pass.example/", 0);
    EXPECT_FALSE(cnf.WriteNoFilter());
    EXPECT_FALSE(cnf.WritePassURL());
    EXPECT_EQ(dir.readBytes("nofilter.fdb"), "\r\n\r\n%kids%\r\nhttp://ok.example/\r\n");
    EXPECT_EQ(dir.readBytes("passurl.fdb"), "\r\nhttp://pass.example/\r\n%kids%\r\n");

    TestConfig other;
    other.AddGroup("kids");
    EXPECT_FALSE(other.ReadNoFilter());
    EXPECT_FALSE(other.ReadPassURL());
    EXPECT_STREQ(other.GetNoFilter(1), "http://ok.example/\n");
    EXPECT_STREQ(other.GetPassURL(0), "http://pass.example/\n");

    // A file that cannot be written leaves the change flag set.
    other.SetNoFilterFdb(dir.file("missing/nofilter.fdb").c_str());
    other.SetNoFilter("x\n", 0);
    EXPECT_TRUE(other.WriteNoFilter());
    EXPECT_TRUE(other.bNoFilterChanged);
}

// With the disk full a save reports the failure and leaves the old file whole; the
// group list and the list files used to be cut first.
TEST(ListFilesTest, FullDiskFailsAndKeepsTheOldFile)
{
    zpftest::SmallDisk disk(64);
    if (!disk.Mounted())
        GTEST_SKIP() << "no tmpfs could be mounted";
    GroupList groups = groupsNamed({"kids"});
    std::string big;
    for (int i = 0; big.size() < 100000; ++i)
        big += "line" + std::to_string(i) + "\n";
    const std::vector<const std::string*> texts = {&big, &big};
    GroupList many;
    for (int i = 0; i < 20000; ++i)
        many.AddGroup(("group" + std::to_string(i)).c_str());
    const struct {
        const char* name;
        bool phrase;
    } rows[] = {{"group.cnf", false}, {"phrase.fdb", true}, {"nofilter.fdb", false}, {"passurl.fdb", false}};
    for (const auto& r : rows) {
        disk.writeBytes(r.name, "\r\nold\r\n");
        const std::string path = disk.file(r.name);
        EXPECT_TRUE(std::string(r.name) == "group.cnf" ? many.WriteGroupList(path.c_str())
                                                       : listfiles::WriteListFile(path, groups, texts, r.phrase, false))
            << r.name;
        EXPECT_TRUE(disk.readBytes(r.name) == "\r\nold\r\n") << r.name; // a cut file is long to print
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk.path()), {}), 4); // no temporary file left
}
