#include "config/Category.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "config/ConfigrationFile.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

const std::string kPo = "\x83\x7C"; // katakana "po": second byte is '|'
const std::string kSo = "\x83\x5C"; // katakana "so": second byte is '\'
const std::string kKan = "\x8A\xBF"; // a kanji

std::string keys(const CCategoryList& list)
{
    std::string out;
    for (const CCategory& c : list.categories)
        out += c.key + (c.stale ? "(stale) " : " ");
    return out;
}

} // namespace

TEST(CategoryTest, FieldsAndMissingSeparatorsLeavingTheLaterOnesAlone)
{
    struct Row {
        std::string line;
        int defaultValue;
        std::string text1, text2;
        unsigned short number;
        std::string name, key, rest;
    };
    const Row rows[] = {
        {"1|A|B|101|" + kPo + kSo + "|adult.fdb|http://update.invalid/zpfl/adult.fdb\r\t\n", 1, "A", "B", 101,
         kPo + kSo, "adult.fdb", "http://update.invalid/zpfl/adult.fdb"},
        {"2", 2, "t1", "t2", 7, "n", "k", "r"},
        {"2|x|y", 2, "x", "t2", 7, "n", "k", "r"},
        {"2|x|y|9|" + kKan + "|key.fdb", 2, "x", "y", 9, kKan, "k", "r"},
        {"2|x|y|9|nm|key.fdb|", 2, "x", "y", 9, "nm", "key.fdb", ""},
        {"2|||||||", 2, "", "", 0, "", "", "|"},
        // The number keeps 16 bits; text around digits counts as atoi counts it.
        {" 3x|a|b|65537|n|k2|r", 3, "a", "b", 1, "n", "k2", "r"},
        {"99999999999|a|b|-1|n|k3|r", 2147483647, "a", "b", 65535, "n", "k3", "r"},
        // A lead byte before a separator is a character of its own only when the
        // separator cannot be its second byte; '|' always can.
        {"1|a|b|2|x\x83|k.fdb|r|tail", 1, "a", "b", 2, "x\x83|k.fdb", "r", "tail"},
        {"1|a|b|2|n|k.fdb|r\x83", 1, "a", "b", 2, "n", "k.fdb", "r\x83"}, // at the end of the line
        {"1|a|b|2|n\x83\t|k.fdb|r", 1, "a", "b", 2, "n\x83\t", "k.fdb", "r"}, // before a control byte
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        CCategory c(7, 7, "k", "n", "r", false);
        c.text1 = "t1";
        c.text2 = "t2";
        c.SetCategory(r.line.c_str());
        EXPECT_EQ(std::tie(c.defaultValue, c.text1, c.text2, c.number, c.name, c.key, c.rest),
                  std::tie(r.defaultValue, r.text1, r.text2, r.number, r.name, r.key, r.rest));
    }
    CCategory unchanged(5, 6, "k", "n", "r", true);
    unchanged.SetCategory(nullptr);
    EXPECT_EQ(unchanged.defaultValue, 5);
    EXPECT_TRUE(unchanged.stale);
}

TEST(CategoryTest, MergeKeepsPositionsMarksMissingStaleAndAppendsNew)
{
    CCategoryList list;
    EXPECT_EQ(list.MergeText("# categories\r\n"
                             "1|A|x|101|adult|adult.fdb|http://h/adult\r\n"
                             "\r\n"
                             "0|B|x|102|game|game.fdb|http://h/game\r\n"
                             "1|C|x|103|chat|chat.fdb|http://h/chat\r\n"
                             "*** End of filtering database. ***\r\n"),
              3);
    EXPECT_EQ(keys(list), "adult.fdb game.fdb chat.fdb ");
    EXPECT_EQ(list.GetLiveCategoryNum(), 3);

    // The second list drops game, adds drug before the others and changes adult.
    EXPECT_EQ(list.MergeText("1|D|y|104|drug|drug.fdb|http://h/drug\n"
                             "0|A2|z|999|adult2|adult.fdb|http://h2/adult\n"
                             "1|C|x|103|chat|chat.fdb|http://h/chat\n"),
              3);
    EXPECT_EQ(keys(list), "adult.fdb game.fdb(stale) chat.fdb drug.fdb ");
    EXPECT_EQ(list.GetCategoryNum(), 4);
    EXPECT_EQ(list.GetLiveCategoryNum(), 3);
    const CCategory& adult = list[0];
    EXPECT_EQ(adult.text1, "A2");
    EXPECT_EQ(adult.name, "adult2");
    EXPECT_EQ(adult.rest, "http://h2/adult");
    // The default, text2 and number stay as first read.
    EXPECT_EQ(adult.defaultValue, 1);
    EXPECT_EQ(adult.text2, "x");
    EXPECT_EQ(adult.number, 101);
    EXPECT_EQ(list.FindKey("none.fdb"), -1);

    // A category that comes back is live again at its old index.
    list.MergeText("0|B|x|102|game|game.fdb|http://h/game\n");
    EXPECT_EQ(keys(list), "adult.fdb(stale) game.fdb chat.fdb(stale) drug.fdb(stale) ");
}

