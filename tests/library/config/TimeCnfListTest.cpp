#include "config/TimeCnfList.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "common/Clock.h"
#include "config/GroupList.h"
#include "support/LocalClock.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

constexpr int kMon = 0, kTue = 1, kWed = 2, kThu = 3, kFri = 4, kSat = 5, kSun = 6;

unsigned int at(int hour, int minute) { return static_cast<unsigned int>(hour * 256 + minute); }

size_t slotCount(const TimeCnfList& list, int group)
{
    size_t n = 0;
    for (const auto& day : list[group].days)
        n += day.size();
    return n;
}

// Groups 1 "kids" and 2 "staff"; only kids has a section of its own.
const char* const kScheduleFile = "# weekly schedule\n"
                                  "off;\n"
                                  "on;mon-fri;09:00-12:00,13:00-17:00\n"
                                  "cut;sat;\n"
                                  "on;sun;23:00-24:00\n"
                                  "cut;mon;11:00-14:00\n"
                                  "\n"
                                  "%nobody%\n" // unknown: its lines stay with group 0
                                  "on;tur;06:00-07:00\n"
                                  "%kids%\n"
                                  "cut;\n"
                                  "on;MONDAY,Wed;08:00-09:00\n";

class TimeCnfListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        groups.AddGroup("kids");
        groups.AddGroup("staff");
    }
    void TearDown() override { zpfclock::SetTestClock({}); }

    void load(const std::string& text)
    {
        dir.writeBytes("time.cnf", Crlf(text));
        ASSERT_FALSE(list.Initialize());
    }

    TempProgramDir dir;
    GroupList groups;
    TimeCnfList list{&groups};
};

} // namespace

TEST_F(TimeCnfListTest, StateAtEachBoundaryOfTheWeek)
{
    load(kScheduleFile);
    ASSERT_EQ(list.size(), 3);
    EXPECT_FALSE(list[0].ownSchedule);
    EXPECT_TRUE(list[1].ownSchedule);
    EXPECT_FALSE(list[2].ownSchedule);

    struct Row {
        int group, day;
        unsigned int now;
        FilterStatus expected;
    } rows[] = {
        {0, kMon, at(8, 59), FilterOff}, // before the first slot: the default
        {0, kMon, at(9, 0), FilterOn}, // start is inclusive
        {0, kMon, at(11, 30), FilterOn}, // overlaps the later cut slot: the earlier line wins
        {0, kMon, at(12, 0), FilterCut}, // end is exclusive, the cut slot takes over
        {0, kMon, at(13, 0), FilterOn}, // the second range of the first line comes first again
        {0, kMon, at(17, 0), FilterOff}, // exclusive end
        {0, kTue, at(12, 30), FilterOff}, // the cut line named Monday only
        {0, kThu, at(6, 30), FilterOn}, // from the line after the unknown section
        {0, kSat, at(0, 0), FilterCut}, // a blank time item covers the whole day
        {0, kSun, at(0, 0), FilterOff}, // Saturday's slot ends at its midnight
        {0, kSun, at(23, 0), FilterOn}, // up to 24:00
        {0, kSun, at(23, 59), FilterOn},  {1, kMon, at(8, 30), FilterOn}, // kids: own slots, own default
        {1, kMon, at(10, 0), FilterCut},  {1, kWed, at(8, 0), FilterOn},
        {1, kTue, at(8, 30), FilterCut},  {2, kMon, at(10, 0), FilterOn}, // staff: group 0's slots ...
        {2, kMon, at(12, 30), FilterCut}, {2, kMon, at(8, 0), FilterOn}, // ... but its own default, not group 0's "off"
        {-1, kMon, at(8, 0), FilterOff}, // an account's unknown group: group 0
        {99, kMon, at(9, 0), FilterOn},
    };
    for (const auto& r : rows)
        EXPECT_EQ(list.FilterStatusAt(r.group, r.day, r.now), r.expected)
            << "group " << r.group << " day " << r.day << " at " << (r.now >> 8) << ":" << (r.now & 0xff);

    // A range line gives one slot per day and range, each with the whole line.
    ASSERT_EQ(list.GetVector(0, kFri).size(), 2u);
    EXPECT_EQ(list.GetVector(0, kFri)[1].text(), "on;mon-fri;09:00-12:00,13:00-17:00\n");
    EXPECT_EQ(list.GetVector(0, kMon).size(), 3u);
}

