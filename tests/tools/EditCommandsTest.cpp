// zpfctl's editing commands run as built programs on a temporary program directory:
// each change read back by a fresh process, refused values leaving every file as it
// was, and the same change made through Vantrel's settings document giving the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "core/SettingsDocument.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

namespace {

using zpftest::ProgramResult;
using zpftest::RunProgram;
using zpftest::TempDir;
using zpftest::TempProgramDir;

enum class Edition { Standalone, Network };

class EditCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::error_code ec;
        std::filesystem::copy_file(std::string(ZPF_BIN_DIR) + "/category2.cnf", dir.file("category2.cnf"), ec);
        ASSERT_FALSE(ec) << ec.message();
        // The network edition: the other library found first by the loader.
        std::filesystem::create_symlink(std::string(ZPF_BIN_DIR) + "/libravlin_other.so", libs.file("libravlin.so"),
                                        ec);
        ASSERT_FALSE(ec) << ec.message();
    }

    /// zpfctl in the given edition, English unless env says otherwise; stdin is the
    /// text of input.
    ProgramResult ctl(Edition edition, const std::string& args, const std::string& env = "LC_ALL=C",
                      const std::string& input = "")
    {
        std::string line = "printf '" + input + "' | env -u LC_ALL -u LC_MESSAGES -u LANG " + env;
        if ((edition == Edition::Network) == IsStandaloneEdition())
            line += " LD_LIBRARY_PATH='" + libs.path() + "'";
        line += " '" ZPF_BIN_DIR "/zpfctl' --dir '" + dir.path() + "' " + args;
        return RunProgram(line);
    }
    ProgramResult run(const std::string& args) { return ctl(Edition::Standalone, args); }
    ProgramResult net(const std::string& args) { return ctl(Edition::Network, args); }

    TempProgramDir dir;
    TempDir libs;
};

struct RoundTrip {
    std::vector<const char*> changes;
    const char* query;
    const char* expected; // found in the query's output; after "=" the whole output
};

TEST_F(EditCommandsTest, ChangesReadBackInAFreshProcess)
{
    const std::vector<RoundTrip> standalone = {
        {{"set Port 8080"}, "get Port", "=8080\n"},
        // An empty text clears the value; the file reader alone would keep the old one.
        {{"set Proxy proxy.test", "set ProxyPort 3128", "set Proxy ''"}, "get Proxy", "=\n"},
        {{"set ProxyPort 3128", "set ProxyPort ''"}, "get ProxyPort", "=0\n"},
        {{"set AutoUpdateAt 7:05"}, "get AutoUpdateAt", "7:05\n"},
        {{"set Block 0"}, "get Block", "0\n"},
        {{"set FilteringSize 9999999"}, "get FilteringSize", "9999999\n"},
        {{"category on 108"}, "category status chat.fdb", "chat.fdb             on "},
        {{"category off アダルト・ポルノ"}, "category status adult.fdb", "adult.fdb            off"},
        {{"list add phrase '{{悪い}}' http://bad.test/", "list add phrase http://bad.test/"},
         "list show phrase",
         "{{悪い}}\nhttp://bad.test/\n"},
        // A key written by hand that the typed-entry rule would refuse stays and blocks nothing.
        {{"list add phrase '{{x}}'", "list remove phrase '{{x}}'", "list add phrase a.test"},
         "list show phrase",
         "={hand-written}\na.test\n"},
        {{"list add nofilter a.test b.test", "list remove nofilter a.test"},
         "lists",
         "-- nofilter.fdb\nb.test\n-- passurl.fdb\n"},
        {{"schedule set 'cut;sat-sun;' 'on;'"}, "schedule --at 'sun 10:00'", "state at cut, default on"},
        {{"schedule set 'cut;sat-sun;'", "schedule clear"}, "schedule --at 'sun 10:00'", "state at on, default on"},
    };
    const std::vector<RoundTrip> network = {
        {{"group add kids", "set Block 0 --group kids"}, "get Block --group kids", "0\n"},
        {{"group add kids", "group add staff", "group rename kids teens"}, "group show", "=teens\nstaff\n"},
        {{"group add a", "group add b", "group delete a"}, "group show", "=b\n"},
        {{"group add kids", "list add passurl --group kids http://school.test/"},
         "list show passurl --group kids",
         "http://school.test/\n"},
        {{"group add kids", "schedule set --group kids 'cut;mon-fri;22:00-24:00'"},
         "schedule --group kids --at 'fri 22:00'",
         "group kids: state at cut, default off"},
        {{"group add kids", "category on chat.fdb --group kids"},
         "category status chat.fdb --group kids",
         "chat.fdb             on "},
        {{"ip restrict add 10.0.0.0-10.0.0.255 127.0.0.1", "ip restrict remove 127.0.0.1"},
         "ip restrict show",
         "10.0.0.0-10.0.0.255\n"},
        {{"group add kids", "ip policy add ' 10.0.0.5 ' --group kids --auth full"},
         "ip policy show",
         "10.0.0.5                          group kids, auth full\n"},
        {{"ip policy add 10.0.1.0-10.0.1.9 --exempt"}, "check-ip 10.0.1.3", "policy: 10.0.1.0-10.0.1.9, not filtered"},
    };
    for (const auto& [edition, cases] :
         {std::pair{Edition::Standalone, &standalone}, std::pair{Edition::Network, &network}}) {
        for (const RoundTrip& c : *cases) {
            for (const auto& [path, bytes] : dir.files())
                std::filesystem::remove(dir.file(path));
            std::error_code ec;
            std::filesystem::copy_file(std::string(ZPF_BIN_DIR) + "/category2.cnf", dir.file("category2.cnf"), ec);
            dir.writeBytes("phrase.fdb", "\r\n{hand-written}\r\n");
            for (const char* change : c.changes) {
                ProgramResult r = ctl(edition, change);
                ASSERT_EQ(r.status, 0) << change << "\n" << r.err;
            }
            ProgramResult r = ctl(edition, c.query);
            EXPECT_EQ(r.status, 0) << c.query << "\n" << r.err;
            if (*c.expected == '=')
                EXPECT_EQ(r.out, c.expected + 1) << c.changes[0] << " / " << c.query;
            else
                EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.changes[0] << " / " << c.query << "\n"
                                                                     << r.out;
        }
    }
}

