// The week of a group on the schedule page: slots typed, painted and copied, the lines
// they make, and what a fresh load of time.cnf decides from them.
#include "core/pages/TimePage.h"

#include <functional>

#include "PagesFixture.h"

namespace {

using confapptest::PagesFixture;
using confapptest::TestConfig;

class TimePageTest : public PagesFixture { };

void type(TimePage& page, const char* start, const char* end, FilterStatus state)
{
    page.startField = start;
    page.endField = end;
    page.stateField = state;
}

struct Probe {
    int day;
    int hour;
    int minute;
    FilterStatus state;
};

struct Case {
    const char* name;
    std::function<void(TimePage&)> edit;
    std::vector<std::string> lines; // what the group's week is stored as
    std::vector<Probe> probes; // decided by a fresh load of the saved file
};

TEST_F(TimePageTest, EditsBecomeLinesThatTheProxyReadsBack)
{
    const Case cases[] = {
        {"no slot at all", [](TimePage&) {}, {"on;\n"}, {{0, 12, 0, FilterOn}, {6, 23, 59, FilterOn}}},
        {"until the end of the day",
         [](TimePage& p) {
             type(p, "22:00", "24:00", FilterCut);
             EXPECT_EQ(p.Add(), "");
         },
         {"off;\n", "cut;mon;22:00-24:00\n"},
         {{0, 21, 59, FilterOff}, {0, 22, 0, FilterCut}, {0, 23, 59, FilterCut}, {1, 0, 0, FilterOff}}},
        {"across midnight, Sunday into Monday",
         [](TimePage& p) {
             p.SelectDay(6);
             type(p, "23:30", "6:15", FilterCut);
             EXPECT_EQ(p.Add(), "");
         },
         {"off;\n", "cut;mon;00:00-06:15\n", "cut;sun;23:30-24:00\n"},
         {{6, 23, 30, FilterCut}, {0, 6, 14, FilterCut}, {0, 6, 15, FilterOff}, {6, 6, 0, FilterOff}}},
        {"applied to other days replaces theirs, never the day itself",
         [](TimePage& p) {
             p.SelectDay(1);
             type(p, "1:00", "2:00", FilterOn);
             EXPECT_EQ(p.Add(), "");
             p.SelectDay(0);
             type(p, "9:00", "17:00", FilterCut);
             EXPECT_EQ(p.Add(), "");
             p.ApplyToDays({true, true, true, false, false, false, false});
         },
         {"off;\n", "cut;mon;09:00-17:00\n", "cut;tue;09:00-17:00\n", "cut;wed;09:00-17:00\n"},
         {{1, 1, 30, FilterOff}, {2, 16, 59, FilterCut}, {3, 10, 0, FilterOff}}},
        {"modify and delete",
         [](TimePage& p) {
             type(p, "8:00", "9:00", FilterOn);
             EXPECT_EQ(p.Add(), "");
             type(p, "10:00", "11:00", FilterOn);
             EXPECT_EQ(p.Add(), "");
             p.Select(0);
             EXPECT_EQ(p.startField, "8:00");
             type(p, "8:00", "9:30", FilterCut);
             EXPECT_EQ(p.Modify(), "");
             p.Select(1);
             p.Delete();
         },
         {"off;\n", "cut;mon;08:00-09:30\n"},
         {{0, 9, 15, FilterCut}, {0, 10, 30, FilterOff}}},
        {"painted cells, then a cell cleared",
         [](TimePage& p) {
             p.PaintCells(4, 20, 18, FilterCut);
             p.PaintCells(4, 19, 19, FilterOff);
         },
         {"off;\n", "cut;fri;18:00-19:00\n", "cut;fri;20:00-21:00\n"},
         {{4, 18, 59, FilterCut}, {4, 19, 0, FilterOff}, {4, 20, 59, FilterCut}}},
        {"refused times add nothing",
         [](TimePage& p) {
             type(p, "22:00", "24:30", FilterCut);
             EXPECT_EQ(p.Add(), "時間の書式が正しくありません。hh:mmの形式で入力してください。");
             type(p, "9:00", "9:00", FilterCut);
             EXPECT_NE(p.Add(), "");
             EXPECT_FALSE(p.modified());
         },
         {"on;\n"},
         {{0, 22, 30, FilterOn}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.writeBytes("time.cnf", "on;\n");
        // A document of its own: a reload keeps a group's schedule flags in memory.
        TestConfig config;
        SettingsDocument doc(config, dir.path());
        ASSERT_TRUE(doc.Load());
        TimePage page(doc);
        page.LoadGroup(1);
        c.edit(page);
        EXPECT_EQ(page.Lines(), c.lines);
        page.StoreGroup(1);
        ASSERT_TRUE(doc.Save(false).ok);
        Fresh back(dir.path());
        for (const Probe& p : c.probes) {
            const auto at = static_cast<unsigned>(p.hour * 256 + p.minute);
            EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(1, p.day, at), p.state)
                << p.day << " " << p.hour << ":" << p.minute;
            EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(0, p.day, at), FilterOn) << "group 0 keeps its own week";
        }
    }
}

TEST_F(TimePageTest, AGroupFollowsGroupZeroUntilItsWeekIsEdited)
{
    ConfigrationFileSigleton& c = document.config();
    ASSERT_TRUE(c.timeCnfList.PutLineData("cut;sat;\n", 0));
    TimePage page(document);
    page.LoadGroup(2);
    ASSERT_EQ(page.daySlots(5).size(), 1u) << "shows the week in force";
    EXPECT_EQ(page.CellState(5, 12), FilterCut);
    EXPECT_EQ(page.CellState(4, 12), FilterOff);
    page.StoreGroup(2);
    EXPECT_FALSE(c.timeCnfList[2].ownSchedule) << "untouched: still follows group 0";

    page.PaintCells(0, 0, 23, FilterCut);
    page.StoreGroup(2);
    EXPECT_TRUE(c.timeCnfList[2].ownSchedule);
    save();
    Fresh back(dir.path());
    EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(2, 5, 12 * 256), FilterCut) << "group 0's slots, now its own";
    EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(2, 0, 12 * 256), FilterCut);
    EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(0, 0, 12 * 256), FilterOn);
    EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(1, 5, 12 * 256), FilterCut) << "group 1 still follows group 0";
}

TEST_F(TimePageTest, StateNowIsTheLibrarysAnswerForTheWeekBeingEdited)
{
    TimePage page(document);
    page.LoadGroup(1);
    EXPECT_EQ(page.StateNow(), FilterOn);
    for (int d = 0; d < TimePage::kDays; ++d)
        page.PaintCells(d, 0, 23, FilterCut);
    EXPECT_EQ(page.StateNow(), FilterCut);
    EXPECT_EQ(TimePage::TimeText(9 * 60 + 5), "9:05");
    EXPECT_EQ(TimePage::TimeText(24 * 60), "24:00");
}

} // namespace
