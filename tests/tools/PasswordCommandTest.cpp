// zpfctl password with the password on standard input.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "platform/FileSystem.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::ProgramResult;
using zpftest::TempProgramDir;

namespace {

ProgramResult runWithInput(const TempProgramDir& dir, const std::string& input, const std::string& args)
{
    return zpftest::RunProgram("printf '" + input + "' | ZPF_MACHINE_HIVE='" + dir.file("registry.db") + "' '" +
                               ZPF_BIN_DIR + "/zpfctl' --dir '" + dir.path() + "' password " + args);
}

} // namespace

TEST(PasswordCommandTest, SetThenCheck)
{
    TempProgramDir dir;
    auto none = runWithInput(dir, "anything\\n", "check");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "no administrator password is set\n");

    auto set = runWithInput(dir, "s3cret pass\\r\\n", "set");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "administrator password set\n");
    EXPECT_EQ(runWithInput(dir, "s3cret pass\\n", "check").status, 0);
    auto wrong = runWithInput(dir, "S3cret pass\\n", "check");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "password does not match\n");

    // Refused input leaves the stored password alone.
    EXPECT_EQ(runWithInput(dir, "", "set").status, 1);
    EXPECT_EQ(runWithInput(dir, std::string(256, 'x') + "\\n", "set").status, 1);
    EXPECT_EQ(runWithInput(dir, "s3cret pass", "check").status, 0); // no line end needed
    EXPECT_EQ(runWithInput(dir, "\\n", "set").out, "administrator password cleared\n");
    EXPECT_EQ(runWithInput(dir, "x\\n", "set now").status, 2);
}

// The configuration application loads, `zpfctl password set` changes the password, then
// the application saves: its save used to put the old password back.
TEST(PasswordCommandTest, ASaveOfTheWholeConfigurationKeepsAPasswordSetMeanwhile)
{
    struct App : ConfigrationFileSigleton { };
    TempProgramDir dir;
    SetHivePath(platform::Hive::LocalMachine, dir.file("registry.db"));
    ASSERT_EQ(runWithInput(dir, "old\\n", "set").status, 0);
    App app;
    (void)app.Initialize();
    ASSERT_EQ(app.adminPassword, "old");

    // A save in progress holds the directory's lock: the second writer waits for it.
    platform::DirectoryLock saving;
    ASSERT_TRUE(saving.Acquire(dir.path(), ConfigrationFileSigleton::kSaveLockName, 0));
    auto setter = std::async(std::launch::async, [&] { return runWithInput(dir, "new\\n", "set"); });
    EXPECT_EQ(setter.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    saving.Release();
    EXPECT_EQ(setter.get().status, 0);

    ASSERT_FALSE(app.SaveAll(false, false));
    EXPECT_EQ(runWithInput(dir, "new\\n", "check").status, 0);
    SetHivePath(platform::Hive::LocalMachine, "");
}
