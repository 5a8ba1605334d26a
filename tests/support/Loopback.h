#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zpftest {

/// A TCP connection over the loopback within the test process. `server` is the
/// accepted end, whose peer is the client at 127.0.0.1; -1 when the set-up failed.
/// With dualStack the listener is an IPv6 socket on "::" that sees the IPv4 client as
/// an IPv4-mapped address (the set-up fails where IPv6 is missing).
class Loopback {
public:
    explicit Loopback(bool dualStack = false)
    {
        m_listener = ::socket(dualStack ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        m_client = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool bound;
        if (dualStack) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_any;
            int off = 0;
            ::setsockopt(m_listener, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            socklen_t len = sizeof a;
            bound = ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), len) == 0 &&
                    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) == 0;
            to.sin_port = a.sin6_port;
        } else {
            socklen_t len = sizeof to;
            bound = ::bind(m_listener, reinterpret_cast<sockaddr*>(&to), len) == 0 &&
                    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&to), &len) == 0;
        }
        if (bound && ::listen(m_listener, 1) == 0 &&
            ::connect(m_client, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
            server = ::accept(m_listener, nullptr, nullptr);
    }
    ~Loopback()
    {
        for (int fd : {m_listener, m_client, server}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    Loopback(const Loopback&) = delete;
    Loopback& operator=(const Loopback&) = delete;

    int server = -1;

private:
    int m_listener = -1;
    int m_client = -1;
};

} // namespace zpftest
