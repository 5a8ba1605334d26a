#include "log/AccessLogger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "LogTestSupport.h"

namespace {

using zpftest::LocalClock;

const Ipv4Bytes kClient{192, 168, 0, 5};

class AccessLoggerTest : public zpftest::LogFixture {
protected:
    void TearDown() override
    {
        SetDebugFlag(false);
        SetTraceMode(0);
        LogFixture::TearDown();
    }
    void configure(int logFlag, std::string logPath = {})
    {
        LogSettings s;
        s.logFlag = logFlag;
        s.logPath = std::move(logPath);
        s.groupNames = {"", "Kids", "\x8e\x71\x8b\x9f"}; // the third in Shift_JIS
        m_logger.Configure(s);
    }
    void recordWindow()
    {
        m_logger.SetStatusSink([this](std::string_view text) { m_window.emplace_back(text); });
    }
    std::string lineOf(size_t size, char fill) { return std::string(size, fill) + "\n"; }

    AccessLogger m_logger;
    std::vector<std::string> m_window;
};

TEST_F(AccessLoggerTest, FormatsAccessAndBlockLines)
{
    std::tm when{};
    when.tm_year = 104;
    when.tm_mon = 4;
    when.tm_mday = 10;
    when.tm_hour = 4;
    when.tm_min = 49;
    when.tm_sec = 9;
    const std::vector<unsigned> keys{12, 40};
    struct Case {
        const char* name;
        const Ipv4Bytes* client;
        std::string url;
        std::string tag;
        std::string group;
        std::vector<unsigned> keys;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"access line of group 0", &kClient, "http://a/b", "", "", {},
         "2004/05/10,04:49:09,192.168.0.5,http://a/b,(Access Log),\n"},
        {"block line with categories", &kClient, "http://x/a,b", "(URL Block)", "Kids", keys,
         "2004/05/10,04:49:09,192.168.0.5,http://x/a%2Cb,(URL Block),Kids,12,40\n"},
        {"line breaks and NUL in the URL", &kClient, std::string("http://x/a\r\nb\0c", 15), "(URL Block)", "", {1},
         "2004/05/10,04:49:09,192.168.0.5,http://x/a%0D%0Ab%00c,(URL Block),,1\n"},
        {"phrase tag keeps its comma, loses its line break", &kClient, "http://p/", "ab,c\nd", "", {999},
         "2004/05/10,04:49:09,192.168.0.5,http://p/,ab,c%0Ad,,999\n"},
        {"unknown client", nullptr, "http://a/", "", "", {}, "2004/05/10,04:49:09,0.0.0.0,http://a/,(Access Log),\n"},
        {"Shift_JIS group name unchanged", &kClient, "http://a/", "(Extension Block)", "\x8e\x71\x8b\x9f", {7},
         "2004/05/10,04:49:09,192.168.0.5,http://a/,(Extension Block),\x8e\x71\x8b\x9f,7\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatAccessLine(when, c.client, c.url, c.tag, c.group, c.keys), c.expected) << c.name;

    // Long URLs are bounded, and an escape is never split at the bound.
    const std::string prefix = "2004/05/10,04:49:09,192.168.0.5,";
    std::string line = FormatAccessLine(when, &kClient, std::string(20000, 'a'), "", "", {});
    EXPECT_EQ(line.size(), prefix.size() + kMaxLoggedUrl + std::string(",(Access Log),\n").size());
    line = FormatAccessLine(when, &kClient, std::string(5000, ','), "", "", {});
    std::string url = line.substr(prefix.size(), line.find(",(Access") - prefix.size());
    EXPECT_EQ(url.size(), kMaxLoggedUrl / 3 * 3);
    EXPECT_EQ(url.substr(url.size() - 3), "%2C");
}

TEST_F(AccessLoggerTest, WritesCrLfLinesIntoSingleAndPerDayFiles)
{
    configure(0);
    const unsigned keys[] = {12, 40};
    m_logger.WriteAccess(&kClient, "http://x/a,b", "(URL Block)", keys, 1, true, true);
    m_logger.WriteAccess(&kClient, "http://x/", "", {}, 0, true, true);
    m_logger.WriteAccess(&kClient, "http://x/", "", {}, 57, true, true); // no such group: empty name
    m_logger.Write("Key file missing", true, true);
    EXPECT_EQ(m_dir.readBytes("zpf.log"),
              "2004/05/10,04:49:09,192.168.0.5,http://x/a%2Cb,(URL Block),Kids,12,40\r\n"
              "2004/05/10,04:49:09,192.168.0.5,http://x/,(Access Log),\r\n"
              "2004/05/10,04:49:09,192.168.0.5,http://x/,(Access Log),\r\n"
              "Key file missing\r\n");

    std::filesystem::create_directory(m_dir.file("logs"));
    configure(1, m_dir.file("logs")); // no trailing '/'
    m_logger.WriteAccess(&kClient, "http://x/", "(Access Control)", {}, 2, true, false);
    m_logger.WriteAccess(&kClient, "http://y/", "", {}, 2, true, false);
    m_logger.Write("status\n", true, false, nullptr, false, nullptr);
    EXPECT_EQ(lines("logs/block20040510.log"),
              (std::vector<std::string>{
                  "2004/05/10,04:49:09,192.168.0.5,http://x/,(Access Control),\x8e\x71\x8b\x9f", "status"}));
    EXPECT_EQ(lines("logs/access20040510.log"),
              (std::vector<std::string>{"2004/05/10,04:49:09,192.168.0.5,http://y/,(Access Log),\x8e\x71\x8b\x9f"}));
}

TEST_F(AccessLoggerTest, PerDayFilesSwitchAtMidnight)
{
    configure(1);
    setClock(LocalClock(2004, 12, 31, 23, 59, 59));
    m_logger.WriteAccess(&kClient, "http://old/", "", {}, 0, true, false);
    setClock(LocalClock(2005, 1, 1, 0, 0, 0));
    m_logger.WriteAccess(&kClient, "http://new/", "", {}, 0, true, false);
    // A line made before midnight but written after it still goes into its own day.
    m_logger.Write("late line\n", true, false, nullptr, true, "20041231");

    EXPECT_EQ(lines("access20041231.log"),
              (std::vector<std::string>{"2004/12/31,23:59:59,192.168.0.5,http://old/,(Access Log),", "late line"}));
    EXPECT_EQ(lines("access20050101.log"),
              (std::vector<std::string>{"2005/01/01,00:00:00,192.168.0.5,http://new/,(Access Log),"}));
}

// LogSize 1: the file may hold 1000 bytes and is cut to the whole lines of its last 500.
TEST_F(AccessLoggerTest, CutKeepsTheWholeLinesWithinHalfTheLimit)
{
    configure(0);
    m_logger.SetLogSize(1);
    struct Case {
        const char* name;
        std::vector<std::string> before; // on disk 1000 bytes in all
        std::vector<std::string> kept;
    };
    std::vector<std::string> tens;
    for (char c = 'a'; c < 'k'; ++c)
        tens.push_back(std::string(98, c)); // 100 bytes each with CR LF
    std::vector<std::string> shifted{std::string(48, 'z')};
    for (char c = 'a'; c < 'j'; ++c)
        shifted.push_back(std::string(98, c));
    shifted.push_back(std::string(48, 'y'));
    const std::vector<Case> cases = {
        // A line that starts exactly at the cut point lies within the kept part.
        {"boundary on a line start", tens, {tens.begin() + 5, tens.end()}},
        // Lines: 50, 9 x 100, 50 bytes; the cut point 500 falls inside the line at 450.
        {"boundary inside a line", shifted, {shifted.begin() + 6, shifted.end()}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(m_dir.file("zpf.log"));
        for (const auto& l : c.before)
            m_logger.Write(l, true, false);
        ASSERT_EQ(m_dir.readBytes("zpf.log").size(), 1000u) << c.name;
        m_logger.Write("next", true, false);
        std::vector<std::string> expected = c.kept;
        expected.push_back("next");
        EXPECT_EQ(lines("zpf.log"), expected) << c.name;
        EXPECT_FALSE(std::filesystem::exists(m_dir.file("~tmpzpf.log"))) << c.name;
    }

    // A write that ends exactly at the limit does not cut.
    std::filesystem::remove(m_dir.file("zpf.log"));
    m_logger.Write(std::string(998, 'q'), true, false);
    EXPECT_EQ(m_dir.readBytes("zpf.log").size(), 1000u);
}

TEST_F(AccessLoggerTest, RepeatedCutsKeepTheFileWithinTheLimitAndEndWithTheNewestLines)
{
    configure(0);
    m_logger.SetLogSize(2);
    std::vector<std::string> written;
    unsigned seed = 7;
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1103515245u + 12345u;
        std::string text = std::to_string(i) + ":" + std::string(seed % 150, 'x');
        m_logger.Write(text, true, false);
        written.push_back(text);
        std::vector<std::string> file = lines("zpf.log");
        ASSERT_LE(m_dir.readBytes("zpf.log").size(), 2000u) << i;
        ASSERT_FALSE(file.empty());
        ASSERT_LE(file.size(), written.size());
        // The file is always the newest lines, in order, none missing.
        EXPECT_TRUE(std::equal(file.begin(), file.end(), written.end() - static_cast<long>(file.size()))) << i;
    }
}

TEST_F(AccessLoggerTest, NoLimitAndPerDayFilesAreNeverCut)
{
    for (int flag : {0, 1}) {
        configure(flag);
        m_logger.SetLogSize(flag == 0 ? 0 : 1);
        for (int i = 0; i < 30; ++i)
            m_logger.Write(std::string(98, 'a'), true, false);
        EXPECT_EQ(m_dir.readBytes(flag == 0 ? "zpf.log" : "block20040510.log").size(), 3000u) << flag;
    }
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
    EXPECT_EQ(lines("block20040510.log"), (std::vector<std::string>{"Database Initialize Start", "quiet"}));
    EXPECT_EQ(m_window, (std::vector<std::string>{"Log Initialize Start", "Database Initialize Start"}));
}

TEST_F(AccessLoggerTest, UnusableLogPathLosesTheLineAndRecoversOnceFixed)
{
    recordWindow();
    m_dir.writeBytes("plainfile", "x");
    for (const std::string& bad : {m_dir.file("missing"), m_dir.file("plainfile")}) {
        configure(0, bad);
        m_window.clear();
        m_logger.WriteAccess(&kClient, "http://a/", "(URL Block)", {}, 0, true, true);
        ASSERT_EQ(m_window.size(), 2u) << bad;
        EXPECT_EQ(m_window[1], "LogFile Open Error");
    }
    configure(0, m_dir.file("missing"));
    std::filesystem::create_directory(m_dir.file("missing"));
    m_window.clear();
    m_logger.WriteAccess(&kClient, "http://a/", "(URL Block)", {}, 0, true, true);
    EXPECT_EQ(m_window.size(), 1u);
    EXPECT_EQ(lines("missing/zpf.log").size(), 1u);
}

TEST_F(AccessLoggerTest, CutThatCannotMakeItsTemporaryFileWritesIntoTheFullLog)
{
    configure(0);
    m_logger.SetLogSize(1);
    std::filesystem::create_directory(m_dir.file("~tmpzpf.log")); // blocks the temporary file
    for (int i = 0; i < 10; ++i)
        m_logger.Write(std::string(98, 'a'), true, false);
    m_logger.Write("next", true, false);
    EXPECT_EQ(lines("zpf.log").size(), 11u);
    EXPECT_EQ(lines("zpf.log").back(), "next");
}

TEST_F(AccessLoggerTest, TraceShowsTheWriteAndTheCut)
{
    configure(0);
    m_logger.SetLogSize(1);
    SetTraceMode(1);
    TraceLog trace;
    for (int i = 0; i < 10; ++i)
        m_logger.Write(std::string(98, 'a'), true, false);
    std::filesystem::remove(m_dir.file("head.txt"));
    m_logger.Write("next", true, false, &trace);
    EXPECT_EQ(lines("head.txt"),
              (std::vector<std::string>{"[log] start", "[log] cut start", "[log] cut open OK", "[log] cut write OK",
                                        "[log] cut close OK", "[log] cut rename OK", "[log] cut end OK",
                                        "[log] end"}));
}

} // namespace
