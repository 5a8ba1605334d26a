#include "config/ConfigrationFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/CDes.h"
#include "config/ConfigKeys.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

// A fresh instance per test, built against the current program directory.
class TestConfig : public ConfigrationFileSigleton {
public:
    using ConfigrationFileSigleton::CloseZpfCnfRead;
    using ConfigrationFileSigleton::OpenZpfCnfRead;
    using ConfigrationFileSigleton::ReadCnf1Line;
};

class ConfigrationFileTest : public ::testing::Test {
protected:
    TempProgramDir dir;
};

} // namespace

TEST_F(ConfigrationFileTest, MissingFileReportsOpenErrorAndKeepsDefaults)
{
    TestConfig cnf;
    EXPECT_TRUE(cnf.ReadZpfCnf());
    EXPECT_EQ(cnf.errorText, "ConfigrationFile Open Error");
    EXPECT_TRUE(cnf.Initialize());
    EXPECT_EQ(cnf.cnfData.size(), 1u);
    for (const ConfigKey& k : kConfigKeys) // the key table and the members' initialisers agree
        EXPECT_EQ(k.Format(cnf, 0), k.DefaultText()) << k.name;
}

TEST_F(ConfigrationFileTest, PlainFileIsExactlyTheWrittenLayout)
{
    TestConfig cnf;
    cnf.Proxy = "up.example";
    cnf.ProxyPort = 8080;
    cnf.LogPath = "/var/log/zpf";
    ASSERT_FALSE(cnf.WriteZpfCnf(false));
    std::string expected =
        "Filtering=1\nPort=3036\nProxy=up.example\nProxyPort=8080\nProxyUsername=\nProxyPassword=\n"
        "LogSize=1000\nCheckDuration=0\nRebootAt=\nAutoUpdateAt=\nAutoUpdateAtBoot=0\nTestMode=0\n"
        "LogFlag=0\nLogPath=/var/log/zpf\nzpfAuthorization=0\nProgramIfMatch=\nListenBacklog=10\n"
        "MaxSession=30\nMaxFileNo=0\nMsgNoSignal=1\nConnectTimeout=120\nSetProxy=0\nNoConnectionsTab=0\n"
        "ConnectPorts=443\n"
        "MaxClientSession=256\n"
        "\n"
        "Block=1\nBlockLog=1\nAccessLog=0\nURLBlockFilter=1\nExtensionBlockFilter=1\nAccessControlURL=0\n"
        "UploadNoFilteringURL=1\nDownloadNoFilteringURL=1\nUploadReplaceFilter=1\nDownloadReplaceFilter=1\n"
        "UploadBlockFilter=1\nPageBlockFilter=1\nUserFilter=1\nUserNoFilteringURL=1\nUserAccessControlURL=0\n"
        "MessageFlag=0\nMessageCode=0\nFilteringSize=0\nDownloadSize=0\n";
    EXPECT_EQ(dir.readBytes("zpf.cnf"), Crlf(expected));
    EXPECT_FALSE(platform::PathExists(dir.file("zpf.cnf.tmp")));
}

TEST_F(ConfigrationFileTest, EveryKeyRoundTripsPlainOrEnciphered)
{
    for (bool ciphered : {false, true}) {
        SCOPED_TRACE(ciphered);
        TestConfig out;
        out.AddGroup("kids");
        out.AddGroup("staff");
        // Every written key, in every group, a value of its own as the reader takes it.
        int n = 100;
        for (const ConfigKey& k : kConfigKeys) {
            for (int g = 0; k.written && g < (k.scope == ConfigScope::Group ? 3 : 1); ++g)
                ASSERT_TRUE(k.Read(out, g, (k.type == ConfigType::Text ? "t" : "") + std::to_string(++n))) << k.name;
        }
        out.Proxy = "proxy.example";
        out.ProxyPort = 3128;
        out.ProxyPassword = "p=ss word";
        out.cnfData[1].DownloadSize = 123456789L;
        out.cnfData[2].FilteringSize = -5;
        ASSERT_FALSE(out.WriteZpfCnf(ciphered));

        TestConfig in;
        in.AddGroup("kids");
        in.AddGroup("staff");
        ASSERT_FALSE(in.ReadZpfCnf());
        EXPECT_EQ(in.bCiphered, ciphered);
        EXPECT_EQ(in.FormatZpfCnf(false), out.FormatZpfCnf(false));
        // The comparison above goes through the key table; these go to the members.
        EXPECT_EQ(in.ProxyPassword, "p=ss word");
        EXPECT_EQ(in.cnfData[1].DownloadSize, 123456789L);
        EXPECT_EQ(in.cnfData[2].FilteringSize, -5);
        // Not written, so filled from Proxy by the fallback.
        EXPECT_EQ(in.HTTPSProxy, "proxy.example");
        EXPECT_EQ(in.FTPProxyPort, 3128u);
        if (!ciphered)
            continue;
        // The marker line, then the plain text with LF line ends, enciphered.
        dir.writeEnciphered("expected", out.FormatZpfCnf(false), "PLXharbor\r\n");
        EXPECT_EQ(dir.readBytes("zpf.cnf"), dir.readBytes("expected"));
    }
}

