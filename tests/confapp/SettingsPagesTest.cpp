#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "CoreFixture.h"
#include "common/Encoding.h"
#include "config/ConfigKeys.h"
#include "config/ListFiles.h"
#include "core/SheetModel.h"
#include "core/pages/KeepPage.h"
#include "core/pages/ListPage.h"
#include "core/pages/OptionPage.h"
#include "core/pages/ServerPage.h"
#include "core/pages/VersionPage.h"

using confapptest::CoreFixture;

namespace {

class SettingsPagesTest : public CoreFixture {
protected:
    void SetUp() override
    {
        dir.writeBytes("not-a-directory", "x");
        ASSERT_TRUE(document.Load()) << document.loadError();
        ASSERT_EQ(cnf.AddGroup("kids"), "");
        // Group 1 differs from group 0 wherever a test looks.
        cnf.cnfData[1].FilteringSize = 123;
        cnf.cnfData[1].Block = 0;
        cnf.cnfData[1].phraseText = "{{\x97\x4C\x8A\x51}}\n"; // {{有害}}
        cnf.cnfData[1].UserFilter = 0;
    }

    std::unique_ptr<BoundPage> page(SheetTab tab)
    {
        switch (tab) {
        case SheetTab::Option:
            return std::make_unique<OptionPage>(document);
        case SheetTab::Server:
            return std::make_unique<ServerPage>(document, nullptr);
        default:
            return std::make_unique<KeepPage>(document, true, KeepPage::Clock{});
        }
    }

