// The installed zpf end to end with real peers: nginx as the origin, squid with Basic
// authentication as the upstream proxy, curl and headless Chromium as clients, and
// scripted servers for faulty answers. Everything runs on loopback ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "ServerFixtures.h"
#include "ZpfProcess.h"
#include "support/ScriptedServer.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using zpftest::Fetch;
using zpftest::NginxOrigin;
using zpftest::SquidProxy;

class ProxyFlowTest : public zpftest::NginxTest {
protected:
    static void TearDownTestSuite()
    {
        NginxTest::TearDownTestSuite();
        delete squid;
        squid = nullptr;
    }
    /// squid is started by the first test that needs it (each takes a second or two).
    static SquidProxy* upstream()
    {
        if (!squid) {
            squid = new SquidProxy;
            squid->Start();
        }
        return squid;
    }
    /// Serves the program directory with the network edition's library.
    void networkEdition()
    {
        std::error_code ec;
        std::filesystem::copy_file(zpf.file("libravlin_other.so"), zpf.file("libravlin.so"),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    bool zpfRunning() { return ::kill(zpf.serving, 0) == 0 && ::waitpid(zpf.serving, nullptr, WNOHANG) == 0; }
    Fetch curl(const std::vector<std::string>& args, int maxSeconds = 20) { return zpf.curl(args, maxSeconds); }

    inline static SquidProxy* squid = nullptr;
};

TEST_F(ProxyFlowTest, PagesOfEachKindPass)
{
    zpf.writeBytes("nofilter.fdb", "\r\n127.0.0.1/raw/\r\n");
    zpf.serve();

    Fetch f = curl({origin("/page.html")});
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage(true));

    f = curl({origin("/image.png")});
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body, NginxOrigin::ImageBytes()); // images are never scanned

    f = curl({origin("/large.html")});
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.body, NginxOrigin::LargePage());

    // Without a length the response runs until the server closes.
    f = curl({origin("/ssi/page.html")});
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.headers.find("Content-Length"), std::string::npos) << f.headers;
    EXPECT_EQ(f.body, "<html><body><p>" + std::string(16, ' ') + " /ssi/page.html</p></body></html>\n");

    // A 304 ends with its header, while the server would keep the connection.
    auto start = Clock::now();
    f = curl({"-z", "Sat, 01 Jan 2050 00:00:00 GMT", origin("/page.html")});
    EXPECT_EQ(f.code, "304");
    EXPECT_LT(zpftest::MsSince(start), 5000);

    // A scanned page is asked for uncompressed; an exempt one keeps the client's wish.
    f = curl({"-H", "Accept-Encoding: gzip, br", origin("/page.html")});
    EXPECT_EQ(f.headers.find("Content-Encoding"), std::string::npos) << f.headers;
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage(true));
    f = curl({"-H", "Accept-Encoding: gzip", origin("/raw/page.html")});
    EXPECT_NE(f.headers.find("Content-Encoding: gzip"), std::string::npos) << f.headers;
    f = curl({"--compressed", origin("/raw/page.html")});
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage());

    // The server got origin-form HTTP/1.0 requests.
    const std::string access = nginx->Log("access.log");
    EXPECT_NE(access.find("\"GET /page.html HTTP/1.0\" 200"), std::string::npos) << access;
    EXPECT_NE(access.find("\"GET /raw/page.html HTTP/1.0\" 200"), std::string::npos) << access;
}

TEST_F(ProxyFlowTest, BlocksAnswerWithTheirPagesAndAreLogged)
{
    zpf.setSetting("AccessLog", "1");
    zpf.serve();
    struct Row {
        std::vector<std::string> args;
        int page;
    };
    // URL and extension blocks of every spelling are run by the URL spelling tests.
    const std::vector<Row> rows = {
        {{origin("/blockphrase.html")}, 901},
        {{"--data-binary", "first zpf-sample-upload-word last", origin("/post")}, 904},
    };
    for (const Row& r : rows) {
        const Fetch f = curl(r.args);
        EXPECT_EQ(f.code, "403") << r.args.back();
        EXPECT_EQ(f.body, zpf.page(r.page)) << r.args.back();
    }
    const std::string log = zpf.readBytes("zpf.log");
    for (const char* line :
         {",http://127.0.0.1/blockphrase.html,zpf-sample,,101", ",http://127.0.0.1/post,zpf-sample,,101",
          ",http://127.0.0.1/blockphrase.html,(Access Log),"})
        EXPECT_NE(log.find(std::string(line) + "\r\n"), std::string::npos) << line << "\n" << log;
}

