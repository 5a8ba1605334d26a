// zpfctl schedule on a program directory.
#include <gtest/gtest.h>

#include "common/Edition.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

TEST(ScheduleCommandTest, PrintsEachGroupsWeek)
{
    TempProgramDir dir;
    dir.writeBytes("group.cnf", Crlf("kids\n"));
    // Without groups (standalone edition) the kids section is unknown and its lines
    // stay with the default group, so they must not change what is checked there.
    dir.writeBytes("time.cnf", Crlf("off;\non;mon-tue;09:00-12:00,13:00-17:30\ncut;sun;\n%kids%\noff;\non;fri;\n"));
    auto r = RunZpfctl(dir.path(), "schedule");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("now: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("group (default): state now "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", default off\n  mon: 09:00-12:00 on 13:00-17:30 on\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  sun: 00:00-24:00 cut\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  wed: -\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(IsStandaloneEdition() ? "  fri: 00:00-24:00 on\n" : "  fri: -\n"), std::string::npos) << r.out;
    // Groups exist only in the network edition.
    EXPECT_EQ(r.out.find("group kids: ") != std::string::npos, !IsStandaloneEdition()) << r.out;

    auto one = RunZpfctl(dir.path(), "schedule --group ''");
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.find("group kids"), std::string::npos);
    EXPECT_EQ(RunZpfctl(dir.path(), "schedule --group nosuch").status, 1);
    EXPECT_EQ(RunZpfctl(dir.path(), "schedule extra").status, 2);
}

TEST(ScheduleCommandTest, MissingFileMeansOnAllWeek)
{
    TempProgramDir dir;
    auto r = RunZpfctl(dir.path(), "schedule");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("time.cnf cannot be read"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("group (default): state now on, default on\n"), std::string::npos) << r.out;
}