TEST_F(EditCommandsTest, AccountsTakeTheirPasswordFromStandardInput)
{
    ASSERT_EQ(net("group add kids").status, 0);
    ProgramResult r = ctl(Edition::Network, "account add ' taro_1 ' --group kids --nofilter", "LC_ALL=C", "secret\\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("secret"), std::string::npos);
    EXPECT_EQ(dir.readBytes("passwd"), "taro_1:secret:1;kids\r\n");
    r = net("account show");
    EXPECT_NE(r.out.find("taro_1               nofilter  kids\n"), std::string::npos) << r.out;
    // Names compare without regard to case, as Vantrel's list does.
    EXPECT_EQ(ctl(Edition::Network, "account add TARO_1", "LC_ALL=C", "x\\n").status, 1);
    ASSERT_EQ(net("account remove Taro_1").status, 0);
    std::string passwd; // emptied, not removed
    ASSERT_TRUE(platform::ReadFileBytes(dir.file("passwd"), passwd));
    EXPECT_EQ(passwd, "");
}

struct Refusal {
    Edition edition;
    const char* command;
    int status;
    const char* message; // found on stderr
};

TEST_F(EditCommandsTest, RefusedValuesLeaveEveryFileAsItWas)
{
    ASSERT_EQ(net("group add kids").status, 0);
    ASSERT_EQ(net("group add staff").status, 0);
    ASSERT_EQ(net("list add passurl http://school.test/").status, 0);
    // One row per kind of refusal; the bounds of each key are SettingChecksTest's.
    const Refusal cases[] = {
        {Edition::Standalone, "set Port 0", 1, "\"Port\" takes a whole number from 1 to 65535."},
        {Edition::Standalone, "set Block 2", 1, "\"Block\" takes 0 or 1."},
        {Edition::Standalone, "set NoSuchKey 1", 1, "There is no setting NoSuchKey."},
        {Edition::Standalone, "set SleepTime 5", 1, "is never saved"},
        {Edition::Standalone, "set AutoUpdateAt 24:00", 1, "must read hh:mm"},
        {Edition::Standalone, "set LogPath /nonexistent/zpf-logs", 1, "does not exist"},
        {Edition::Standalone, "set Proxy \"$(printf 'a\\nPort=1')\"", 1, "may not hold a line end"},
        {Edition::Standalone, "set Port", 2, "set takes KEY VALUE"},
        {Edition::Standalone, "set Port 80 --group kids", 2, "global setting"},
        {Edition::Standalone, "category on nosuch.fdb", 1, "there is no category nosuch.fdb"},
        {Edition::Standalone, "category maybe chat.fdb", 2, "on, off or status"},
        {Edition::Standalone, "list add phrase '{{bad}'", 1, "Line 1: a phrase begun with {{ must end with }}."},
        {Edition::Standalone, "list add nofilter '%kids%'", 1, "may not begin with %"},
        {Edition::Standalone, "list add nofilter ''", 1, "may not be empty"},
        {Edition::Standalone, "list remove passurl http://absent.test/", 1, "not in the list"},
        {Edition::Standalone, "list add urls x", 2, "phrase, nofilter and passurl"},
        {Edition::Standalone, "schedule set 'cut;fri-mon;'", 1, "range of days"},
        {Edition::Standalone, "schedule set 'on;mon;09:00-24:30'", 1, "must read hh:mm-hh:mm"},
        {Edition::Standalone, "schedule --at 'someday 10:00'", 2, "DAY HH:MM"},
        {Edition::Standalone, "group add more", 1, "standalone edition"},
        {Edition::Network, "set Block 0 --group nosuch", 1, "there is no group 'nosuch'"},
        {Edition::Network, "group add 子供", 1, "ASCII letters and digits only"},
        {Edition::Network, "group add kids", 1, "There is such a group already."},
        // Two groups of one name would share every section.
        {Edition::Network, "group rename kids staff", 1, "There is such a group already."},
        {Edition::Network, "group delete ''", 1, "default group"},
        {Edition::Network, "account add 'ta ro'", 1, "ASCII letters, digits and \"_\" only"},
        {Edition::Network, "account remove nobody", 1, "there is no account nobody"},
        {Edition::Network, "ip restrict add 10.0.0.256", 1, "An entry is an address"},
        {Edition::Network, "ip policy add 10.0.0.1 --auth some", 2, "none, full or half"},
        {Edition::Network, "ip policy remove 10.9.9.9", 1, "not in the list"},
    };
    const std::map<std::string, std::string> before = dir.files();
    for (const Refusal& c : cases) {
        ProgramResult r = ctl(c.edition, c.command);
        EXPECT_EQ(r.status, c.status) << c.command << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.command << "\n" << r.err;
        EXPECT_TRUE(dir.files() == before) << c.command;
    }
}

TEST_F(EditCommandsTest, NoSaveWithoutTheCategoryList)
{
    ASSERT_EQ(run("category on chat.fdb").status, 0);
    std::filesystem::remove(dir.file("category2.cnf"));
    const std::map<std::string, std::string> before = dir.files();
    ProgramResult r = run("set Port 8080");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("category2.cnf cannot be read"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.files() == before);
    // A character Shift_JIS has no form for is refused, not turned into "?".
    r = run("list add nofilter 'http://\xF0\x9F\x98\x80.test/'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no Shift_JIS form"), std::string::npos) << r.err;
    EXPECT_TRUE(dir.files() == before);
}