TEST_F(ProxyFlowTest, PostBodiesInSeveralPacketsArriveWhole)
{
    zpf.serve();
    std::string body;
    for (int i = 0; body.size() < 200000; ++i)
        body += "field" + std::to_string(i) + "=value&";
    zpf.writeBytes("post.bin", body);
    Fetch f = curl({"-H", "Expect:", "--data-binary", "@" + zpf.file("post.bin"), origin("/post")});
    EXPECT_EQ(f.body, "received " + std::to_string(body.size()) + " bytes\n");

    // Header and body in separate packets, the body itself in three.
    zpftest::Requests seen;
    zpftest::ScriptedServer server(
        zpftest::Answer("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok", &seen));
    auto s = platform::ConnectTcp("127.0.0.1", zpf.port, 2000);
    const std::string head = "POST http://127.0.0.1:" + std::to_string(server.port) +
                             "/form HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 3000\r\n\r\n";
    platform::SendAll(s, head.data(), head.size(), 2000);
    for (char c : {'a', 'b', 'c'}) {
        std::this_thread::sleep_for(50ms);
        const std::string part(1000, c);
        platform::SendAll(s, part.data(), part.size(), 2000);
    }
    const std::string answer = zpftest::ReadUntilClose(s);
    platform::CloseSocket(s);
    EXPECT_NE(answer.find("\r\n\r\nok"), std::string::npos) << answer;
    EXPECT_EQ(seen[0], "POST /form HTTP/1.0\r\nContent-Type: text/plain\r\nContent-Length: 3000\r\n"
                       "Connection: close\r\nHost: 127.0.0.1:" +
                           std::to_string(server.port) + "\r\nAccept-Encoding: identity\r\n\r\n" +
                           std::string(1000, 'a') + std::string(1000, 'b') + std::string(1000, 'c'));
}

TEST_F(ProxyFlowTest, SizeLimitsOfTheGroup)
{
    zpf.setSetting("DownloadSize", "100000");
    zpf.setSetting("ConnectPorts", std::to_string(nginx->port));
    zpf.serve();
    Fetch f = curl({origin("/large.html")});
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, zpf.page(906));
    f = curl({origin("/page.html")});
    EXPECT_EQ(f.code, "200");

    // A tunnel is cut after that many bytes from the server.
    f = curl({"-p", origin("/large.html")});
    EXPECT_NE(f.exit, 0);
    EXPECT_GT(f.body.size(), 90000u);
    EXPECT_LT(f.body.size(), 100000u);
    EXPECT_EQ(NginxOrigin::LargePage().compare(0, f.body.size(), f.body), 0);
}

TEST_F(ProxyFlowTest, ConnectTunnelsCarryBytesUnchanged)
{
    const unsigned closedPort = zpftest::FreeLoopbackPort();
    zpf.setSetting("ConnectPorts", std::to_string(nginx->port) + "," + std::to_string(closedPort));
    zpf.serve();
    // Inside a tunnel nothing is scanned, so the phrase stays.
    Fetch f = curl({"-p", origin("/page.html")});
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage());
    EXPECT_NE(f.headers.find("HTTP/1.0 200 Connection established\r\nProxy-agent: ZPF HTTPS Proxy\r\n\r\n"),
              std::string::npos)
        << f.headers;

    // A port nobody listens on: the connection just closes.
    const auto start = Clock::now();
    f = curl({"-p", "http://127.0.0.1:" + std::to_string(closedPort) + "/"});
    EXPECT_NE(f.exit, 0);
    EXPECT_LT(zpftest::MsSince(start), 5000);
    EXPECT_TRUE(zpfRunning());
}

TEST_F(ProxyFlowTest, UpstreamProxyWithBasicAuthenticationAndWrongCredentials)
{
    SquidProxy* squid = upstream();
    if (squid->missing)
        GTEST_SKIP() << "squid is not installed (tools/deps.sh installs it)";
    ASSERT_TRUE(squid->Ready()) << squid->failure << squid->Log("cache.log");
    zpf.setSetting("Proxy", "127.0.0.1");
    zpf.setSetting("ProxyPort", std::to_string(squid->port));
    zpf.setSetting("ProxyUsername", SquidProxy::kUser);
    zpf.setSetting("ProxyPassword", SquidProxy::kPassword);
    zpf.setSetting("ConnectPorts", std::to_string(nginx->port));
    zpf.serve();

    // Filtering still happens here; the upstream proxy fetches.
    Fetch f = curl({origin("/page.html")});
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage(true));
    // ftp URLs go to the same proxy (the FTP fallback); nothing serves FTP there.
    f = curl({"ftp://127.0.0.1:1/file.txt"});
    EXPECT_EQ(f.code.substr(0, 1), "5") << f.code;
    // A tunnel through the upstream proxy: its own answer reaches the client.
    f = curl({"-p", origin("/page.html")});
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage());
    EXPECT_EQ(f.headers.find("ZPF HTTPS Proxy"), std::string::npos) << f.headers;

    const std::string page = origin("/page.html").substr(7);
    const std::vector<std::string> lines = {" GET http://" + page + " up ", " GET ftp://127.0.0.1:1/file.txt up ",
                                            " CONNECT 127.0.0.1:" + std::to_string(nginx->port) + " up "};
    for (const std::string& line : lines)
        EXPECT_TRUE(squid->WaitForLog("access.log", line)) << line << "\n" << squid->Log("access.log");

    // Wrong credentials: the upstream proxy's refusal reaches the client.
    zpf.stopServing();
    zpf.setSetting("ProxyPassword", "wrong");
    zpf.serve();
    EXPECT_EQ(curl({origin("/page.html")}).code, "407");
}

