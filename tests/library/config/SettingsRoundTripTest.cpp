// The schedule, IP lists, accounts and administrator password as parts of the
// configuration singleton: load steps per edition, SaveAll and a reload.
#include <gtest/gtest.h>

#include <cstdio>
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

class TestConfig : public ConfigrationFileSigleton {};

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

// What a program sees: every setting, the groups, each group's effective week, and
// (separately) the parts only the network edition loads.
std::string dumpCommon(TestConfig& cnf)
{
    std::string out = cnf.FormatZpfCnf(false) + "[groups]";
    for (int g = 0; g < cnf.groupList.size(); ++g)
        out += std::string(" '") + cnf.groupList.GetGroupName(g) + "'";
    out += "\n[schedule]\n";
    for (int g = 0; g < cnf.timeCnfList.size(); ++g) {
        const TimeCnfData& own = cnf.timeCnfList[g];
        const TimeCnfData& week = own.ownSchedule ? own : cnf.timeCnfList[0];
        out += std::to_string(g) + " default " + std::to_string(own.defaultStatus) + "\n";
        for (int d = 0; d < 7; ++d) {
            for (const auto& s : week.days[static_cast<size_t>(d)])
                out += "  " + std::to_string(d) + " " + std::to_string(s.status) + " " + s.RangeString() + " " +
                       s.text;
        }
    }
    out += "[password] '" + cnf.adminPassword + "'\n";
    return out;
}

std::string dumpNetwork(const TestConfig& cnf)
{
    std::string out = std::string("[restriction] ") + (cnf.ipList.active ? "active" : "inactive") + "\n";
    for (const auto& r : cnf.ipList.ranges())
        out += "  " + r.IPstring() + "\n";
    out += "[policy]\n";
    for (const auto& e : cnf.ipDataList.entries())
        out += "  " + e.range.IPstring() + " " + std::to_string(e.filterClient) + " " + std::to_string(e.group) + " " +
               std::to_string(e.authMode) + "\n";
    out += "[accounts]\n";
    for (const auto& a : cnf.passWordData.accounts)
        out += "  " + a.ID() + " " + std::to_string(a.accessClass) + " " + std::to_string(a.group) + "\n";
    return out;
}

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
    cnf.Proxy = "upstream.example";
    cnf.ProxyPort = 3128;
    cnf.RebootAt = "3:30";
    cnf.cnfData[0].AccessLog = 1;
    cnf.adminPassword = "pa:ss;word";

    TimeCnfList& t = cnf.timeCnfList;
    t.PutLineData("off;\n", 0);
    t.PutLineData("on;mon;08:00-12:00\n", 0);
    t.PutLineData("cut;sun;\n", 0);
    if (network) {
        for (int g = 1; g <= 2; ++g) {
            t.ClearData(g);
            t[g].ownSchedule = true;
        }
        t.PutLineData("cut;\n", 1);
        t.PutLineData("on;sat;10:00-11:30\n", 1);
        t.PutLineData("on;\n", 2); // no slots: on all week

        cnf.cnfData[1].Block = 0;
        cnf.ipList.SetDataFromLine("10.0.0.0-10.0.0.255");
        cnf.ipList.SetDataFromLine("192.168.1.5");
        cnf.ipList.active = true;
        cnf.ipDataList.SetDataFromLine("10.0.0.7;kids;2");
        cnf.ipDataList.SetDataFromLine("192.168.1.5");
        cnf.passWordData.accounts.emplace_back("alice:pw:2;kids", &cnf.groupList);
        cnf.passWordData.accounts.emplace_back("bob:pw;staff", &cnf.groupList);
    }
    ASSERT_FALSE(cnf.SaveAll(false, false));

    // Every file is written in either edition.
    for (const char* f : {"time.cnf", "iplist.cnf", "ippass.cnf", "passwd", "registry.db"})
        EXPECT_TRUE(platform::PathExists(dir.file(f))) << f;

    // A fresh instance knows only what SaveAll put in the files.
    TestConfig fresh;
    fresh.Initialize();
    EXPECT_EQ(dumpCommon(fresh), dumpCommon(cnf));
    EXPECT_EQ(dumpNetwork(fresh), network ? dumpNetwork(cnf) : dumpNetwork(TestConfig()));
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
    cnf.Initialize();

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
        ASSERT_EQ(cnf.groupList.size(), 2);
        ASSERT_EQ(cnf.cnfData.size(), 2u); // groups come before zpf.cnf's sections
        EXPECT_EQ(cnf.cnfData[1].Block, 1);
        EXPECT_EQ(cnf.timeCnfList.FilterStatusAt(1, 2, 0x0C00), FilterOff);
        EXPECT_TRUE(cnf.ipList.active);
        EXPECT_FALSE(cnf.ipList.CheckIP(IP(8, 8, 8, 8)));
        int group = 0;
        EXPECT_TRUE(cnf.ipDataList.CheckIPData(IP(10, 0, 0, 1), nullptr, &group, nullptr));
        EXPECT_EQ(group, 1);
        ASSERT_EQ(cnf.passWordData.accounts.size(), 1u);
        EXPECT_EQ(cnf.passWordData.CheckAccessClass("alice:pw", &group, false), 0);
        EXPECT_EQ(group, 1);
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
    {
        platform::SettingsStore store;
        ASSERT_EQ(store.Open(hive), platform::SettingsStatus::Ok);
        platform::SettingsKey key;
        ASSERT_EQ(store.OpenKey(kPasswordKey, platform::SettingsAccess::Read, &key), platform::SettingsStatus::Ok);
        platform::ValueType type;
        std::string data;
        ASSERT_EQ(key.QueryValue("vt_l_pw", &type, &data), platform::SettingsStatus::Ok);
        EXPECT_EQ(type, platform::ValueType::String);
        EXPECT_EQ(data, std::string("s3cret\0", 7)); // stored with its terminator
    }
    TestConfig other;
    EXPECT_FALSE(other.ReadPassword());
    EXPECT_EQ(other.adminPassword, "s3cret");

    struct Row {
        std::string password;
        bool refused;
    } rows[] = {
        {std::string(255, 'p'), false},
        {std::string(256, 'q'), true}, // could not be read back: refused, old value kept
        {std::string("a\0b", 3), true},
        {"", false},
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
    {
        platform::SettingsStore store;
        ASSERT_EQ(store.Open(hive), platform::SettingsStatus::Ok);
        platform::SettingsKey key;
        ASSERT_EQ(store.CreateKey(kPasswordKey, platform::SettingsAccess::ReadWrite, &key),
                  platform::SettingsStatus::Ok);
        ASSERT_EQ(key.SetString("VT_L_PW", std::string(300, 'x')), platform::SettingsStatus::Ok);
    }
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
