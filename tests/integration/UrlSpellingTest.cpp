// Attacks on the URL lookups against the installed zpf with nginx behind it: other
// spellings of a blocked URL, tunnels and ftp requests. nginx's own access log tells
// what got through.
#include <gtest/gtest.h>

#include "ServerFixtures.h"
#include "ZpfProcess.h"
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

} // namespace