TEST_F(ConfigrationFileTest, SectionsStartFromGroupZeroAndMayComeInAnyOrder)
{
    dir.writeBytes("zpf.cnf", Crlf("Block=0\nAccessLog=1\n"
                                   "%two%\nMessageCode=2\n"
                                   "%one%\nBlockLog=0\n"
                                   "%nobody%\nBlock=1\nPort=1\n"
                                   "%two%\nMessageFlag=1\n"));
    TestConfig cnf;
    cnf.AddGroup("one");
    cnf.AddGroup("two");
    cnf.cnfData[1].URLBlockFilter = 5; // overwritten by the copy of group 0
    ASSERT_FALSE(cnf.ReadZpfCnf());
    EXPECT_EQ(cnf.Port, 3036u); // inside an unknown section: ignored
    EXPECT_EQ(cnf.cnfData[0].Block, 0);
    EXPECT_EQ(cnf.cnfData[1].Block, 0);
    EXPECT_EQ(cnf.cnfData[1].AccessLog, 1);
    EXPECT_EQ(cnf.cnfData[1].BlockLog, 0);
    EXPECT_EQ(cnf.cnfData[1].URLBlockFilter, 1);
    // Group two's second section started again from group 0, losing MessageCode=2.
    EXPECT_EQ(cnf.cnfData[2].MessageCode, 0);
    EXPECT_EQ(cnf.cnfData[2].MessageFlag, 1);
}

TEST_F(ConfigrationFileTest, NumbersReadLikeAtoiAndProxyFallbackOnlyWhereNoKeyWasRead)
{
    struct Row {
        std::string file;
        std::vector<std::string> lines; // as the effective settings show them
    } rows[] = {
        {std::string(5000, 'x') + "\nPort=81\n", {"Port=81"}}, // a long line arrives in pieces
        {"Port=0\nProxyPort=-3\nTestMode= 12abc\n", {"Port=3036", "ProxyPort=0", "TestMode=12"}},
        {"Port=abc\nProxyPort=0\nTestMode=-7\n", {"Port=3036", "ProxyPort=0", "TestMode=-7"}},
        {"Port=99999999999999999999\nProxyPort=1\nTestMode=+4\n", {"Port=2147483647", "ProxyPort=1", "TestMode=4"}},
        {"Proxy=p\nProxyPort=8080\n", {"HTTPSProxy=p", "HTTPSProxyPort=8080", "FTPProxy=p", "FTPProxyPort=8080"}},
        {"Proxy=p\nProxyPort=8080\nHTTPSProxy=s\nHTTPSProxyPort=443\n",
         {"HTTPSProxy=s", "HTTPSProxyPort=443", "FTPProxy=p", "FTPProxyPort=8080"}},
        {"HTTPSProxyPort=99\nProxy=p\nProxyPort=1\nFTPProxy=f\n",
         {"HTTPSProxy=p", "HTTPSProxyPort=1", "FTPProxy=f", "FTPProxyPort=0"}},
        {"ProxyPort=8080\n", {"HTTPSProxy=", "HTTPSProxyPort=0", "FTPProxy=", "FTPProxyPort=0"}},
    };
    for (const auto& r : rows) {
        dir.writeBytes("zpf.cnf", Crlf(r.file));
        TestConfig cnf;
        ASSERT_FALSE(cnf.ReadZpfCnf());
        const std::string shown = "\n" + cnf.FormatZpfCnf(true);
        for (const std::string& line : r.lines)
            EXPECT_NE(shown.find("\n" + line + "\n"), std::string::npos) << r.file << line;
    }
}

