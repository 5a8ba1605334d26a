#include "platform/Socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// A connected pair over the loopback: the accepted end sees the client as its peer.
struct LoopbackPair {
    int listener = -1;
    int client = -1;
    int server = -1;

    bool open(int family)
    {
        listener = ::socket(family, SOCK_STREAM, 0);
        client = ::socket(family, SOCK_STREAM, 0);
        if (listener < 0 || client < 0)
            return false;
        sockaddr_storage addr{};
        socklen_t len;
        if (family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(&addr);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *a;
        } else {
            // A dual-stack listener on "::" sees an IPv4 client as ::ffff:127.0.0.1.
            auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_any;
            int off = 0;
            ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            len = sizeof *a;
        }
        if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listener, 1) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return false;
        if (family == AF_INET6) {
            ::close(client);
            client = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
                return false;
        } else if (::connect(client, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
            return false;
        }
        server = ::accept(listener, nullptr, nullptr);
        return server >= 0;
    }
    ~LoopbackPair()
    {
        for (int fd : {listener, client, server}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

} // namespace

TEST(SocketTest, PeerAddressOfLoopbackConnection)
{
    for (int family : {AF_INET, AF_INET6}) {
        LoopbackPair pair;
        if (!pair.open(family)) {
            EXPECT_EQ(family, AF_INET6) << "IPv4 loopback must work";
            continue; // no IPv6 on this machine
        }
        in_addr peer{};
        ASSERT_TRUE(platform::PeerAddress(pair.server, &peer)) << family;
        EXPECT_EQ(ntohl(peer.s_addr), INADDR_LOOPBACK) << family;
    }
}

TEST(SocketTest, NoPeerAddressWithoutAnIPv4Peer)
{
    in_addr peer{};
    peer.s_addr = 0x01020304;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_FALSE(platform::PeerAddress(pair[0], &peer));
    ::close(pair[0]);
    ::close(pair[1]);
    int unconnected = ::socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_FALSE(platform::PeerAddress(unconnected, &peer));
    ::close(unconnected);
    EXPECT_FALSE(platform::PeerAddress(-1, &peer));
    EXPECT_EQ(peer.s_addr, 0x01020304u); // untouched on failure
}
