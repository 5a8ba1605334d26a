#pragma once

#include <memory>

#include "platform/Event.h"
#include "platform/Socket.h"

struct SharedListener;

/// What the listener hands to a new session thread; the session frees it.
struct SessionStart {
    platform::SocketHandle clientSocket = platform::kInvalidSocket;
    std::shared_ptr<platform::Event> eventStop;
    std::shared_ptr<SharedListener> listener; ///< may be null: serve this one connection only
};