TEST_F(ConfigrationFileTest, TextKeysFollowTheirEmptyValueRules)
{
    dir.writeBytes("zpf.cnf", Crlf("Proxy=\nProxyUsername=\nLogPath=\nProgramIfMatch=\nRebootAt=3\n"));
    TestConfig cnf;
    cnf.Proxy = "keep";
    cnf.ProxyUsername = "keep";
    cnf.LogPath = "gone";
    cnf.ProgramIfMatch = "gone";
    ASSERT_FALSE(cnf.ReadZpfCnf());
    EXPECT_EQ(cnf.Proxy, "keep");
    EXPECT_EQ(cnf.ProxyUsername, "keep");
    EXPECT_EQ(cnf.LogPath, "");
    EXPECT_EQ(cnf.ProgramIfMatch, "");
    EXPECT_EQ(cnf.rebootAtHour(), 3);
    EXPECT_EQ(cnf.rebootAtMin(), 3);
    cnf.AutoUpdateAt = "23:05";
    EXPECT_EQ(cnf.AutoUpdateAtHour(), 23);
    EXPECT_EQ(cnf.AutoUpdateAtMin(), 5);
    EXPECT_EQ(cnf.bAutoUpdate(), 1);
}

TEST_F(ConfigrationFileTest, LineParsingRules)
{
    // Keys are exact and case-sensitive; only trailing blanks are stripped.
    dir.writeBytes("zpf.cnf", Crlf("#Port=1\n port=2\nport=3\nPort =4\nnoequals\n=5\nLogPath= /x/ \t\n"));
    TestConfig cnf;
    ASSERT_FALSE(cnf.OpenZpfCnfRead());
    std::string key, value;
    int group = 0;
    std::vector<std::pair<std::string, std::string>> pairs;
    while (cnf.ReadCnf1Line(&key, &value, &group))
        pairs.emplace_back(key, value);
    cnf.CloseZpfCnfRead();
    std::vector<std::pair<std::string, std::string>> expected = {{" port", "2"}, {"port", "3"}, {"Port ", "4"},
                                                                 {"", ""},       {"", "5"},     {"LogPath", " /x/"}};
    EXPECT_EQ(pairs, expected);
    ASSERT_FALSE(cnf.ReadZpfCnf());
    EXPECT_EQ(cnf.Port, 3036u);
    EXPECT_EQ(cnf.LogPath, " /x/");
}

TEST_F(ConfigrationFileTest, OverlongValuesAreCutButKeepTheirLineEnd)
{
    TestConfig out;
    out.LogPath = std::string(600, 'a');
    ASSERT_FALSE(out.WriteZpfCnf(false));
    TestConfig in;
    ASSERT_FALSE(in.ReadZpfCnf());
    EXPECT_EQ(in.LogPath.size(), 510u - std::string("LogPath=").size());
    EXPECT_EQ(in.ListenBacklog, 10); // the line after LogPath survived
}

TEST_F(ConfigrationFileTest, FailedOrRefusedWriteKeepsTheOldFile)
{
    TestConfig out;
    out.Port = 1111;
    ASSERT_FALSE(out.WriteZpfCnf(false));
    std::string before = dir.readBytes("zpf.cnf");
    // Written, a line end would add a key of its own and a "," in a group name would
    // break the log fields: refused with a text to show, and no file is written.
    auto refused = [&] {
        out.errorText.clear();
        EXPECT_TRUE(out.WriteZpfCnf(false));
        EXPECT_TRUE(out.SaveAll(false, false));
        EXPECT_NE(out.errorText, "");
        EXPECT_EQ(dir.readBytes("zpf.cnf"), before);
        EXPECT_FALSE(platform::PathExists(dir.file("group.cnf")));
    };
    for (std::string* text : {&out.LogPath, &out.ProxyPassword}) {
        *text = "x\nPort=1";
        refused();
        text->clear();
    }
    EXPECT_NE(out.AddGroup("a,b"), "");
    EXPECT_EQ(out.groupList.size(), 1);
    out.groupList.AddGroup("a,b"); // as an older group.cnf may hold
    refused();
    out.groupList.DeleteGroup(1);
    out.SetZpfCnf(dir.file("missing-dir/zpf.cnf").c_str());
    EXPECT_TRUE(out.WriteZpfCnf(false));
    EXPECT_EQ(dir.readBytes("zpf.cnf"), before);
}

