#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>

#include "engine/DaemonParams.h"
#include "engine/SessionStart.h"
#include "engine/SessionTable.h"
#include "platform/Event.h"
#include "platform/Socket.h"

/// The listening socket as the sessions see it: a session that has just finished
/// takes a connection that is already waiting, so the queue empties even while the
/// listener thread waits for a processor. The listener withdraws it when it stops.
struct SharedListener {
    SharedListener() = default;
    /// perClient: the sessions one client address may hold.
    explicit SharedListener(int perClient)
        : sessions(perClient)
    {
    }
    /// A waiting connection, or kInvalidSocket (none, or the listener stopped). peer
    /// (may be null) receives its address.
    platform::SocketHandle TakeWaiting(platform::PeerOfAccept* peer = nullptr);
    /// No session takes a connection after this returns.
    void Withdraw();

    std::shared_mutex lock;
    platform::SocketHandle socket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
    /// Every session of this listener, by client address.
    SessionTable sessions;
};

/// The listen backlog for the configured ListenBacklog: never below 10, and never
/// above what the kernel takes anyway.
int ListenBacklogFor(int configured);

/// Connections accepted since the process started.
extern std::atomic<int32_t> acceptedCount;
/// Session threads running now: raised by the listener before a session starts,
/// lowered by the session as its last act.
extern std::atomic<int32_t> activeSessionCount;

/// The listener thread: makes eventStop and eventEnded, binds the configured port
/// (127.0.0.1 in the standalone edition, every address otherwise), signals
/// eventBound or eventFailed (with failCode SocketCreate or PortBind), accepts connections into
/// session threads until eventStop, waits a bounded time for the sessions, closes
/// the socket and signals eventEnded. Always returns 0.
unsigned HTTPdaemonThread(DaemonParams* params);

/// Body of one session thread; takes ownership of the record. With a listener in
/// the record it goes on with connections already waiting there.
void HTTPServiceThread(SessionStart* start);
