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

/// The listening socket as its threads see it: they wait on it and serve what they
/// take themselves, so no connection is handed from thread to thread. The listener
/// withdraws it when it stops.
struct SharedListener {
    SharedListener() = default;
    /// perClient: the sessions one client address may hold.
    explicit SharedListener(int perClient)
        : sessions(perClient)
    {
    }
    /// A waiting connection, or kInvalidSocket (none, or the listener stopped). peer
    /// (may be null) receives its address; error (may be null) why the accept failed.
    platform::SocketHandle TakeWaiting(platform::PeerOfAccept* peer = nullptr, int* error = nullptr);
    /// No session takes a connection after this returns.
    void Withdraw();

    std::shared_mutex lock;
    platform::SocketHandle socket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
    /// Every session of this listener, by client address.
    SessionTable sessions;
    /// The listener's threads, and those of them waiting for a connection.
    std::atomic<int> threads{0};
    std::atomic<int> waiting{0};
};

/// The listen backlog for the configured ListenBacklog: never below 10, and never
/// above what the kernel takes anyway.
int ListenBacklogFor(int configured);

/// Connections accepted since the process started.
extern std::atomic<int32_t> acceptedCount;
/// Sessions running now: raised when a connection is admitted, lowered by the session
/// as its last act.
extern std::atomic<int32_t> activeSessionCount;

/// The listener thread: makes eventStop and eventEnded, binds the configured port
/// (127.0.0.1 in the standalone edition, every address otherwise), signals
/// eventBound or eventFailed (with failCode SocketCreate, PortBind or ThreadCreate),
/// keeps threads that take and serve connections until eventStop, waits a bounded
/// time for the sessions, closes the socket and signals eventEnded. Always returns 0.
unsigned HTTPdaemonThread(DaemonParams* params);
