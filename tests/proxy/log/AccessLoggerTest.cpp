// The access log: lines written by the group's switches, then read back by the splitting
// shared with the log viewer, the default log file, and `zpfctl log`.
#include "log/AccessLogger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/LogLine.h"
#include "log/DiagnosticLog.h"
#include "LogTestSupport.h"
#include "support/RunProgram.h"

namespace {

using Lines = std::vector<std::string>;
const Ipv4Bytes kClient{192, 168, 0, 5};
const std::string kHead = "2004/05/10,04:49:09,192.168.0.5,";

class AccessLoggerTest : public zpftest::LogFixture {
protected:
    void TearDown() override
    {
        SetDebugFlag(false);
        LogFixture::TearDown();
    }
    void configure(int logFlag, std::string logPath = {})
    {
        m_logger.Configure({logFlag, std::move(logPath), {"", "Kids", "\x8e\x71\x8b\x9f"}}); // last in Shift_JIS
    }
    void recordWindow()
    {
        m_logger.SetStatusSink([this](std::string_view text) { m_window.emplace_back(text); });
    }

    AccessLogger m_logger;
    Lines m_window;
};

TEST_F(AccessLoggerTest, FormatsAccessAndBlockLines)
{
    std::tm when{};
    zpfclock::LocalNow(&when);
    struct Case {
        const Ipv4Bytes* client;
        std::string url, tag, group;
        std::vector<unsigned> keys;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {&kClient, "http://a/b", "", "", {}, kHead + "http://a/b,(Access Log),\n"},
        {&kClient, "http://x/a,b", "(URL Block)", "Kids", {12, 40}, kHead + "http://x/a%2Cb,(URL Block),Kids,12,40\n"},
        {&kClient,
         std::string("http://x/a\r\nb\0c", 15),
         "(URL Block)",
         "",
         {1},
         kHead + "http://x/a%0D%0Ab%00c,(URL Block),,1\n"},
        // A comma in a matched phrase or a group name is escaped as in the URL.
        {&kClient, "http://p/", "ab,c\nd", "Ki,ds", {999}, kHead + "http://p/,ab%2Cc%0Ad,Ki%2Cds,999\n"},
        {nullptr, "http://a/", "", "", {}, "2004/05/10,04:49:09,0.0.0.0,http://a/,(Access Log),\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatAccessLine(when, c.client, c.url, c.tag, c.group, c.keys), c.expected);

    // Long URLs are bounded, and an escape is never split at the bound.
    std::string line = FormatAccessLine(when, &kClient, std::string(20000, 'a'), "", "", {});
    EXPECT_EQ(line.size(), kHead.size() + kMaxLoggedUrl + std::string(",(Access Log),\n").size());
    line = FormatAccessLine(when, &kClient, std::string(5000, ','), "", "", {});
    EXPECT_EQ(line.find(",(Access"), kHead.size() + kMaxLoggedUrl / 3 * 3);
}

TEST_F(AccessLoggerTest, WritesCrLfLinesIntoSingleAndPerDayFiles)
{
    configure(0);
    m_logger.WriteAccess(&kClient, "http://x/", "", {}, 1, true, false);
    m_logger.WriteAccess(&kClient, "http://x/", "", {}, 57, true, false); // no such group: empty name
    m_logger.Write("Key file missing", true, false);
    EXPECT_EQ(m_dir.readBytes("zpf.log"),
              kHead + "http://x/,(Access Log),Kids\r\n" + kHead + "http://x/,(Access Log),\r\nKey file missing\r\n");

    std::filesystem::create_directory(m_dir.file("logs"));
    configure(1, m_dir.file("logs")); // no trailing '/'
    m_logger.WriteAccess(&kClient, "http://x/", "(Access Control)", {}, 2, true, false);
    m_logger.WriteAccess(&kClient, "http://y/", "", {}, 2, true, false);
    m_logger.Write("late line\n", true, false, nullptr, false, "20040509"); // made before midnight
    EXPECT_EQ(lines("logs/block20040510.log"), Lines{kHead + "http://x/,(Access Control),\x8e\x71\x8b\x9f"});
    EXPECT_EQ(lines("logs/access20040510.log"), Lines{kHead + "http://y/,(Access Log),\x8e\x71\x8b\x9f"});
    EXPECT_EQ(lines("logs/block20040509.log"), Lines{"late line"});
}

// LogSize 1: the file may hold 1000 bytes and is cut to the whole lines of its last 500.
TEST_F(AccessLoggerTest, CutKeepsTheWholeLinesWithinHalfTheLimit)
{
    configure(0);
    m_logger.SetLogSize(1);
    Lines tens; // 100 bytes each on disk
    for (char c = 'a'; c < 'k'; ++c)
        tens.push_back(std::string(98, c));
    Lines shifted(tens.begin(), tens.end() - 1); // 50, 9 x 100, 50 bytes: the cut point falls
    shifted.insert(shifted.begin(), std::string(48, 'z')); // inside the line at 450
    shifted.push_back(std::string(48, 'y'));
    struct Case {
        Lines before;
        size_t firstKept;
    };
    // A line that starts exactly at the cut point lies within the kept part.
    for (const Case& c : {Case{tens, 5}, Case{shifted, 6}}) {
        std::filesystem::remove(m_dir.file("zpf.log"));
        for (const auto& l : c.before)
            m_logger.Write(l, true, false);
        ASSERT_EQ(m_dir.readBytes("zpf.log").size(), 1000u);
        m_logger.Write("next", true, false);
        Lines expected(c.before.begin() + static_cast<long>(c.firstKept), c.before.end());
        expected.push_back("next");
        EXPECT_EQ(lines("zpf.log"), expected);
        EXPECT_FALSE(std::filesystem::exists(m_dir.file("~tmpzpf.log")));
    }

    // No limit, and per-day files, are never cut.
    for (int flag : {0, 1}) {
        configure(flag);
        m_logger.SetLogSize(flag == 0 ? 0 : 1);
        for (int i = 0; i < 30; ++i)
            m_logger.Write(tens[0], true, false);
        EXPECT_EQ(lines(flag == 0 ? "zpf.log" : "block20040510.log").size(), flag == 0 ? 36u : 30u);
    }
}

TEST_F(AccessLoggerTest, CutThatCannotMakeItsTemporaryFileWritesIntoTheFullLog)
{
    configure(0);
    m_logger.SetLogSize(1);
    std::filesystem::create_directory(m_dir.file("~tmpzpf.log"));
    for (int i = 0; i < 10; ++i)
        m_logger.Write(std::string(98, 'a'), true, false);
    m_logger.Write("next", true, false);
    EXPECT_EQ(lines("zpf.log").size(), 11u);
}

TEST_F(AccessLoggerTest, StatusLinesGoToTheWindowAndOnlyWithDebugToTheFile)
{
    configure(1);
    m_logger.Write("Configration Initialize Start", false, true); // no window yet: nothing shown
    recordWindow();
    m_logger.Write("Log Initialize Start", false, true);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("block20040510.log")));
    SetDebugFlag(true);
    m_logger.Write("Database Initialize Start", false, true);
    m_logger.Write("quiet", false, false);
    EXPECT_EQ(lines("block20040510.log"), (Lines{"Database Initialize Start", "quiet"}));
    EXPECT_EQ(m_window, (Lines{"Log Initialize Start", "Database Initialize Start"}));
}

TEST_F(AccessLoggerTest, UnusableLogPathLosesTheLineAndRecoversOnceFixed)
{
    recordWindow();
    m_dir.writeBytes("plainfile", "x");
    for (const std::string& bad : {m_dir.file("missing"), m_dir.file("plainfile")}) {
        configure(0, bad);
        m_window.clear();
        m_logger.WriteAccess(&kClient, "http://a/", "(URL Block)", {}, 0, true, true);
        EXPECT_EQ(m_window, (Lines{kHead + "http://a/,(URL Block),\n", "LogFile Open Error"}));
    }
    configure(0, m_dir.file("missing"));
    std::filesystem::create_directory(m_dir.file("missing"));
    m_window.clear();
    m_logger.WriteAccess(&kClient, "http://a/", "(URL Block)", {}, 0, true, true);
    EXPECT_EQ(m_window.size(), 1u);
    EXPECT_EQ(lines("missing/zpf.log").size(), 1u);
}

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
