#include "filterdb/FilterDatabase.h"
#include "filterdb/PhraseChains.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/ConfigrationFile.h"
#include "support/TempProgramDir.h"

using zpftest::TempProgramDir;

namespace {

std::vector<uint16_t> numbers(const KeyTable* table, const std::string& text, bool exact = false)
{
    if (!table)
        return {9999};
    auto found = table->LookupKeys(text, exact);
    if (!found)
        return {};
    auto v = found->Values();
    return {v.begin(), v.end()};
}

bool matches(const ContentMatcher* m, const std::string& text)
{
    MatchResult r;
    return m && m->Scan(ContentMatcher::kRootState, text.data(), text.size(), r);
}

class FilterDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.writeEnciphered("category2.cnf", "1|A|0|101|Adult|adult.fdb|http://u.invalid/adult.fdb\n"
                                             "0|B|0|102|Games|games.fdb|http://u.invalid/games.fdb\n"
                                             "1|C|0|103|Missing|missing.fdb|http://u.invalid/missing.fdb\n");
        dir.writeEnciphered("adult.fdb",
                            "adult.example/\nHTTP://Upper.example/\n*.xxx\n{BadWord}\n[blank me,blankme]\n(upword)\n"
                            "%not-a-section%\n*** End of filtering database. ***\nafter.example/\n");
        dir.writeEnciphered("games.fdb", "games.example/\n");
        dir.writeEnciphered("target.fdb", "allowed.example/\n{curly}\n*.txt\n");
        dir.writeEnciphered("nofilup.fdb", "up.example/\n");
        dir.writeBytes("phrase.fdb",
                       "\r\nuser-blocked.example/\r\n*.zip\r\n{userword}\r\n\r\n%kids%\r\nkids-only.example/\r\n");
        dir.writeBytes("passurl.fdb", "\r\npass.example/\r\n\r\n%kids%\r\nkidpass.example/\r\n");
        dir.writeBytes("nofilter.fdb", "\r\nnofilter.example/\r\n");
        cnf = ConfigrationFileSigleton::getInstance();
        cnf->SetDefaultPaths();
        (void)cnf->Initialize(); // only some of the files exist
        cnf->AddGroup("kids");
        db.SetErrorSink([this](const std::string& e) { errors.push_back(e); });
        db.Load(true);
    }

    TempProgramDir dir;
    ConfigrationFileSigleton* cnf = nullptr;
    FilterDatabase db;
    std::vector<std::string> errors;
};

} // namespace

using enum TableKind;
using enum MatcherKind;

TEST_F(FilterDatabaseTest, CategoryFilesFillTheirTablesAndMatchers)
{
    // Only a lower-case scheme is dropped; the key kept "http://" after lower-casing.
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, 0), "HTTP://UPPER.example/"), std::vector<uint16_t>{101});
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, 0), "http://upper.example/"), std::vector<uint16_t>{});
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, 0), "%not-a-section%x"), std::vector<uint16_t>{101});
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryExtensions, 0), "xxx", true), std::vector<uint16_t>{101});
    EXPECT_TRUE(matches(db.GetContentMatcher(CategoryPageBlock, 0), "a badword here"));
    EXPECT_TRUE(matches(db.GetContentMatcher(CategoryReplace, 0), "please blankme"));
    EXPECT_TRUE(matches(db.GetContentMatcher(CategoryUploadBlock, 0), "upword"));
    EXPECT_FALSE(matches(db.GetContentMatcher(CategoryUploadBlock, 0), "badword"));
    // No group uses category 102: nothing is read for it.
    EXPECT_EQ(db.GetContentMatcher(CategoryPageBlock, 1), nullptr);
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, 1), "http://games.example/"), std::vector<uint16_t>{});
    // A category in use whose file is missing leaves an open-error line.
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "missing.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()");
    EXPECT_EQ(errors[1], "nofildow.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()");
}