TEST_F(EditCommandsTest, BashCompletionOffersWordsAndNames)
{
    ASSERT_EQ(net("group add kids").status, 0);
    struct Row {
        const char* words; // after "zpfctl --dir DIR"; the last one is being completed
        const char* offered; // every offer, each followed by a line end
    };
    const Row rows[] = {
        {"sch", "schedule\n"},
        {"set Po", "Port\n"},
        {"get Block", "Block\nBlockLog\n"},
        {"category on ch", "chat.fdb\n"},
        {"list add ph", "phrase\n"},
        {"list show phrase --group k", "kids\n"},
        {"ip policy add 10.0.0.1 --auth f", "full\n"},
        {"group rename ", "kids\n"},
    };
    const std::string script = ZPF_TEST_DATA_DIR "/../../tools/completion/zpfctl.bash";
    for (const Row& row : rows) {
        const std::string words = std::string("'" ZPF_BIN_DIR "/zpfctl' --dir '") + dir.path() + "' " + row.words +
                                  (std::string(row.words).back() == ' ' ? "''" : "");
        // The names come from zpfctl itself, in the network edition.
        const std::string network = IsStandaloneEdition() ? "LD_LIBRARY_PATH='" + libs.path() + "' " : "";
        ProgramResult r = RunProgram(network + "bash -c 'source \"" + script +
                                     "\"; eval \"COMP_WORDS=($0)\"; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zpfctl; "
                                     "printf \"%s\\n\" \"${COMPREPLY[@]}\"' \"" +
                                     words + "\"");
        EXPECT_EQ(r.out, row.offered) << row.words << "\n" << r.err;
    }
}

TEST_F(EditCommandsTest, MessagesFollowTheLocale)
{
    struct Row {
        const char* env;
        const char* message;
    };
    const Row rows[] = {
        {"LC_ALL=ja_JP.UTF-8", "「Port」には1 から 65535 までの整数を入力してください。"},
        {"LANG=ja_JP.UTF-8", "「Port」には"},
        {"LC_MESSAGES=ja_JP.UTF-8 LANG=C", "「Port」には"},
        {"LC_ALL=C LANG=ja_JP.UTF-8", "\"Port\" takes"},
        {"LC_ALL= LANG=ja_JP.UTF-8", "「Port」には"},
        {"LANG=en_US.UTF-8", "\"Port\" takes"},
    };
    for (const Row& row : rows) {
        ProgramResult r = ctl(Edition::Standalone, "set Port 0", row.env);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.env << "\n" << r.err;
    }
    ProgramResult r = ctl(Edition::Network, "group add 子供", "LANG=ja_JP.UTF-8");
    EXPECT_NE(r.err.find("グループ名には半角英数字しか使えません。"), std::string::npos) << r.err;
}

