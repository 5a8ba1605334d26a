#pragma once

#include <memory>
#include <mutex>

#include "platform/Event.h"
#include "platform/Socket.h"

/// The block the starter shares with the listener thread. eventBound and
/// eventFailed exist from the start; eventStop and eventEnded are made by the
/// listener before anything can fail. eventStop is shared with the sessions, so a
/// session that outlives the listener still holds a live event.
struct DaemonParams {
    /// The listening socket; written and closed by the listener under socketLock.
    platform::SocketHandle daemonSocket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
    std::shared_ptr<platform::Event> eventEnded;
    platform::Event eventBound{true};
    platform::Event eventFailed{true};
    /// Written by the listener before it signals eventFailed.
    int failCode = 0;
    std::mutex socketLock;
};