// The local-time conversion under the schedule: what each thread keeps of its last
// second never answers for another second.
TEST(ClockTest, RepeatedAndChangingSecondsConvertAlike)
{
    // Repeats, steps forward and back, a day and a year boundary, the epoch.
    const std::time_t base = 1'767'225'599;
    for (std::time_t t : {base, base, base + 1, base, base + 86'400, std::time_t{0}, base - 1, base - 1, base + 3600}) {
        std::tm got{};
        ASSERT_TRUE(zpfclock::LocalTime(t, &got));
        EXPECT_EQ(std::mktime(&got), t) << "another second's local time";
    }
}

TEST_F(TimeCnfListTest, StateNowComesFromTheClock)
{
    load(kScheduleFile);
    auto setLocal = [](int day, int hour, int minute) { // January 2024
        const std::time_t t = zpftest::LocalClock(2024, 1, day, hour, minute);
        zpfclock::SetTestClock([t] { return t; });
    };
    setLocal(1, 10, 0); // a Monday
    EXPECT_EQ(list.FilterStatusNow(0), FilterOn);
    EXPECT_EQ(list.FilterStatusNow(1), FilterCut);
    setLocal(7, 23, 30); // Sunday
    EXPECT_EQ(list.FilterStatusNow(0), FilterOn);
    setLocal(8, 0, 0); // Monday again, just after midnight
    EXPECT_EQ(list.FilterStatusNow(0), FilterOff);
}

TEST_F(TimeCnfListTest, LineParsing)
{
    struct Row {
        const char* line;
        bool result;
        size_t slots; // added to group 0
        FilterStatus defaultIs; // group 0's default afterwards
    } rows[] = {
        {"on;mon;09:00-12:00\n", true, 1, FilterOn},
        {"ON;Tuesday;\n", true, 1, FilterOn}, // full, upper-case day name; whole day
        {"on;fri-mon;", true, 0, FilterOn}, // a first day after the last adds none
        {"on;mon,mon;1:00-2:00", true, 2, FilterOn},
        {"on;mon-wed;1:00-2:00,3:00-4:00", true, 6, FilterOn},
        {"on;mon;09:00-10:00,bad,11:00-12:00", true, 2, FilterOn}, // the bad item is skipped
        {"on;mon;9:75-11:00", true, 1, FilterOn}, // minutes beyond 59 as scanned
        {"on;mon;300:00-400:00", true, 0, FilterOn}, // numbers beyond a byte do not scan
        {"on;mon;99999999999999999999:00-1:00", true, 0, FilterOn},
        {"on;mon;12:00-09:00", false, 0, FilterOn}, // start after end: nothing stored
        {"on;mon;9:75-10:00", false, 0, FilterOn}, // 9:75 is after 10:00 in minutes
        {"on;mon,xyz;", false, 0, FilterOn}, // one bad day spoils the line
        {"maybe;mon;", false, 0, FilterOn},
        {"on", false, 0, FilterOn},
        {"off;\n", false, 0, FilterOff},
        {"on;mon;09:00-10:00\rmore", false, 0, FilterOn}, // a CR or LF inside would split the line
        {"on;mon;\nnext", false, 0, FilterOn},
        {"", false, 0, FilterOn},
    };
    for (const auto& r : rows) {
        TimeCnfList fresh(&groups);
        EXPECT_EQ(fresh.PutLineData(r.line, 0), r.result) << r.line;
        EXPECT_EQ(slotCount(fresh, 0), r.slots) << r.line;
        EXPECT_EQ(fresh[0].defaultStatus, r.defaultIs) << r.line;
    }
    TimeCnfList one(&groups);
    ASSERT_TRUE(one.PutLineData("on;mon;9:75-11:00", 0));
    EXPECT_EQ(one.GetVector(0, kMon)[0].range, (0x0B00u << 16) | 0x094Bu);
    EXPECT_EQ(one.GetVector(0, kMon)[0].text(), "on;mon;9:75-11:00"); // no line end given, none kept
    EXPECT_FALSE(one.PutLineData("on;mon;", 1)); // group 1 does not exist here
    EXPECT_FALSE(one.PutLineData(nullptr, 0));
}

TEST_F(TimeCnfListTest, OversizedLinesAreRefused)
{
    std::string line = "on;mon;";
    line += std::string(TimeCnfList::kMaxLineLength - line.size(), ' ');
    EXPECT_TRUE(list.PutLineData(line.c_str(), 0));
    EXPECT_FALSE(list.PutLineData((line + " ").c_str(), 0));
    EXPECT_TRUE(list.PutLineData((line + "\r\n").c_str(), 0)); // the line end does not count

    // 201 days times 11 items would be 2211 slots of one line.
    std::string wide = "on;";
    for (int i = 0; i < 200; ++i)
        wide += "mon,";
    wide += "mon;" + std::string(10, ',');
    EXPECT_FALSE(list.PutLineData(wide.c_str(), 0));
    EXPECT_EQ(list.GetVector(0, kMon).size(), 2u);
}

TEST_F(TimeCnfListTest, OverlongFileLineIsSkippedWhole)
{
    // Read through a 1023-character buffer, the rest of this line would look like a
    // line of its own giving Saturday a slot.
    std::string longLine = "cut;sun;";
    longLine += std::string(1023 - longLine.size(), ' ');
    longLine += "on;sat;";
    load("off;\n" + longLine + "\non;fri;\n");
    EXPECT_TRUE(list.GetVector(0, kSat).empty());
    EXPECT_TRUE(list.GetVector(0, kSun).empty());
    EXPECT_EQ(list.GetVector(0, kFri).size(), 1u);
    EXPECT_EQ(list[0].defaultStatus, FilterOff);
}

TEST_F(TimeCnfListTest, WrittenFileReadsBackTheSameWeek)
{
    groups.AddGroup("guests");
    ASSERT_EQ(list.size(), 1); // before Initialize: group 0 only
    for (int g = 1; g <= 3; ++g)
        list.AddGroup();
    list.PutLineData("off;\n", 0);
    list.PutLineData("on;mon;09:00-12:00\n", 0);
    list.PutLineData("cut;tur;22:30-24:00\n", 0);
    list[1].ownSchedule = true;
    list.PutLineData("cut;\n", 1); // a cut default must come back as cut
    list.PutLineData("on;tue;", 1);
    list.PutLineData("off;\n", 2); // group 0's slots, a default of its own
    // guests: nothing of its own. An empty section written for it would cut it off
    // from group 0's slots, so it would no longer be cut on Thursday night.

    ASSERT_FALSE(list.WriteData());
    EXPECT_EQ(dir.readBytes("time.cnf"), Crlf("off;\n"
                                              "on;mon;09:00-12:00\n"
                                              "cut;tur;22:30-24:00\n"
                                              "\n%kids%\n"
                                              "cut;\n"
                                              "on;tue;\n"
                                              "\n%staff%\n"
                                              "off;\n"
                                              "on;mon;09:00-12:00\n"
                                              "cut;tur;22:30-24:00\n"));
    EXPECT_FALSE(platform::PathExists(dir.file("time.cnf.tmp")));

    // Read back, every group is in the same state at every time; written again,
    // nothing changes.
    TimeCnfList again(&groups);
    ASSERT_FALSE(again.Initialize());
    ASSERT_EQ(again.size(), 4);
    EXPECT_FALSE(again[3].ownSchedule);
    for (int g = 0; g < 4; ++g) {
        for (int d = kMon; d <= kSun; ++d) {
            for (unsigned int t : {at(0, 0), at(10, 0), at(23, 0)})
                EXPECT_EQ(again.FilterStatusAt(g, d, t), list.FilterStatusAt(g, d, t)) << g << " " << d << " " << t;
        }
    }
    EXPECT_EQ(again.FilterStatusAt(3, kThu, at(23, 0)), FilterCut);
    const std::string written = dir.readBytes("time.cnf");
    ASSERT_FALSE(again.WriteData());
    EXPECT_EQ(dir.readBytes("time.cnf"), written);
}

TEST_F(TimeCnfListTest, LinesOfManySlotsSurviveSaveAndReloadUnchanged)
{
    // A line of 5 days and 2 ranges makes 10 slots; written once, it reads back as the
    // same 10 slots however often the schedule is saved and loaded.
    load("on;\non;mon-fri;09:00-12:00,13:00-17:00\noff;tue;09:00-10:00\n");
    EXPECT_EQ(slotCount(list, 0), 11u);
    for (int round = 0; round < 3; ++round) {
        ASSERT_FALSE(list.WriteData());
        ASSERT_FALSE(list.Initialize());
        EXPECT_EQ(slotCount(list, 0), 11u);
    }
    EXPECT_EQ(dir.readBytes("time.cnf"), Crlf("on;\non;mon-fri;09:00-12:00,13:00-17:00\noff;tue;09:00-10:00\n"));
}

TEST_F(TimeCnfListTest, DeletedGroupsAreNotWritten)
{
    load("on;mon;\n%kids%\noff;\ncut;tue;\n%staff%\non;wed;\n");
    groups.DeleteGroup(1);
    ASSERT_FALSE(list.WriteData());
    EXPECT_EQ(dir.readBytes("time.cnf"), Crlf("on;\non;mon;\n\n%staff%\non;\non;wed;\n"));
}

TEST_F(TimeCnfListTest, MissingFileLeavesEveryGroupOn)
{
    list.PutLineData("off;", 0);
    list.PutLineData("cut;mon;", 0);
    EXPECT_TRUE(list.Initialize());
    ASSERT_EQ(list.size(), 3); // still one week per group
    EXPECT_EQ(slotCount(list, 0), 0u);
    EXPECT_EQ(list.FilterStatusAt(2, kMon, at(10, 0)), FilterOn);
    // A reload keeps the defaults it had; only the slots are emptied.
    EXPECT_EQ(list[0].defaultStatus, FilterOff);
}

TEST_F(TimeCnfListTest, EditingHelpers)
{
    load(kScheduleFile);
    list.ClearData(0);
    EXPECT_EQ(slotCount(list, 0), 0u);
    EXPECT_EQ(list[0].defaultStatus, FilterOff); // only the slots go
    EXPECT_GT(slotCount(list, 1), 0u);
    list.ClearData();
    EXPECT_EQ(slotCount(list, 1), 0u);

    // Out-of-range requests get a scratch list nothing else reads.
    list.GetVector(7, kMon).emplace_back(FilterCut, 0x18000000u, "cut;mon;\n");
    EXPECT_TRUE(list.GetVector(-1, kMon).empty());
    EXPECT_EQ(list.FilterStatusAt(0, kMon, at(10, 0)), FilterOff);
}