TEST(CategoryTest, LinesAreCutAtTheReadBufferAndNulEndsThem)
{
    CCategoryList list;
    std::string longRest(600, 'r');
    std::string text = "1|a|b|1|n|long.fdb|" + longRest + "\n" + std::string("1|a|b|2|n|nul.fdb|x\0yz\n", 23) +
                       std::string("\0\0\0", 3);
    list.MergeText(text);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].rest.size(), 512u - std::string("1|a|b|1|n|long.fdb|").size());
    EXPECT_EQ(list[1].rest, "x");
}

TEST(CategoryTest, KeysThatAreNoSafeFileOrConfigKeyAreRefused)
{
    CCategoryList list;
    for (const char* line :
         {"1|a|b|1|n|../x.fdb|r", "1|a|b|1|n|..|r", "1|a|b|1|n|a\\b.fdb|r", "1|a|b|1|n|a\x01.fdb|r",
          "1|a|b|1|n|%x.fdb|r", "1|a|b|1|n|#x.fdb|r", "1|a|b|1|n|x=y.fdb|r", "-1|a|b|1|n|a.fdb|r", ""})
        EXPECT_FALSE(list.MergeLine(line)) << line;
    EXPECT_FALSE(list.MergeLine(nullptr));
    // A Shift_JIS character whose second byte is '\' is no separator.
    EXPECT_TRUE(list.MergeLine(("1|a|b|1|n|" + kSo + ".fdb|r").c_str()));
    // Fewer than six separators: a category without a key.
    EXPECT_TRUE(list.MergeLine("1|a|b|2|n"));
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list[1].key, "");
}

TEST(CategoryTest, CategoryCountIsBounded)
{
    CCategoryList list;
    std::string text;
    for (int i = 0; i < CCategoryList::kMaxCategories + 10; ++i)
        text += "1|a|b|" + std::to_string(i) + "|n|k" + std::to_string(i) + ".fdb|r\n";
    list.MergeText(text);
    EXPECT_EQ(list.size(), CCategoryList::kMaxCategories);
    // Known keys still update once the list is full.
    EXPECT_TRUE(list.MergeLine("1|a|b|1|renamed|k0.fdb|r"));
    EXPECT_EQ(list[0].name, "renamed");
}

// ---- the enciphered file and the configuration singleton ----

namespace {

class TestConfig : public ConfigrationFileSigleton { };

class CategoryFileTest : public ::testing::Test {
protected:
    TempProgramDir dir;
};

} // namespace

