// The built Vantrel, run from a temporary program directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "support/ChildProcess.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

void copyProgram(const zpftest::TempDir& dir)
{
    for (const char* name : {"Vantrel", "libravlin.so", "category2.cnf", "zpf.cnf", "group.cnf", "iplist.cnf",
                             "ippass.cnf", "nofilter.fdb", "passurl.fdb", "passwd", "phrase.fdb", "time.cnf"}) {
        std::error_code ec;
        std::filesystem::copy_file(std::string(ZPF_BIN_DIR "/") + name, dir.file(name), ec);
        ASSERT_FALSE(ec) << name << ": " << ec.message();
    }
}

} // namespace

TEST(VantrelProgramTest, NoDisplayIsSaidAndASecondStartLeavesTheFirst)
{
    zpftest::TempDir dir;
    copyProgram(dir);
    const std::string program = "'" + dir.file("Vantrel") + "'";
    const zpftest::ProgramResult alone =
        zpftest::RunProgram("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program);
    EXPECT_EQ(alone.status, 1);
    EXPECT_NE(alone.err.find("no display"), std::string::npos) << alone.err;

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    zpftest::ChildProcess first;
    ASSERT_TRUE(first.Start({dir.file("Vantrel")}, dir.file("first.out")));
    const std::string run = platform::RuntimeDirectory(dir.path());
    ASSERT_TRUE(zpftest::WaitUntil([&] { return platform::InstanceExists(run, "ConfZpfWndClass"); }, 15000));
    const zpftest::ProgramResult second = zpftest::RunProgram(program);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(first.Running()) << "the first window stays";
    first.Stop();
}
