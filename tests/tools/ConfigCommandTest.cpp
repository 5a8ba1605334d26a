// zpfctl config on fresh and configured program directories.
#include <gtest/gtest.h>

#include "cipher/CDes.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

TEST(ConfigCommandTest, EmptyDirectoryPrintsDefaultsAndFails)
{
    TempProgramDir dir;
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ConfigrationFile Open Error\n");
    EXPECT_EQ(r.out.rfind("Filtering=1\nPort=3036\nProxy=\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nSleepTime=20\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nBlock=1\n"), std::string::npos);
}

TEST(ConfigCommandTest, EncipheredConfigurationShowsStoredValues)
{
    TempProgramDir dir;
    dir.writeBytes("plain", "Port=8088\nProxy=up.example\nProxyPort=3128\nAccessLog=1\n");
    ASSERT_EQ(RunZpfctl(dir.path(), "cipher encode --marker " + dir.file("plain") + " " + dir.file("zpf.cnf")).status,
              0);
    // A complete directory also holds the category list and the three list files.
    dir.writeBytes("categories", "1|a|b|101|Adult|adult.fdb|r\n");
    ASSERT_EQ(RunZpfctl(dir.path(), "cipher encode " + dir.file("categories") + " " + dir.file("category2.cnf")).status,
              0);
    for (const char* list : {"phrase.fdb", "nofilter.fdb", "passurl.fdb"})
        dir.writeBytes(list, "\r\n");
    for (const char* f : {"time.cnf", "group.cnf", "iplist.cnf", "ippass.cnf", "passwd"})
        dir.writeBytes(f, "");
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Port=8088\nProxy=up.example\nProxyPort=3128\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HTTPSProxy=up.example\nHTTPSProxyPort=3128\n"), std::string::npos);
    EXPECT_NE(r.out.find("AccessLog=1\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n#Adult\nadult.fdb=1\nBlock=1\n"), std::string::npos);
}

TEST(ConfigCommandTest, ConfigurationEncipheredWithAnotherKeyIsReported)
{
    TempProgramDir dir;
    CDes des;
    des.Setting(1, 4, "0123456789ABCDEF", CDes::kIV, CDes::kUnit, 59);
    ASSERT_EQ(des.OpenWriteFile(dir.file("zpf.cnf").c_str()), 0);
    des.WriteString("PLXharbor\r\n");
    des.WriteData("Port=8088\n", 10);
    des.CloseWriteFile(1);
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("zpf.cnf") + ": not a configuration file (control bytes"), std::string::npos)
        << r.err;
}

TEST(ConfigCommandTest, BadArgumentsGiveUsage)
{
    TempProgramDir dir;
    EXPECT_EQ(RunZpfctl(dir.path(), "config extra").status, 2);
    EXPECT_EQ(RunZpfctl(dir.path(), "no-such-command").status, 2);
    auto r = zpftest::RunProgram(std::string("'") + ZPF_BIN_DIR + "/zpfctl'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: zpfctl"), std::string::npos);
}
