// Nearest-rank percentiles and the latency summary; then client threads against a small
// origin on the loopback: request forms, counts, time limits and failures by kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>

#include "platform/Socket.h"
#include "proxyload/LatencyStats.h"
#include "proxyload/LoadRun.h"
#include "support/ScriptedServer.h"

using namespace proxyload;

TEST(LatencyStatsTest, PercentileIsTheNearestRank)
{
    struct Case {
        std::vector<uint32_t> samples;
        double p;
        uint32_t want;
    };
    std::vector<uint32_t> hundred(100);
    std::iota(hundred.begin(), hundred.end(), 1); // 1..100
    std::vector<uint32_t> reversed(hundred.rbegin(), hundred.rend());
    const Case cases[] = {
        {{}, 50, 0},
        {{7}, 50, 7},
        // The lower middle: half the samples are at or below it.
        {{4, 1, 3, 2}, 50, 2},
        {hundred, 99, 99},
        {hundred, 100, 100},
        {reversed, 99, 99},
        {{5, 5, 5, 9}, 99, 9},
        {{1, 2}, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> samples = c.samples;
        EXPECT_EQ(Percentile(samples, c.p), c.want) << "p" << c.p << " of " << c.samples.size();
    }
}

TEST(LatencyStatsTest, SummaryIsInMilliseconds)
{
    std::vector<uint32_t> us(1000);
    std::iota(us.begin(), us.end(), 1); // 1 us .. 1000 us
    LatencySummary s = Summarise(us);
    EXPECT_EQ(s.count, 1000u);
    EXPECT_DOUBLE_EQ(s.medianMs, 0.5);
    EXPECT_DOUBLE_EQ(s.p99Ms, 0.99);
    EXPECT_DOUBLE_EQ(s.maxMs, 1.0);
    EXPECT_NEAR(s.meanMs, 0.5005, 1e-9);

    std::vector<uint32_t> none;
    EXPECT_EQ(Summarise(none).count, 0u);
    EXPECT_EQ(Summarise(none).p99Ms, 0.0);
}

namespace {

/// An origin that records each request and answers with a fixed response (none when
/// empty: the connection just closes); a silent one reads until the client gives up.
struct Origin {
    explicit Origin(std::string response, bool silent = false)
        : server(silent ? [](platform::SocketHandle c) { zpftest::ReadUntilClose(c); }
                        : zpftest::Answer(std::move(response), &requests))
    {
    }
    std::vector<std::string> requestLines() const
    {
        std::vector<std::string> lines = requests.all();
        for (std::string& line : lines)
            line.erase(std::min(line.find("\r\n"), line.size()));
        return lines;
    }

    zpftest::Requests requests;
    zpftest::ScriptedServer server; // last: stopped before the requests go
};

const std::string kBody = "<html><body>sample</body></html>";
const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 32\r\n\r\n" + kBody;

LoadOptions optionsFor(unsigned port)
{
    LoadOptions o;
    o.origin = {"127.0.0.1", port};
    o.path = "/page.html";
    o.timeoutMs = 3000;
    o.durationMs = 10000; // the request count ends these runs long before
    return o;
}

} // namespace

TEST(LoadRunTest, CountedRunMakesExactlyThatManyRequestsOriginFormOrAbsoluteThroughAProxy)
{
    for (bool viaProxy : {false, true}) {
        Origin server(kOk);
        // Through the proxy the origin is only named, never reached.
        LoadOptions o = optionsFor(viaProxy ? 9 : server.server.port);
        o.viaProxy = viaProxy;
        o.proxy = {"127.0.0.1", server.server.port};
        o.connections = 4;
        o.maxRequests = 20;
        LoadReport report = RunLoad(o, &kBody);
        EXPECT_EQ(report.succeeded, 20u);
        EXPECT_EQ(report.failed, 0u);
        EXPECT_EQ(report.latenciesUs.size(), 20u);
        EXPECT_TRUE(report.firstFailure.empty());
        EXPECT_GT(report.seconds, 0.0);
        const auto lines = server.requestLines();
        ASSERT_EQ(lines.size(), 20u);
        for (const std::string& line : lines)
            EXPECT_EQ(line, viaProxy ? "GET http://127.0.0.1:9/page.html HTTP/1.0" : "GET /page.html HTTP/1.0");
        EXPECT_GT(Summarise(report.latenciesUs).medianMs, 0.0);
    }
}

TEST(LoadRunTest, FailuresAreCountedByKind)
{
    // A bound socket that does not listen refuses connections.
    platform::SocketHandle closed = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindIpv4(closed, platform::kLoopbackAddress, 0));
    const unsigned closedPort = platform::LocalPort(closed);

    struct Case {
        const char* name;
        std::string response;
        bool silent;
        bool useClosedPort;
        int timeoutMs;
        Failure want;
    };
    const Case cases[] = {
        // The reader's tests have every kind it finds; connecting and timing out only a run meets.
        {"other status", "HTTP/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n", false, false, 3000, Failure::Status},
        {"closed without a word", "", false, false, 3000, Failure::NoResponse},
        {"nobody listening", "", false, true, 3000, Failure::Connect},
        {"no answer in time", "", true, false, 200, Failure::Timeout},
    };
    for (const Case& c : cases) {
        Origin origin(c.response, c.silent);
        LoadOptions o = optionsFor(c.useClosedPort ? closedPort : origin.server.port);
        o.timeoutMs = c.timeoutMs;
        o.maxRequests = 2;
        const auto began = std::chrono::steady_clock::now();
        LoadReport report = RunLoad(o, &kBody);
        EXPECT_EQ(report.succeeded, 0u) << c.name;
        EXPECT_EQ(report.failed, 2u) << c.name;
        EXPECT_EQ(report.failures[static_cast<size_t>(c.want)], 2u) << c.name;
        EXPECT_EQ(report.firstFailure.rfind(FailureName(c.want), 0), 0u) << c.name << ": " << report.firstFailure;
        EXPECT_TRUE(report.latenciesUs.empty()) << c.name;
        // Each request keeps to its own time limit.
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(2 * c.timeoutMs + 2000))
            << c.name;
    }
    platform::CloseSocket(closed);
}

TEST(LoadRunTest, TimedRunEndsAndCountsOnlyAfterTheWarmUp)
{
    Origin origin(kOk);
    LoadOptions o = optionsFor(origin.server.port);
    o.connections = 2;
    o.durationMs = 300;
    o.warmupMs = 200;
    const auto began = std::chrono::steady_clock::now();
    LoadReport report = RunLoad(o, &kBody);
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_GE(took, std::chrono::milliseconds(500));
    EXPECT_LT(took, std::chrono::milliseconds(5000));
    EXPECT_GT(report.succeeded, 0u);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_GE(report.seconds, 0.3);
    // The warm-up's requests reached the origin but are not in the figures.
    EXPECT_GT(origin.requestLines().size(), report.succeeded);
}
