#pragma once

#include <memory>

#include "engine/SessionTable.h"
#include "platform/Event.h"
#include "platform/Socket.h"

struct SharedListener;

/// A connection taken from the listener and what its session needs. It stays at one
/// address while the session runs (the listener's table points at its ticket).
struct SessionStart {
    platform::SocketHandle clientSocket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
    std::shared_ptr<SharedListener> listener; ///< may be null: serve this one connection only
    platform::PeerOfAccept peer; ///< the client's address as the accept reported it
    SessionTable::Ticket ticket; ///< admitted into the listener's table (with a listener)
};
