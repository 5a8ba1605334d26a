// Attacks on what reaches the server: a second request behind the checked one, header
// forms the server reads otherwise than the proxy, a Host line naming another site,
// repeated Accept-Encoding lines, and IPv6 literals. nginx's access log is the judge
// wherever it can tell.
#include <gtest/gtest.h>

#include "ServerFixtures.h"
#include "ZpfProcess.h"
#include "support/ScriptedServer.h"

namespace {

class OneRequestTest : public zpftest::NginxTest {
protected:
    static void SetUpTestSuite() { StartNginx(true); }
    void SetUp() override
    {
        NginxTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            zpf.serve();
    }
    std::string access() const { return nginx->Log("access.log"); }
};

TEST_F(OneRequestTest, NoSecondRequestRidesBehindTheCheckedOne)
{
    const std::string smuggled = "GET /blocked/page.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    const std::string start = "http://" + authority() + "/page.html HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    struct Row {
        std::string attack, answer; // the answer's start; the proxy's page 400 has bare line feeds
    };
    const std::string refused = "HTTP/1.1 400 Bad Request\n";
    const std::vector<Row> rows = {
        {"HEAD " + start + "Connection: keep-alive\r\nConnection: keep-alive\r\n\r\n" + smuggled,
         "HTTP/1.1 200 OK\r\n"},
        {"POST " + start +
             "Content-Length: 2\r\nKeep-Alive: 60\r\nProxy-Connection: keep-alive\r\n\r\nokGET /blocked/"
             "page.html HTTP/1.1\r\n\r\n",
         "HTTP/1.1 405 Not Allowed\r\n"},
        // Each of these the server would read otherwise than the proxy: never sent.
        {"GET " + start + "Connection: keep-alive\r\r\n" + smuggled, refused},
        {"GET " + start + "X: a\rConnection: keep-alive\r\n\r\n" + smuggled, refused},
        {"POST " + start + "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + smuggled, refused},
        {"POST " + start + "Content-Length: 0\r\nContent-Length: " + std::to_string(smuggled.size()) + "\r\n\r\n" +
             smuggled,
         refused},
    };
    for (const Row& r : rows) {
        const size_t logged = access().size();
        const std::string answer = zpf.raw(r.attack);
        EXPECT_EQ(answer.substr(0, r.answer.size()), r.answer) << r.attack;
        // nginx may log a request only after its answer went out.
        if (r.answer == refused) {
            EXPECT_EQ(access().size(), logged) << r.attack;
        } else {
            EXPECT_TRUE(zpftest::WaitUntil([&] { return access().size() > logged; })) << r.attack;
        }
    }
    const std::string log = access();
    EXPECT_NE(log.find("\"HEAD /page.html HTTP/1.0\" 200"), std::string::npos) << log;
    EXPECT_EQ(log.find("/blocked/"), std::string::npos) << log;

    // Asked for as itself, the path is blocked and logged.
    EXPECT_NE(zpf.raw("GET http://" + authority() + "/blocked/page.html HTTP/1.1\r\n\r\n").find(" 403 "),
              std::string::npos);
    EXPECT_TRUE(zpf.waitForText("zpf.log", ",http://127.0.0.1/blocked/page.html,(URL Block)"));
    EXPECT_EQ(access().find("/blocked/"), std::string::npos);
}

TEST_F(OneRequestTest, TheServerServesTheHostThatWasChecked)
{
    const zpftest::Fetch f = zpf.curl({"-H", "Host: adult.example", "http://" + authority() + "/page.html"});
    EXPECT_EQ(f.code, "200");
    zpf.raw("GET http://" + authority() + "/page.html HTTP/1.1\r\nHost: adult.example\r\nhost: adult.example\r\n\r\n");
    const std::string log = access();
    EXPECT_NE(log.find("\"GET /page.html HTTP/1.0\" 200 host=" + authority() + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("adult.example"), std::string::npos) << log;
}

TEST_F(OneRequestTest, ASecondAcceptEncodingLineDoesNotReachTheServer)
{
    // nginx heeds the first line only, so a server that heeds them all takes its place.
    zpftest::Requests seen;
    zpftest::ScriptedServer server(
        zpftest::Answer("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2\r\n\r\nok", &seen));
    zpf.raw("GET http://127.0.0.1:" + std::to_string(server.port) +
            "/ HTTP/1.1\r\nAccept-Encoding: gzip\r\naccept-encoding: br\r\n\r\n");
    const std::string request = seen[0];
    EXPECT_NE(request.find("\r\nAccept-Encoding: identity\r\n"), std::string::npos) << request;
    EXPECT_EQ(request.find("gzip"), std::string::npos) << request;
    EXPECT_EQ(request.find(": br"), std::string::npos) << request;
}

TEST_F(OneRequestTest, IPv6LiteralsAreServed)
{
    const std::string url = "http://[::1]:" + std::to_string(nginx->port) + "/page.html";
    const zpftest::Fetch f = zpf.curl({"-g", url});
    EXPECT_EQ(f.code, "200");
    EXPECT_NE(f.body.find("Before"), std::string::npos) << f.body;
    EXPECT_EQ(f.body.find("zpf-sample-blank"), std::string::npos) << f.body;
    const std::string log = access();
    EXPECT_NE(log.find("::1 \"GET /page.html HTTP/1.0\" 200 host=[::1]:" + std::to_string(nginx->port)),
              std::string::npos)
        << log;
}

} // namespace
