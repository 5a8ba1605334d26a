// The listener thread and the session threads it starts, one per connection.
#include "engine/HTTPdaemonThread.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/Edition.h"
#include "config/ConfigrationFile.h"
#include "engine/EngineLimits.h"
#include "engine/FilterDecision.h"
#include "engine/HTTPServiceBody.h"
#include "engine/SessionThreads.h"
#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "platform/ProcessControl.h"

std::atomic<int32_t> acceptedCount{0};
std::atomic<int32_t> activeSessionCount{0};

namespace {
constexpr int kAcceptRetryMs = 50;
constexpr char kBusyAnswer[] = "HTTP/1.1 503 Service Unavailable\r\n"
                               "Connection: close\r\n"
                               "Content-Type: text/plain\r\n"
                               "Content-Length: 19\r\n"
                               "\r\n"
                               "Too many sessions.\n";

void sessionEntry(void* arg) { HTTPServiceThread(static_cast<SessionStart*>(arg)); }

// One connection from its request to its close.
void serveConnection(SessionStart& start)
{
    bool quiet = false;
    {
        HTTPServiceBody body(start);
        TraceLog trace("head", "txt");
        body.trace = &trace;
        RunFilterDecision(body, trace);
        // A tunnel's client may send at any time: it gets the full close.
        quiet = body.clientQuiet && body.request.scheme != Scheme::Https;
    }
    // Out of the table before the socket closes: the table may shut it down until then.
    if (start.listener)
        start.listener->sessions.Release(start.ticket);
    // Shut our side, let the client take everything, then close. A client that sent
    // one whole request and nothing more has nothing left to send: no need to wait.
    platform::GracefulClose(start.clientSocket, engineLimits().lingerMs, start.eventStop.get(), !quiet);
}

void fail(DaemonParams* params, platform::Event& ended, StartError code)
{
    params->failCode = code;
    params->eventFailed.Set();
    ended.Set();
}

void setDaemonSocket(DaemonParams* params, platform::SocketHandle socket)
{
    std::lock_guard<std::mutex> guard(params->socketLock);
    params->daemonSocket = socket;
}

/// A connection over the session bound gets a short answer, without waiting.
void refuseBusy(platform::SocketHandle client)
{
    platform::SendNow(client, kBusyAnswer, sizeof kBusyAnswer - 1);
    platform::ShutdownSocket(client, platform::ShutdownHow::Send);
    platform::CloseSocket(client);
}

/// The next waiting connection its client may still open, or null when none waits;
/// the ones over their client's share are answered on the way.
std::unique_ptr<SessionStart> takeWaiting(const SessionStart& done)
{
    for (;;) {
        platform::PeerOfAccept peer;
        const platform::SocketHandle next = done.listener->TakeWaiting(&peer);
        if (next == platform::kInvalidSocket)
            return nullptr;
        acceptedCount.fetch_add(1);
        auto start = std::unique_ptr<SessionStart>(new SessionStart{next, done.eventStop, done.listener, peer, {}});
        if (start->listener->sessions.Admit(peer.known ? &peer.address : nullptr, next, start->ticket))
            return start;
        refuseBusy(next);
    }
}

/// The listening socket on the configured port, or kInvalidSocket after signalling
/// the failure.
platform::SocketHandle openListener(DaemonParams* params, platform::Event& ended)
{
    platform::SocketHandle listener = platform::CreateTcpSocket();
    if (listener == platform::kInvalidSocket) {
        fail(params, ended, StartError::SocketCreate);
        return platform::kInvalidSocket;
    }
    setDaemonSocket(params, listener);
    WriteServiceLog("daemonSock Created.");

    const ConfigrationFileSigleton& cnf = *ConfigrationFileSigleton::getInstance();
    const platform::Ipv4Address& address = IsStandaloneEdition() ? platform::kLoopbackAddress : platform::kAnyAddress;
    if (!platform::BindIpv4(listener, address, cnf.Port) ||
        !platform::Listen(listener, ListenBacklogFor(cnf.ListenBacklog))) {
        setDaemonSocket(params, platform::kInvalidSocket);
        platform::CloseSocket(listener);
        fail(params, ended, StartError::PortBind);
        return platform::kInvalidSocket;
    }
    return listener;
}

/// Hands each connection to a session thread of its own until the stop event.
void acceptConnections(platform::SocketHandle listener, platform::Event& stop,
                       const std::shared_ptr<SharedListener>& shared)
{
    const EngineLimits& limits = engineLimits();
    while (!stop.IsSet()) {
        platform::SocketHandle client = platform::kInvalidSocket;
        int error = 0;
        platform::PeerOfAccept peer;
        platform::AcceptStatus status = platform::AcceptOrStop(listener, stop, &client, &error, &peer);
        if (status == platform::AcceptStatus::Stopped)
            break;
        if (status == platform::AcceptStatus::Failed) {
            WriteServiceLog("Accept failed.");
            WriteDebugLog("accept() error (%d)\n", error);
            // Out of descriptors and the like: pause rather than spin.
            stop.Wait(kAcceptRetryMs);
            continue;
        }
        acceptedCount.fetch_add(1);
        auto start = std::unique_ptr<SessionStart>(new SessionStart{client, shared->eventStop, shared, peer, {}});
        SessionTable& table = shared->sessions;
        if (!table.Admit(peer.known ? &peer.address : nullptr, client, start->ticket)) {
            refuseBusy(client); // that client holds its share already
            continue;
        }
        // A full table makes room by ending the session that has waited longest for
        // its header; sessions so ended are on their way out and not counted. Twice
        // the bound stays a hard limit on threads.
        const int active = activeSessionCount.load();
        if (active - table.Ending() >= limits.maxSessions &&
            (active >= 2 * limits.maxSessions || !table.EndLongestWaiting(&start->ticket))) {
            table.Release(start->ticket);
            refuseBusy(client);
            continue;
        }
        activeSessionCount.fetch_add(1);
        SessionStart* handed = start.release();
        if (!StartSessionThread(sessionEntry, handed, kSessionStackBytes)) {
            WriteServiceLog("Session thread start failed.");
            table.Release(handed->ticket);
            delete handed;
            platform::CloseSocket(client);
            activeSessionCount.fetch_sub(1);
        }
    }
}

/// Sessions notice the stop event themselves; give them a bounded time to end.
void waitForSessions()
{
    const auto begin = std::chrono::steady_clock::now();
    while (activeSessionCount.load() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(engineLimits().shutdownWaitMs))
            break;
    }
}
} // namespace

