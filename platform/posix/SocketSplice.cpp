// Socket-to-socket copies inside the kernel (splice through a pipe), for relayed
// bytes that nobody scans.
#include "platform/SocketSplice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include "platform/Event.h"

namespace platform {

namespace {
constexpr int kPipeBytes = 256 << 10;

// A splice into a socket whose peer has gone raises SIGPIPE, as a send without
// MSG_NOSIGNAL does: the threads that splice keep it blocked, and a raised one is
// taken back.
void holdBrokenPipe()
{
    thread_local bool held = false;
    if (held)
        return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    held = pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

void takeBrokenPipe()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    const timespec now{0, 0};
    while (::sigtimedwait(&set, nullptr, &now) == SIGPIPE) { }
}

// Pipes a thread's finished splices left empty, for its next ones: a new pipe costs
// four system calls (make, size, two closes), and a relay needs at most two.
struct SparePipes {
    int fds[2][2];
    int count = 0;
    ~SparePipes()
    {
        while (count > 0) {
            --count;
            ::close(fds[count][0]);
            ::close(fds[count][1]);
        }
    }
};
thread_local SparePipes spares;
} // namespace

SocketSplice::~SocketSplice()
{
    if (m_read < 0)
        return;
    // Only a pipe known to be empty may carry another relay's bytes.
    if (m_held == 0 && m_clean && spares.count < 2) {
        spares.fds[spares.count][0] = m_read;
        spares.fds[spares.count][1] = m_write;
        ++spares.count;
        return;
    }
    ::close(m_read);
    ::close(m_write);
}

bool SocketSplice::open()
{
    if (m_read >= 0)
        return true;
    if (!m_failed && spares.count > 0) {
        --spares.count;
        m_read = spares.fds[spares.count][0];
        m_write = spares.fds[spares.count][1];
        return true;
    }
    int fds[2];
    if (m_failed || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_failed = true;
        return false;
    }
    m_read = fds[0];
    m_write = fds[1];
    // More room saves rounds on large bodies; the default room is kept where the
    // system refuses.
    (void)::fcntl(m_write, F_SETPIPE_SZ, kPipeBytes);
    return true;
}

long SocketSplice::Take(SocketHandle from, size_t max)
{
    if (m_held > 0 || !open())
        return -1;
    for (;;) {
        const ssize_t n = ::splice(from, nullptr, m_write, nullptr, max, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n >= 0) {
            m_held = static_cast<size_t>(n);
            return static_cast<long>(n);
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return kNothingYet;
        if (errno == EINVAL || errno == ENOSYS) {
            // Nothing was taken: the caller reads the bytes itself.
            m_failed = true;
            return kNothingYet;
        }
        m_clean = false;
        return -1;
    }
}

bool SocketSplice::Give(SocketHandle to, int timeoutMs, Event* stop)
{
    if (give(to, timeoutMs, stop))
        return true;
    m_clean = false;
    return false;
}

bool SocketSplice::give(SocketHandle to, int timeoutMs, Event* stop)
{
    if (m_nonBlocking != to) {
        // The pipe side is non-blocking anyway; the socket must be too, or a full
        // socket would hold the thread without a look at the stop event.
        const int flags = ::fcntl(to, F_GETFL, 0);
        if (flags < 0 || ((flags & O_NONBLOCK) == 0 && ::fcntl(to, F_SETFL, flags | O_NONBLOCK) != 0))
            return false;
        m_nonBlocking = to;
    }
    holdBrokenPipe();
    using Clock = std::chrono::steady_clock;
    const int stopFd = stop ? stop->PollDescriptor() : -1;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (m_held > 0) {
        const ssize_t n = ::splice(m_read, nullptr, to, nullptr, m_held, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n > 0) {
            m_held -= static_cast<size_t>(n);
            deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return false;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (errno == EPIPE)
                takeBrokenPipe();
            return false;
        }
        if (stop && stop->IsSet())
            return false;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            wait = static_cast<int>(left);
        }
        // Without a pollable stop event, look at it every 100 ms.
        if (stop && stopFd < 0 && (wait < 0 || wait > 100))
            wait = 100;
        pollfd fds[2] = {{to, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        int r = 0;
        do {
            r = ::poll(fds, stopFd >= 0 ? 2 : 1, wait);
        } while (r < 0 && errno == EINTR);
        if (r < 0 || (stopFd >= 0 && (fds[1].revents & POLLIN)) || (fds[0].revents & (POLLERR | POLLNVAL)))
            return false;
    }
    return true;
}

} // namespace platform
