// Block records: block and access lines by the group's switches, phrase cuts and
// the match program.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/BlockLog.h"
#include "engine/HTTPServiceBody.h"
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

} // namespace