    std::string stored(const char* key, int group) const { return FindConfigKey(key)->Format(cnf, group); }
};

struct FieldCase {
    SheetTab tab;
    const char* key;
    int group;
    std::string typed; // UTF-8
    std::string refusal; // "" when stored
    std::string stored; // zpf.cnf's form after the store; "" when refused
};

// Each field once accepted and once refused; the ranges themselves are SettingChecksTest's.
TEST_F(SettingsPagesTest, EveryFieldLoadsChecksAndStoresItsKey)
{
    const std::string file = dir.file("not-a-directory");
    const FieldCase cases[] = {
        {SheetTab::Option, "AccessLog", 1, "1", "", "1"},
        {SheetTab::Option, "Block", 1, "1", "", "1"},
        {SheetTab::Option, "Block", 0, "0", "", "0"},
        {SheetTab::Option, "MessageCode", 1, "1", "", "1"},
        {SheetTab::Option, "PageBlockFilter", 1, "0", "", "0"},
        {SheetTab::Option, "FilteringSize", 1, "9999999", "", "9999999"},
        {SheetTab::Option, "FilteringSize", 1, "10000000",
         "「フィルタリングするサイズ」には0 から 9999999 までの整数を入力してください。", ""},
        {SheetTab::Server, "Port", 0, "65535", "", "65535"},
        {SheetTab::Server, "Port", 0, "0",
         "「クライアント接続用ポート」には1 から 65535 までの整数を入力してください。", ""},
        {SheetTab::Server, "ProxyPort", 0, "8080", "", "8080"},
        {SheetTab::Server, "ProxyPort", 0, "0",
         "「プロキシサーバのポート番号」には空欄か 1 から 65535 までの整数を入力してください。", ""},
        {SheetTab::Server, "Proxy", 0, "上流.example", "", "\x8F\xE3\x97\xAC.example"},
        {SheetTab::Server, "Proxy", 0, std::string(256, 'p'),
         "「プロキシサーバのアドレス」は 255 文字以内で入力してください。", ""},
        {SheetTab::Server, "ProxyUsername", 0, "𠮷田", "「認証アカウント」に使えない文字が含まれています。", ""},
        {SheetTab::Server, "ProxyPassword", 0, "pw", "", "pw"},
        {SheetTab::Server, "LogSize", 0, "9999", "", "9999"},
        {SheetTab::Server, "LogSize", 0, "10000",
         "「ログファイルの上限サイズ」には0 から 9999 までの整数を入力してください。", ""},
        {SheetTab::Server, "LogPath", 0, file, "ディレクトリではありません。", ""},
        {SheetTab::Server, "LogPath", 0, dir.path(), "", dir.path()},
        {SheetTab::Server, "SetProxy", 0, "1", "", "1"},
        {SheetTab::Keep, "CheckDuration", 0, "301",
         "「チェック間隔（秒）」には0 から 300 までの整数を入力してください。", ""},
        {SheetTab::Keep, "AutoUpdateAt", 0, "7:5", "", "7:5"},
        {SheetTab::Keep, "AutoUpdateAt", 0, "25:00", "時刻のフォーマット(hh:mm)が正しくありません。", ""},
        {SheetTab::Keep, "TestMode", 0, "2", "", "2"},
    };
    for (const FieldCase& c : cases) {
        const std::string what = std::string(c.key) + "=" + c.typed.substr(0, 20) + " group " + std::to_string(c.group);
        std::unique_ptr<BoundPage> p = page(c.tab);
        p->Load();
        p->LoadGroup(c.group);
        const std::string before = stored(c.key, c.group);
        std::string shown = encoding::sjisToUtf8(before);
        if (std::string(c.key) == "ProxyPort" && shown == "0")
            shown.clear();
        EXPECT_EQ(p->text(c.key), shown) << what;
        p->SetText(c.key, c.typed);
        EXPECT_TRUE(p->modified()) << what;
        EXPECT_EQ(p->Validate(), c.refusal) << what;
        if (!c.refusal.empty())
            continue;
        p->Store();
        p->StoreGroup(c.group);
        EXPECT_EQ(stored(c.key, c.group), c.stored) << what;
        if (p->perGroup()) {
            EXPECT_NE(stored(c.key, 1 - c.group), "") << what;
        }
    }
}

TEST_F(SettingsPagesTest, PagesLeftAloneChangeNothing)
{
    // Values the pages would never write themselves must survive an open page too.
    cnf.cnfData[0].Block = 2;
    cnf.Port = 70000;
    cnf.ProxyUsername = "\x82\xA0\xFF"; // not Shift_JIS throughout
    cnf.RebootAt = "99:99";
    const std::string before = cnf.FormatZpfCnf(false);
    for (bool open : {false, true}) {
        // Adding the group marked the lists for saving; only the pages matter here.
        cnf.bPhraseChanged = cnf.bNoFilterChanged = cnf.bPassURLChanged = false;
        SheetModel sheet(document, false);
        sheet.Open(1);
        for (size_t i = 0; i < sheet.pages().size(); ++i) {
            if (open)
                sheet.OpenTab(i);
        }
        if (!open) {
            // Edited in the model but never opened: nothing is stored.
            for (size_t i = 0; i < sheet.pages().size(); ++i) {
                if (auto* bound = dynamic_cast<BoundPage*>(sheet.pages()[i].get()))
                    bound->SetText("Port", "4000");
                if (auto* list = dynamic_cast<ListPage*>(sheet.pages()[i].get()))
                    list->SetText("www.example.com/\n");
            }
        } else {
            auto* server = dynamic_cast<BoundPage*>(sheet.pages()[6].get());
            ASSERT_NE(server, nullptr);
            server->SetText("Port", "4000");
            server->SetText("Port", "70000"); // back as it was
        }
        EXPECT_EQ(sheet.SelectGroup(0), "");
        EXPECT_EQ(sheet.Close(), "");
        EXPECT_EQ(cnf.FormatZpfCnf(false), before) << (open ? "opened" : "never opened");
        EXPECT_FALSE(cnf.bPhraseChanged || cnf.bNoFilterChanged || cnf.bPassURLChanged);
    }
}

TEST_F(SettingsPagesTest, ControlsFollowTheirSwitchesAndFiles)
{
    ServerPage server(document, [] { return ProxyRunState{true, false}; });
    server.Load();
    const PageRow* logSize = nullptr;
    for (const PageRow& r : server.rows())
        logSize = (r.key && std::string(r.key) == "LogSize") ? &r : logSize;
    ASSERT_NE(logSize, nullptr);
    EXPECT_TRUE(server.enabled(*logSize));
    server.SetChecked("LogFlag", true);
    EXPECT_FALSE(server.enabled(*logSize)) << "a log per day has no size limit";
    EXPECT_EQ(server.text("ProxyPort"), "") << "port 0 shows empty";
    EXPECT_EQ(server.infoLines(), std::vector<std::string>{"フィルタリングプログラムはポート 3036 で動作中です。"});
    server.SetText("Port", "8080");
    EXPECT_EQ(server.infoLines().size(), 2u) << "a new port takes effect after the restart";

    for (long long size : {0LL, 42LL, 43LL}) {
        dir.writeBytes("target.fdb", std::string(static_cast<size_t>(size), 'k'));
        OptionPage option(document);
        option.Load();
        EXPECT_EQ(option.accessControlAvailable(), size >= 43) << size;
        EXPECT_FALSE(option.rows().back().shown);
        EXPECT_EQ(option.enabled(option.rows().back()), size >= 43) << size;
    }

    for (bool test : {false, true}) {
        KeepPage keep(document, test, {});
        int shown = 0;
        for (const PageRow& r : keep.rows())
            shown += keep.visible(r) && r.key && std::string(r.key) == "TestMode";
        EXPECT_EQ(shown, test ? 1 : 0);
    }
}

TEST(KeepPageTest, NextUpdateWaitsForAWeekOldFilter)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t day = 24 * 3600;
    const std::time_t midnight = 1'700'000'000 / day * day; // a Tuesday, 00:00 UTC
    const std::time_t now = midnight + 10 * 3600; // 10:00
    struct Case {
        const char* at;
        std::time_t last;
        std::time_t next;
    } cases[] = {
        {"", 0, 0},
        {"25:00", 0, 0},
        {"11:30", 0, midnight + 11 * 3600 + 30 * 60}, // later today
        {"3:00", 0, midnight + day + 3 * 3600}, // passed today: tomorrow
        {"10:00", 0, midnight + day + 10 * 3600}, // now is not after now
        {"11:00", midnight - 2 * day, midnight + 5 * day + 11 * 3600}, // updated two days ago
        {"11:00", midnight - 7 * day, midnight + 11 * 3600}, // a week old today
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextAutoUpdate(c.at, c.last, now), c.next) << c.at << " last " << c.last;
}

