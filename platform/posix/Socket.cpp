// POSIX sockets for the listener, the sessions and the clients: poll-based waits,
// no SIGPIPE, and an accept that a stop event can interrupt.
#include "platform/Socket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Event.h"

namespace platform {

namespace {
using Clock = std::chrono::steady_clock;

void setError(int* error, int value)
{
    if (error)
        *error = value;
}

/// Milliseconds left until deadline, at least 0; -1 stays "no limit".
int remainingMs(int timeoutMs, Clock::time_point deadline)
{
    if (timeoutMs < 0)
        return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
}

/// Polls the socket for events together with the stop event. Returns the poll()
/// result with the socket's revents in *socketEvents and whether stop fired.
int pollWithStop(SocketHandle s, short events, int timeoutMs, Event* stop, short* socketEvents, bool* stopped)
{
    *socketEvents = 0;
    *stopped = false;
    const int stopFd = stop ? stop->PollDescriptor() : -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (stop && stop->IsSet()) {
            *stopped = true;
            return 1;
        }
        int wait = remainingMs(timeoutMs, deadline);
        // Without a pollable stop event, look at it every 100 ms.
        if (stop && stopFd < 0 && (wait < 0 || wait > 100))
            wait = 100;
        pollfd fds[2] = {{s, events, 0}, {stopFd, POLLIN, 0}};
        int r = ::poll(fds, stopFd >= 0 ? 2 : 1, wait);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (stopFd >= 0 && (fds[1].revents & POLLIN)) {
            *stopped = true;
            return 1;
        }
        if (r > 0 && fds[0].revents) {
            *socketEvents = fds[0].revents;
            return 1;
        }
        if (remainingMs(timeoutMs, deadline) == 0)
            return 0;
    }
}
} // namespace

int NetworkStartup() { return 0; }
void NetworkCleanup() { }

SocketHandle CreateTcpSocket(int* error) { return CreateTcpSocketOf(false, error); }

SocketHandle CreateTcpSocketOf(bool ipv6, int* error)
{
    int s = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        setError(error, errno);
        return kInvalidSocket;
    }
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return s;
}

namespace {
/// accept4 that fills peer from the address it reports.
int acceptWithPeer(SocketHandle listener, PeerOfAccept* peer)
{
    if (!peer)
        return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    sockaddr_storage sa{};
    socklen_t length = sizeof sa;
    const int c = ::accept4(listener, reinterpret_cast<sockaddr*>(&sa), &length, SOCK_CLOEXEC);
    *peer = PeerOfAccept{};
    if (c < 0)
        return c;
    if (sa.ss_family == AF_INET) {
        const auto* a4 = reinterpret_cast<const sockaddr_in*>(&sa);
        std::memcpy(peer->address.data(), &a4->sin_addr, 4);
        peer->known = true;
    } else if (sa.ss_family == AF_INET6) {
        const auto* a6 = reinterpret_cast<const sockaddr_in6*>(&sa);
        if (IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr)) {
            std::memcpy(peer->address.data(), a6->sin6_addr.s6_addr + 12, 4);
            peer->known = true;
        }
    }
    return c;
}

sockaddr_in socketAddress(const Ipv4Address& address, unsigned port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&sa.sin_addr, address.data(), 4);
    return sa;
}
} // namespace

bool BindIpv4(SocketHandle s, const Ipv4Address& address, unsigned port, int* error)
{
    if (port > 65535) {
        setError(error, EINVAL);
        return false;
    }
    sockaddr_in sa = socketAddress(address, port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        setError(error, errno);
        return false;
    }
    return true;
}

bool Listen(SocketHandle s, int backlog, int* error)
{
    if (::listen(s, backlog) != 0) {
        setError(error, errno);
        return false;
    }
    // Non-blocking, so a connection that vanishes between poll and accept cannot
    // leave the listener stuck in accept.
    int flags = ::fcntl(s, F_GETFL, 0);
    if (flags >= 0)
        ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
    return true;
}

unsigned LocalPort(SocketHandle s)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return ntohs(sa.sin_port);
}

AcceptStatus AcceptOrStop(SocketHandle listener, Event& stop, SocketHandle* client, int* error, PeerOfAccept* peer)
{
    *client = kInvalidSocket;
    // Under load a connection is usually waiting already: take it without a poll.
    bool tryFirst = !stop.IsSet();
    for (;;) {
        if (!tryFirst) {
            short revents = 0;
            bool stopped = false;
            int r = pollWithStop(listener, POLLIN, -1, &stop, &revents, &stopped);
            if (stopped)
                return AcceptStatus::Stopped;
            if (r < 0) {
                setError(error, errno);
                return AcceptStatus::Failed;
            }
        }
        tryFirst = false;
        int c = acceptWithPeer(listener, peer);
        if (c >= 0) {
            *client = c;
            return AcceptStatus::Accepted;
        }
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR || e == ECONNABORTED)
            continue;
        // A shut-down listening socket reports EINVAL: that is the stop request.
        if (e == EINVAL || e == EBADF)
            return AcceptStatus::Stopped;
        setError(error, e);
        return AcceptStatus::Failed;
    }
}

