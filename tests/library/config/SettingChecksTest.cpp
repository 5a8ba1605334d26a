// The values both doors (the settings pages and zpfctl) accept or refuse for a key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "config/ConfigKeys.h"
#include "config/SettingChecks.h"

namespace {

struct Case {
    const char* key;
    const char* value;
    bool accepted;
};

TEST(SettingChecksTest, RangesAndForms)
{
    // Outlives the table: a temporary in it would be gone before the loop reads it.
    const std::string longest(255, 'a');
    const Case cases[] = {
        {"Port", "1", true},
        {"Port", "65535", true},
        {"Port", "0", false},
        {"Port", "65536", false},
        {"Port", "80x", false},
        {"Port", "", false},
        {"Port", " 80", false},
        {"ProxyPort", "", true},
        {"zpfAuthorization", "2", true},
        {"zpfAuthorization", "3", false},
        {"ProxyPort", "0", false},
        {"ProxyPort", "8080", true},
        {"LogSize", "9999", true},
        {"LogSize", "10000", false},
        {"LogSize", "-1", false},
        {"CheckDuration", "300", true},
        {"CheckDuration", "301", false},
        {"FilteringSize", "9999999", true},
        {"FilteringSize", "10000000", false},
        {"FilteringSize", "0", true},
        {"FilteringSize", "-1", false},
        {"Block", "1", true},
        {"Block", "2", false},
        {"AccessLog", "0", true},
        {"AutoUpdateAt", "", true},
        {"AutoUpdateAt", "7:5", true},
        {"AutoUpdateAt", "23:59", true},
        {"AutoUpdateAt", "25:00", false},
        {"AutoUpdateAt", "24:00", false},
        {"AutoUpdateAt", "12:60", false},
        {"AutoUpdateAt", "noon", false},
        {"AutoUpdateAt", "7", false},
        {"RebootAt", "1:", false},
        {"Proxy", longest.c_str(), true},
        {"Proxy", "a\nPort=1", false},
        {"DownloadSize", "123456789012", true},
        {"MaxSession", "-5", false},
        {"ListenBacklog", "9", false},
        {"MaxClientSession", "2001", false},
        {"ConnectPorts", "443 8443", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SettingError(c.key, c.value).empty(), c.accepted) << c.key << "=" << c.value;
    EXPECT_FALSE(SettingError("Proxy", std::string(256, 'a')).empty());
}

TEST(SettingChecksTest, EveryKeyHasARuleAndMessagesNameTheField)
{
    for (const ConfigKey& key : kConfigKeys)
        EXPECT_NE(FindSettingRule(key.name), nullptr) << key.name;
    EXPECT_EQ(FindSettingRule("NoSuchKey"), nullptr);
    EXPECT_NE(SettingError("NoSuchKey", "1").find("NoSuchKey"), std::string::npos);
    EXPECT_EQ(SettingError("Port", "0", "クライアント接続用ポートの指定"),
              "「クライアント接続用ポートの指定」には1 から 65535 までの整数を入力してください。");
    EXPECT_EQ(SettingError("Port", "0", {}, false), "\"Port\" takes a whole number from 1 to 65535.");
}

TEST(SettingChecksTest, LogPathMustBeAnExistingDirectory)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("setting-checks-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(SettingError("LogPath", dir.string()), "");
    EXPECT_EQ(SettingError("LogPath", (dir / "file").string()), "ディレクトリではありません。");
    EXPECT_EQ(SettingError("LogPath", (dir / "missing").string()), "ディレクトリが存在しません。");
    EXPECT_EQ(SettingError("LogPath", ""), "");
    std::filesystem::remove_all(dir);
}

TEST(SettingChecksTest, TimesOfDayUpTo24)
{
    EXPECT_EQ(ReadTimeOfDay("22:00", true), 22 * 60);
    EXPECT_EQ(ReadTimeOfDay("24:00", true), 24 * 60);
    EXPECT_EQ(ReadTimeOfDay("24:30", true), std::nullopt);
    EXPECT_EQ(ReadTimeOfDay("24:00", false), std::nullopt);
    EXPECT_EQ(ReadTimeOfDay("0:0", false), 0);
}

} // namespace

namespace {

struct FormCase {
    const char* text;
    bool taken;
    const char* message; // "" when accepted
};

TEST(SettingChecksTest, GroupAccountSlotAndIpFormsSayWhyInJapanese)
{
    const std::string longName(300, 'a');
    const FormCase groups[] = {
        {"kids", false, ""},
        {"Room2", false, ""},
        {"kids", true, "そのグループは既にあります。"},
        {"", false, "グループ名には半角英数字しか使えません。"},
        {"子供", false, "グループ名には半角英数字しか使えません。"},
        {"a b", false, "グループ名には半角英数字しか使えません。"},
        {"a_b", false, "グループ名には半角英数字しか使えません。"},
        {"a;b", false, "グループ名には半角英数字しか使えません。"},
        {longName.c_str(), false, "A group name may not be longer than 255 bytes."},
    };
    for (const FormCase& c : groups)
        EXPECT_EQ(GroupNameFormError(c.text, c.taken), c.message) << c.text;

    const FormCase accounts[] = {
        {"taro_01", false, ""},
        {"TARO", true, "既に同じアカウント名が存在します。"},
        {"", false, "アカウントを入力してください。"},
        {"ta ro", false, "アカウントには英数字しか使用できません。"},
        {"ta:ro", false, "アカウントには英数字しか使用できません。"},
        {"太郎", false, "アカウントには英数字しか使用できません。"},
        {longName.c_str(), false, "アカウントが長すぎます。"},
    };
    for (const FormCase& c : accounts)
        EXPECT_EQ(AccountIdError(c.text, c.taken), c.message) << c.text;

    const std::string badTime = "時間の書式が正しくありません。hh:mmの形式で入力してください。";
    const struct {
        const char* start;
        const char* end;
        std::string message;
    } slots[] = {
        {"22:00", "24:00", ""},
        {"0:00", "24:00", ""},
        {"22:00", "6:00", ""}, // across midnight
        {"9:00", "9:00", "開始時刻と終了時刻が同じです。"},
        {"22:00", "24:30", badTime},
        {"25:00", "26:00", badTime},
        {"9:60", "10:00", badTime},
        {"9", "10:00", badTime},
        {"9:00", "", badTime},
        {"-1:00", "3:00", badTime},
    };
    for (const auto& c : slots)
        EXPECT_EQ(SlotTimeError(c.start, c.end), c.message) << c.start << "-" << c.end;

    const struct {
        const char* text;
        bool accepted;
    } entries[] = {
        {"192.168.1.10", true},
        {" 10.0.0.1 - 10.0.0.255 ", true},
        {"10.0.0.1-10.0.0.1", true},
        {"192.168.1.256", false},
        {"300.1.1.1", false},
        {"10.0.0.9 - 10.0.0.1", false}, // holds no address
        {"10.0.0", false},
        {"10.0-10.0.0.5", false},
        {"host.example", false},
        {"1.2.3.4.5", false},
        {"", false},
    };
    for (const auto& c : entries)
        EXPECT_EQ(IPEntryError(c.text), c.accepted ? "" : "IPの書式が間違っています。") << c.text;
    EXPECT_NE(IPEntryError("1.2.3", false).find("0 to 255"), std::string::npos);
}

} // namespace
