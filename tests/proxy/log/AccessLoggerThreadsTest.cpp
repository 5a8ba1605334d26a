// Many connection threads logging at once, through cuts and across midnight.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/LogLine.h"
#include "log/AccessLogger.h"
#include "LogTestSupport.h"

namespace {

using zpftest::LocalClock;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 600;

class AccessLoggerThreadsTest : public zpftest::LogFixture { };

TEST_F(AccessLoggerThreadsTest, LinesStayWholeAndTheNewestAreAllKeptThroughRepeatedCuts)
{
    AccessLogger logger;
    LogSettings settings;
    settings.groupNames = {"", "Kids"};
    logger.Configure(settings);
    logger.SetLogSize(2); // cut at 2000 bytes, about every 20 lines

    // The sink runs under the writer's lock, so it sees the order the file sees.
    std::mutex orderLock;
    std::vector<std::string> order;
    logger.SetStatusSink([&](std::string_view text) {
        std::lock_guard<std::mutex> guard(orderLock);
        order.emplace_back(text);
    });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&logger, t] {
            const Ipv4Bytes client{10, 0, 0, static_cast<unsigned char>(t)};
            for (int i = 0; i < kLinesPerThread; ++i) {
                std::string url = "http://t" + std::to_string(t) + "/" + std::to_string(i) + ",x\r\ny";
                const unsigned keys[] = {static_cast<unsigned>(i)};
                if (i % 3 == 0)
                    logger.WriteAccess(&client, url, "", {}, 0, true, true);
                else if (i % 3 == 1)
                    logger.WriteAccess(&client, url, "(URL Block)", keys, 1, true, true);
                else
                    logger.Write("status " + std::to_string(t) + " " + std::to_string(i), true, true);
            }
        });
    }
    for (auto& th : threads)
        th.join();

    ASSERT_EQ(order.size(), static_cast<size_t>(kThreads * kLinesPerThread));
    std::vector<std::string> file = lines("zpf.log");
    ASSERT_FALSE(file.empty());
    ASSERT_LE(file.size(), order.size());
    EXPECT_LE(m_dir.readBytes("zpf.log").size(), 2000u);
    // The file is exactly the newest entries in write order: whole, not interleaved,
    // no duplicates and nothing missing since the last cut.
    for (size_t i = 0; i < file.size(); ++i) {
        std::string expected = order[order.size() - file.size() + i];
        if (!expected.empty() && expected.back() == '\n')
            expected.pop_back();
        ASSERT_EQ(file[i], expected) << "line " << i;
        if (expected.rfind("status", 0) != 0) {
            logline::LogRow row;
            EXPECT_TRUE(logline::ParseLogLine(file[i], row)) << file[i];
            EXPECT_EQ(row.url.find_first_of("\r\n,"), std::string::npos);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("~tmpzpf.log")));
}

TEST_F(AccessLoggerThreadsTest, EveryLineLandsInTheFileOfItsOwnDayAcrossMidnight)
{
    AccessLogger logger;
    LogSettings settings;
    settings.logFlag = 1;
    logger.Configure(settings);
    // Each call moves the clock on by a second, starting a minute before midnight.
    const std::time_t start = LocalClock(2004, 2, 29, 23, 59, 0);
    std::atomic<long> ticks{0};
    zpfclock::SetTestClock([&ticks, start] { return start + ticks.fetch_add(1) / 4; });

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&logger, t] {
            const Ipv4Bytes client{10, 0, 0, static_cast<unsigned char>(t)};
            for (int i = 0; i < 150; ++i)
                logger.WriteAccess(&client, "http://a/", i % 2 ? "(URL Block)" : "", {}, 0, true, false);
        });
    }
    for (auto& th : threads)
        th.join();
    zpfclock::SetTestClock({});

    const std::map<std::string, std::string> fileDates = {{"access20040229.log", "2004/02/29"},
                                                          {"block20040229.log", "2004/02/29"},
                                                          {"access20040301.log", "2004/03/01"},
                                                          {"block20040301.log", "2004/03/01"}};
    size_t total = 0;
    for (const auto& [name, date] : fileDates) {
        std::vector<std::string> file = lines(name);
        EXPECT_FALSE(file.empty()) << name;
        for (const auto& line : file) {
            logline::LogRow row;
            ASSERT_TRUE(logline::ParseLogLine(line, row)) << name << ": " << line;
            EXPECT_EQ(row.date, date) << name;
            EXPECT_EQ(row.tag == "(Access Log)", name.rfind("access", 0) == 0) << name;
        }
        total += file.size();
    }
    EXPECT_EQ(total, static_cast<size_t>(kThreads * 150));
}

} // namespace