TEST_F(ConfigrationFileTest, AccessorsFollowTheMasterSwitch)
{
    TestConfig cnf;
    cnf.cnfData[0].AccessLog = 1;
    cnf.AddGroup("a");
    cnf.AddGroup("a"); // a known name adds no second set of settings
    ASSERT_EQ(cnf.cnfData.size(), 2u);
    EXPECT_EQ(cnf.doBlock(0), 1);
    EXPECT_EQ(cnf.doAccessLog(1), 1);
    cnf.Filtering = 0;
    EXPECT_EQ(cnf.doBlock(0), 0);
    EXPECT_EQ(cnf.doBlockLog(1), 0);
    EXPECT_EQ(cnf.doAccessLog(1), 0);
    EXPECT_EQ(cnf.doBlock(7), 0); // no such group
    EXPECT_EQ(cnf.bZpfKeep(), 0);
    cnf.AutoUpdateAtBoot = 1;
    EXPECT_EQ(cnf.bZpfKeep(), 1);
    EXPECT_TRUE(cnf.useFilteringDB());
    cnf.cnfData[0].Block = cnf.cnfData[0].BlockLog = 0;
    cnf.cnfData[1].Block = cnf.cnfData[1].BlockLog = 0;
    EXPECT_FALSE(cnf.useFilteringDB());
}

// A damaged enciphered file, or one enciphered with another key, used to load as every
// default with success, and the next save put the defaults over the real settings.
TEST_F(ConfigrationFileTest, DamagedEncipheredFilesFailAndAreNotWrittenOver)
{
    std::string body = "Port=9999\nLogSize=5\n";
    auto encipher = [&](const char* key) {
        CDes des;
        des.Setting(1, 4, key, CDes::kIV, 7, 59);
        EXPECT_EQ(des.OpenWriteFile(dir.file("zpf.cnf").c_str()), 0);
        des.WriteString("PLXharbor\r\n");
        des.WriteData(body.data(), static_cast<int>(body.size()));
        des.CloseWriteFile(1);
        return dir.readBytes("zpf.cnf");
    };
    const std::string good = encipher(CDes::kKey);
    std::string flipped = good;
    for (size_t i = 14; i < 18; ++i)
        flipped[i] = static_cast<char>(~flipped[i]);
    const struct {
        std::string bytes;
        const char* reason; // null: loads
    } rows[] = {
        {encipher("0123456789ABCDEF"), "control bytes"},
        {flipped, "control bytes"},
        {good.substr(0, 11 + 3), "its length"}, // cut inside the first key
        {"PLXharbor and more\r\n", "its length"},
        {"PLXharbor\r\n", nullptr},
        {"PLXharbor", nullptr},
        {"# a note\r\nNoSuchKey=1\r\n\x01\r\n", nullptr}, // plain text may hold anything
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.bytes.size());
        dir.writeBytes("zpf.cnf", r.bytes);
        TestConfig cnf;
        cnf.Port = 1234;
        EXPECT_EQ(cnf.ReadZpfCnf(), r.reason != nullptr);
        EXPECT_EQ(cnf.Port, 1234u);
        if (!r.reason)
            continue;
        EXPECT_EQ(cnf.errorText.rfind(dir.file("zpf.cnf") + ": not a configuration file (" + r.reason, 0), 0u)
            << cnf.errorText;
        // Saving refuses until the caller chooses to overwrite, and then keeps a copy.
        EXPECT_TRUE(cnf.SaveAll(true, false));
        EXPECT_TRUE(cnf.WriteZpfCnf(true));
        EXPECT_EQ(dir.readBytes("zpf.cnf"), r.bytes);
        EXPECT_FALSE(cnf.WriteZpfCnf(true, true));
        EXPECT_EQ(dir.readBytes("zpf.cnf.bak"), r.bytes);
        EXPECT_FALSE(cnf.ReadZpfCnf());
        EXPECT_EQ(cnf.Port, 1234u);
    }

    // Enciphered text that names no key at all is noise too.
    body = "zzzz=1\n";
    encipher(CDes::kKey);
    TestConfig noKey;
    EXPECT_TRUE(noKey.ReadZpfCnf());
    EXPECT_NE(noKey.errorText.find("(no known key"), std::string::npos) << noKey.errorText;
}
