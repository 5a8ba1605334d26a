// Sockets over 127.0.0.1: the peer's address, bind conflicts, accept interrupted by the stop event,
// bounded waits and sends, and a graceful close that delivers everything.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/Socket.h"
#include "platform/SocketSplice.h"
#include "support/Loopback.h"
#include "support/ScriptedServer.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Listener {
    platform::SocketHandle fd = platform::CreateTcpSocket();
    unsigned port = 0;
    Listener()
    {
        EXPECT_TRUE(platform::BindIpv4(fd, platform::kLoopbackAddress, 0));
        EXPECT_TRUE(platform::Listen(fd, 10));
        port = platform::LocalPort(fd);
    }
    ~Listener() { platform::CloseSocket(fd); }
};

/// Both ends of a loopback TCP connection.
struct TcpPair {
    Listener listener;
    platform::SocketHandle a = platform::ConnectTcp("127.0.0.1", listener.port, 2000);
    platform::SocketHandle b = platform::kInvalidSocket;
    TcpPair()
    {
        platform::Event stop(true);
        int error = 0;
        EXPECT_EQ(platform::AcceptOrStop(listener.fd, stop, &b, &error), platform::AcceptStatus::Accepted);
    }
    ~TcpPair()
    {
        platform::CloseSocket(a);
        platform::CloseSocket(b);
    }
};

// A refused connection is counted by the load generator's tests.
TEST(SocketIoTest, BadBindsFail)
{
    Listener first;
    int error = 0;
    auto s = platform::CreateTcpSocket();
    EXPECT_FALSE(platform::BindIpv4(s, platform::kLoopbackAddress, first.port, &error));
    EXPECT_NE(error, 0);
    EXPECT_FALSE(platform::BindIpv4(s, platform::kLoopbackAddress, 70000, &error));
    platform::CloseSocket(s);
}

TEST(SocketIoTest, AcceptReturnsClientsAndEndsOnStop)
{
    Listener l;
    platform::Event stop(true);
    auto c = platform::ConnectTcp("127.0.0.1", l.port, 2000);
    ASSERT_NE(c, platform::kInvalidSocket);
    platform::SocketHandle accepted = platform::kInvalidSocket;
    int error = 0;
    ASSERT_EQ(platform::AcceptOrStop(l.fd, stop, &accepted, &error), platform::AcceptStatus::Accepted);
    platform::Ipv4Address peer{};
    ASSERT_TRUE(platform::PeerAddress(accepted, peer));
    EXPECT_EQ(peer, platform::kLoopbackAddress);
    platform::CloseSocket(accepted);
    platform::CloseSocket(c);

    std::thread t([&] {
        std::this_thread::sleep_for(30ms);
        stop.Set();
    });
    auto start = Clock::now();
    EXPECT_EQ(platform::AcceptOrStop(l.fd, stop, &accepted, &error), platform::AcceptStatus::Stopped);
    EXPECT_LT(Clock::now() - start, 2s);
    t.join();

    // A listener shut down under it counts as stopped too.
    platform::Event idle(true);
    platform::ShutdownSocket(l.fd, platform::ShutdownHow::Both);
    EXPECT_EQ(platform::AcceptOrStop(l.fd, idle, &accepted, &error), platform::AcceptStatus::Stopped);
}

// Threads that share one listening socket: every connection goes to exactly one of
// them, an idle wait times out, and the stop ends every wait.
TEST(SocketIoTest, ListenWaitersShareConnectionsAndAllStop)
{
    constexpr int kThreads = 4;
    constexpr int kConnections = 12;
    Listener l;
    platform::Event stop(true);
    std::atomic<int> taken{0};
    std::atomic<int> stopped{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            platform::ListenWaiter waiter(l.fd, &stop);
            for (;;) {
                const platform::WaitStatus w = waiter.Wait(5000);
                if (w != platform::WaitStatus::Ready) {
                    stopped += w == platform::WaitStatus::Stopped;
                    return;
                }
                const platform::SocketHandle c = platform::TryAccept(l.fd);
                if (c != platform::kInvalidSocket) {
                    ++taken;
                    platform::CloseSocket(c);
                }
            }
        });
    }
    std::vector<platform::SocketHandle> clients;
    for (int i = 0; i < kConnections; ++i)
        clients.push_back(platform::ConnectTcp("127.0.0.1", l.port, 2000));
    const auto until = Clock::now() + 5s;
    while (taken.load() < kConnections && Clock::now() < until)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(taken.load(), kConnections);
    {
        platform::ListenWaiter idle(l.fd, nullptr);
        EXPECT_EQ(idle.Wait(30), platform::WaitStatus::TimedOut);
    }
    stop.Set();
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(stopped.load(), kThreads);
    for (platform::SocketHandle c : clients)
        platform::CloseSocket(c);
}

// A peer that neither sends nor reads: waits and sends end in time.
TEST(SocketIoTest, WaitsAndSendsGiveUpOnAnIdlePeer)
{
    TcpPair p;
    EXPECT_EQ(platform::WaitReadable(p.a, 30, nullptr), platform::WaitStatus::TimedOut);
    platform::Event stop(true, true);
    EXPECT_EQ(platform::WaitReadable(p.a, 5000, &stop), platform::WaitStatus::Stopped);
    std::string big(64 << 20, 'x'); // far more than the socket buffers hold
    auto start = Clock::now();
    EXPECT_FALSE(platform::SendAll(p.a, big.data(), big.size(), 100));
    EXPECT_LT(Clock::now() - start, 5s);
}