TEST_F(ProxyFlowTest, ClientAuthenticationAndAddressLists)
{
    networkEdition();
    zpf.setSetting("zpfAuthorization", "1");
    zpf.writeBytes("passwd", "kid:pw:2;\r\nfree:open:1;\r\n");
    zpf.serve();
    Fetch f = curl({origin("/page.html")});
    EXPECT_EQ(f.code, "407");
    EXPECT_NE(f.headers.find("Proxy-Authenticate: Basic realm=\"Vantrel filtering server\""), std::string::npos);
    f = curl({"--proxy-user", "kid:pw", origin("/page.html")});
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage(true));
    f = curl({"--proxy-user", "free:open", origin("/page.html")});
    EXPECT_EQ(f.body, NginxOrigin::PhrasePage()); // an unfiltered account
    EXPECT_EQ(curl({"--proxy-user", "kid:wrong", origin("/page.html")}).code, "407");
    EXPECT_EQ(curl({"-H", "Proxy-Authorization: Basic !!!*not base64*", origin("/page.html")}).code, "407");
    EXPECT_EQ(curl({"-H", "Proxy-Authorization: Basic " + std::string(10240, 'A'), origin("/page.html")}).code, "407");
    EXPECT_TRUE(zpfRunning());
    zpf.stopServing();

    // Optional authentication: only the settings host asks for it.
    zpf.setSetting("zpfAuthorization", "2");
    zpf.serve();
    EXPECT_EQ(curl({origin("/page.html")}).code, "200");
    EXPECT_EQ(curl({"http://filterset/"}).code, "407");
    f = curl({"--proxy-user", "kid:pw", "http://filterset/"});
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body, zpf.page(970));
    zpf.stopServing();

    // Only listed client addresses are served.
    zpf.setSetting("zpfAuthorization", "0");
    zpf.writeBytes("iplist.cnf", "127.0.0.1\r\n");
    zpf.serve();
    EXPECT_EQ(curl({origin("/page.html")}).code, "200");
    f = curl({"--interface", "127.0.0.2", origin("/page.html")});
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, zpf.page(960));
}

TEST_F(ProxyFlowTest, FaultyServersAndClientsNeverHangOrCrashTheProxy)
{
    zpf.serve();
    const std::string hugeHeader = "HTTP/1.1 200 OK\r\nX-Big: " + std::string(600000, 'h') + "\r\n\r\nbody";
    struct Row {
        std::string name;
        std::function<void(platform::SocketHandle)> script;
        std::string expectCode; // "000": no answer at all; empty: whatever curl makes of it
    };
    const std::vector<Row> rows = {
        {"header over the receive buffer", zpftest::Answer(hugeHeader), "000"},
        {"length abc", zpftest::Answer("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nxyz"), ""},
        {"twenty digits", zpftest::Answer("HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890\r\n\r\nxyz"), ""},
        {"no HTTP/ in the status line", zpftest::Answer("XTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nxyz"),
         "000"},
        {"chunked", zpftest::Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"),
         "200"},
        {"nothing", [](platform::SocketHandle c) { zpftest::ReadHttpRequest(c); }, "000"},
        {"reset",
         [](platform::SocketHandle c) {
             zpftest::ReadHttpRequest(c);
             zpftest::ResetConnection(c);
         },
         "000"},
    };
    for (const Row& r : rows) {
        zpftest::ScriptedServer server(r.script);
        const auto start = Clock::now();
        const Fetch f = curl({"http://127.0.0.1:" + std::to_string(server.port) + "/"}, 10);
        if (!r.expectCode.empty()) {
            EXPECT_EQ(f.code, r.expectCode) << r.name;
        }
        EXPECT_LT(zpftest::MsSince(start), 5000) << r.name;
        EXPECT_TRUE(zpfRunning()) << r.name;
    }

    // A server that answers nothing and keeps its connection: the client gives up, and
    // the proxy lets go of the server at once.
    platform::Event closed(true);
    zpftest::ScriptedServer silent([&](platform::SocketHandle c) {
        zpftest::ReadHttpRequest(c);
        if (platform::WaitReadable(c, 20000, nullptr) == platform::WaitStatus::Ready)
            closed.Set();
    });
    auto start = Clock::now();
    curl({"http://127.0.0.1:" + std::to_string(silent.port) + "/"}, 1);
    EXPECT_TRUE(closed.Wait(5000));
    EXPECT_LT(zpftest::MsSince(start), 8000);

    // A client that disappears in the middle of a large response.
    for (int i = 0; i < 3; ++i) {
        auto s = platform::ConnectTcp("127.0.0.1", zpf.port, 2000);
        const std::string request = "GET " + origin("/large.html") + " HTTP/1.1\r\n\r\n";
        platform::SendAll(s, request.data(), request.size(), 2000);
        char buf[1000];
        platform::WaitReadable(s, 5000, nullptr);
        platform::Receive(s, buf, sizeof buf);
        zpftest::ResetConnection(s);
        platform::CloseSocket(s);
    }
    EXPECT_TRUE(zpfRunning());
    EXPECT_EQ(curl({origin("/page.html")}).code, "200");
}

