// What both doors (the settings pages and zpfctl) accept or refuse: the values of a
// key, group, account, slot and address forms, list entries and schedule lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ConfigKeys.h"
#include "config/EditChecks.h"
#include "config/GroupList.h"
#include "config/ListChecks.h"
#include "config/SettingChecks.h"
#include "support/TempProgramDir.h"

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
    zpftest::TempDir dir;
    dir.writeBytes("file", "x");
    EXPECT_EQ(SettingError("LogPath", dir.path()), "");
    EXPECT_EQ(SettingError("LogPath", dir.file("file")), "ディレクトリではありません。");
    EXPECT_EQ(SettingError("LogPath", dir.file("missing")), "ディレクトリが存在しません。");
    EXPECT_EQ(SettingError("LogPath", ""), "");
}

TEST(SettingChecksTest, TimesOfDayUpTo24)
{
    EXPECT_EQ(ReadTimeOfDay("22:00", true), 22 * 60);
    EXPECT_EQ(ReadTimeOfDay("24:00", true), 24 * 60);
    EXPECT_EQ(ReadTimeOfDay("24:30", true), std::nullopt);
    EXPECT_EQ(ReadTimeOfDay("24:00", false), std::nullopt);
    EXPECT_EQ(ReadTimeOfDay("0:0", false), 0);
}

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

struct EntryCase {
    const char* what;
    std::string entry; // Shift_JIS
    bool phrase;
    std::string error; // "" when it passes
};

TEST(ListChecksTest, EntriesAreRefusedWithTheirLineNumber)
{
    const std::string longUrl = "www.example.com/" + std::string(listchecks::kMaxLineBytes - 16, 'a');
    // Each kanji (two bytes) becomes nine in the percent-encoded UTF-8 form written beside it.
    const std::string kanji = "\x8C\xEA"; // 語
    std::string longPattern = "(";
    while (longPattern.size() < 600)
        longPattern += kanji;
    longPattern += ")";
    const EntryCase cases[] = {
        {"a URL", "www.example.com/", true, ""},
        {"an empty line", "", true, ""},
        {"a phrase in braces", "{{\x97\x4C\x8A\x51}}", true, ""},
        {"a phrase in brackets", "[[\x8C\xEA\x8B\xE5]]", true, ""},
        {"a trailing CR is the line end", "{{x}}\r", true, ""},
        {"one brace opens", "{x}}", true, "7行目の{{が正しくありません。"},
        {"one brace closes", "{{x}", true, "7行目の}}が正しくありません。"},
        {"one bracket opens", "[x]]", true, "7行目の[[が正しくありません。"},
        {"one bracket closes", "[[x]", true, "7行目の]]が正しくありません。"},
        {"braces are no check of the URL lists", "{x", false, ""},
        {"a CR inside", "a\rb", false, "7行目に改行などの制御文字は入力できません。"},
        {"a NUL inside", std::string("a\0b", 3), false, "7行目に改行などの制御文字は入力できません。"},
        {"a section line", "%kids%", false, "7行目は % で始められません（グループの区切りと見なされます）。"},
        {"the longest line", longUrl, false, ""},
        {"one byte more", longUrl + "a", false, "7行目が長すぎます（2000 バイトまで）。"},
        {"a pattern whose encoded forms are too long", longPattern, true, "7行目が長すぎます（2000 バイトまで）。"},
        {"the same as a URL list entry", longPattern, false, ""},
    };
    for (const EntryCase& c : cases)
        EXPECT_EQ(listchecks::EntryError(c.entry, 7, c.phrase), c.error) << c.what;
    EXPECT_EQ(listchecks::EntryError("{x}}", 2, true, false), "Line 2: a phrase must begin with {{.");
}

TEST(ListChecksTest, Utf8EntriesMustHaveAShiftJisForm)
{
    std::string sjis;
    EXPECT_TRUE(listchecks::EntryFromUtf8("{{有害}}", sjis));
    EXPECT_EQ(sjis, "{{\x97\x4C\x8A\x51}}");
    EXPECT_TRUE(listchecks::EntryFromUtf8("ｱﾀﾞﾙﾄ", sjis)) << "half-width katakana";
    EXPECT_FALSE(listchecks::EntryFromUtf8("𠮷野家", sjis)) << "outside code page 932";
    EXPECT_FALSE(listchecks::EntryFromUtf8("\xff", sjis)) << "broken UTF-8";
}

