#include "platform/Socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/Loopback.h"

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
