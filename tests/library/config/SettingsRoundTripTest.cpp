// The schedule, IP lists, accounts and administrator password as parts of the
// configuration singleton: load steps per edition, SaveAll and a reload.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/Edition.h"
#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "platform/SettingsStore.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

const char* const kPasswordKey = "System\\CurrentControlSet\\control\\SecurityProviders\\Net";

class TestConfig : public ConfigrationFileSigleton { };

class SettingsRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hive = dir.file("registry.db");
        SetHivePath(platform::Hive::LocalMachine, hive);
    }
    void TearDown() override { SetHivePath(platform::Hive::LocalMachine, ""); }

    TempProgramDir dir;
    std::string hive;
};

} // namespace

TEST_F(SettingsRoundTripTest, SaveAllThenInitializeOnAFreshInstanceGivesEverythingBack)
{
    const bool network = !IsStandaloneEdition();
    TestConfig cnf;
    if (network) {
        cnf.AddGroup("kids");
        cnf.AddGroup("staff");
    }
    cnf.Port = 8081;
    cnf.adminPassword = "pa:ss;word";

    // One entry per file is enough here: each file's own tests cover what it can hold.
    cnf.timeCnfList.PutLineData("on;mon;08:00-12:00\n", 0);
    if (network) {
        cnf.timeCnfList[2].ownSchedule = true;
        cnf.timeCnfList.PutLineData("cut;\n", 2);
        cnf.cnfData[1].Block = 0;
        cnf.ipList.SetDataFromLine("10.0.0.0-10.0.0.255");
        cnf.ipList.active = true;
        cnf.ipDataList.SetDataFromLine("10.0.0.7;kids;2");
        cnf.passWordData.accounts.emplace_back("alice:pw:2;kids", &cnf.groupList);
        cnf.passWordData.accounts.emplace_back("bob:pw;staff", &cnf.groupList);
    }
    ASSERT_FALSE(cnf.SaveAll(false, false));

    // A fresh instance loads what SaveAll wrote and, saving again, writes the same bytes:
    // nothing was lost on the way in.
    const char* const files[] = {"zpf.cnf", "group.cnf", "time.cnf", "iplist.cnf", "ippass.cnf", "passwd"};
    std::string first;
    for (const char* f : files) {
        EXPECT_TRUE(platform::PathExists(dir.file(f))) << f; // every file, in either edition
        first += f + std::string(":") + dir.readBytes(f);
    }
    for (const char* f : {"zpf.cnf", "passwd", "registry.db"}) // they hold passwords
        EXPECT_EQ(std::filesystem::status(dir.file(f)).permissions(), std::filesystem::perms(0600)) << f;
    TestConfig fresh;
    (void)fresh.Initialize(); // reports the missing category list; the rest loads
    EXPECT_EQ(fresh.FormatZpfCnf(false), cnf.FormatZpfCnf(false));
    EXPECT_EQ(fresh.adminPassword, cnf.adminPassword);
    EXPECT_EQ(fresh.passWordData.accounts.size(), network ? 2u : 0u);
    ASSERT_FALSE(fresh.SaveAll(false, false));
    std::string again;
    for (const char* f : files)
        again += f + std::string(":") + dir.readBytes(f);
    EXPECT_EQ(again, first);
}

TEST_F(SettingsRoundTripTest, InitializeLoadsListsOnlyInTheNetworkEdition)
{
    dir.writeBytes("group.cnf", Crlf("kids\n"));
    dir.writeBytes("time.cnf", Crlf("on;\ncut;mon-sun;\n%kids%\noff;\n"));
    dir.writeBytes("iplist.cnf", Crlf("10.0.0.1\n"));
    dir.writeBytes("ippass.cnf", Crlf("10.0.0.1;kids;1\n"));
    dir.writeBytes("passwd", Crlf("alice:pw:0;kids\n"));
    dir.writeBytes("zpf.cnf", Crlf("Block=0\n%kids%\nBlock=1\n"));
    TestConfig cnf;
    // Whatever was in memory before a reload goes.
    cnf.passWordData.accounts.emplace_back("stale:x", &cnf.groupList);
    (void)cnf.Initialize();

    EXPECT_EQ(cnf.timeCnfList.size(), cnf.groupList.size());
    EXPECT_EQ(cnf.timeCnfList.FilterStatusAt(0, 2, 0x0C00), FilterCut);
    if (IsStandaloneEdition()) {
        EXPECT_EQ(cnf.groupList.size(), 1);
        EXPECT_EQ(cnf.cnfData.size(), 1u);
        EXPECT_TRUE(cnf.ipList.empty());
        EXPECT_TRUE(cnf.ipList.CheckIP(IP(8, 8, 8, 8)));
        EXPECT_TRUE(cnf.ipDataList.empty());
        EXPECT_TRUE(cnf.passWordData.accounts.empty());
    } else {
        // What the lists hold is checked by the save-and-reload round trip.
        EXPECT_EQ(cnf.groupList.size(), 2);
        EXPECT_EQ(cnf.passWordData.accounts.size(), 1u);
    }

    // A new group gets a copy of group 0's week.
    cnf.AddGroup("later");
    ASSERT_EQ(cnf.timeCnfList.size(), cnf.groupList.size());
    EXPECT_EQ(cnf.timeCnfList.FilterStatusAt(cnf.groupList.size() - 1, 2, 0x0C00), FilterCut);
}

