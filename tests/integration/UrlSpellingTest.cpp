// Attacks on the URL lookups against the installed zpf with nginx behind it: other
// spellings of a blocked URL, tunnels and ftp requests. nginx's own access log tells
// what got through.
#include <gtest/gtest.h>

#include "ServerFixtures.h"
#include "ZpfProcess.h"
#include "support/RunProgram.h"
#include "support/ScriptedServer.h"

namespace {
using zpftest::InstalledZpf;
using zpftest::NginxOrigin;

constexpr const char* kTestCategory = "adult.example/\n"
                                      "127.0.0.1/blocked/\n"
                                      "*.xxx-sample\n"
                                      "*** End of filtering database. ***\n";

class UrlSpellingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        nginx = new NginxOrigin;
        nginx->Start();
    }
    static void TearDownTestSuite()
    {
        delete nginx;
        nginx = nullptr;
    }
    void SetUp() override
    {
        if (nginx->missing)
            GTEST_SKIP() << "nginx is not installed (tools/deps.sh installs it)";
        ASSERT_TRUE(nginx->Ready()) << nginx->failure << nginx->Log("error.log");
        zpf.setSetting("MessageFlag", "1");
        zpf.setSetting("AccessLog", "1");
        zpf.writeBytes("test-category.txt", kTestCategory);
        ASSERT_EQ(zpftest::RunZpfctl(zpf.path(), "cipher encode '" + zpf.file("test-category.txt") + "' '" +
                                                     zpf.file("adult.fdb") + "'")
                      .status,
                  0);
    }
    void startZpf()
    {
        const pid_t pid = zpf.start({});
        ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr);
    }
    /// Sends bytes as one packet on a new connection; the whole answer.
    std::string raw(const std::string& bytes) const
    {
        auto s = platform::ConnectTcp("127.0.0.1", zpf.port, 2000);
        platform::SendAll(s, bytes.data(), bytes.size(), 2000);
        std::string answer = zpftest::ReadUntilClose(s);
        platform::CloseSocket(s);
        return answer;
    }
    std::string get(const std::string& url) const { return raw("GET " + url + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); }
    std::string origin() const { return "127.0.0.1:" + std::to_string(nginx->port); }
    /// The answer is page number with status.
    void expectPage(const std::string& answer, int number, int status) const
    {
        EXPECT_EQ(answer.substr(8, 5), " " + std::to_string(status) + " ") << answer;
        const std::string body = zpf.readBytes("zpf" + std::to_string(number) + ".html");
        EXPECT_NE(answer.find(body), std::string::npos) << answer;
    }
    /// nginx's log once a request that passes has reached it: nothing before it may
    /// have come through either.
    std::string originLogAfterMarker() const
    {
        const std::string marker = "/page.html?marker";
        get("http://" + origin() + marker);
        EXPECT_TRUE(zpftest::WaitUntil([&] { return nginx->Log("access.log").find(marker) != std::string::npos; }));
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

    static NginxOrigin* nginx;
    InstalledZpf zpf;
};

NginxOrigin* UrlSpellingTest::nginx = nullptr;

TEST_F(UrlSpellingTest, EverySpellingOfABlockedUrlIsBlockedAndLogged)
{
    startZpf();
    const std::string port = std::to_string(nginx->port);
    const struct {
        std::string url;
        int page;
        int status;
    } rows[] = {
        {"http://" + origin() + "/%62locked/page.html", 902, 403},
        {"http://" + origin() + "//blocked/page.html", 902, 403},
        {"http://" + origin() + "/raw/../blocked/page.html", 902, 403},
        {"http://" + origin() + "/raw/%2e%2e/blocked/page.html", 902, 403},
        {"http://127.1:" + port + "/blocked/page.html", 902, 403},
        {"http://2130706433:" + port + "/blocked/page.html", 902, 403},
        {"http://0177.0.0.1:" + port + "/blocked/page.html", 902, 403},
        {"http://0x7f.0.0.1:" + port + "/blocked/page.html", 902, 403},
        {"http://127.000.000.001:" + port + "/blocked/page.html", 902, 403},
        {"http://Adult.Example./page.html", 902, 403},
        {"ftp://" + origin() + "/blocked/page.html", 902, 403},
        {"http://" + origin() + "/setup.xxx-sample?x=1", 905, 403},
        {"http://" + origin() + "/setup.xxx-sampl%65", 905, 403},
        // Nothing here speaks ftp: without an ftp proxy even a passed request gets a page.
        {"ftp://" + origin() + "/page.html", 400, 400},
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
    startZpf();
    // The key "adult.example/" holds for the tunnel's host.
    expectPage(raw("CONNECT adult.example:443 HTTP/1.1\r\n\r\n"), 902, 403);
    // Plain HTTP through a tunnel to the server's own port would pass every check.
    expectPage(raw("CONNECT " + origin() + " HTTP/1.1\r\n\r\nGET /blocked/page.html HTTP/1.0\r\n\r\n"), 902, 403);
    // A site outside the access list is not reached through a tunnel either.
    expectPage(raw("CONNECT localhost:443 HTTP/1.1\r\n\r\n"), 903, 403);
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
    startZpf();
    const std::string answer = raw("CONNECT " + origin() + " HTTP/1.1\r\n\r\nGET /page.html?early HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 37), "HTTP/1.0 200 Connection established\r\n") << answer;
    EXPECT_NE(answer.find(NginxOrigin::PhrasePage()), std::string::npos) << answer;
    EXPECT_TRUE(zpftest::WaitUntil(
        [&] { return nginx->Log("access.log").find("\"GET /page.html?early HTTP/1.0\" 200") != std::string::npos; }));
    EXPECT_EQ(logged(",https://127.0.0.1,(Access Log),"), 1u) << zpf.readBytes("zpf.log");
}

} // namespace
