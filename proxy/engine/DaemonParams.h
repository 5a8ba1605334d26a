#pragma once

#include <memory>
#include <mutex>

#include "platform/Event.h"
#include "platform/Socket.h"

/// Why filtering could not start; the value indexes the start error texts.
enum class StartError : int {
    Filtering = 0,
    NetworkStartup = 1,
    ThreadCreate = 2,
    ThreadSuspend = 3,
    SocketCreate = 4, ///< the listener could not make its socket
    PortBind = 5, ///< the listener could not bind or listen on the port
    ConfigurationRead = 6,
};

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
    StartError failCode = StartError::Filtering;
    std::mutex socketLock;
};