// A client that opens many connections with half a request header each holds only its
// share of the sessions; everybody else is served meanwhile, and so is that client once
// it lets go.
TEST_F(ProxyFlowTest, ClientHoldingHalfHeadersDeniesNobodyElse)
{
    constexpr int kShare = 8;
    constexpr int kOpened = 40;
    zpf.setSetting("MaxClientSession", std::to_string(kShare));
    zpf.serve();
    const std::string half = "GET " + origin("/page.html") + " HTTP/1.0\r\nUser-Agent: ha";
    std::vector<platform::SocketHandle> held;
    for (int i = 0; i < kOpened; ++i) {
        platform::SocketHandle s = platform::CreateTcpSocket();
        ASSERT_TRUE(platform::BindIpv4(s, {127, 0, 0, 5}, 0));
        ASSERT_TRUE(platform::ConnectIpv4(s, platform::kLoopbackAddress, zpf.port, 2000, nullptr));
        platform::SendAll(s, half.data(), half.size(), 2000);
        held.push_back(s);
    }
    // Beyond its share each connection is answered 503 at once; its share waits on.
    std::vector<bool> refused(held.size(), false);
    auto countRefused = [&] {
        for (size_t i = 0; i < held.size(); ++i) {
            if (!refused[i] && platform::WaitReadable(held[i], 0, nullptr) == platform::WaitStatus::Ready)
                refused[i] = zpftest::ReadUntilClose(held[i], 2000).rfind("HTTP/1.1 503 ", 0) == 0;
        }
        return std::count(refused.begin(), refused.end(), true);
    };
    EXPECT_TRUE(zpftest::WaitUntil([&] { return countRefused() == kOpened - kShare; }, 5000)) << countRefused();
    EXPECT_EQ(curl({"--interface", "127.0.0.2", origin("/page.html")}).code, "200");
    EXPECT_EQ(curl({"--interface", "127.0.0.5", origin("/page.html")}, 5).code, "503");
    for (platform::SocketHandle s : held)
        platform::CloseSocket(s);
    EXPECT_TRUE(zpftest::WaitUntil(
        [&] {
            return curl({"--interface", "127.0.0.5", origin("/page.html")}, 5).code == "200";
        },
        5000));
}

TEST_F(ProxyFlowTest, HeadlessBrowserSeesPagesBlocksAndBlanks)
{
    if (zpftest::FindProgram("chromium").empty())
        GTEST_SKIP() << "chromium is not installed (tools/deps.sh installs it)";
    // Whatever the browser asks for besides the test pages is refused here, so nothing
    // leaves this machine: plain requests outside the pass list, and every tunnel.
    zpf.setSetting("UserAccessControlURL", "1");
    zpf.writeBytes("passurl.fdb", "\r\n127.0.0.1/\r\nadult.example/\r\n");
    zpf.writeBytes("phrase.fdb", "\r\nhttps://\r\n");
    zpf.serve();
    const std::string profile = zpf.file("profile");

    std::string dom = zpftest::ChromiumDom(zpf.port, origin("/page.html"), profile);
    EXPECT_NE(dom.find("Before"), std::string::npos) << dom;
    EXPECT_NE(dom.find("after."), std::string::npos) << dom;
    EXPECT_EQ(dom.find("zpf-sample-blank"), std::string::npos) << dom;

    dom = zpftest::ChromiumDom(zpf.port, "http://adult.example/", profile);
    EXPECT_NE(dom.find("This page was blocked"), std::string::npos) << dom;
    EXPECT_NE(zpf.readBytes("zpf.log").find(",http://adult.example/,(URL Block),,101"), std::string::npos)
        << zpf.readBytes("zpf.log");
}

} // namespace
