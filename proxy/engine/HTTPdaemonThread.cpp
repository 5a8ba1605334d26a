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
#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "platform/ProcessControl.h"

std::atomic<int32_t> acceptedCount{0};
std::atomic<int32_t> activeSessionCount{0};

namespace {
constexpr int kAcceptRetryMs = 50;
// Threads waiting for connections are kept for the next ones, as starting a thread costs
// far more than waking one; beyond this many, or idle this long, they end.
constexpr int kMaxWaitingThreads = 64;
constexpr int kIdleThreadMs = 30'000;
constexpr char kBusyAnswer[] = "HTTP/1.1 503 Service Unavailable\r\n"
                               "Connection: close\r\n"
                               "Content-Type: text/plain\r\n"
                               "Content-Length: 19\r\n"
                               "\r\n"
                               "Too many sessions.\n";

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

/// Counts a new connection and admits it into the table as a new session: false (and the
/// connection answered and closed) when its client holds its share already, or the
/// table is full and nobody waits for a header to make room for it.
bool admit(SessionStart& start)
{
    acceptedCount.fetch_add(1);
    SessionTable& table = start.listener->sessions;
    const platform::SocketHandle client = start.clientSocket;
    if (!table.Admit(start.peer.known ? &start.peer.address : nullptr, client, start.ticket)) {
        refuseBusy(client); // that client holds its share already
        return false;
    }
    // A full table makes room by ending the session that has waited longest for
    // its header; sessions so ended are on their way out and not counted. Twice
    // the bound stays a hard limit on threads.
    const int maxSessions = engineLimits().maxSessions;
    const int active = activeSessionCount.load();
    if (active - table.Ending() >= maxSessions &&
        (active >= 2 * maxSessions || !table.EndLongestWaiting(&start.ticket))) {
        table.Release(start.ticket);
        refuseBusy(client);
        return false;
    }
    activeSessionCount.fetch_add(1);
    return true;
}

void waitingThread(void* arg);

/// Starts a thread that waits for connections; false when none could be had.
bool startWaitingThread(const std::shared_ptr<SharedListener>& shared)
{
    auto* handed = new std::shared_ptr<SharedListener>(shared);
    shared->threads.fetch_add(1);
    shared->waiting.fetch_add(1);
    if (platform::StartDetachedThread(waitingThread, handed, kSessionStackBytes))
        return true;
    shared->waiting.fetch_sub(1);
    shared->threads.fetch_sub(1);
    delete handed;
    return false;
}

/// Waits on the listening socket for the next connection and admits it; null at the
/// stop, or when this thread has been idle long enough and others wait too. Either
/// way the thread no longer counts as waiting; the last one to stop starts another,
/// so that one thread always waits.
std::unique_ptr<SessionStart> nextConnection(const std::shared_ptr<SharedListener>& shared,
                                             platform::ListenWaiter& waiter)
{
    platform::Event& stop = *shared->eventStop;
    for (;;) {
        const platform::WaitStatus w = waiter.Wait(kIdleThreadMs);
        if (w == platform::WaitStatus::Stopped) {
            shared->waiting.fetch_sub(1);
            return nullptr;
        }
        if (w == platform::WaitStatus::TimedOut) {
            // Idle: this thread ends unless it is the last one waiting.
            int others = shared->waiting.load();
            while (others > 1) {
                if (shared->waiting.compare_exchange_weak(others, others - 1))
                    return nullptr;
            }
            continue;
        }
        platform::PeerOfAccept peer;
        int error = 0;
        const platform::SocketHandle client =
            w == platform::WaitStatus::Ready ? shared->TakeWaiting(&peer, &error) : platform::kInvalidSocket;
        if (client == platform::kInvalidSocket) {
            if (error != 0 || w == platform::WaitStatus::Failed) {
                WriteServiceLog("Accept failed.");
                WriteDebugLog("accept() error (%d)\n", error);
                // Out of descriptors and the like: pause rather than spin.
                stop.Wait(kAcceptRetryMs);
            }
            continue; // another thread took it, or nothing came
        }
        auto start = std::unique_ptr<SessionStart>(new SessionStart{client, shared->eventStop, shared, peer, {}});
        if (!admit(*start))
            continue;
        if (shared->waiting.fetch_sub(1) == 1 && !startWaitingThread(shared)) {
            // Nobody would wait for the next connection: this one is dropped instead.
            WriteServiceLog("Session thread start failed.");
            shared->waiting.fetch_add(1);
            start->listener->sessions.Release(start->ticket);
            platform::CloseSocket(client);
            activeSessionCount.fetch_sub(1);
            continue;
        }
        return start;
    }
}

/// A thread of the listener: waits for a connection, serves it, and waits again.
void waitingThread(void* arg)
{
    std::shared_ptr<SharedListener> shared = std::move(*static_cast<std::shared_ptr<SharedListener>*>(arg));
    delete static_cast<std::shared_ptr<SharedListener>*>(arg);
    std::unique_ptr<platform::ListenWaiter> waiter;
    {
        // Under the lock: once withdrawn, the socket may be closed and its number reused.
        const std::shared_lock guard(shared->lock);
        if (shared->socket != platform::kInvalidSocket)
            waiter = std::make_unique<platform::ListenWaiter>(shared->socket, shared->eventStop.get());
    }
    if (!waiter) {
        shared->waiting.fetch_sub(1);
    } else {
        for (;;) {
            std::unique_ptr<SessionStart> start = nextConnection(shared, *waiter);
            if (!start)
                break;
            // A connection already waiting is found by the next wait at once.
            serveConnection(*start);
            start.reset();
            activeSessionCount.fetch_sub(1);
            if (shared->waiting.fetch_add(1) >= kMaxWaitingThreads) {
                shared->waiting.fetch_sub(1);
                break;
            }
        }
    }
    waiter.reset();
    shared->threads.fetch_sub(1);
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

/// Sessions notice the stop event themselves; give them, and the threads waiting for
/// connections, a bounded time to end.
void waitForSessions(const SharedListener& shared)
{
    const auto begin = std::chrono::steady_clock::now();
    while (activeSessionCount.load() > 0 || shared.threads.load() > 0) {
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
    if (!startWaitingThread(shared)) {
        WriteServiceLog("Session thread start failed.");
        setDaemonSocket(params, platform::kInvalidSocket);
        platform::CloseSocket(listener);
        fail(params, *ended, StartError::ThreadCreate);
        return 0;
    }
    params->eventBound.Set();

    // The connections are taken by the threads that serve them.
    stop->Wait();
    shared->Withdraw();
    waitForSessions(*shared);

    setDaemonSocket(params, platform::kInvalidSocket);
    platform::CloseSocket(listener);
    ended->Set();
    return 0;
}

platform::SocketHandle SharedListener::TakeWaiting(platform::PeerOfAccept* peer, int* error)
{
    if (error)
        *error = 0;
    const std::shared_lock guard(lock);
    if (socket == platform::kInvalidSocket || (eventStop && eventStop->IsSet()))
        return platform::kInvalidSocket;
    return platform::TryAccept(socket, peer, error);
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
