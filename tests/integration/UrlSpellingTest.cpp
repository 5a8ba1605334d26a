// Attacks on the URL lookups against the installed zpf with nginx behind it: other
// spellings of a blocked URL, tunnels and ftp requests. nginx's own access log tells
// what got through.
// Then attacks on what reaches the server: a second request behind the checked one,
// header forms the server reads otherwise than the proxy, a Host line naming another
// site, repeated Accept-Encoding lines, and IPv6 literals.
// Last, responses a hostile server shapes to slip a phrase past the scan or a bound:
// compressed bodies despite the request for a plain one, bombs, unreadable codings,
// script and data types, bodies of unknown length; the installed zpf runs with the
// shipped sample database there.
#include <gtest/gtest.h>

#include "ServerFixtures.h"
#include "ZpfProcess.h"
#include "support/Compress.h"
#include "support/ScriptedServer.h"

namespace {
using zpftest::NginxOrigin;

class UrlSpellingTest : public zpftest::NginxTest {
protected:
    void SetUp() override
    {
        NginxTest::SetUp();
        zpf.setSetting("AccessLog", "1");
    }
    std::string get(const std::string& url) const
    {
        return zpf.raw("GET " + url + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    /// The answer is page number with status.
    void expectPage(const std::string& answer, int number, int status) const
    {
        EXPECT_EQ(answer.substr(8, 5), " " + std::to_string(status) + " ") << answer;
        EXPECT_NE(answer.find(zpf.page(number)), std::string::npos) << answer;
    }
    /// nginx's log once a request that passes has reached it: nothing before it may
    /// have come through either.
    std::string originLogAfterMarker() const
    {
        get(origin("/page.html?marker"));
        EXPECT_TRUE(nginx->WaitForLog("access.log", "/page.html?marker"));
        return nginx->Log("access.log");
    }
    size_t logged(const std::string& text) const
    {
        const std::string log = zpf.readBytes("zpf.log");
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }
};

TEST_F(UrlSpellingTest, EverySpellingOfABlockedUrlIsBlockedAndLogged)
{
    zpf.serve();
    const std::string port = std::to_string(nginx->port);
    const struct {
        std::string url;
        int page;
        int status;
    } rows[] = {
        {origin("/%62locked/page.html"), 902, 403},
        {origin("//blocked/page.html"), 902, 403},
        {origin("/raw/../blocked/page.html"), 902, 403},
        {origin("/raw/%2e%2e/blocked/page.html"), 902, 403},
        {"http://127.1:" + port + "/blocked/page.html", 902, 403},
        {"http://2130706433:" + port + "/blocked/page.html", 902, 403},
        {"http://0177.0.0.1:" + port + "/blocked/page.html", 902, 403},
        {"http://0x7f.0.0.1:" + port + "/blocked/page.html", 902, 403},
        {"http://127.000.000.001:" + port + "/blocked/page.html", 902, 403},
        {"http://Adult.Example./page.html", 902, 403},
        {"ftp://" + authority() + "/blocked/page.html", 902, 403},
        {origin("/setup.xxx-sample?x=1"), 905, 403},
        {origin("/setup.xxx-sampl%65"), 905, 403},
        // Nothing here speaks ftp: without an ftp proxy even a passed request gets a page.
        {"ftp://" + authority() + "/page.html", 400, 400},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        expectPage(get(row.url), row.page, row.status);
    }
    EXPECT_EQ(logged(",(URL Block),,101"), 11u) << zpf.readBytes("zpf.log");
    EXPECT_EQ(logged(",(Extension Block),,101"), 2u);
    const std::string served = originLogAfterMarker();
    EXPECT_EQ(served.find("blocked"), std::string::npos) << served;
    EXPECT_EQ(served.find("xxx-sampl"), std::string::npos) << served;
    EXPECT_EQ(served.find("GET /page.html "), std::string::npos) << served;
}

TEST_F(UrlSpellingTest, TunnelsGoOnlyToAllowedPortsAndSites)
{
    zpf.setSetting("UserAccessControlURL", "1");
    zpf.writeBytes("passurl.fdb", "\r\nadult.example/\r\n127.0.0.1/\r\n");
    zpf.serve();
    // The key "adult.example/" holds for the tunnel's host.
    expectPage(zpf.raw("CONNECT adult.example:443 HTTP/1.1\r\n\r\n"), 902, 403);
    // Plain HTTP through a tunnel to the server's own port would pass every check.
    expectPage(zpf.raw("CONNECT " + authority() + " HTTP/1.1\r\n\r\nGET /blocked/page.html HTTP/1.0\r\n\r\n"), 902,
               403);
    // A site outside the access list is not reached through a tunnel either.
    expectPage(zpf.raw("CONNECT localhost:443 HTTP/1.1\r\n\r\n"), 903, 403);
    EXPECT_EQ(logged(",https://localhost,(Access Control),"), 1u);
    EXPECT_EQ(logged(",https://adult.example,(URL Block),,101"), 1u) << zpf.readBytes("zpf.log");
    EXPECT_EQ(logged(",https://127.0.0.1,(Port Block),"), 1u);
    const std::string served = originLogAfterMarker();
    EXPECT_EQ(served.find("blocked"), std::string::npos) << served;
    EXPECT_EQ(served.find("CONNECT"), std::string::npos) << served;
}

TEST_F(UrlSpellingTest, TunnelsCarryTheirFirstBytesAndAreLogged)
{
    zpf.setSetting("ConnectPorts", "443, " + std::to_string(nginx->port));
    zpf.serve();
    const std::string answer =
        zpf.raw("CONNECT " + authority() + " HTTP/1.1\r\n\r\nGET /page.html?early HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 37), "HTTP/1.0 200 Connection established\r\n") << answer;
    EXPECT_NE(answer.find(NginxOrigin::PhrasePage()), std::string::npos) << answer;
    EXPECT_TRUE(nginx->WaitForLog("access.log", "\"GET /page.html?early HTTP/1.0\" 200"));
    EXPECT_EQ(logged(",https://127.0.0.1,(Access Log),"), 1u) << zpf.readBytes("zpf.log");
}

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

using zpftest::Brotli;
using zpftest::Deflated;
using zpftest::Fetch;

const std::string kBlockPage = "<html><body><p>Some text and a zpf-sample-adult-phrase here.</p></body></html>\n";
const std::string kBlankPage = "<html><body><p>Before zpf-sample-blank after.</p></body></html>\n";
const std::string kBlanked = "<html><body><p>Before " + std::string(16, ' ') + " after.</p></body></html>\n";

/// A server that answers every request with header lines and body, whatever it was asked.
zpftest::ScriptedServer::Script answer(const std::string& headerLines, const std::string& body)
{
    return zpftest::Answer("HTTP/1.1 200 OK\r\n" + headerLines + "\r\n" + body);
}

std::string withLength(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n"; }

class ScannedBodyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zpftest::FindProgram("curl").empty())
            GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    }
    /// Fetches path from a server running script, asking for compressed bodies as a browser does.
    Fetch fetch(const zpftest::ScriptedServer::Script& script, const std::string& path)
    {
        zpftest::ScriptedServer server(script);
        return zpf.curl(
            {"-H", "Accept-Encoding: gzip, deflate, br", "http://127.0.0.1:" + std::to_string(server.port) + path});
    }

    zpftest::InstalledZpf zpf;
};

TEST_F(ScannedBodyTest, ShapedResponsesAreScannedOrRefused)
{
    zpf.setSetting("AccessLog", "1");
    zpf.setSetting("DownloadSize", "100000");
    zpf.serve();
    const std::string html = "Content-Type: text/html\r\n";
    const std::string big(300000, 'b');
    struct Row {
        std::string path;
        std::string headerLines;
        std::string body;
        int page; // the page the client gets, or 0
        std::string expect; // else the body the client gets
    };
    const std::vector<Row> rows = {
        {"/gzip", html + "Content-Encoding: gzip\r\n" + withLength(Deflated(kBlockPage, 31)), Deflated(kBlockPage, 31),
         901, ""},
        {"/zlib", html + "Content-Encoding: deflate\r\n", Deflated(kBlockPage, 15), 901, ""},
        {"/br", html + "Content-Encoding: br\r\n", Brotli(kBlockPage), 901, ""},
        // A second coding line, and one folded onto the next line, still count.
        {"/second", html + "Content-Encoding: identity\r\nContent-Encoding: gzip\r\n", Deflated(kBlockPage, 31), 901,
         ""},
        {"/folded", "Content-Encoding:\r\n gzip\r\n" + html, Deflated(kBlockPage, 31), 901, ""},
        // Script and data types are scanned like pages.
        {"/json", "Content-Type: Application/JSON; charset=utf-8\r\n", kBlockPage, 901, ""},
        {"/js", "Content-Type: application/javascript\r\nContent-Encoding: br\r\n", Brotli(kBlockPage), 901, ""},
        // Codings that cannot be read are refused, not passed unscanned.
        {"/zstd", html + "Content-Encoding: zstd\r\n", kBlockPage, 901, ""},
        {"/stacked", html + "Content-Encoding: gzip, gzip\r\n", Deflated(Deflated(kBlockPage, 31), 31), 901, ""},
        {"/corrupt", html + "Content-Encoding: gzip\r\n", kBlockPage, 901, ""},
        // A clean page arrives decoded, its header without the coding and the old length.
        {"/blank", html + "Content-Encoding: gzip\r\n" + withLength(Deflated(kBlankPage, 31)), Deflated(kBlankPage, 31),
         0, kBlanked},
        // Types that are not scanned keep their coding.
        {"/image", "Content-Type: image/png\r\nContent-Encoding: gzip\r\n", Deflated(kBlockPage, 31), 0,
         Deflated(kBlockPage, 31)},
        // Only an announced length over DownloadSize is refused up front; other bodies
        // are cut at that many bytes, decoded ones too.
        {"/announced", html + withLength(big), big, 906, ""},
        {"/exact", html, big.substr(0, 100000), 0, big.substr(0, 100000)},
        {"/unknown", html, big, 0, big.substr(0, 100000)},
        {"/gzip-big", html + "Content-Encoding: gzip\r\n", Deflated(big, 31), 0, big.substr(0, 100000)},
    };
    for (const Row& r : rows) {
        const Fetch f = fetch(answer(r.headerLines, r.body), r.path);
        EXPECT_EQ(f.code, r.page ? "403" : "200") << r.path;
        EXPECT_TRUE(f.body == (r.page ? zpf.page(r.page) : r.expect)) << r.path << ": " << f.body.substr(0, 200);
        if (!r.page && r.path != "/image") {
            EXPECT_EQ(f.headers.find("Content-Encoding"), std::string::npos) << r.path << f.headers;
            EXPECT_EQ(f.headers.find("Content-Length"), std::string::npos) << r.path << f.headers;
        }
    }
    const std::string log = zpf.readBytes("zpf.log");
    for (const char* path : {"/gzip", "/zlib", "/br", "/second", "/folded", "/json", "/js"})
        EXPECT_NE(log.find(std::string(path) + ",zpf-sample,,101\r\n"), std::string::npos) << path << "\n" << log;
    for (const char* path : {"/zstd", "/stacked", "/corrupt"})
        EXPECT_NE(log.find(std::string(path) + ",(Encoding Block),"), std::string::npos) << path << "\n" << log;
}

TEST_F(ScannedBodyTest, BombsStopAtTheBound)
{
    // 70 MiB of text from 70 KB: the fixed bound cuts it at 64 MiB.
    const std::string bomb = Deflated(std::string(70u << 20, 'a'), 31);
    zpf.serve();
    Fetch f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body.size(), 64u << 20);
    EXPECT_EQ(f.body.find_first_not_of('a'), std::string::npos);

    // With the group scanning a part only, what the chain holds is bounded by that part:
    // nothing has gone out, so the client gets the page of a response too large.
    zpf.stopServing();
    zpf.setSetting("FilteringSize", "100000");
    zpf.serve();
    f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, zpf.page(906));
}

} // namespace