SocketHandle TryAccept(SocketHandle listener, PeerOfAccept* peer, int* error)
{
    setError(error, 0);
    for (int tries = 0; tries < 4; ++tries) {
        const int c = acceptWithPeer(listener, peer);
        if (c >= 0)
            return c;
        // A connection that was reset while it waited is skipped; anything else
        // (nothing waiting included) means none now.
        if (errno != ECONNABORTED && errno != EINTR) {
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                setError(error, errno);
            break;
        }
    }
    return kInvalidSocket;
}

ListenWaiter::ListenWaiter(SocketHandle listener, Event* stop)
    : m_listener(listener)
    , m_stop(stop)
{
    const int stopFd = stop ? stop->PollDescriptor() : -1;
    m_poll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_poll < 0)
        return;
    // Exclusive: a connection wakes one waiting thread, not every one.
    epoll_event onListener{};
    onListener.events = EPOLLIN | EPOLLEXCLUSIVE;
    onListener.data.fd = listener;
    bool ok = ::epoll_ctl(m_poll, EPOLL_CTL_ADD, listener, &onListener) == 0;
    if (!ok && errno == EINVAL) {
        onListener.events = EPOLLIN; // an older kernel: every waiter wakes
        ok = ::epoll_ctl(m_poll, EPOLL_CTL_ADD, listener, &onListener) == 0;
    }
    // The stop event wakes every waiter.
    epoll_event onStop{};
    onStop.events = EPOLLIN;
    onStop.data.fd = stopFd;
    if (ok && stopFd >= 0)
        ok = ::epoll_ctl(m_poll, EPOLL_CTL_ADD, stopFd, &onStop) == 0;
    if (!ok) {
        ::close(m_poll);
        m_poll = -1;
    }
}

ListenWaiter::~ListenWaiter()
{
    if (m_poll >= 0)
        ::close(m_poll);
}

WaitStatus ListenWaiter::Wait(int timeoutMs)
{
    if (m_poll < 0)
        return WaitReadable(m_listener, timeoutMs, m_stop);
    const bool stopPolled = m_stop && m_stop->PollDescriptor() >= 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (m_stop && m_stop->IsSet())
            return WaitStatus::Stopped;
        int wait = remainingMs(timeoutMs, deadline);
        // Without a pollable stop event, look at it every 100 ms.
        if (m_stop && !stopPolled && (wait < 0 || wait > 100))
            wait = 100;
        epoll_event events[2];
        const int r = ::epoll_wait(m_poll, events, 2, wait);
        if (r < 0 && errno != EINTR)
            return WaitStatus::Failed;
        if (m_stop && m_stop->IsSet())
            return WaitStatus::Stopped;
        for (int i = 0; i < r; ++i) {
            if (events[i].data.fd == m_listener)
                return WaitStatus::Ready;
        }
        if (remainingMs(timeoutMs, deadline) == 0)
            return WaitStatus::TimedOut;
    }
}

WaitStatus WaitReadable(SocketHandle s, int timeoutMs, Event* stop)
{
    short revents = 0;
    bool stopped = false;
    int r = pollWithStop(s, POLLIN, timeoutMs, stop, &revents, &stopped);
    if (stopped)
        return WaitStatus::Stopped;
    if (r < 0)
        return WaitStatus::Failed;
    if (r == 0)
        return WaitStatus::TimedOut;
    if (revents & POLLNVAL)
        return WaitStatus::Failed;
    // POLLHUP and POLLERR count as ready: the following receive reports them.
    return WaitStatus::Ready;
}

long Receive(SocketHandle s, void* buffer, size_t size)
{
    for (;;) {
        ssize_t n = ::recv(s, buffer, size, 0);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A non-blocking socket: wait as a blocking receive would.
            pollfd p{s, POLLIN, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                return -1;
            continue;
        }
        if (errno != EINTR)
            return -1;
    }
}

long ReceiveNow(SocketHandle s, void* buffer, size_t size)
{
    for (;;) {
        ssize_t n = ::recv(s, buffer, size, MSG_DONTWAIT);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return kNothingYet;
        if (errno != EINTR)
            return -1;
    }
}

bool SendAll(SocketHandle s, const void* data, size_t size, int timeoutMs, Event* stop)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(s, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        short revents = 0;
        bool stopped = false;
        int r = pollWithStop(s, POLLOUT, timeoutMs, stop, &revents, &stopped);
        if (stopped || r <= 0 || (revents & (POLLERR | POLLNVAL)))
            return false;
    }
    return true;
}