TEST_F(SettingsRoundTripTest, AdministratorPasswordLivesInTheMachineHive)
{
    TestConfig cnf;
    cnf.adminPassword = "left over";
    EXPECT_TRUE(cnf.ReadPassword()); // nothing stored yet
    EXPECT_EQ(cnf.adminPassword, "");

    cnf.adminPassword = "s3cret";
    EXPECT_FALSE(cnf.WritePassword());
    // The value as other programs see it in the hive.
    platform::SettingsStore store;
    platform::SettingsKey key;
    ASSERT_EQ(store.Open(hive), platform::SettingsStatus::Ok);
    ASSERT_EQ(store.CreateKey(kPasswordKey, platform::SettingsAccess::ReadWrite, &key), platform::SettingsStatus::Ok);
    platform::ValueType type;
    std::string data;
    ASSERT_EQ(key.QueryValue("vt_l_pw", &type, &data), platform::SettingsStatus::Ok);
    EXPECT_EQ(type, platform::ValueType::String);
    EXPECT_EQ(data, std::string("s3cret\0", 7)); // stored with its terminator
    TestConfig other;
    EXPECT_FALSE(other.ReadPassword());
    EXPECT_EQ(other.adminPassword, "s3cret");

    struct Row {
        std::string password;
        bool refused;
    } rows[] = {
        {std::string(255, 'p'), false},
        {std::string("a\0b", 3), true}, // could not be read back: refused, old value kept
    };
    for (const auto& r : rows) {
        cnf.adminPassword = "before";
        ASSERT_FALSE(cnf.WritePassword());
        cnf.adminPassword = r.password;
        EXPECT_EQ(cnf.WritePassword(), r.refused) << r.password.size();
        EXPECT_FALSE(other.ReadPassword());
        EXPECT_EQ(other.adminPassword, r.refused ? "before" : r.password) << r.password.size();
    }

    // A longer value put there by something else is not taken.
    ASSERT_EQ(key.SetString("VT_L_PW", std::string(300, 'x')), platform::SettingsStatus::Ok);
    EXPECT_TRUE(other.ReadPassword());
    EXPECT_EQ(other.adminPassword, "");
}

TEST_F(SettingsRoundTripTest, DamagedHiveFailsWithoutLosingIt)
{
    const std::string junk(4096, '\x5a');
    dir.writeBytes("registry.db", junk);
    TestConfig cnf;
    EXPECT_TRUE(cnf.ReadPassword());
    EXPECT_EQ(cnf.adminPassword, "");
    cnf.adminPassword = "new";
    EXPECT_TRUE(cnf.WritePassword());
    EXPECT_TRUE(cnf.SaveAll(false, false)); // the failed password write is reported
    EXPECT_EQ(dir.readBytes("registry.db"), junk);
    EXPECT_TRUE(platform::PathExists(dir.file("passwd"))); // the other files were still written
}

// A plain file that is not text loads as nothing; the save after it used to make the
// loss final.
TEST_F(SettingsRoundTripTest, DamagedPlainFilesAreReportedAndNotWrittenOver)
{
    const std::string junk("kids\r\n\x00\x03\x91", 9);
    for (const char* f : {"time.cnf", "group.cnf", "passwd"}) {
        if (IsStandaloneEdition() && std::string(f) != "time.cnf")
            continue; // not read there
        SCOPED_TRACE(f);
        TempProgramDir fresh;
        fresh.writeBytes(f, junk);
        TestConfig cnf;
        EXPECT_TRUE(cnf.Initialize());
        EXPECT_EQ(cnf.errorText,
                  fresh.file(f) + ": not a configuration file (control bytes in its text); it is damaged");
        EXPECT_TRUE(cnf.SaveAll(false, false));
        EXPECT_EQ(fresh.readBytes(f), junk);
        EXPECT_FALSE(cnf.SaveAll(false, false, true));
        EXPECT_EQ(fresh.readBytes(std::string(f) + ".bak"), junk);
        EXPECT_NE(fresh.readBytes(f), junk);
    }
}
