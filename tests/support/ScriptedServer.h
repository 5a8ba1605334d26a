#pragma once

#include <atomic>
#include <charconv>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>

#include "platform/Event.h"
#include "platform/Socket.h"

namespace zpftest {

/// Reads one HTTP request from s: the header and as much body as its Content-Length
/// asks for, waiting at most waitMs for each piece. What arrived, complete or not.
inline std::string ReadHttpRequest(platform::SocketHandle s, int waitMs = 3000)
{
    std::string got;
    char buf[4096];
    size_t need = std::string::npos;
    for (int i = 0; i < 100000; ++i) {
        if (need == std::string::npos) {
            size_t end = got.find("\r\n\r\n");
            if (end != std::string::npos) {
                need = end + 4;
                size_t cl = got.find("Content-Length: ");
                size_t body = 0;
                if (cl != std::string::npos && cl < end)
                    std::from_chars(got.data() + cl + 16, got.data() + end, body);
                need += body;
            }
        }
        if (need != std::string::npos && got.size() >= need)
            break;
        if (platform::WaitReadable(s, waitMs, nullptr) != platform::WaitStatus::Ready)
            break;
        long n = platform::Receive(s, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

/// Everything s delivers until the peer closes or waitMs of silence.
inline std::string ReadUntilClose(platform::SocketHandle s, int waitMs = 5000)
{
    std::string out;
    char buf[16384];
    for (int i = 0; i < 100000; ++i) {
        if (platform::WaitReadable(s, waitMs, nullptr) != platform::WaitStatus::Ready)
            break;
        long n = platform::Receive(s, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

/// A server on 127.0.0.1 and a free port, inside the test process, that hands each
/// connection in turn to a script. The script reads and answers as it likes; the
/// connection is closed after it returns.
class ScriptedServer {
public:
    using Script = std::function<void(platform::SocketHandle connection)>;

    explicit ScriptedServer(Script script)
        : m_script(std::move(script))
    {
        m_listener = platform::CreateTcpSocket();
        if (!platform::BindIpv4(m_listener, platform::kLoopbackAddress, 0) || !platform::Listen(m_listener, 16))
            return;
        port = platform::LocalPort(m_listener);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        m_stop.Set();
        if (m_thread.joinable())
            m_thread.join();
        platform::CloseSocket(m_listener);
    }
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    /// Connections served so far.
    int served() const { return m_served.load(); }

    unsigned port = 0;

private:
    void serve()
    {
        for (;;) {
            platform::SocketHandle c = platform::kInvalidSocket;
            int error = 0;
            if (platform::AcceptOrStop(m_listener, m_stop, &c, &error) != platform::AcceptStatus::Accepted)
                return;
            m_script(c);
            platform::ShutdownSocket(c, platform::ShutdownHow::Send);
            platform::CloseSocket(c);
            m_served.fetch_add(1);
        }
    }

    Script m_script;
    platform::SocketHandle m_listener = platform::kInvalidSocket;
    platform::Event m_stop{true};
    std::thread m_thread;
    std::atomic<int> m_served{0};
};

/// The requests a server read, in order; the server has its own thread.
class Requests {
public:
    /// The i-th request, empty when there was none.
    std::string operator[](size_t i) const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return i < m_list.size() ? m_list[i] : "";
    }
    std::vector<std::string> all() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_list;
    }
    void add(std::string request)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_list.push_back(std::move(request));
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_list;
};

/// A script that reads each request, adds it to seen, answers with the bytes whatever
/// it was asked, and keeps the connection open holdMs longer.
inline ScriptedServer::Script Answer(std::string bytes, Requests* seen = nullptr, int holdMs = 0)
{
    return [bytes = std::move(bytes), seen, holdMs](platform::SocketHandle c) {
        std::string request = ReadHttpRequest(c);
        if (seen)
            seen->add(std::move(request));
        platform::SendAll(c, bytes.data(), bytes.size(), 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    };
}

/// A loopback port nobody listens on (at the moment of the call).
inline unsigned FreeLoopbackPort()
{
    auto s = platform::CreateTcpSocket();
    platform::BindIpv4(s, platform::kLoopbackAddress, 0);
    const unsigned port = platform::LocalPort(s);
    platform::CloseSocket(s);
    return port;
}

/// Milliseconds since t.
inline long long MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

/// True once condition holds, looked at every 5 ms for at most timeoutMs.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

/// Closes a connection with a reset instead of an orderly end.
inline void ResetConnection(platform::SocketHandle s)
{
    struct linger l {
        1, 0
    };
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

} // namespace zpftest