// Which list stops or exempts which request is in the decision tests.
TEST_F(FilterDatabaseTest, GlobalListsTakeEveryKindAsAUrlKeyAndGroupListsGoBySection)
{
    EXPECT_EQ(numbers(db.GetKeyTable(AccessControl, 5), "curly"), std::vector<uint16_t>{999}); // index ignored
    EXPECT_EQ(numbers(db.GetKeyTable(AccessControl, 0), "*.txt"), std::vector<uint16_t>{999});
    EXPECT_EQ(numbers(db.GetKeyTable(DownloadExempt, 0), "http://x/"), std::vector<uint16_t>{});
    EXPECT_TRUE(matches(db.GetContentMatcher(GroupPageBlock, 0), "userword"));
    EXPECT_FALSE(matches(db.GetContentMatcher(GroupPageBlock, 1), "userword"));
    EXPECT_EQ(numbers(db.GetKeyTable(GroupAccessControl, 1), "http://kidpass.example/"), std::vector<uint16_t>{1});
    // A group without a section gets no keys.
    EXPECT_EQ(numbers(db.GetKeyTable(GroupUploadExempt, 1), "http://nofilter.example/"), std::vector<uint16_t>{});
    // Indexes out of range give nothing.
    EXPECT_EQ(db.GetKeyTable(CategoryUrls, 3), nullptr);
    EXPECT_EQ(db.GetKeyTable(GroupUrls, -1), nullptr);
    EXPECT_EQ(db.GetContentMatcher(GroupPageBlock, 2), nullptr);
}

namespace {

void switchOnResponseFilters(ConfigrationFileSigleton& cnf)
{
    ConfigrationFileData& data = cnf.cnfData[0];
    data.UserFilter = 1;
    data.PageBlockFilter = 1;
    data.DownloadReplaceFilter = 1;
    data.categoryStatus.assign(3, 0);
    data.categoryStatus[0] = static_cast<int>(CategoryStatus::Block);
}

} // namespace

TEST_F(FilterDatabaseTest, ResponseChainsShareOnePrefilterAndStillActOnEveryList)
{
    switchOnResponseFilters(*cnf);
    StringSink sink;
    PhraseChain chain = BuildPhraseChain(false, 0, false, true, &sink, db, *cnf);
    ASSERT_EQ(chain.chain->FilterCount(), 4u); // the group's and the category's block and replace lists
    EXPECT_TRUE(chain.chain->HasPrefilter());
    std::vector<const ContentMatcher*> matchers;
    for (size_t i = 0; i < 4; ++i)
        matchers.push_back(chain.chain->GetFilter(i)->Matcher());
    EXPECT_EQ(db.GetPrefilter(matchers), db.GetPrefilter(matchers));

    const std::string page = "<p>please blank me</p>";
    EXPECT_FALSE(chain.chain->Write(page.data(), page.size()));
    EXPECT_EQ(sink.text, "<p>please         </p>");
    const std::string bad = "a bad word";
    EXPECT_TRUE(chain.chain->Write(bad.data(), bad.size()));
    EXPECT_TRUE(chain.AnyBlockMatch());
}

TEST_F(FilterDatabaseTest, SessionsBuildChainsAtOnce)
{
    switchOnResponseFilters(*cnf);
    std::vector<std::thread> sessions;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        sessions.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                StringSink sink;
                PhraseChain chain = BuildPhraseChain(false, 0, false, true, &sink, db, *cnf);
                const std::string page = "x blank me x";
                chain.chain->Write(page.data(), page.size());
                if (sink.text != "x          x")
                    ++wrong;
            }
        });
    }
    for (auto& s : sessions)
        s.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(FilterDatabaseTest, KeyFilesOverTheirBoundAreSkippedAndTheRestLoads)
{
    // 1024 distinct strings of 6 bytes; 300 lines of 4096 copies of one string.
    const std::string wide = "[x][a,b,c,d][a,b,c,d][a,b,c,d][a,b,c,d][a,b,c,d]\r\n";
    std::string copies;
    for (int i = 0; i < 300; ++i)
        copies += "[copied" + std::to_string(i % 3) + "][,][,][,][,][,][,][,][,][,][,][,]\r\n";
    struct Row {
        const char* what;
        std::string text;
        size_t perFile, total, strings;
        bool reported;
    } rows[] = {
        {"copies", copies, 4096, 4096, 3, false},
        {"within", wide, 6144, 6144, 1024, false},
        {"over the file's bound", wide, 6143, 1 << 20, 0, true},
        {"over the database's bound", wide, 1 << 20, 6143, 0, true},
    };
    for (const auto& r : rows) {
        db.Clear();
        errors.clear();
        db.SetKeyBytesBounds(r.perFile, r.total);
        dir.writeBytes("phrase.fdb", r.text);
        db.LoadKeyFile("phrase.fdb", 1, false, 0);
        EXPECT_EQ(db.KeyList(FilterKey::Brackets).size(), r.strings) << r.what;
        EXPECT_EQ(errors.size(), r.reported ? 1u : 0u) << r.what;
    }

    // In a whole load the skipped section goes, every other file and section stays.
    dir.writeBytes("phrase.fdb", "\r\n{userword}\r\n" + wide + "\r\n%kids%\r\nkids-only.example/\r\n");
    errors.clear();
    db.SetKeyBytesBounds(4096, 1 << 20);
    db.Load(true);
    EXPECT_FALSE(matches(db.GetContentMatcher(GroupPageBlock, 0), "userword"));
    EXPECT_EQ(numbers(db.GetKeyTable(GroupUrls, 1), "http://kids-only.example/"), std::vector<uint16_t>{1});
    EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, 0), "http://adult.example/"), std::vector<uint16_t>{101});
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[2], "phrase.fdb[0] Skipped - its keys expand to more than 4096 bytes");
}

