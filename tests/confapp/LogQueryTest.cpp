// The rows the viewer shows: filters as typed, sorting by a column, rows the proxy adds
// while sorted, the summary of blocks, and the printed pages.
#include <gtest/gtest.h>

#include "core/LogPrint.h"
#include "core/LogQuery.h"
#include "CoreFixture.h"
#include "support/TempDir.h"

using logview::Column;

namespace {

// Rows 0 to 5.
const std::string kLog = "2004/05/08,10:00:00,10.0.0.10,http://adult.example/,(URL Block),,101\r\n"
                         "2004/05/09,09:00:00,10.0.0.9,http://game.example/,(URL Block),Kids,102,101\r\n"
                         "2004/05/10,08:00:00,192.168.0.5,http://news.example/,(Access Log),Kids\r\n"
                         "2004/05/10,07:00:00,10.0.0.9,http://x.example/a.exe,(Extension Block),\r\n"
                         "2004/05/15,06:00:00,10.0.0.2,http://p.example/,\x82\xa8\x8b\xe0,Adults,103\r\n" // お金
                         "2004/06/01,05:00:00,10.0.0.1,http://z.example/,(URL Block),,999\r\n";

class LogQueryTest : public ::testing::Test {
protected:
    LogQueryTest()
    {
        dir.writeBytes("zpf.log", kLog);
        EXPECT_EQ(doc.Open(dir.file("zpf.log")).status, LogDocument::ReadStatus::Ok);
        query.Rebuild();
    }
    zpftest::TempDir dir;
    LogDocument doc{confapptest::CategoryNames};
    LogQuery query{doc};
};

using Rows = std::vector<uint32_t>;

// A filter with the named fields set.
LogFilter typed(std::initializer_list<std::pair<const char*, std::string>> fields)
{
    LogFilter f;
    for (const auto& [name, value] : fields) {
        std::string* field = std::string_view(name) == "from"       ? &f.from
                             : std::string_view(name) == "to"       ? &f.to
                             : std::string_view(name) == "client"   ? &f.client
                             : std::string_view(name) == "group"    ? &f.group
                             : std::string_view(name) == "category" ? &f.category
                             : std::string_view(name) == "tag"      ? &f.tag
                                                                    : &f.url;
        *field = value;
    }
    return f;
}

TEST_F(LogQueryTest, FiltersAsTyped)
{
    const struct {
        const char* name;
        LogFilter filter;
        Rows rows;
    } cases[] = {
        {"nothing", {}, {0, 1, 2, 3, 4, 5}},
        {"from a day", typed({{"from", "2004/05/10"}}), {2, 3, 4, 5}},
        {"to a month, dashes", typed({{"to", "2004-05"}}), {0, 1, 2, 3, 4}},
        {"one day", typed({{"from", "2004/05/09"}, {"to", "2004/05/09"}}), {1}},
        {"address beginning", typed({{"client", "10.0.0.1"}}), {0, 5}},
        {"group part, any case", typed({{"group", "kid"}}), {1, 2}},
        {"default group", typed({{"group", "(default)"}}), {0, 3, 5}},
        {"category by name, any of the line's", typed({{"category", "アダルト"}}), {0, 1}},
        {"category by number", typed({{"category", "103"}}), {4}},
        {"category name in any case", typed({{"category", "game"}}), {1}},
        {"category nobody has", typed({{"category", "Shopping"}}), {}},
        {"block kind", typed({{"tag", "url block"}}), {0, 1, 5}},
        {"phrase in Japanese", typed({{"tag", "お金"}}), {4}},
        {"url part", typed({{"url", ".EXE"}}), {3}},
        {"everything at once", typed({{"from", "2004/05/09"}, {"client", "10.0.0.9"}, {"tag", "block"}}), {1, 3}},
    };
    for (const auto& c : cases) {
        query.SetFilter(c.filter);
        EXPECT_EQ(query.rows(), c.rows) << c.name;
    }
}

TEST_F(LogQueryTest, SortsByAnyColumnKeepingFileOrderForEqualRows)
{
    const struct {
        Column column;
        bool ascending;
        Rows rows;
    } cases[] = {
        {Column::Time, true, {5, 4, 3, 2, 1, 0}},
        {Column::Client, true, {5, 4, 1, 3, 0, 2}}, // 10.0.0.9 before 10.0.0.10
        {Column::Client, false, {2, 0, 1, 3, 4, 5}},
        {Column::Date, false, {5, 4, 2, 3, 1, 0}},
        {Column::Category, true, {2, 3, 5, 4, 0, 1}}, // no name, then by the names' bytes
    };
    for (const auto& c : cases) {
        query.Sort(static_cast<int>(c.column), c.ascending);
        EXPECT_EQ(query.rows(), c.rows) << static_cast<int>(c.column) << c.ascending;
    }
    query.Sort(LogQuery::kFileOrder, true);
    EXPECT_EQ(query.rows(), (Rows{0, 1, 2, 3, 4, 5}));
}

TEST_F(LogQueryTest, RowsAddedWhileSortedOrFiltered)
{
    query.SetFilter(typed({{"tag", "url block"}}));
    dir.writeBytes("zpf.log", kLog + "2004/06/02,04:00:00,10.0.0.3,http://n.example/,(URL Block),,102\r\n");
    ASSERT_EQ(doc.Follow().added, 1u);
    EXPECT_TRUE(query.Appended()) << "in file order the new row only follows";
    EXPECT_EQ(query.rows(), (Rows{0, 1, 5, 6}));

    query.Sort(static_cast<int>(Column::Time), true);
    EXPECT_EQ(query.rows(), (Rows{6, 5, 1, 0}));
    dir.writeBytes("zpf.log", dir.readBytes("zpf.log") +
                                  "2004/06/02,09:30:00,10.0.0.3,http://m.example/,(URL Block),,102\r\n"
                                  "2004/06/02,23:00:00,10.0.0.3,http://l.example/,(URL Block),,102\r\n");
    ASSERT_EQ(doc.Follow().added, 2u);
    EXPECT_FALSE(query.Appended()) << "a new row sorts in between";
    EXPECT_EQ(query.rows(), (Rows{6, 5, 1, 7, 0, 8}));
}

TEST_F(LogQueryTest, SummaryCountsBlocksPerCategoryAndDay)
{
    LogSummary s = query.Summary();
    EXPECT_EQ(s.blocks, 5u) << "the access line is no block";
    ASSERT_EQ(s.categories.size(), 3u);
    EXPECT_EQ(s.categories[0].label, "アダルト");
    EXPECT_EQ(s.categories[0].count, 2u); // the last category of each line
    EXPECT_EQ(s.categories[1].label, "（なし）"); // extension block and list number 999
    EXPECT_EQ(s.categories[1].count, 2u);
    EXPECT_EQ(s.categories[2].label, "News");
    // The week up to the newest day, empty days included.
    ASSERT_EQ(s.days.size(), 7u);
    EXPECT_EQ(s.days.front().label, "05/26");
    EXPECT_EQ(s.days.back().label, "06/01");
    EXPECT_EQ(s.days.back().count, 1u);

    query.SetFilter(typed({{"to", "2004/05/10"}}));
    s = query.Summary();
    EXPECT_EQ(s.blocks, 3u);
    EXPECT_EQ(s.days.back().label, "05/10");
    EXPECT_EQ(s.days[4].label, "05/08");
    EXPECT_EQ(s.days[4].count, 1u);

    // More categories than bars: the smallest go together.
    std::string many;
    for (unsigned n = 0; n < 9; ++n) {
        for (unsigned k = 0; k <= n; ++k)
            many += "2004/05/10,08:00:00,10.0.0.1,u,(URL Block),," + std::to_string(200 + n) + "\r\n";
    }
    dir.writeBytes("many.log", many);
    LogDocument manyDoc([](unsigned n, std::string& name) { return (name = "c" + std::to_string(n)), true; });
    ASSERT_EQ(manyDoc.Open(dir.file("many.log")).status, LogDocument::ReadStatus::Ok);
    LogQuery manyQuery(manyDoc);
    s = manyQuery.Summary();
    ASSERT_EQ(s.categories.size(), LogQuery::kCategoryBars);
    EXPECT_EQ(s.categories[0].label, "c208");
    EXPECT_EQ(s.categories.back().label, "その他");
    EXPECT_EQ(s.categories.back().count, 1u + 2 + 3 + 4);
}

TEST(LogPrintTest, BreaksNeverSplitADoubleByteCharacter)
{
    const struct {
        std::string line;
        size_t width;
        std::vector<std::string> pieces;
    } cases[] = {
        {"abcdef", 4, {"abcd", "ef"}},
        {std::string("abc\x82\xa0") + "d", 4, {"abc", std::string("\x82\xa0") + "d"}},
        {std::string("ab\x82\xa0") + "cd", 4, {"ab\x82\xa0", "cd"}},
        {"\xe0\x40\xfc\x40", 1, {"\xe0\x40", "\xfc\x40"}}, // a character always fits
        {"", 10, {""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(logprint::BreakLine(c.line, c.width), c.pieces) << c.line << " " << c.width;
}

TEST_F(LogQueryTest, PrintedPagesHoldTheRowsShown)
{
    std::tm at{};
    at.tm_year = 104;
    at.tm_mon = 4;
    at.tm_mday = 10;
    at.tm_hour = 4;
    at.tm_min = 49;
    at.tm_sec = 9;
    EXPECT_EQ(logprint::Header(3, at), "     ログファイル出力   page:3   time:04:49:09  date:04/05/10");

    const std::string line = logprint::RowLine(doc, 0);
    EXPECT_EQ(line.substr(0, 52), "2004/05/08,10:00:00,10.0.0.10,http://adult.example/,");
    EXPECT_EQ(line.substr(line.size() - 9), ",\x83\x41\x83\x5f\x83\x8b\x83\x67");
    dir.writeBytes("ctl.log", "2004/05/10,01:02:03,1.2.3.4,u,\x1bK\t,,101\r\n");
    LogDocument controls(confapptest::CategoryNames);
    ASSERT_EQ(controls.Open(dir.file("ctl.log")).status, LogDocument::ReadStatus::Ok);
    const std::string printed = logprint::RowLine(controls, 0);
    EXPECT_EQ(printed.substr(0, 48), "2004/05/10,01:02:03,1.2.3.4,u,.K.,,101,.K.,,101,");
    for (char c : printed)
        EXPECT_GE(static_cast<unsigned char>(c), 32u) << "control bytes print as dots";

    query.SetFilter(typed({{"category", "アダルト"}}));
    // Two lines of rows per page, each row broken in two.
    ASSERT_GT(logprint::RowLine(doc, 1).size(), 80u);
    ASSERT_LE(logprint::RowLine(doc, 1).size(), 160u);
    const auto pages = logprint::Paginate(doc, query, 4, 80, at);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_NE(pages[1].header.find("ログファイル出力   page:2   time:"), std::string::npos);
    ASSERT_EQ(pages[0].lines.size(), 2u);
    EXPECT_NE(pages[0].lines[0].find("http://adult.example/"), std::string::npos);
    EXPECT_NE(pages[1].lines[0].find("http://game.example/"), std::string::npos);
}

} // namespace
