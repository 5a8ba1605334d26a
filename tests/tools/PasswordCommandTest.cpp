// zpfctl password with the password on standard input.
#include <gtest/gtest.h>

#include <string>

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
