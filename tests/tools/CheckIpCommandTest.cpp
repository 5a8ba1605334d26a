// zpfctl check-ip on a program directory.
#include <gtest/gtest.h>

#include "common/Edition.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

TEST(CheckIpCommandTest, RestrictionAndPolicy)
{
    TempProgramDir dir;
    dir.writeBytes("group.cnf", Crlf("kids\n"));
    dir.writeBytes("iplist.cnf", Crlf("10.0.0.0-10.0.0.255\n10.0.0.5-10.0.0.9\n"));
    dir.writeBytes("ippass.cnf", Crlf("10.0.0.0-10.0.0.127;kids;1\n10.0.0.200\n"));
    struct Row {
        const char* address;
        int status;
        const char* out; // network edition
    } rows[] = {
        {"10.0.0.50", 0,
         "10.0.0.50: admitted by 10.0.0.0-10.0.0.255\n"
         "policy: 10.0.0.0-10.0.0.127, filtered, group kids, authentication mode 1\n"},
        {"10.0.0.200", 0, "10.0.0.200: admitted by 10.0.0.0-10.0.0.255\npolicy: 10.0.0.200, not filtered\n"},
        {"8.8.8.8", 1, "8.8.8.8: refused (no range of the restriction list holds it)\npolicy: none\n"},
    };
    for (const auto& r : rows) {
        auto res = RunZpfctl(dir.path(), std::string("check-ip ") + r.address);
        if (IsStandaloneEdition()) {
            EXPECT_EQ(res.status, 0);
            EXPECT_NE(res.out.find("admitted (standalone edition"), std::string::npos) << res.out;
        } else {
            EXPECT_EQ(res.status, r.status) << r.address;
            EXPECT_EQ(res.out, r.out);
        }
    }
    for (const char* bad : {"10.0.0", "10.0.0.256", "10.0.0.1-10.0.0.2", "a.b.c.d", "1.2.3.4.5"})
        EXPECT_EQ(RunZpfctl(dir.path(), std::string("check-ip '") + bad + "'").status, 2) << bad;
}