// Twelve categories load on two threads; what depends on their order (the database's
// bound, which files it skips, the log lines) comes out as in a load one by one.
TEST(FilterDatabaseCategoriesTest, ManyFilesLoadInParallelAndTheirOrderStillDecides)
{
    TempProgramDir dir;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    struct Row {
        const char* file; // null: the file is missing
        bool tiny = false; // a 10-byte key instead of 21 bytes of keys
        bool over = false; // 50 keys: over the file's own bound
        bool loaded = false;
    } rows[] = {
        {"c0.fdb", false, true, false},
        {"c1.fdb", false, false, true},
        {"c2.fdb", false, false, true},
        {"c3.fdb", false, false, true},
        {nullptr},
        {"c5.fdb", false, false, true},
        {"c6.fdb", false, false, true},
        {"c7.fdb", false, false, true},
        {"c8.fdb", false, false, false},
        {"c9.fdb", false, false, false},
        {"c10.fdb", true, false, true},
        {"c11.fdb", false, false, false},
    };
    std::string list;
    for (size_t c = 0; c < std::size(rows); ++c) {
        const std::string n = std::to_string(c);
        const std::string file = rows[c].file ? rows[c].file : "c" + n + ".fdb";
        list += "1|A|0|" + std::to_string(300 + c) + "|Category " + n + "|" + file + "|http://u.invalid/x\n";
        if (!rows[c].file)
            continue;
        const std::string nn = (c < 10 ? "0" : "") + n;
        std::string keys =
            rows[c].tiny ? "t.example/\n" : "site" + nn + ".example/\n{word" + nn + "}\n"; // 15 + 6 bytes
        for (int k = 0; rows[c].over && k < 50; ++k)
            keys += "extra" + std::to_string(k) + ".example/\n";
        dir.writeEnciphered(file, keys);
    }
    dir.writeEnciphered("category2.cnf", list);
    // The group lists load last and find the database's bound already reached.
    dir.writeBytes("phrase.fdb", "late.example/\r\n");
    dir.writeBytes("passurl.fdb", "pass.example/\r\n");
    dir.writeBytes("nofilter.fdb", "\r\n");
    cnf->categoryList.categories.clear(); // no categories of other tests merge in
    cnf->SetDefaultPaths();
    (void)cnf->Initialize();

    FilterDatabase db;
    std::vector<std::string> errors;
    db.SetErrorSink([&errors](const std::string& e) { errors.push_back(e); });
    db.SetKeyBytesBounds(100, 6 * 21 + 10); // six whole files and the tiny one
    db.Load(true);
    for (size_t c = 0; c < std::size(rows); ++c) {
        const std::string n = (c < 10 ? "0" : "") + std::to_string(c);
        const std::string host = rows[c].tiny ? "http://t.example/" : "http://site" + n + ".example/";
        const auto expected =
            rows[c].loaded ? std::vector<uint16_t>{static_cast<uint16_t>(300 + c)} : std::vector<uint16_t>{};
        EXPECT_EQ(numbers(db.GetKeyTable(CategoryUrls, static_cast<int>(c)), host), expected) << c;
        EXPECT_EQ(matches(db.GetContentMatcher(CategoryPageBlock, static_cast<int>(c)), "a word" + n),
                  rows[c].loaded && !rows[c].tiny)
            << c;
    }
    const std::vector<std::string> expected = {
        "c0.fdb[-1] Skipped - its keys expand to more than 100 bytes",
        "c4.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
        "c8.fdb[-1] Skipped - the database's keys would exceed 136 bytes",
        "c9.fdb[-1] Skipped - the database's keys would exceed 136 bytes",
        "c11.fdb[-1] Skipped - the database's keys would exceed 136 bytes",
        "target.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
        "nofilup.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
        "nofildow.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
        "phrase.fdb[0] Skipped - the database's keys would exceed 136 bytes",
        "passurl.fdb[0] Skipped - the database's keys would exceed 136 bytes",
    };
    EXPECT_EQ(errors, expected);
    cnf->categoryList.categories.clear();
}