TEST(SocketIoTest, GracefulCloseDeliversEverythingDespiteUnreadInput)
{
    TcpPair p;
    // The client sent more than the server read: a plain close would reset.
    std::string junk(10000, 'j');
    ASSERT_TRUE(platform::SendAll(p.a, junk.data(), junk.size(), 1000));
    std::string page(200000, 'p');
    std::thread closer([&] {
        platform::SendAll(p.b, page.data(), page.size(), 5000);
        // Even told the peer sends nothing more, unread input gets the full close.
        platform::GracefulClose(p.b, 2000, nullptr, false);
        p.b = platform::kInvalidSocket;
    });
    const std::string got = zpftest::ReadUntilClose(p.a, 5000);
    platform::CloseSocket(p.a); // the closer waits for this end to go
    p.a = platform::kInvalidSocket;
    closer.join();
    EXPECT_EQ(got.size(), page.size());
}

// A connection from OpenConnection stays non-blocking, yet its receives wait as on a
// blocking socket; ReceiveNow never waits; the accept reports the client's address.
TEST(SocketIoTest, OpenConnectionReceivesLikeABlockingSocket)
{
    Listener l;
    int error = 0;
    platform::SocketHandle c = platform::OpenConnection(platform::kLoopbackAddress, l.port, 2000, nullptr, &error);
    ASSERT_NE(c, platform::kInvalidSocket) << error;
    platform::Event stop(true);
    platform::SocketHandle server = platform::kInvalidSocket;
    platform::PeerOfAccept peer;
    ASSERT_EQ(platform::AcceptOrStop(l.fd, stop, &server, &error, &peer), platform::AcceptStatus::Accepted);
    EXPECT_TRUE(peer.known);
    EXPECT_EQ(peer.address, platform::kLoopbackAddress);

    char buffer[16];
    struct Step {
        const char* name;
        const char* sendLater; // sent by the server 100 ms on; null: the server closes
        bool now; // ReceiveNow instead of Receive
        long expected;
    };
    const Step steps[] = {
        {"nothing yet", "", true, platform::kNothingYet},
        {"a receive waits for the data", "abc", false, 3},
        {"data already there", "de", true, 2},
        {"the peer closed", nullptr, false, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        std::thread later([&] {
            std::this_thread::sleep_for(100ms);
            if (!s.sendLater)
                platform::ShutdownSocket(server, platform::ShutdownHow::Send);
            else if (*s.sendLater)
                platform::SendAll(server, s.sendLater, std::strlen(s.sendLater), 1000);
        });
        if (s.now && s.expected > 0)
            later.join(); // the data must be there before looking
        const long n =
            s.now ? platform::ReceiveNow(c, buffer, sizeof buffer) : platform::Receive(c, buffer, sizeof buffer);
        EXPECT_EQ(n, s.expected);
        if (later.joinable())
            later.join();
    }
    platform::CloseSocket(server);
    platform::CloseSocket(c);

    // A port nobody listens on, and ports that do not exist.
    const unsigned closed = l.port;
    platform::CloseSocket(l.fd);
    l.fd = platform::kInvalidSocket;
    for (unsigned port : {closed, 0u, 70000u}) {
        error = 0;
        EXPECT_EQ(platform::OpenConnection(platform::kLoopbackAddress, port, 2000, nullptr, &error),
                  platform::kInvalidSocket);
        EXPECT_NE(error, 0) << port;
    }
}
} // namespace

// A thread's splices share pipes one after another: one left holding bytes that
// never went out must not pass them on to the next.
TEST(SocketIoTest, SplicesNeverPassOnBytesOfAnEarlierOne)
{
    struct Step {
        const char* bytes;
        bool receiverGone; // the send side is shut first, so the bytes stay in the pipe
    };
    const Step steps[] = {{"first", false}, {"second", true}, {"third", false}, {"fourth", false}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.bytes);
        TcpPair from, to;
        platform::SocketSplice splice;
        const long length = static_cast<long>(std::strlen(s.bytes));
        ASSERT_TRUE(platform::SendAll(from.a, s.bytes, static_cast<size_t>(length), 1000));
        ASSERT_EQ(platform::WaitReadable(from.b, 1000, nullptr), platform::WaitStatus::Ready);
        ASSERT_EQ(splice.Take(from.b, 1 << 16), length);
        if (s.receiverGone)
            platform::ShutdownSocket(to.a, platform::ShutdownHow::Send);
        EXPECT_EQ(splice.Give(to.a, 1000, nullptr), !s.receiverGone);
        if (s.receiverGone)
            continue;
        char got[16] = {};
        EXPECT_EQ(platform::Receive(to.b, got, sizeof got), length);
        EXPECT_STREQ(got, s.bytes);
    }
}

TEST(SocketTest, PeerAddressOfLoopbackConnection)
{
    for (bool dualStack : {false, true}) {
        zpftest::Loopback conn(dualStack);
        if (conn.server < 0) {
            EXPECT_TRUE(dualStack) << "IPv4 loopback must work";
            continue; // no IPv6 here
        }
        in_addr peer{};
        ASSERT_TRUE(platform::PeerAddress(conn.server, &peer)) << dualStack;
        EXPECT_EQ(ntohl(peer.s_addr), INADDR_LOOPBACK) << dualStack;
    }
}

TEST(SocketTest, NoPeerAddressWithoutAnIPv4Peer)
{
    in_addr peer{};
    peer.s_addr = 0x01020304;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    int unconnected = ::socket(AF_INET, SOCK_STREAM, 0);
    for (int fd : {pair[0], unconnected, -1})
        EXPECT_FALSE(platform::PeerAddress(fd, &peer)) << fd;
    EXPECT_EQ(peer.s_addr, 0x01020304u); // untouched on failure
    for (int fd : {pair[0], pair[1], unconnected})
        ::close(fd);
}
