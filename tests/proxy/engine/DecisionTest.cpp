// The request decision in its order: address lists, request line, authentication,
// the group's switches, exemptions, schedule, access control and blocks.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/FilterDecision.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"
#include "filterdb/FilterDatabase.h"
#include "log/AccessLogger.h"
#include "support/Loopback.h"

namespace {
using Action = SessionDecision::Action;

std::string get(const std::string& url, const std::string& extra = "")
{
    return "GET " + url + " HTTP/1.1\r\nHost: x\r\n" + extra + "\r\n";
}

std::string credentials(const std::string& userAndPassword)
{
    return "Proxy-Authorization: Basic " + EncodeBase64(userAndPassword) + "\r\n";
}

struct Outcome {
    Action action;
    int page = 0;
    int status = 0;
    bool filterRequest = true;
    bool filterResponse = true;
    int group = 0;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o)
{
    return os << "{action " << static_cast<int>(o.action) << ", page " << o.page << ", status " << o.status
              << ", request " << o.filterRequest << ", response " << o.filterResponse << ", group " << o.group << "}";
}

Outcome relay(bool request = true, bool response = true, int group = 0)
{
    return {Action::Relay, 0, 0, request, response, group};
}

class DecisionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.writeEnciphered("category2.cnf", "1|A|0|101|Adult|adult.fdb|http://u.invalid/a\n"
                                             "0|B|0|102|Games|games.fdb|http://u.invalid/g\n"
                                             "0|C|0|103|Study|study.fdb|http://u.invalid/s\n");
        dir.writeEnciphered("adult.fdb", "adult.example/\nhttps://secure-adult.example\n*.xxx\n");
        dir.writeEnciphered("games.fdb", "games.example/\n");
        dir.writeEnciphered("study.fdb", "study.example/\n");
        dir.writeEnciphered("target.fdb", "allowed.example/\n");
        dir.writeEnciphered("nofilup.fdb", "up.example/\n");
        dir.writeEnciphered("nofildow.fdb", "down.example/\n");
        dir.writeBytes("phrase.fdb", "\r\nuser-blocked.example/\r\n*.zip\r\n\r\n%kids%\r\nkids-blocked.example/\r\n");
        dir.writeBytes("passurl.fdb", "\r\npass.example/\r\n");
        dir.writeBytes("nofilter.fdb", "\r\nnofilter.example/\r\n");
        cnf->cnfData.clear();
        cnf->SetDefaultPaths();
        (void)cnf->Initialize(); // only some of the files exist
        cnf->AddGroup("kids");
        db.SetErrorSink([](const std::string&) {});
        db.Load(true);
        AccessLogger::getInstance().Configure({});
    }
    void TearDown() override
    {
        cnf->ipList.clear();
        cnf->ipDataList.clear();
        cnf->passWordData.accounts.clear();
        cnf->zpfAuthorization = static_cast<int>(AuthMode::None);
        cnf->Filtering = 1;
        for (int g = 0; g < 2; ++g) {
            cnf->timeCnfList.ClearData(g);
            char on[] = "on;";
            cnf->timeCnfList.PutLineData(on, g);
        }
    }

    Outcome decide(const std::string& request)
    {
        HTTPServiceBody body(loop.server, nullptr);
        body.buffer = request;
        body.headerLength = static_cast<uint32_t>(FindHeaderEnd(request));
        const SessionDecision d = DecideRequest(body, db, *cnf);
        lastUrl = body.request.url;
        return {d.action, d.page, d.status, body.policy.filterRequest, body.policy.filterResponse, body.policy.group};
    }
    std::vector<std::string> log() const { return enginetest::LogEntries(dir.readBytes("zpf.log")); }
    ConfigrationFileData& group(int g) { return cnf->cnfData[static_cast<size_t>(g)]; }
    void schedule(int g, const char* line)
    {
        std::string text = line;
        cnf->timeCnfList.PutLineData(text.data(), g);
    }

    zpftest::TempProgramDir dir;
    zpftest::Loopback loop;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    FilterDatabase db;
    std::string lastUrl;
};

TEST_F(DecisionTest, AddressRestrictionComesBeforeTheRequestLine)
{
    cnf->ipList.SetDataFromLine("10.0.0.1");
    cnf->ipList.active = true;
    EXPECT_EQ(decide("NONSENSE\r\n\r\n"), (Outcome{Action::Page, 960, 403}));
    group(0).MessageCode = 1;
    EXPECT_EQ(decide(get("http://adult.example/")), (Outcome{Action::Page, 960, 200}));
    cnf->ipList.SetDataFromLine("127.0.0.0-127.255.255.255");
    EXPECT_EQ(decide("NONSENSE\r\n\r\n"), (Outcome{Action::Page, 400, 400}));
    EXPECT_TRUE(log().empty());
}

