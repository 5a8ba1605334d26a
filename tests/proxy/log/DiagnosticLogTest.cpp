// The service log, status log, debug file and header traces.
#include "log/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/TraceLog.h"
#include "LogTestSupport.h"

namespace {

using zpftest::LocalClock;

class DiagnosticLogTest : public zpftest::LogFixture {
protected:
    void TearDown() override
    {
        SetDebugFlag(false);
        SetTraceMode(0);
        LogFixture::TearDown();
    }
};

TEST_F(DiagnosticLogTest, ServiceStatusAndDebugFiles)
{
    WriteServiceLog("Winsock Initialized."); // only with debug
    SetDebugFlag(true);
    WriteServiceLog("--");
    WriteServiceLog("Thread Created. and more", 15);
    WriteStatusLog("Filtering Start\n");
    WriteStatusLog("port %d\n", 3036);
    WriteDebugLog("accept error %d\n", 24);
    EXPECT_EQ(m_dir.readBytes("zpfSrvcLog.txt"), "--\r\nThread Created.\r\n");
    EXPECT_EQ(m_dir.readBytes("status.log"),
              "2004/05/10,04:49:09, Filtering Start\r\n2004/05/10,04:49:09, port 3036\r\n");
    EXPECT_EQ(m_dir.readBytes("debug.txt"), "accept error 24\r\n");
}

TEST_F(DiagnosticLogTest, TraceModesPickTheirFiles)
{
    SetTraceMode(0);
    {
        TraceLog inert;
        inert.Printf("nothing\n");
        EXPECT_FALSE(inert.IsActive());
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));

    // Mode 3: head1, head2, head0, then head1 again, each started afresh.
    SetTraceMode(3);
    m_dir.writeBytes("head1.txt", "old contents\r\n");
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        TraceLog trace;
        names.push_back(std::filesystem::path(trace.Path()).filename().string());
        trace.Printf("connection %d\n", i);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"head1.txt", "head2.txt", "head0.txt", "head1.txt"}));
    EXPECT_EQ(m_dir.readBytes("head1.txt"), "Log start!\r\nconnection 3\r\nLog end!\r\n");
    EXPECT_EQ(m_dir.readBytes("head0.txt"), "Log start!\r\nconnection 2\r\nLog end!\r\n");

    // Mode 1: one shared file, no start or end lines; received bytes are kept as they are.
    SetTraceMode(1);
    {
        TraceLog trace;
        trace.Printf("[%3d] Client to zpf\n", 7);
        trace.WriteBytes("GET / HTTP/1.0\r\n\r\n", 1, 18);
        trace.WriteTimestamp(LocalClock(2005, 1, 2, 3, 4, 5));
        trace.WriteTimestamp();
    }
    EXPECT_EQ(m_dir.readBytes("head.txt"),
              "[  7] Client to zpf\r\nGET / HTTP/1.0\r\n\r\n2005/01/02,03:04:05,2004/05/10,04:49:09,");
}

TEST_F(DiagnosticLogTest, ConcurrentTracesNeverMixTheirLines)
{
    SetTraceMode(1);
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            TraceLog trace;
            for (int i = 0; i < kLines; ++i)
                trace.Printf("thread %d line %d %s\n", t, i, std::string(100, static_cast<char>('a' + t)).c_str());
        });
    }
    for (auto& th : threads)
        th.join();
    std::vector<std::string> file = lines("head.txt");
    ASSERT_EQ(file.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : file) {
        char fill = line[7] - '0' + 'a';
        EXPECT_EQ(line.substr(line.size() - 100), std::string(100, fill)) << line;
    }

    // Rotating traces started at the same moment each get a file of their own.
    SetTraceMode(kThreads);
    std::vector<std::unique_ptr<TraceLog>> traces(kThreads);
    threads.clear();
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&traces, t] { traces[static_cast<size_t>(t)] = std::make_unique<TraceLog>(); });
    for (auto& th : threads)
        th.join();
    std::vector<std::string> paths;
    for (const auto& trace : traces)
        paths.push_back(trace->Path());
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(std::unique(paths.begin(), paths.end()), paths.end());
}

} // namespace
