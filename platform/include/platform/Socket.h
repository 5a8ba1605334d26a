#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace platform {

class Event;

/// A socket descriptor. Writes never raise SIGPIPE; waits use poll(), so any
/// descriptor number works.
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;

/// An IPv4 address as four bytes in dotted order.
using Ipv4Address = std::array<unsigned char, 4>;
/// An IPv6 address as its sixteen bytes in network order.
using Ipv6Address = std::array<unsigned char, 16>;

/// Start and release of the network library: nothing to do here, kept so callers
/// have one place for it. NetworkStartup returns 0 on success.
[[nodiscard]] int NetworkStartup();
void NetworkCleanup();

/// A new IPv4 stream socket (close-on-exec, address reuse on so a restart does not
/// wait for old connections). kInvalidSocket on failure, with the reason in *error.
SocketHandle CreateTcpSocket(int* error = nullptr);
/// The same, an IPv6 socket when ipv6 is set.
SocketHandle CreateTcpSocketOf(bool ipv6, int* error = nullptr);

/// Binds to the address (dotted order) and port; a port above 65535 fails.
/// Returns false on failure.
bool BindIpv4(SocketHandle s, const Ipv4Address& address, unsigned port, int* error = nullptr);
[[nodiscard]] bool Listen(SocketHandle s, int backlog, int* error = nullptr);
/// Port the socket is bound to, 0 when unknown.
unsigned LocalPort(SocketHandle s);

/// The peer of an accepted connection as the accept itself reported it, so nobody has
/// to ask the kernel again. known is false for a peer that is not IPv4 (an
/// IPv4-mapped IPv6 peer counts as IPv4).
struct PeerOfAccept {
    Ipv4Address address{};
    bool known = false;
};

enum class AcceptStatus { Accepted, Stopped, Failed };
/// Waits for a connection on a listening socket or for the stop event, whichever
/// comes first; the stop event wins when both are ready. A listening socket that is
/// shut down also counts as stopped. On Failed *error holds the reason. peer (may be
/// null) receives the client's address.
AcceptStatus AcceptOrStop(SocketHandle listener, Event& stop, SocketHandle* client, int* error,
                          PeerOfAccept* peer = nullptr);
/// A connection already waiting on a listening socket made by Listen, or
/// kInvalidSocket at once when none is. peer (may be null) receives its address;
/// error (may be null) the reason of a failure other than nothing waiting, else 0.
SocketHandle TryAccept(SocketHandle listener, PeerOfAccept* peer = nullptr, int* error = nullptr);

enum class WaitStatus { Ready, TimedOut, Stopped, Failed };
/// Waits until the socket is readable (or its peer has closed), at most timeoutMs
/// (negative: no limit), ending early when stop (may be null) is signalled.
WaitStatus WaitReadable(SocketHandle s, int timeoutMs, Event* stop);

/// Lets several threads wait for connections on one listening socket: a connection
/// wakes one of them rather than all, so no thread has to hand connections on. Each
/// thread has its own object; the socket must stay open while it waits.
class ListenWaiter {
public:
    /// stop (may be null) ends a wait early.
    ListenWaiter(SocketHandle listener, Event* stop);
    ~ListenWaiter();
    ListenWaiter(const ListenWaiter&) = delete;
    ListenWaiter& operator=(const ListenWaiter&) = delete;
    /// Waits at most timeoutMs (negative: no limit) until a connection may be waiting
    /// (another thread may take it first: TryAccept then finds none) or stop is
    /// signalled, which wins when both are ready.
    WaitStatus Wait(int timeoutMs);

private:
    SocketHandle m_listener;
    Event* m_stop;
    int m_poll = -1; // -1: plain polls, which wake every waiter
};

/// One receive: bytes read, 0 when the peer closed, -1 on error. On a non-blocking
/// socket it waits for data as on a blocking one.
long Receive(SocketHandle s, void* buffer, size_t size);
/// ReceiveNow's result when nothing has arrived yet.
inline constexpr long kNothingYet = -2;
/// One receive without waiting: bytes read, 0 when the peer closed, kNothingYet, or
/// -1 on error. Saves a wait where data has usually arrived already.
long ReceiveNow(SocketHandle s, void* buffer, size_t size);

