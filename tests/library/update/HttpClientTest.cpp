// The download client's parsing and the answers nginx cannot give: an endless header
// and a body shorter than its Content-Length.
#include <gtest/gtest.h>

#include <cstring>

#include "config/ConfigrationFile.h"
#include "support/LocalClock.h"
#include "support/ScriptedServer.h"
#include "support/TempProgramDir.h"
#include "update/FilterUpdate.h"
#include "update/HttpClient.h"

using zpftest::TempProgramDir;

TEST(HttpClientTest, ParsesHttpAddresses)
{
    struct Case {
        const char* address;
        bool ok;
        const char* host;
        const char* path;
        unsigned port;
    } cases[] = {
        {"http://h.example/zpfl/target.fdb", true, "h.example", "/zpfl/target.fdb", 80},
        {"http://h.example:8080/a", true, "h.example", "/a", 8080},
        {"http://h.example", true, "h.example", "/", 80},
        {"HTTP://h.example/", true, "h.example", "/", 80},
        {"http://h.example/a:99/b", true, "h.example", "/a:99/b", 80}, // a colon in the path is no port
        {"h.example/zpfl/target.fdb", false, "", "", 80},
        {"https://h.example/", false, "", "", 80},
        {"http://:80/", false, "", "", 80},
        {"http://h.example:0/", false, "", "", 0},
        {"http://h.example:65536/", false, "", "", 0},
        {"http://h.example:8x/", false, "", "", 0},
        {"http://h.example/a b", false, "", "", 80},
        {"http://h.example/a\r\nX: y", false, "", "", 80},
        {"http://user@h.example/", false, "", "", 80},
    };
    for (const Case& c : cases) {
        std::string host = "x", path = "x";
        unsigned port = 0;
        EXPECT_EQ(ParseHttpUrl(c.address, host, path, port), c.ok) << c.address;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.address;
            EXPECT_EQ(path, c.path) << c.address;
            EXPECT_EQ(port, c.port) << c.address;
        } else {
            EXPECT_EQ(host + path, "") << c.address;
        }
    }
}

TEST(HttpClientTest, EncodesBase64)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"up:secret", "dXA6c2VjcmV0"},
        {"\xff\xfe", "//4="},
    };
    for (const auto& [plain, encoded] : cases)
        EXPECT_EQ(Base64Encode(plain), encoded) << plain;
}

TEST(HttpClientTest, RefusesAnswersThatAreNotWhole)
{
    TempProgramDir dir;
    const std::string out = dir.file("out");
    struct Case {
        const char* name;
        zpftest::ScriptedServer::Script script;
        int result;
    } cases[] = {
        {"endless header",
         [](platform::SocketHandle s) {
             zpftest::ReadHttpRequest(s);
             std::string line = "X-Filler: " + std::string(1000, 'a') + "\r\n";
             std::string head = "HTTP/1.0 200 OK\r\n";
             for (int i = 0; i < 20 && platform::SendAll(s, (head + line).data(), head.size() + line.size(), 2000); ++i)
                 head.clear();
         },
         kHttpFailed},
        {"short body", zpftest::Answer("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly this"), kHttpFailed},
        {"long body", zpftest::Answer("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nmore than two"), kHttpFailed},
        {"nothing at all", zpftest::Answer(""), kHttpFailed},
        {"no status line", zpftest::Answer("hello\r\n\r\nbody"), kHttpFailed},
        {"other scheme", zpftest::Answer("HTTP/1.0 302 Found\r\nLocation: ftp://x/\r\n\r\n"), kHttpFailed},
        {"not found", zpftest::Answer("HTTP/1.1 404 Not Found\r\n\r\n"), kHttpNotFound},
        {"exact body", zpftest::Answer("HTTP/1.0 200 OK\r\ncontent-length: 4\r\n\r\nbody"), kHttpOk},
        {"body to the end", zpftest::Answer("HTTP/1.1 200 OK\r\n\r\nbody"), kHttpOk},
    };
    for (Case& c : cases) {
        zpftest::ScriptedServer server(c.script);
        const std::string address = "http://127.0.0.1:" + std::to_string(server.port) + "/f";
        EXPECT_EQ(HttpGetToFile(nullptr, address, "", 0, "", "", out, false, nullptr), c.result) << c.name;
        if (c.result == kHttpOk) {
            std::string body;
            EXPECT_TRUE(platform::ReadFileBytes(out, body));
            EXPECT_EQ(body, "body") << c.name;
        }
    }
}

TEST(HttpClientTest, LastUpdateIsLocalMidnightOfDayTxt)
{
    TempProgramDir dir;
    EXPECT_EQ(GetLastUpdate(), 0);
    for (const char* bad : {"", "Never", "2004/13/01", "2004/7"}) {
        dir.writeBytes("day.txt", bad);
        EXPECT_EQ(GetLastUpdate(), 0) << bad;
    }
    dir.writeBytes("day.txt", "2004/07/15");
    EXPECT_EQ(GetLastUpdate(), zpftest::LocalClock(2004, 7, 15));
}

TEST(HttpClientTest, ResolvesEachLiveUpdateHostOnce)
{
    TempProgramDir dir;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const CCategoryList saved = cnf->categoryList;
    cnf->categoryList.categories = {
        CCategory(1, 101, "a.fdb", "a", "http://localhost:8080/zpfl/a.fdb", false),
        CCategory(1, 102, "b.fdb", "b", "http://localhost/zpfl/b.fdb", false),
        CCategory(1, 103, "c.fdb", "c", "http://127.0.0.2/zpfl/c.fdb", true),
    };
    HostAddress hosts;
    SetURLhost(hosts); // the built-in host does not resolve; the stale category is skipped
    cnf->categoryList = saved;
    EXPECT_EQ(hosts.size(), 1u);
    const uint32_t loopback = hosts.FindHost("localhost");
    EXPECT_EQ(std::memcmp(&loopback, platform::kLoopbackAddress.data(), 4), 0);
    EXPECT_EQ(hosts.FindHost("127.0.0.2"), 0u);
    EXPECT_FALSE(hosts.AddHost("http://localhost:9/"));
    EXPECT_FALSE(hosts.AddHost("localhost"));
}