TEST_F(DecisionTest, PolicyEntriesSetGroupFilteringAndAuthentication)
{
    group(1).MessageFlag = 1;
    cnf->ipDataList.SetDataFromLine("127.0.0.1;kids;0");
    EXPECT_EQ(decide(get("http://kids-blocked.example/")), (Outcome{Action::Page, 902, 403, true, true, 1}));
    EXPECT_EQ(lastUrl, "http://kids-blocked.example/");

    // An exempt range passes even a blocked category, unfiltered.
    cnf->ipDataList.clear();
    cnf->ipDataList.SetDataFromLine("127.0.0.1");
    EXPECT_EQ(decide(get("http://adult.example/")), relay(false, false));

    // The range's authentication mode replaces the global one.
    cnf->ipDataList.clear();
    cnf->ipDataList.SetDataFromLine("127.0.0.1;kids;1");
    EXPECT_EQ(decide(get("http://h/")), (Outcome{Action::Page, 407, 407, true, true, 1}));
}

TEST_F(DecisionTest, AccountsChooseTheGroupAndRefusedOnesFallBackToTheDefault)
{
    // Missing and wrong credentials, and the settings host, are refused end to end.
    cnf->zpfAuthorization = static_cast<int>(AuthMode::Required);
    group(1).MessageFlag = 1;
    cnf->passWordData.accounts = {CPassWord("free:open:1;kids"), CPassWord("kid:pw:2;kids")};
    EXPECT_EQ(decide("BAD\r\n\r\n"), (Outcome{Action::Page, 400, 400})); // the request line comes first
    EXPECT_EQ(decide(get("http://adult.example/", credentials("free:open"))), relay(false, false, 1));
    EXPECT_EQ(decide(get("http://adult.example/", credentials("kid:pw"))),
              (Outcome{Action::Page, 902, 403, true, true, 1}));
    // Optional: refused credentials are filtered as the default group, none as the range's.
    group(0).MessageFlag = 1;
    cnf->ipDataList.SetDataFromLine("127.0.0.1;kids;2");
    EXPECT_EQ(decide(get("http://adult.example/", credentials("kid:no"))), (Outcome{Action::Page, 902, 403}));
    EXPECT_EQ(decide(get("http://adult.example/")), (Outcome{Action::Page, 902, 403, true, true, 1}));
}

TEST_F(DecisionTest, BlockAndLogSwitches)
{
    // Defaults: Block 1, BlockLog 1, MessageFlag 0: a silent end, logged.
    EXPECT_EQ(decide(get("http://adult.example/a,b")), (Outcome{Action::End}));
    group(0).MessageFlag = 1;
    group(0).MessageCode = 1;
    EXPECT_EQ(decide(get("http://adult.example/")), (Outcome{Action::Page, 902, 200}));
    EXPECT_EQ(decide(get("http://user-blocked.example/x")), (Outcome{Action::Page, 902, 200}));
    EXPECT_EQ(decide(get("http://h.example/setup.xxx")), (Outcome{Action::Page, 905, 200}));
    EXPECT_EQ(decide(get("http://h.example/a.zip")), (Outcome{Action::Page, 905, 200}));
    // Other spellings of a blocked URL or extension are blocked as well, logged as sent.
    EXPECT_EQ(decide(get("http://h.example/setup.xxx?x=1")), (Outcome{Action::Page, 905, 200}));
    EXPECT_EQ(decide(get("http://Adult.Example./ok/..//%73ecret")), (Outcome{Action::Page, 902, 200}));
    EXPECT_EQ(decide(get("ftp://adult.example/f")), (Outcome{Action::Page, 902, 200}));
    EXPECT_EQ(decide(get("http://h.example/")), relay());
    // Nothing here speaks ftp: without an ftp proxy a passed ftp request gets a page.
    EXPECT_EQ(decide(get("ftp://h.example/f")), (Outcome{Action::Page, 400, 400}));

    // Block off, BlockLog on: passes but leaves the block line.
    group(0).Block = 0;
    EXPECT_EQ(decide(get("http://adult.example/logged")), relay());
    // Both off: nothing inspected at all.
    group(0).BlockLog = 0;
    EXPECT_EQ(decide(get("http://adult.example/quiet")), relay(false, false));
    // The master switch turns every group's switches off.
    group(0).Block = group(0).BlockLog = 1;
    cnf->Filtering = 0;
    EXPECT_EQ(decide(get("http://adult.example/off")), relay(false, false));

    EXPECT_EQ(log(), (std::vector<std::string>{"127.0.0.1,http://adult.example/a%2Cb,(URL Block),,101",
                                               "127.0.0.1,http://adult.example/,(URL Block),,101",
                                               "127.0.0.1,http://user-blocked.example/x,(URL Block),,1",
                                               "127.0.0.1,http://h.example/setup.xxx,(Extension Block),,101",
                                               "127.0.0.1,http://h.example/a.zip,(Extension Block),,1",
                                               "127.0.0.1,http://h.example/setup.xxx?x=1,(Extension Block),,101",
                                               "127.0.0.1,http://Adult.Example./ok/..//%73ecret,(URL Block),,101",
                                               "127.0.0.1,ftp://adult.example/f,(URL Block),,101",
                                               "127.0.0.1,http://adult.example/logged,(URL Block),,101"}))
        << dir.readBytes("zpf.log");
}