TEST_F(CategoryFileTest, UnreadableFilesLeaveTheListAlone)
{
    const std::string good = "1|a|b|1|n|a.fdb|r\n";
    dir.writeEnciphered("good.cnf", good + good + good);
    const std::string enciphered = dir.readBytes("good.cnf");
    ASSERT_EQ(enciphered.size() % 7, 0u);

    struct Row {
        const char* what;
        std::string bytes; // empty: no file at all
        const char* error;
    };
    const Row rows[] = {
        {"missing", "", "CategoryFile Cipher Open Error"},
        {"not enciphered", std::string(good + good + good + "1|a|b|2|n|b.fdb|r\n").substr(0, 70),
         "CategoryFile Format Error"},
        {"cut inside a unit", enciphered.substr(0, enciphered.size() - 3), "CategoryFile Format Error"},
        {"too large", std::string(CCategoryList::kMaxFileBytes + 7, '\0'), "CategoryFile Format Error"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::remove(dir.file("category2.cnf").c_str());
        if (!r.bytes.empty())
            dir.writeBytes("category2.cnf", r.bytes);
        CCategoryList list;
        list.MergeText("1|a|b|7|kept|kept.fdb|r\n");
        EXPECT_TRUE(list.ReadCategoryFile());
        EXPECT_EQ(list.errorText, r.error);
        ASSERT_EQ(list.size(), 1);
        EXPECT_FALSE(list[0].stale);
    }
}

TEST_F(CategoryFileTest, InitializeAppliesDefaultsThenZpfCnfAndWritesEveryCategory)
{
    dir.writeEnciphered("category2.cnf", "1|a|b|101|Adult|adult.fdb|r\n"
                                         "0|a|b|102|Game|game.fdb|r\n"
                                         "2|a|b|103|News|news.fdb|r\n");
    dir.writeBytes("zpf.cnf", Crlf("Port=3036\n\n#Game\ngame.fdb=1\nother.fdb=5\nnews.fdb\n"));
    TestConfig cnf;
    (void)cnf.Initialize(); // the list files are missing; the categories still load
    ASSERT_EQ(cnf.cnfData.size(), 1u);
    EXPECT_EQ(cnf.cnfData[0].categoryStatus, (std::vector<int>{1, 1, 2}));

    cnf.AddGroup("kids");
    cnf.cnfData[1].categoryStatus[0] = 0;
    ASSERT_FALSE(cnf.WriteZpfCnf(false));
    std::string written = dir.readBytes("zpf.cnf");
    EXPECT_NE(written.find("\r\n\r\n#Adult\r\nadult.fdb=1\r\n#Game\r\ngame.fdb=1\r\n#News\r\nnews.fdb=2\r\nBlock="),
              std::string::npos);
    EXPECT_NE(written.find("%kids%\r\n#Adult\r\nadult.fdb=0\r\n"), std::string::npos);

    std::string name;
    EXPECT_TRUE(cnf.GetCategoryName(102, name));
    EXPECT_EQ(name, "Game");
    EXPECT_FALSE(cnf.GetCategoryClass(999, name));
    EXPECT_TRUE(cnf.GetCategoryUse(0)); // group 0 still blocks it
    EXPECT_EQ(cnf.GetStatusCategoryNum(0, 1), 2);
    EXPECT_EQ(cnf.GetStatusCategoryNum(1, 1), 1);
    EXPECT_EQ(cnf.GetStatusCategoryNum(9, 1), 0);
    EXPECT_FALSE(cnf.GetCategoryUse(7));
}

TEST_F(CategoryFileTest, ReloadKeepsStaleCategoriesInZpfCnf)
{
    dir.writeEnciphered("category2.cnf", "1|a|b|101|Adult|adult.fdb|r\n0|a|b|102|Game|game.fdb|r\n");
    dir.writeBytes("zpf.cnf", Crlf("\ngame.fdb=2\n"));
    TestConfig cnf;
    (void)cnf.Initialize(); // the list files are missing
    EXPECT_EQ(cnf.GetStatusCategoryNum(0, 2), 1);

    // The new list drops Adult and adds Drug; Game keeps index 1 and its value.
    dir.writeEnciphered("category2.cnf", "0|a|b|102|Game|game.fdb|r\n1|a|b|104|Drug|drug.fdb|r\n");
    (void)cnf.Initialize();
    ASSERT_EQ(cnf.categoryList.size(), 3);
    EXPECT_TRUE(cnf.categoryList[0].stale);
    EXPECT_EQ(cnf.categoryList[2].key, "drug.fdb");
    EXPECT_EQ(cnf.cnfData[0].categoryStatus, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(cnf.GetStatusCategoryNum(0, 1), 1); // the stale Adult no longer counts
    EXPECT_TRUE(cnf.GetCategoryUse(0));

    ASSERT_FALSE(cnf.WriteZpfCnf(false));
    EXPECT_NE(dir.readBytes("zpf.cnf").find("#Adult\r\nadult.fdb=1\r\n#Game\r\ngame.fdb=2\r\n#Drug\r\ndrug.fdb=1\r\n"),
              std::string::npos);
}
