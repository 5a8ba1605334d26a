// Client threads against a small origin on the loopback: request forms, counts,
// time limits and failures by kind.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/Event.h"
#include "platform/Socket.h"
#include "proxyload/LatencyStats.h"
#include "proxyload/LoadRun.h"

using namespace proxyload;

namespace {

/// A one-thread origin on 127.0.0.1 that serves connections one after another and
/// records each request line.
class TinyOrigin {
public:
    enum class Mode { Answer, CloseAtOnce, Silent };

    TinyOrigin(std::string response, Mode mode)
        : m_response(std::move(response))
        , m_mode(mode)
    {
        m_listener = platform::CreateTcpSocket();
        EXPECT_TRUE(platform::BindIpv4(m_listener, platform::kLoopbackAddress, 0));
        EXPECT_TRUE(platform::Listen(m_listener, 64));
        port = platform::LocalPort(m_listener);
        m_thread = std::thread([this] { serve(); });
    }
    ~TinyOrigin()
    {
        m_stop.Set();
        m_thread.join();
        platform::CloseSocket(m_listener);
    }
    TinyOrigin(const TinyOrigin&) = delete;
    TinyOrigin& operator=(const TinyOrigin&) = delete;

    std::vector<std::string> requestLines()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_lines;
    }

    unsigned port = 0;

private:
    void serve()
    {
        for (;;) {
            platform::SocketHandle client = platform::kInvalidSocket;
            int error = 0;
            if (platform::AcceptOrStop(m_listener, m_stop, &client, &error) != platform::AcceptStatus::Accepted)
                return;
            if (m_mode == Mode::Silent) {
                m_stop.Wait(5000);
                platform::CloseSocket(client);
                continue;
            }
            std::string request;
            char chunk[1024];
            // Bounded by the size and by one wait per piece.
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 64 * 1024
                && platform::WaitReadable(client, 2000, &m_stop) == platform::WaitStatus::Ready) {
                long n = platform::Receive(client, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                request.append(chunk, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_lines.push_back(request.substr(0, request.find("\r\n")));
            }
            if (m_mode == Mode::Answer)
                platform::SendAll(client, m_response.data(), m_response.size(), 2000, &m_stop);
            platform::CloseSocket(client);
        }
    }

    std::string m_response;
    Mode m_mode;
    platform::SocketHandle m_listener = platform::kInvalidSocket;
    platform::Event m_stop { true };
    std::mutex m_lock;
    std::vector<std::string> m_lines;
    std::thread m_thread;
};

const std::string kBody = "<html><body>sample</body></html>";
const std::string kOk = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 32\r\n\r\n" + kBody;

LoadOptions optionsFor(unsigned port)
{
    LoadOptions o;
    o.origin = { "127.0.0.1", port };
    o.path = "/page.html";
    o.timeoutMs = 3000;
    o.durationMs = 10000; // the request count ends these runs long before
    return o;
}

} // namespace

TEST(LoadRunTest, CountedRunMakesExactlyThatManyOriginFormRequests)
{
    TinyOrigin origin(kOk, TinyOrigin::Mode::Answer);
    LoadOptions o = optionsFor(origin.port);
    o.connections = 4;
    o.maxRequests = 20;
    LoadReport report = RunLoad(o, &kBody);
    EXPECT_EQ(report.succeeded, 20u);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_EQ(report.latenciesUs.size(), 20u);
    EXPECT_TRUE(report.firstFailure.empty());
    EXPECT_GT(report.seconds, 0.0);
    const auto lines = origin.requestLines();
    ASSERT_EQ(lines.size(), 20u);
    for (const std::string& line : lines)
        EXPECT_EQ(line, "GET /page.html HTTP/1.0");
    EXPECT_GT(Summarise(report.latenciesUs).medianMs, 0.0);
}

TEST(LoadRunTest, ThroughAProxyTheTargetIsAbsolute)
{
    TinyOrigin proxy(kOk, TinyOrigin::Mode::Answer);
    LoadOptions o = optionsFor(9); // the origin is only named, never reached
    o.viaProxy = true;
    o.proxy = { "127.0.0.1", proxy.port };
    o.maxRequests = 3;
    LoadReport report = RunLoad(o, &kBody);
    EXPECT_EQ(report.succeeded, 3u);
    for (const std::string& line : proxy.requestLines())
        EXPECT_EQ(line, "GET http://127.0.0.1:9/page.html HTTP/1.0");
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
        TinyOrigin::Mode mode;
        bool useClosedPort;
        int timeoutMs;
        Failure want;
    };
    const Case cases[] = {
        { "other status", "HTTP/1.0 500 Oops\r\nContent-Length: 0\r\n\r\n", TinyOrigin::Mode::Answer, false, 3000,
            Failure::Status },
        { "other body", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", TinyOrigin::Mode::Answer, false, 3000,
            Failure::BodyMismatch },
        { "closed without a word", "", TinyOrigin::Mode::CloseAtOnce, false, 3000, Failure::NoResponse },
        { "nobody listening", "", TinyOrigin::Mode::Answer, true, 3000, Failure::Connect },
        { "no answer in time", "", TinyOrigin::Mode::Silent, false, 200, Failure::Timeout },
    };
    for (const Case& c : cases) {
        TinyOrigin origin(c.response, c.mode);
        LoadOptions o = optionsFor(c.useClosedPort ? closedPort : origin.port);
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
    TinyOrigin origin(kOk, TinyOrigin::Mode::Answer);
    LoadOptions o = optionsFor(origin.port);
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