TEST(ListChecksTest, AListTooLargeForItsFileIsRefused)
{
    GroupList groups;
    // Lines of 1999 characters and the line feed, 2001 bytes on disk with CR LF.
    const std::string line(1999, 'u');
    const size_t fits = (listchecks::kMaxFileBytes - 2) / 2001; // the group's empty line first
    std::string text;
    for (size_t i = 0; i < fits; ++i)
        text += line + "\n";
    const std::vector<const std::string*> texts{&text};
    EXPECT_EQ(listchecks::FileSizeError(groups, texts, false), "");
    text += line + "\n";
    EXPECT_NE(listchecks::FileSizeError(groups, texts, false), "");
}

struct ScheduleCase {
    std::vector<const char*> typed;
    std::vector<std::string> lines;
};

TEST(EditChecksTest, ScheduleLinesAsThePageWritesThem)
{
    const ScheduleCase cases[] = {
        {{}, {"on;\n"}},
        {{"off;"}, {"off;\n"}},
        // Slots alone: the time outside them is not filtered, as the page stores it.
        {{"cut;sun;"}, {"off;\n", "cut;sun;00:00-24:00\n"}},
        {{"on;", "cut;fri-sun;22:00-24:00"},
         {"on;\n", "cut;fri;22:00-24:00\n", "cut;sat;22:00-24:00\n", "cut;sun;22:00-24:00\n"}},
        // Day by day, Monday first; within a day in the typed order; "thu" is written "tur".
        {{"on;thu,mon;9:00-12:00,13:00-17:30", "cut;Monday;7:05-8:00"},
         {"off;\n", "on;mon;09:00-12:00\n", "on;mon;13:00-17:30\n", "cut;mon;07:05-08:00\n", "on;tur;09:00-12:00\n",
          "on;tur;13:00-17:30\n"}},
        {{"ON;TUR; "}, {"off;\n", "on;tur;00:00-24:00\n"}},
    };
    for (const ScheduleCase& c : cases) {
        ScheduleInput input;
        std::string error;
        for (const char* line : c.typed)
            error = ReadScheduleLine(line, input, false);
        EXPECT_EQ(error, "");
        EXPECT_EQ(ScheduleLines(input), c.lines) << (c.typed.empty() ? "" : c.typed[0]);
    }
    for (const char* refused : {"cut;;", "cut;fri-mon;", "cut;xyz;", "on;mon;12:00-09:00", "on;mon;09:00-09:00",
                                "on;mon;22:00-24:30", "on;mon;9:60-10:00", "on;mon;9-10", "off;mon;09:00-10:00", "cut;",
                                "on;x", "maybe;mon;", "on;mon;\n", "on;mon;1:00-2:00;x"}) {
        ScheduleInput input;
        EXPECT_FALSE(ReadScheduleLine(refused, input, false).empty()) << refused;
        // A refused line leaves the slots as they were.
        EXPECT_TRUE(input.slots.empty()) << refused;
    }
}

TEST(EditChecksTest, ScheduleLinesReadBackAsTyped)
{
    ScheduleInput input;
    ASSERT_EQ(ReadScheduleLine("cut;mon-fri;22:00-24:00,0:00-6:30", input, true), "");
    zpftest::TempProgramDir dir; // no time.cnf: an empty week to fill
    GroupList groups;
    TimeCnfList schedule(&groups);
    ASSERT_TRUE(schedule.Initialize());
    for (const std::string& line : ScheduleLines(input))
        schedule.PutLineData(line.c_str(), 0);
    EXPECT_EQ(schedule[0].defaultStatus, FilterOff);
    EXPECT_EQ(schedule.FilterStatusAt(0, 4, 23 * 256), FilterCut);
    EXPECT_EQ(schedule.FilterStatusAt(0, 0, 6 * 256 + 29), FilterCut);
    EXPECT_EQ(schedule.FilterStatusAt(0, 0, 6 * 256 + 30), FilterOff);
    EXPECT_EQ(schedule.FilterStatusAt(0, 5, 23 * 256), FilterOff);
}

} // namespace