TEST(VersionPageTest, VersionFromTheProductVersion)
{
    const std::pair<const char*, const char*> cases[] = {
        {"3, 3, 0, 4", "5.3-4"}, {"3,3,0,4", "5.3-4"}, {"0, 0, 0, 0", "2.0-0"},
        {"3, 3, 0", ""},         {"a, b, c, d", ""},   {"99999999, 0, 0, 0", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(VersionNumberText(in), out) << in;
}

struct ListCase {
    ListPage::Kind kind;
    std::string typed;
    std::string refusal;
};

TEST_F(SettingsPagesTest, ListPagesSayWhichLineIsWrong)
{
    const ListCase cases[] = {
        {ListPage::Kind::Phrase, "www.example.com/\n\n{{有害}}\n[[語句]]\n", ""},
        {ListPage::Kind::Phrase, "www.example.com/\r\n{{x}\r\n", "2行目の}}が正しくありません。"},
        {ListPage::Kind::Phrase, "a\n{x}}\n[[y]]", "2行目の{{が正しくありません。"},
        {ListPage::Kind::Phrase, "a\nb\n[x]]\n", "3行目の[[が正しくありません。"},
        {ListPage::Kind::Phrase, "[[x]\n{{y", "1行目の]]が正しくありません。"},
        {ListPage::Kind::NoFilter, "{x\n[y\n", ""},
        {ListPage::Kind::NoFilter, "ok\n%kids%\n", "2行目は % で始められません（グループの区切りと見なされます）。"},
        {ListPage::Kind::PassUrl, "ok\n𠮷.example\n", "2行目に使えない文字が含まれています。"},
        {ListPage::Kind::PassUrl, "a\rb\n", "1行目に改行などの制御文字は入力できません。"},
    };
    for (const ListCase& c : cases) {
        ListPage page(document, c.kind);
        page.LoadGroup(0);
        page.SetText(c.typed);
        EXPECT_EQ(page.Validate(), c.refusal) << c.typed;
    }
}

TEST_F(SettingsPagesTest, ListsRoundTripThroughTheirFilesPerGroup)
{
    const std::string group0 = "www.example.com/\n{{有害な語句}}\n[[伏字]]\n(無料[動画])\nｱﾀﾞﾙﾄ\n";
    SheetModel sheet(document, false);
    sheet.Open(1);
    std::vector<ListPage*> lists;
    for (size_t i = 0; i < sheet.pages().size(); ++i) {
        if (auto* list = dynamic_cast<ListPage*>(sheet.pages()[i].get())) {
            sheet.OpenTab(i);
            lists.push_back(list);
        }
    }
    ASSERT_EQ(lists.size(), 3u);
    ListPage& phrase = *lists[0];
    EXPECT_EQ(phrase.text(), "{{有害}}\n") << "group 1's list";
    EXPECT_FALSE(phrase.switchOn());
    EXPECT_FALSE(phrase.editable());
    phrase.SetSwitch(true);
    EXPECT_TRUE(phrase.modified());
    ASSERT_EQ(sheet.SelectGroup(0), "");
    EXPECT_EQ(cnf.cnfData[1].UserFilter, 1);
    EXPECT_EQ(phrase.text(), "blocked-by-user.example/\n{zpf-sample-user-phrase}\n") << "group 0's list";
    // A line the file held passes as it is, though typed anew it would not.
    phrase.SetText(phrase.text() + "{typed}\n");
    EXPECT_EQ(phrase.Validate(), "3行目の{{が正しくありません。");
    phrase.SetText(group0);
    EXPECT_EQ(phrase.entryCount(), 5);
    lists[1]->SetText("除外.example/\r\n");
    lists[2]->SetSwitch(true);
    lists[2]->SetText("kids.example/");
    EXPECT_EQ(sheet.Close(), "");
    ASSERT_TRUE(document.Save(false).ok);

    // Read back with the groups of the document (this edition's load knows group 0 only).
    std::string phrases[2], noFilter[2], passUrl[2];
    ASSERT_FALSE(listfiles::ReadListFile(cnf.phrasePath, cnf.groupList, {&phrases[0], &phrases[1]}, true));
    ASSERT_FALSE(listfiles::ReadListFile(cnf.noFilterPath, cnf.groupList, {&noFilter[0], &noFilter[1]}, false));
    ASSERT_FALSE(listfiles::ReadListFile(cnf.passURLPath, cnf.groupList, {&passUrl[0], &passUrl[1]}, false));
    EXPECT_EQ(encoding::sjisToUtf8(phrases[0]), group0);
    EXPECT_EQ(encoding::sjisToUtf8(phrases[1]), "{{有害}}\n");
    EXPECT_EQ(encoding::sjisToUtf8(noFilter[0]), "除外.example/\n");
    EXPECT_EQ(encoding::sjisToUtf8(passUrl[0]), "kids.example/\n");
    confapptest::TestConfig fresh;
    fresh.SetDefaultPaths();
    (void)fresh.Initialize();
    EXPECT_EQ(fresh.cnfData[0].UserAccessControlURL, 1);
    EXPECT_EQ(cnf.cnfData[1].UserFilter, 1);
}

TEST_F(SettingsPagesTest, UntouchedLinesKeepBytesThePageCannotShow)
{
    const std::string odd = "\x82\xA0\xFF\n"; // あ and a byte no character starts with
    cnf.cnfData[0].noFilterText = odd + "a.example/\n";
    ListPage page(document, ListPage::Kind::NoFilter);
    page.LoadGroup(0);
    page.SetText(page.text() + "b.example/\n");
    EXPECT_EQ(page.Validate(), "");
    page.StoreGroup(0);
    EXPECT_EQ(cnf.cnfData[0].noFilterText, odd + "a.example/\nb.example/\n");
}

} // namespace
