#pragma once

#include <cstddef>

#include "platform/Socket.h"

namespace platform {

/// Moves bytes from one socket to another through a kernel pipe, so they are never
/// copied through this process's memory. Used for bytes nobody looks at (binary
/// bodies, tunnels). Where the system cannot do it, Usable() turns false before any
/// byte was taken, and the caller relays with Receive and SendAll instead. One
/// object per direction; used by one thread, which keeps its pipe for the next
/// object when it is left empty.
class SocketSplice {
public:
    SocketSplice() = default;
    ~SocketSplice();
    SocketSplice(const SocketSplice&) = delete;
    SocketSplice& operator=(const SocketSplice&) = delete;

    /// False once the pipe could not be made or the sockets cannot be spliced; nothing
    /// was taken from a socket then.
    bool Usable() const { return !m_failed; }
    /// Moves at most max bytes that have arrived on from into the pipe. Returns the
    /// count, 0 when the peer closed, kNothingYet when nothing has arrived (or the
    /// splice turned out unusable), -1 on error. Call only with nothing held.
    long Take(SocketHandle from, size_t max);
    /// Sends everything held to `to`, waiting at most timeoutMs for room each time no
    /// progress can be made and giving up when stop (may be null) is signalled. `to`
    /// is made non-blocking. True when all went.
    bool Give(SocketHandle to, int timeoutMs, Event* stop);
    /// Bytes taken and not yet given.
    size_t Held() const { return m_held; }

private:
    bool open();
    bool give(SocketHandle to, int timeoutMs, Event* stop);

    int m_read = -1;
    int m_write = -1;
    size_t m_held = 0;
    bool m_failed = false;
    bool m_clean = true; // no error since the pipe was had: what it holds is m_held
    int m_nonBlocking = -1; // the last `to` made non-blocking
};

} // namespace platform