unsigned HTTPdaemonThread(DaemonParams* params)
{
    WriteServiceLog("HTTPdaemonThread started.");
    // Own references: the stopper drops the block's ones once eventEnded is seen.
    auto stop = std::make_shared<platform::Event>(true);
    auto ended = std::make_shared<platform::Event>(true);
    params->eventStop = stop;
    params->eventEnded = ended;

    const platform::SocketHandle listener = openListener(params, *ended);
    if (listener == platform::kInvalidSocket)
        return 0;
    activeSessionCount = 0;
    auto shared = std::make_shared<SharedListener>(ConfigrationFileSigleton::getInstance()->MaxClientSession);
    shared->socket = listener;
    shared->eventStop = stop;
    params->eventBound.Set();

    acceptConnections(listener, *stop, shared);
    shared->Withdraw();
    waitForSessions();
    EndIdleSessionThreads();

    setDaemonSocket(params, platform::kInvalidSocket);
    platform::CloseSocket(listener);
    ended->Set();
    return 0;
}

platform::SocketHandle SharedListener::TakeWaiting(platform::PeerOfAccept* peer)
{
    const std::shared_lock guard(lock);
    if (socket == platform::kInvalidSocket || (eventStop && eventStop->IsSet()))
        return platform::kInvalidSocket;
    return platform::TryAccept(socket, peer);
}

int ListenBacklogFor(int configured)
{
    // The kernel cuts a larger backlog to its own limit; so do we, so the number stays sane.
    constexpr int kMinimum = 10;
    constexpr int kMaximum = 65535;
    return std::clamp(configured, kMinimum, kMaximum);
}

void SharedListener::Withdraw()
{
    const std::unique_lock guard(lock);
    socket = platform::kInvalidSocket;
}

void HTTPServiceThread(SessionStart* start)
{
    std::unique_ptr<SessionStart> current(start);
    for (;;) {
        serveConnection(*current);
        if (!current->listener)
            break;
        // The session count stays as it is: one connection ends, the next begins.
        std::unique_ptr<SessionStart> next = takeWaiting(*current);
        if (!next)
            break;
        current = std::move(next);
    }
    current.reset();
    activeSessionCount.fetch_sub(1);
}
