#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/DaemonParams.h"
#include "platform/Event.h"
#include "platform/Socket.h"

/// What the listener hands to a new session thread; the session frees it.
struct SessionStart {
    platform::SocketHandle clientSocket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
};

/// Connections accepted since the process started (written by the listener only).
extern std::atomic<int32_t> acceptedCount;
/// Session threads running now: raised by the listener before a session starts,
/// lowered by the session as its last act.
extern std::atomic<int32_t> activeSessionCount;

/// The listener thread: makes eventStop and eventEnded, binds the configured port
/// (127.0.0.1 in the standalone edition, every address otherwise), signals
/// eventBound or eventFailed (with failCode 4 or 5), accepts connections into
/// session threads until eventStop, waits a bounded time for the sessions, closes
/// the socket and signals eventEnded. Always returns 0.
unsigned HTTPdaemonThread(DaemonParams* params);

/// Body of one session thread; takes ownership of the record.
void HTTPServiceThread(SessionStart* start);