bool SendNow(SocketHandle s, const void* data, size_t size)
{
    ssize_t n = ::send(s, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n >= 0 && static_cast<size_t>(n) == size;
}

void GracefulClose(SocketHandle s, int lingerMs, Event* stop, bool peerMaySend)
{
    if (s == kInvalidSocket)
        return;
    char sink[4096];
    if (!peerMaySend) {
        // Nothing unread (or the peer closed already): the close sends our end after
        // the data without a reset.
        const ssize_t n = ::recv(s, sink, sizeof sink, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) {
            ::close(s);
            return;
        }
    }
    ::shutdown(s, SHUT_WR);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(lingerMs, 0));
    for (;;) {
        int left = remainingMs(lingerMs, deadline);
        if (left == 0)
            break;
        WaitStatus w = WaitReadable(s, left, stop);
        if (w != WaitStatus::Ready)
            break;
        if (Receive(s, sink, sizeof sink) <= 0)
            break;
    }
    ::close(s);
}

void ShutdownSocket(SocketHandle s, ShutdownHow how)
{
    if (s == kInvalidSocket)
        return;
    int h = how == ShutdownHow::Receive ? SHUT_RD : how == ShutdownHow::Send ? SHUT_WR : SHUT_RDWR;
    ::shutdown(s, h);
}

void CloseSocket(SocketHandle s)
{
    if (s != kInvalidSocket)
        ::close(s);
}

bool PeerAddress(int socket, in_addr* out)
{
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    std::memset(&addr, 0, sizeof addr);
    if (!out || ::getpeername(socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    if (addr.ss_family == AF_INET && len >= sizeof(sockaddr_in)) {
        *out = reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr;
        return true;
    }
    if (addr.ss_family == AF_INET6 && len >= sizeof(sockaddr_in6)) {
        const in6_addr& a6 = reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a6)) {
            std::memcpy(&out->s_addr, a6.s6_addr + 12, 4);
            return true;
        }
    }
    return false;
}

bool PeerAddress(SocketHandle s, Ipv4Address& out)
{
    in_addr a{};
    if (!PeerAddress(static_cast<int>(s), &a))
        return false;
    std::memcpy(out.data(), &a, 4);
    return true;
}

SocketHandle ConnectTcp(const std::string& host, unsigned port, int timeoutMs, int* error)
{
    if (port == 0 || port > 65535) {
        setError(error, EINVAL);
        return kInvalidSocket;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0 || !list) {
        setError(error, rc == EAI_SYSTEM ? errno : EHOSTUNREACH);
        return kInvalidSocket;
    }
    int lastError = ECONNREFUSED;
    SocketHandle result = kInvalidSocket;
    for (addrinfo* ai = list; ai && result == kInvalidSocket; ai = ai->ai_next) {
        int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                lastError = errno;
                ::close(s);
                continue;
            }
            pollfd pfd{s, POLLOUT, 0};
            int r;
            do {
                r = ::poll(&pfd, 1, timeoutMs);
            } while (r < 0 && errno == EINTR);
            int soError = 0;
            socklen_t len = sizeof soError;
            if (r <= 0 || ::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
                lastError = r == 0 ? ETIMEDOUT : (soError ? soError : errno);
                ::close(s);
                continue;
            }
        }
        int flags = ::fcntl(s, F_GETFL, 0);
        if (flags >= 0)
            ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
        result = s;
    }
    ::freeaddrinfo(list);
    if (result == kInvalidSocket)
        setError(error, lastError);
    return result;
}

bool ParseDottedIpv4(const std::string& text, Ipv4Address& out)
{
    // inet_addr's reading of the text, with its one ambiguous value refused.
    in_addr a{};
    if (text.empty() || ::inet_aton(text.c_str(), &a) == 0 || a.s_addr == INADDR_NONE)
        return false;
    std::memcpy(out.data(), &a.s_addr, 4);
    return true;
}

bool ResolveIpv4(const std::string& host, Ipv4Address& out)
{
    if (host.empty())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return false;
    bool found = false;
    for (addrinfo* ai = list; ai && !found; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            const auto* sa = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
            std::memcpy(out.data(), &sa->sin_addr.s_addr, 4);
            found = true;
        }
    }
    ::freeaddrinfo(list);
    return found;
}

