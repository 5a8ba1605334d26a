// What the editing doors accept for schedule lines, and the time.cnf lines a typed
// schedule becomes.
#include <gtest/gtest.h>

#include "config/EditChecks.h"
#include "config/GroupList.h"
#include "support/TempProgramDir.h"

namespace {

struct ScheduleCase {
    std::vector<const char*> typed;
    std::vector<std::string> lines;
};

TEST(EditChecksTest, ScheduleLinesAsThePageWritesThem)
{
    const ScheduleCase cases[] = {
        {{}, {"on;\n"}},
        {{"off;"}, {"off;\n"}},
        // Slots alone: the time outside them is not filtered, as the page stores it.
        {{"cut;sun;"}, {"off;\n", "cut;sun;00:00-24:00\n"}},
        {{"on;", "cut;fri-sun;22:00-24:00"},
         {"on;\n", "cut;fri;22:00-24:00\n", "cut;sat;22:00-24:00\n", "cut;sun;22:00-24:00\n"}},
        // Day by day, Monday first; within a day in the typed order; "thu" is written "tur".
        {{"on;thu,mon;9:00-12:00,13:00-17:30", "cut;Monday;7:05-8:00"},
         {"off;\n", "on;mon;09:00-12:00\n", "on;mon;13:00-17:30\n", "cut;mon;07:05-08:00\n", "on;tur;09:00-12:00\n",
          "on;tur;13:00-17:30\n"}},
        {{"ON;TUR; "}, {"off;\n", "on;tur;00:00-24:00\n"}},
    };
    for (const ScheduleCase& c : cases) {
        ScheduleInput input;
        std::string error;
        for (const char* line : c.typed)
            error = ReadScheduleLine(line, input, false);
        EXPECT_EQ(error, "");
        EXPECT_EQ(ScheduleLines(input), c.lines) << (c.typed.empty() ? "" : c.typed[0]);
    }
    for (const char* refused : {"cut;;", "cut;fri-mon;", "cut;xyz;", "on;mon;12:00-09:00", "on;mon;09:00-09:00",
                                "on;mon;22:00-24:30", "on;mon;9:60-10:00", "on;mon;9-10", "off;mon;09:00-10:00", "cut;",
                                "on;x", "maybe;mon;", "on;mon;\n", "on;mon;1:00-2:00;x"}) {
        ScheduleInput input;
        EXPECT_FALSE(ReadScheduleLine(refused, input, false).empty()) << refused;
        // A refused line leaves the slots as they were.
        EXPECT_TRUE(input.slots.empty()) << refused;
    }
}

TEST(EditChecksTest, ScheduleLinesReadBackAsTyped)
{
    ScheduleInput input;
    ASSERT_EQ(ReadScheduleLine("cut;mon-fri;22:00-24:00,0:00-6:30", input, true), "");
    zpftest::TempProgramDir dir; // no time.cnf: an empty week to fill
    GroupList groups;
    TimeCnfList schedule(&groups);
    ASSERT_TRUE(schedule.Initialize());
    for (const std::string& line : ScheduleLines(input))
        schedule.PutLineData(line.c_str(), 0);
    EXPECT_EQ(schedule[0].defaultStatus, FilterOff);
    EXPECT_EQ(schedule.FilterStatusAt(0, 4, 23 * 256), FilterCut);
    EXPECT_EQ(schedule.FilterStatusAt(0, 0, 6 * 256 + 29), FilterCut);
    EXPECT_EQ(schedule.FilterStatusAt(0, 0, 6 * 256 + 30), FilterOff);
    EXPECT_EQ(schedule.FilterStatusAt(0, 5, 23 * 256), FilterOff);
}

} // namespace
