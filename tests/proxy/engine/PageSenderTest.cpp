// Page answers: file choice by group, the exact header, bytes sent as stored, and
// the answer when no page file exists.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/PageSender.h"
#include "log/AccessLogger.h"
#include "platform/ProcessControl.h"
#include "support/TempProgramDir.h"

namespace {
using enginetest::SocketPair;

class PageSenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AccessLogger::getInstance().Configure({});
        config->groupList.InitGroupList(nullptr);
        config->groupList.AddGroup("staff");
    }
    void TearDown() override { config->groupList.InitGroupList(nullptr); }

    std::string answer(int page, int status, int group)
    {
        SocketPair p;
        EXPECT_TRUE(SendPageFile(page, status, p.server, group));
        ::close(p.server);
        p.server = -1;
        return enginetest::ReadAll(p.client);
    }

    zpftest::TempProgramDir dir;
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
};

TEST_F(PageSenderTest, CommonAndGroupPages)
{
    dir.writeBytes("zpf902.html", "common");
    dir.writeBytes("zpf902staff.html", "staff page");
    const std::string head = "HTTP/1.1 403 Forbidden\nConnection: Close\nContent-Type: text/html\nContent-Length: ";
    EXPECT_EQ(answer(902, 403, 0), head + "6\n\ncommon");
    EXPECT_EQ(answer(902, 403, 1), head + "10\n\nstaff page");
    // A group without a page of its own, and a group number out of range.
    dir.writeBytes("zpf903.html", "x");
    EXPECT_EQ(answer(903, 200, 1), "HTTP/1.1 200 OK\nConnection: Close\nContent-Type: text/html\nContent-Length: 1\n\nx");
    EXPECT_EQ(answer(902, 403, 57), head + "6\n\ncommon");
}

TEST_F(PageSenderTest, BytesGoExactlyAsStored)
{
    std::string page("<p>a\0b</p>\r\n", 12);
    page += std::string(5000, 'z'); // longer than one read piece of the old sender
    dir.writeBytes("zpf400.html", page);
    std::string got = answer(400, 400, 0);
    const std::string head =
        "HTTP/1.1 400 Bad Request\nConnection: Close\nContent-Type: text/html\nContent-Length: 5012\n\n";
    ASSERT_EQ(got.size(), head.size() + page.size());
    EXPECT_EQ(got, head + page);
}

TEST_F(PageSenderTest, ChallengeAndUnknownStatus)
{
    dir.writeBytes("zpf407.html", "auth");
    EXPECT_EQ(answer(407, 407, 0), "HTTP/1.1 407 Proxy authentication required\n"
                                   "Proxy-Authenticate: Basic realm=\"Vantrel filtering server\"\n"
                                   "Content-Length: 4\n\nauth");
    EXPECT_EQ(answer(407, 599, 0), "HTTP/1.1 599 \nContent-Length: 4\n\nauth");
}

TEST_F(PageSenderTest, MissingPageIsLoggedAndAnsweredWithABuiltInPage)
{
    std::string got = answer(905, 403, 1);
    EXPECT_EQ(got.rfind("HTTP/1.1 403 Forbidden\n", 0), 0u);
    EXPECT_NE(got.find("905"), std::string::npos);
    auto length = got.find("Content-Length: ");
    auto bodyStart = got.find("\n\n");
    ASSERT_NE(bodyStart, std::string::npos);
    EXPECT_EQ(std::to_string(got.size() - bodyStart - 2), got.substr(length + 16, bodyStart - length - 16));
    EXPECT_EQ(dir.readBytes("zpf.log"), "httpErrorFile Open Error\r\n");
}

TEST_F(PageSenderTest, ClientThatIsGoneEndsTheSend)
{
    dir.writeBytes("zpf400.html", std::string(1 << 20, 'x'));
    SocketPair p;
    p.closeClient();
    EXPECT_FALSE(SendPageFile(400, 400, p.server, 0));
}

TEST_F(PageSenderTest, ARealClientReadsPagesAndTheChallenge)
{
    dir.writeBytes("zpf407.html", "<p>sign in</p>");
    dir.writeBytes("zpf400.html", std::string("<p>bad\0request</p>", 18));
    struct Row {
        int page;
        std::vector<std::string> headerLines;
    };
    const std::vector<Row> rows = {
        {407,
         {"HTTP/1.1 407 Proxy authentication required", "Proxy-Authenticate: Basic realm=\"Vantrel filtering server\""}},
        {400, {"HTTP/1.1 400 Bad Request"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.page);
        zpftest::ScriptedServer server([&](platform::SocketHandle c) {
            zpftest::ReadHttpRequest(c);
            SendPageFile(r.page, r.page, c, 0);
        });
        std::string code;
        EXPECT_EQ(platform::RunProgram({"curl", "-s", "--max-time", "10", "-o", dir.file("got"), "-D", dir.file("head"),
                                        "-w", "%{http_code}", "-x", "http://127.0.0.1:" + std::to_string(server.port),
                                        "http://h/"},
                                       &code, 20000),
                  0);
        EXPECT_EQ(code, std::to_string(r.page));
        for (const std::string& line : r.headerLines)
            EXPECT_NE(dir.readBytes("head").find(line), std::string::npos) << dir.readBytes("head");
        EXPECT_EQ(dir.readBytes("got"), dir.readBytes("zpf" + std::to_string(r.page) + ".html"));
    }
}

} // namespace
