// What a block leaves: block and access lines by the group's switches, phrase cuts and
// the match program; then the page answers, their file chosen by group, the exact header,
// bytes sent as stored, and the answer when no page file exists. (Real clients read
// them in the end-to-end tests.)
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/BlockLog.h"
#include "engine/HTTPServiceBody.h"
#include "engine/PageSender.h"
#include "log/AccessLogger.h"
#include "support/Loopback.h"

namespace {

class BlockLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AccessLogger::getInstance().Configure({});
        ASSERT_GE(loop.server, 0); // a loopback connection, so the client field is a real address
        body = std::make_unique<HTTPServiceBody>(loop.server, nullptr);
        body->request.url = "http://bad.example/a,b";
    }
    void TearDown() override
    {
        config->ProgramIfMatch.clear();
        SetPhraseFlag(false);
    }
    std::vector<std::string> log() const { return enginetest::LogEntries(dir.readBytes("zpf.log")); }

    zpftest::TempProgramDir dir;
    zpftest::Loopback loop;
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
    std::unique_ptr<HTTPServiceBody> body;
};

TEST_F(BlockLogTest, BlockAndAccessLinesFollowTheSwitches)
{
    body->policy.doBlockLog = 1;
    body->policy.doAccessLog = 1;
    body->LogBlock("(URL Block)", {12, 40});
    body->policy.doBlockLog = 0;
    body->LogBlock("(Extension Block)", {3});
    body->policy.doAccessLog = 0;
    body->LogBlock("(Access Control)", {});
    EXPECT_EQ(log(), (std::vector<std::string>{"127.0.0.1,http://bad.example/a%2Cb,(URL Block),,12,40",
                                               "127.0.0.1,http://bad.example/a%2Cb,(Access Log),",
                                               "127.0.0.1,http://bad.example/a%2Cb,(Access Log),"}));
}

TEST_F(BlockLogTest, PhrasesAreCutUnlessThePhraseFlagIsSet)
{
    body->policy.doBlockLog = 1;
    const std::vector<PhraseMatch> matches = {{"abcdefghijklmn", 7}, {"short", 999}};
    EXPECT_FALSE(body->LogPhraseMatches({}, nullptr, nullptr));
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr));
    SetPhraseFlag(true);
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr));
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"x", 1}}, "(Replaced)", nullptr));
    body->policy.doBlockLog = 0;
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr)); // reported, not logged
    const std::string head = "127.0.0.1,http://bad.example/a%2Cb,";
    EXPECT_EQ(log(), (std::vector<std::string>{head + "abcdefghij,,7", head + "short,,999", head + "abcdefghijklmn,,7",
                                               head + "short,,999", head + "(Replaced),,1"}));
}

TEST_F(BlockLogTest, MatchProgramRunsOncePerRecordBeforeTheLines)
{
    config->ProgramIfMatch = "test -f '" + dir.file("zpf.log") + "' || echo run >> '" + dir.file("ran") + "'";
    body->policy.doBlockLog = 1;
    body->LogBlock("(URL Block)", {1}); // runs before the first line exists
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"a", 1}, {"b", 2}}, nullptr, nullptr));
    body->LogPhraseMatches({}, nullptr, nullptr);
    EXPECT_EQ(dir.readBytes("ran"), "run\n");
    config->ProgramIfMatch = "echo run >> '" + dir.file("ran") + "'";
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"a", 1}, {"b", 2}}, nullptr, nullptr));
    EXPECT_EQ(dir.readBytes("ran"), "run\nrun\n");
}

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
        return zpftest::ReadUntilClose(p.client);
    }

    zpftest::TempProgramDir dir;
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
};

TEST_F(PageSenderTest, HeaderByStatusAndFileByGroup)
{
    dir.writeBytes("zpf902.html", "common");
    dir.writeBytes("zpf902staff.html", "staff page");
    dir.writeBytes("zpf903.html", "x");
    dir.writeBytes("zpf407.html", std::string("a\0\r\n", 4) + std::string(5000, 'z'));
    const std::string html = "Connection: Close\nContent-Type: text/html\nContent-Length: ";
    const std::string forbidden = "HTTP/1.1 403 Forbidden\n" + html;
    struct Row {
        int page, status, group;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {902, 403, 0, forbidden + "6\n\ncommon"},
        {902, 403, 1, forbidden + "10\n\nstaff page"},
        // A group without a page of its own, and a group number out of range.
        {903, 200, 1, "HTTP/1.1 200 OK\n" + html + "1\n\nx"},
        {902, 403, 57, forbidden + "6\n\ncommon"},
        // Bytes as stored, longer than one read piece; the 400 and 407 answers of real
        // pages are read end to end.
        {407, 599, 0, "HTTP/1.1 599 \nContent-Length: 5004\n\n" + std::string("a\0\r\n", 4) + std::string(5000, 'z')},
    };
    for (const Row& r : rows)
        EXPECT_EQ(answer(r.page, r.status, r.group), r.expected) << r.page << "/" << r.status << "/" << r.group;
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

} // namespace