namespace {
/// The connect of ConnectIpv4 and ConnectIpv6 for either kind of socket address.
/// Connects a non-blocking socket, waiting at most timeoutMs or until stop.
bool connectNonBlocking(SocketHandle s, const sockaddr* sa, socklen_t length, int timeoutMs, Event* stop, int* error)
{
    bool connected = ::connect(s, sa, length) == 0;
    if (!connected && errno != EINPROGRESS) {
        setError(error, errno);
    } else if (!connected) {
        short revents = 0;
        bool stopped = false;
        int r = pollWithStop(s, POLLOUT, timeoutMs, stop, &revents, &stopped);
        int soError = 0;
        socklen_t len = sizeof soError;
        if (stopped)
            setError(error, EINTR);
        else if (r == 0)
            setError(error, ETIMEDOUT);
        else if (r < 0)
            setError(error, errno);
        else if (revents == POLLOUT)
            connected = true; // writable with no error or hang-up: the connect went through
        else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
            setError(error, errno);
        else if (soError != 0)
            setError(error, soError);
        else
            connected = true;
    }
    return connected;
}

bool connectAddress(SocketHandle s, const sockaddr* sa, socklen_t length, int timeoutMs, Event* stop, int* error)
{
    const int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) {
        setError(error, errno);
        return false;
    }
    const bool connected = connectNonBlocking(s, sa, length, timeoutMs, stop, error);
    ::fcntl(s, F_SETFL, flags);
    return connected;
}

SocketHandle openConnection(int family, const sockaddr* sa, socklen_t length, int timeoutMs, Event* stop, int* error)
{
    const int s = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        setError(error, errno);
        return kInvalidSocket;
    }
    if (!connectNonBlocking(s, sa, length, timeoutMs, stop, error)) {
        ::close(s);
        return kInvalidSocket;
    }
    return s;
}
} // namespace

bool ConnectIpv4(SocketHandle s, const Ipv4Address& address, unsigned port, int timeoutMs, Event* stop, int* error)
{
    if (port == 0 || port > 65535) {
        setError(error, EINVAL);
        return false;
    }
    const sockaddr_in sa = socketAddress(address, port);
    return connectAddress(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa, timeoutMs, stop, error);
}

bool ParseIpv6(const std::string& text, Ipv6Address& out)
{
    in6_addr a{};
    if (::inet_pton(AF_INET6, text.c_str(), &a) != 1)
        return false;
    std::memcpy(out.data(), &a, 16);
    return true;
}

bool ConnectIpv6(SocketHandle s, const Ipv6Address& address, unsigned port, int timeoutMs, Event* stop, int* error)
{
    if (port == 0 || port > 65535) {
        setError(error, EINVAL);
        return false;
    }
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&sa.sin6_addr, address.data(), 16);
    return connectAddress(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa, timeoutMs, stop, error);
}

SocketHandle OpenConnection(const Ipv4Address& address, unsigned port, int timeoutMs, Event* stop, int* error)
{
    if (port == 0 || port > 65535) {
        setError(error, EINVAL);
        return kInvalidSocket;
    }
    const sockaddr_in sa = socketAddress(address, port);
    return openConnection(AF_INET, reinterpret_cast<const sockaddr*>(&sa), sizeof sa, timeoutMs, stop, error);
}

SocketHandle OpenConnection6(const Ipv6Address& address, unsigned port, int timeoutMs, Event* stop, int* error)
{
    if (port == 0 || port > 65535) {
        setError(error, EINVAL);
        return kInvalidSocket;
    }
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&sa.sin6_addr, address.data(), 16);
    return openConnection(AF_INET6, reinterpret_cast<const sockaddr*>(&sa), sizeof sa, timeoutMs, stop, error);
}

void SetKeepAlive(SocketHandle s)
{
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
}

WaitStatus WaitAnyReadable(const SocketHandle* sockets, bool* ready, size_t count, int timeoutMs, Event* stop)
{
    constexpr size_t kMax = 4;
    if (count == 0 || count > kMax)
        return WaitStatus::Failed;
    for (size_t i = 0; i < count; ++i)
        ready[i] = false;
    const int stopFd = stop ? stop->PollDescriptor() : -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (stop && stop->IsSet())
            return WaitStatus::Stopped;
        int wait = remainingMs(timeoutMs, deadline);
        if (stop && stopFd < 0 && (wait < 0 || wait > 100))
            wait = 100;
        pollfd fds[kMax + 1];
        for (size_t i = 0; i < count; ++i)
            fds[i] = {sockets[i], POLLIN, 0};
        fds[count] = {stopFd, POLLIN, 0};
        int r = ::poll(fds, count + (stopFd >= 0 ? 1 : 0), wait);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return WaitStatus::Failed;
        }
        if (stopFd >= 0 && (fds[count].revents & POLLIN))
            return WaitStatus::Stopped;
        bool any = false;
        for (size_t i = 0; i < count; ++i) {
            if (fds[i].revents & POLLNVAL)
                return WaitStatus::Failed;
            // POLLHUP and POLLERR count as ready: the following receive reports them.
            ready[i] = fds[i].revents != 0;
            any = any || ready[i];
        }
        if (any)
            return WaitStatus::Ready;
        if (remainingMs(timeoutMs, deadline) == 0)
            return WaitStatus::TimedOut;
    }
}

} // namespace platform