TEST_F(DecisionTest, ExemptionsTurnInspectionOff)
{
    EXPECT_EQ(decide(get("http://nofilter.example/a")), relay(false, false));
    EXPECT_EQ(decide(get("http://up.example/a")), relay(false, true));
    EXPECT_EQ(decide(get("http://down.example/a")), relay(true, false));
    group(0).UserNoFilteringURL = 0;
    EXPECT_EQ(decide(get("http://nofilter.example/a")), relay());
    // A category set to pass: exactly one such category matching turns both off.
    // (Only categories some group uses are loaded.)
    group(0).categoryStatus[2] = static_cast<int>(CategoryStatus::Pass);
    db.Clear();
    db.Load(true);
    EXPECT_EQ(decide(get("http://study.example/")), relay(false, false));
}

TEST_F(DecisionTest, ScheduleComesBeforeTheUrlChecks)
{
    group(0).MessageFlag = 1;
    schedule(0, "cut;");
    EXPECT_EQ(decide(get("http://adult.example/")), (Outcome{Action::Page, 907, 403}));
    schedule(0, "off;");
    EXPECT_EQ(decide(get("http://adult.example/")), relay(false, false));
    EXPECT_TRUE(log().empty());
}

TEST_F(DecisionTest, AccessControlListsAndTunnels)
{
    group(0).MessageFlag = 1;
    group(0).UserAccessControlURL = 1;
    EXPECT_EQ(decide(get("http://pass.example/a")), relay());
    EXPECT_EQ(decide(get("http://other.example/")), (Outcome{Action::Page, 903, 403}));
    group(0).AccessControlURL = 1;
    EXPECT_EQ(decide(get("http://allowed.example/")), relay());
    group(0).UserAccessControlURL = 0;
    EXPECT_EQ(decide(get("http://pass.example/")), (Outcome{Action::Page, 903, 403}));
    // A tunnel is subject to it and to the URL blocks, on "https://host" and on "host/",
    // and reaches only the ports ConnectPorts lists.
    EXPECT_EQ(decide("CONNECT other.example:443 HTTP/1.1\r\n\r\n"), (Outcome{Action::Page, 903, 403}));
    EXPECT_EQ(lastUrl, "https://other.example");
    EXPECT_EQ(decide("CONNECT allowed.example:443 HTTP/1.1\r\n\r\n"), relay());
    group(0).AccessControlURL = 0;
    EXPECT_EQ(decide("CONNECT secure-adult.example:443 HTTP/1.1\r\n\r\n"), (Outcome{Action::Page, 902, 403}));
    EXPECT_EQ(decide("CONNECT adult.example:443 HTTP/1.1\r\n\r\n"), (Outcome{Action::Page, 902, 403}));
    EXPECT_EQ(decide("CONNECT h.example:80 HTTP/1.1\r\n\r\n"), (Outcome{Action::Page, 902, 403}));
    cnf->ConnectPorts = "443, 80";
    EXPECT_EQ(decide("CONNECT h.example:80 HTTP/1.1\r\n\r\n"), relay());
    cnf->ConnectPorts = "443";
    group(0).MessageFlag = 0;
    group(0).AccessControlURL = 1;
    EXPECT_EQ(decide(get("http://elsewhere.example/")), (Outcome{Action::End}));
    const auto lines = log();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "127.0.0.1,http://other.example/,(Access Control),");
    EXPECT_EQ(lines[5], "127.0.0.1,https://h.example,(Port Block),");
}

} // namespace