/// Sends every byte, waiting for room at most timeoutMs each time no progress can
/// be made, and giving up when stop (may be null) is signalled. True when all went.
bool SendAll(SocketHandle s, const void* data, size_t size, int timeoutMs, Event* stop = nullptr);
/// Sends what fits now without waiting; true when everything went.
bool SendNow(SocketHandle s, const void* data, size_t size);

/// Closes our sending side, reads and discards what the peer still sends until it
/// closes, lingerMs pass or stop is signalled, then closes the socket. The peer so
/// gets all we sent instead of a reset caused by unread data. With peerMaySend
/// false (the peer, by its protocol, sends nothing more) the socket is closed at
/// once when nothing unread is waiting, which saves a wait for the peer per
/// connection; anything unread still gets the full close.
void GracefulClose(SocketHandle s, int lingerMs, Event* stop = nullptr, bool peerMaySend = true);
enum class ShutdownHow { Receive, Send, Both };
void ShutdownSocket(SocketHandle s, ShutdownHow how);
void CloseSocket(SocketHandle s);

/// The IPv4 address of the peer of a connected socket, in network byte order. A peer
/// seen through an IPv6 socket as an IPv4-mapped address gives its IPv4 address.
/// Returns false when there is no such peer (not a socket, not connected, or another
/// address family); *out is then unchanged. Any thread.
[[nodiscard]] bool PeerAddress(int socket, in_addr* out);
/// The same as four bytes in dotted order.
[[nodiscard]] bool PeerAddress(SocketHandle s, Ipv4Address& out);

/// Connects to host:port (name or dotted address) within timeoutMs.
/// kInvalidSocket on failure, with the reason in *error.
SocketHandle ConnectTcp(const std::string& host, unsigned port, int timeoutMs, int* error = nullptr);

/// Reads a dotted address as inet_addr does ("127.1", "0x7f.1" and octal parts are
/// accepted); false for text it refuses and for 255.255.255.255, which inet_addr
/// cannot tell from its failure value.
bool ParseDottedIpv4(const std::string& text, Ipv4Address& out);
/// Resolves a host name to its first IPv4 address. False when it does not resolve.
bool ResolveIpv4(const std::string& host, Ipv4Address& out);
/// Connects an unconnected TCP socket to address:port, waiting at most timeoutMs
/// (negative: the system's own limit) and giving up when stop (may be null) is
/// signalled. The socket stays blocking afterwards. False on failure, with the
/// reason in *error.
bool ConnectIpv4(SocketHandle s, const Ipv4Address& address, unsigned port, int timeoutMs, Event* stop,
                 int* error = nullptr);
/// Reads an IPv6 address in its text form ("::1", "fe80::a:b"), without brackets.
bool ParseIpv6(const std::string& text, Ipv6Address& out);
/// ConnectIpv4 for an IPv6 socket and address.
bool ConnectIpv6(SocketHandle s, const Ipv6Address& address, unsigned port, int timeoutMs, Event* stop,
                 int* error = nullptr);
/// A new socket connected to address:port as ConnectIpv4 connects (close-on-exec, no
/// address reuse). It stays non-blocking, which saves switching modes per
/// connection: Receive and SendAll wait on it as on a blocking one.
/// kInvalidSocket on failure, with the reason in *error.
SocketHandle OpenConnection(const Ipv4Address& address, unsigned port, int timeoutMs, Event* stop,
                            int* error = nullptr);
/// The same over IPv6.
SocketHandle OpenConnection6(const Ipv6Address& address, unsigned port, int timeoutMs, Event* stop,
                             int* error = nullptr);
/// Turns on TCP keep-alive probes.
void SetKeepAlive(SocketHandle s);

/// Waits until one of the sockets is readable (or its peer has closed), at most
/// timeoutMs, ending early when stop (may be null) is signalled. ready[i] tells which
/// socket is readable when the result is Ready.
WaitStatus WaitAnyReadable(const SocketHandle* sockets, bool* ready, size_t count, int timeoutMs, Event* stop);

/// The loopback address 127.0.0.1 and the any-address 0.0.0.0.
inline constexpr Ipv4Address kLoopbackAddress{127, 0, 0, 1};
inline constexpr Ipv4Address kAnyAddress{0, 0, 0, 0};

} // namespace platform
