// Block records: block and access lines by the group's switches, phrase cuts and
// the match program.
#include <gtest/gtest.h>

#include "config/ConfigrationFile.h"
#include "engine/BlockLog.h"
#include "engine/HTTPServiceBody.h"
#include "log/AccessLogger.h"
#include "platform/Event.h"
#include "platform/Socket.h"
#include "support/TempProgramDir.h"

namespace {

/// The log's lines without date and time, so they compare exactly.
std::vector<std::string> entries(const std::string& log)
{
    std::vector<std::string> out;
    for (size_t start = 0; start < log.size();) {
        size_t end = log.find("\r\n", start);
        std::string line = log.substr(start, end - start);
        out.push_back(line.substr(std::min(line.size(), size_t(20))));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return out;
}

class BlockLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AccessLogger::getInstance().Configure({});
        // A loopback connection, so the client field is a real address.
        listener = platform::CreateTcpSocket();
        ASSERT_TRUE(platform::BindIpv4(listener, platform::kLoopbackAddress, 0));
        ASSERT_TRUE(platform::Listen(listener, 1));
        client = platform::ConnectTcp("127.0.0.1", platform::LocalPort(listener), 2000);
        platform::Event stop(true);
        int error = 0;
        ASSERT_EQ(platform::AcceptOrStop(listener, stop, &server, &error), platform::AcceptStatus::Accepted);
        body = std::make_unique<HTTPServiceBody>(server, nullptr);
        body->url = "http://bad.example/a,b";
    }
    void TearDown() override
    {
        config->ProgramIfMatch.clear();
        SetPhraseFlag(false);
        body.reset();
        platform::CloseSocket(server);
        platform::CloseSocket(client);
        platform::CloseSocket(listener);
    }

    zpftest::TempProgramDir dir;
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
    platform::SocketHandle listener = platform::kInvalidSocket, client = platform::kInvalidSocket,
                           server = platform::kInvalidSocket;
    std::unique_ptr<HTTPServiceBody> body;
};

TEST_F(BlockLogTest, BlockAndAccessLinesFollowTheSwitches)
{
    body->doBlockLog = 1;
    body->doAccessLog = 1;
    body->LogBlock("(URL Block)", {12, 40});
    body->doBlockLog = 0;
    body->LogBlock("(Extension Block)", {3});
    body->doAccessLog = 0;
    body->LogBlock("(Access Control)", {});
    EXPECT_EQ(entries(dir.readBytes("zpf.log")),
              (std::vector<std::string>{"127.0.0.1,http://bad.example/a%2Cb,(URL Block),,12,40",
                                        "127.0.0.1,http://bad.example/a%2Cb,(Access Log),",
                                        "127.0.0.1,http://bad.example/a%2Cb,(Access Log),"}));
}

TEST_F(BlockLogTest, PhrasesAreCutUnlessThePhraseFlagIsSet)
{
    body->doBlockLog = 1;
    const std::vector<PhraseMatch> matches = {{"abcdefghijklmn", 7}, {"short", 999}};
    EXPECT_FALSE(body->LogPhraseMatches({}, nullptr, nullptr));
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr));
    SetPhraseFlag(true);
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr));
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"x", 1}}, "(Replaced)", nullptr));
    body->doBlockLog = 0;
    EXPECT_TRUE(body->LogPhraseMatches(matches, nullptr, nullptr)); // reported, not logged
    const std::string head = "127.0.0.1,http://bad.example/a%2Cb,";
    EXPECT_EQ(entries(dir.readBytes("zpf.log")),
              (std::vector<std::string>{head + "abcdefghij,,7", head + "short,,999", head + "abcdefghijklmn,,7",
                                        head + "short,,999", head + "(Replaced),,1"}));
}

TEST_F(BlockLogTest, MatchProgramRunsOncePerRecordBeforeTheLines)
{
    config->ProgramIfMatch = "test -f '" + dir.file("zpf.log") + "' || echo run >> '" + dir.file("ran") + "'";
    body->doBlockLog = 1;
    body->LogBlock("(URL Block)", {1}); // runs before the first line exists
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"a", 1}, {"b", 2}}, nullptr, nullptr));
    body->LogPhraseMatches({}, nullptr, nullptr);
    EXPECT_EQ(dir.readBytes("ran"), "run\n");
    config->ProgramIfMatch = "echo run >> '" + dir.file("ran") + "'";
    EXPECT_TRUE(body->LogPhraseMatches(std::vector<PhraseMatch>{{"a", 1}, {"b", 2}}, nullptr, nullptr));
    EXPECT_EQ(dir.readBytes("ran"), "run\nrun\n");
}

} // namespace