TEST_F(EditCommandsTest, GroupNamesInUtf8)
{
    // A group named in Shift_JIS by hand in group.cnf.
    dir.writeBytes("group.cnf", encoding::utf8ToSjis("子供\r\n"));
    ASSERT_EQ(net("set Block 0 --group 子供").status, 0);
    EXPECT_EQ(net("get Block --group 子供").out, "0\n");
    EXPECT_EQ(net("group show").out, "子供\n");
    ProgramResult r = net("schedule --group 子供");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("group 子供: state now"), std::string::npos) << r.out;
    ASSERT_EQ(net("ip policy add 10.0.0.7 --group 子供 --auth half").status, 0);
    r = net("check-ip 10.0.0.7");
    EXPECT_NE(r.out.find("group 子供, authentication mode 2"), std::string::npos) << r.out;
    EXPECT_EQ(net("complete groups").out, "子供\n");
}

TEST_F(EditCommandsTest, SameBytesAsTheSettingsDocument)
{
    // Through Vantrel's document in this process ...
    TempProgramDir vantrel;
    std::error_code ec;
    std::filesystem::copy_file(dir.file("category2.cnf"), vantrel.file("category2.cnf"), ec);
    ConfigrationFileSigleton& cnf = *ConfigrationFileSigleton::getInstance();
    cnf.SetDefaultPaths();
    {
        SettingsDocument document(cnf, vantrel.path());
        (void)document.Load(); // no zpf.cnf yet
        cnf.Port = 8080;
        cnf.AutoUpdateAt = "3:30";
        cnf.cnfData[0].Block = 0;
        cnf.cnfData[0].categoryStatus[static_cast<size_t>(cnf.categoryList.FindKey("chat.fdb"))] = 1;
        cnf.SetPhrase(encoding::utf8ToSjis("{{悪い}}\nhttp://bad.test/\n").c_str(), 0);
        cnf.SetNoFilter("school.test\n", 0);
        cnf.timeCnfList.ClearData(0);
        for (const char* line : {"off;\n", "cut;sat;00:00-24:00\n", "on;sun;08:00-20:00\n"})
            cnf.timeCnfList.PutLineData(line, 0);
        ASSERT_TRUE(document.Save(false).ok);
    }
    // ... and through zpfctl in a fresh process.
    for (const char* change : {"set Port 8080", "set AutoUpdateAt 3:30", "set Block 0", "category on chat.fdb",
                               "list add phrase '{{悪い}}' http://bad.test/", "list add nofilter school.test",
                               "schedule set 'cut;sat;' 'on;sun;8:00-20:00'"}) {
        ProgramResult r = run(change);
        ASSERT_EQ(r.status, 0) << change << "\n" << r.err;
    }
    for (const char* name : {"zpf.cnf", "phrase.fdb", "nofilter.fdb", "passurl.fdb", "group.cnf", "time.cnf",
                             "iplist.cnf", "ippass.cnf", "passwd"}) {
        std::string ours, theirs;
        EXPECT_EQ(platform::ReadFileBytes(dir.file(name), ours), platform::ReadFileBytes(vantrel.file(name), theirs))
            << name;
        EXPECT_EQ(ours, theirs) << name;
    }
}

TEST_F(EditCommandsTest, HelpVersionAndRestartWithoutAProxy)
{
    struct Row {
        std::string line;
        const char* out;
    };
    const Row rows[] = {
        {"'" ZPF_BIN_DIR "/zpfctl' --help", "zpfctl set KEY VALUE"},
        {"'" ZPF_BIN_DIR "/zpfctl' --version", "zpfctl 5."},
        {"'" ZPF_BIN_DIR "/zpf' --help", "usage: zpf"},
        {"'" ZPF_BIN_DIR "/zpf' tray --version", "zpf 5."},
    };
    for (const Row& row : rows) {
        ProgramResult r = RunProgram(row.line);
        EXPECT_EQ(r.status, 0) << row.line;
        EXPECT_EQ(r.out.rfind(row.out, 0) == 0 || r.out.find(row.out) != std::string::npos, true) << row.line << "\n"
                                                                                                  << r.out;
    }
    // No service and no tray proxy: nothing is started, the change is saved.
    TempDir units;
    ProgramResult r = ctl(Edition::Standalone, "set Port 8081 --restart", "LC_ALL=C ZPF_UNIT_DIR=" + units.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("No proxy is running"), std::string::npos) << r.out;
    EXPECT_EQ(run("get Port").out, "8081\n");
}

} // namespace
