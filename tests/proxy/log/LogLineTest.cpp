// Reading log lines back: the splitting shared with the log viewer, the default log
// file, and `zpfctl log` run on a log written by the writer.
#include "common/LogLine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "log/AccessLogger.h"
#include "LogTestSupport.h"
#include "support/RunProgram.h"

namespace {

TEST(LogLineTest, SplitsLinesIntoColumns)
{
    struct Case {
        std::string line;
        bool ok;
        std::string tag, group;
        std::vector<unsigned> keys;
    };
    const std::string head = "2004/05/10,04:49:09,192.168.0.5,http://x/a%2Cb,";
    const std::vector<Case> cases = {
        {head + "(URL Block),Kids,12,40\r\n", true, "(URL Block)", "Kids", {12, 40}},
        {head + "(Access Log),", true, "(Access Log)", "", {}},
        {head + "(Access Log),2007", true, "(Access Log)", "2007", {}}, // a group named by digits
        {head + "ab,1,,5", true, "ab,1", "", {5}}, // a matched phrase with a comma
        {head + "ab,c,Kids,3", true, "ab,c", "Kids", {3}},
        {head + "ab%2Cc,Ki%2Cds,3", true, "ab%2Cc", "Ki%2Cds", {3}}, // unescaped, a group "Ki,ds" would read "ds"
        {head, true, "", "", {}},
        {head + "(URL Block),,99999999999", true, "(URL Block),", "99999999999", {}}, // not a %u number
        {"Database Initialize Start", false, "", "", {}},
        {"2004/05/10,04:4a:09,1.2.3.4,http://a/,t,", false, "", "", {}},
        {"2004-05-10,04:49:09,1.2.3.4,http://a/,t,", false, "", "", {}},
        {"2004/05/10,04:49:09,1.2.3.x,http://a/,t,", false, "", "", {}},
        {"2004/05/10,04:49:09,1.2.3.4,http://a/", false, "", "", {}},
    };
    for (const auto& c : cases) {
        logline::LogRow row;
        ASSERT_EQ(logline::ParseLogLine(c.line, row), c.ok) << c.line;
        if (!c.ok)
            continue;
        EXPECT_EQ(row.date, "2004/05/10");
        EXPECT_EQ(row.client, "192.168.0.5");
        EXPECT_EQ(row.url, "http://x/a%2Cb");
        EXPECT_EQ(row.tag, c.tag) << c.line;
        EXPECT_EQ(row.group, c.group) << c.line;
        EXPECT_EQ(row.keyNumbers, c.keys) << c.line;
    }

    unsigned last = 0;
    EXPECT_TRUE(logline::LastKeyNumber("(URL Block),Kids,12,40", last));
    EXPECT_EQ(last, 40u);
    EXPECT_FALSE(logline::LastKeyNumber("(Access Log),", last));
}

TEST(LogLineTest, DefaultFileFollowsTheWritersDirectoryRule)
{
    std::tm today{};
    today.tm_year = 104;
    today.tm_mon = 4;
    today.tm_mday = 10;
    EXPECT_EQ(logline::DefaultLogFile(1, "/var/log/zpf", "/opt/zpf/", today), "/var/log/zpf/block20040510.log");
    EXPECT_EQ(logline::DefaultLogFile(3, "", "/opt/zpf/", today), "/opt/zpf/block20040510.log");
    EXPECT_EQ(logline::DefaultLogFile(0, "", "/opt/zpf/", today), "/opt/zpf/zpf.log");
}

class LogCommandTest : public zpftest::LogFixture {
protected:
    zpftest::ProgramResult zpfctl(const std::string& args) { return zpftest::RunZpfctl(m_dir.path(), "log " + args); }
};

TEST_F(LogCommandTest, PrintsTheCurrentLogInColumns)
{
    // zpfctl reads the real clock, so this test writes with it too.
    zpfclock::SetTestClock({});
    std::tm now{};
    zpfclock::LocalNow(&now);
    const std::string today = logline::DateStamp(now);

    std::filesystem::create_directory(m_dir.file("logs"));
    m_dir.writeBytes("zpf.cnf", "LogFlag=1\r\nLogPath=" + m_dir.file("logs") + "\r\n");
    AccessLogger logger;
    LogSettings settings;
    settings.logFlag = 1;
    settings.logPath = m_dir.file("logs");
    settings.groupNames = {"", "Kids"};
    logger.Configure(settings);
    const Ipv4Bytes client{192, 168, 0, 5};
    const unsigned keys[] = {12, 40};
    logger.WriteAccess(&client, "http://x/a,b", "(URL Block)", keys, 1, true, false);
    logger.WriteAccess(&client, "http://y/", "ab,cd", keys, 0, true, false);
    logger.WriteAccess(&client, "http://z/", "", {}, 0, true, false);

    auto all = zpfctl("");
    zpfclock::LocalNow(&now);
    if (logline::DateStamp(now) != today)
        GTEST_SKIP() << "the day changed during the test";
    EXPECT_EQ(all.status, 0) << all.err;
    std::vector<std::string> rows;
    for (size_t start = 0, end; (end = all.out.find('\n', start)) != std::string::npos; start = end + 1)
        rows.push_back(all.out.substr(start, end - start));
    ASSERT_EQ(rows.size(), 3u) << all.out; // header and the two block lines
    EXPECT_EQ(rows[0].rfind("DATE", 0), 0u);
    EXPECT_NE(rows[1].find("192.168.0.5      http://x/a%2Cb"), std::string::npos) << rows[1];
    EXPECT_NE(rows[1].find("  (URL Block)     Kids      12 40"), std::string::npos) << rows[1];
    EXPECT_NE(rows[2].find("  ab%2Ccd         "), std::string::npos) << rows[2]; // escaped like the URL

    auto tail = zpfctl("--file access" + today + ".log --tail 1");
    EXPECT_EQ(tail.status, 0) << tail.err;
    EXPECT_NE(tail.out.find("http://z/"), std::string::npos);
    EXPECT_NE(tail.out.find("(Access Log)"), std::string::npos);

    m_dir.writeBytes("logs/broken.log", "2004/05/10,04:49:09,1.2.3.4,http://ok/,t,\r\nnot a log line\r\n");
    auto broken = zpfctl("--file broken.log");
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.out.find("http://ok/"), std::string::npos);
    EXPECT_NE(broken.err.find("broken.log:2: not a log line"), std::string::npos) << broken.err;

    EXPECT_EQ(zpfctl("--file nothing.log").status, 1);
    EXPECT_EQ(zpfctl("--tail x").status, 2);
    EXPECT_EQ(zpfctl("--tail").status, 2);
}

} // namespace
