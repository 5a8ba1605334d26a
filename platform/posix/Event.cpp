// In-process events on a mutex and condition variable; manual-reset events also
// keep an eventfd in step so that poll() can wait for them next to a socket.
#include "platform/Event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {
using Clock = std::chrono::steady_clock;

void drainFd(int fd)
{
    std::uint64_t value = 0;
    while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) { }
}

void raiseFd(int fd)
{
    std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) { }
}
} // namespace

Event::Event(bool manualReset, bool initialState)
    : m_manualReset(manualReset)
    , m_signalled(initialState)
{
    if (manualReset) {
        m_pollFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_pollFd >= 0 && initialState)
            raiseFd(m_pollFd);
    }
}

Event::~Event()
{
    if (m_pollFd >= 0)
        ::close(m_pollFd);
}

void Event::Set()
{
    std::lock_guard<std::mutex> guard(m_lock);
    // The flag first: whoever wakes on the descriptor must find the event set.
    const bool was = m_signalled.exchange(true);
    if (!was && m_pollFd >= 0)
        raiseFd(m_pollFd);
    m_changed.notify_all();
    for (Waiter* w : m_waiters) {
        std::lock_guard<std::mutex> wg(w->lock);
        w->woken = true;
        w->wake.notify_all();
    }
}

void Event::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    // The descriptor first, for the same reason as in Set.
    if (m_signalled && m_pollFd >= 0)
        drainFd(m_pollFd);
    m_signalled = false;
}

bool Event::takeLocked()
{
    if (!m_signalled)
        return false;
    if (!m_manualReset)
        m_signalled = false;
    return true;
}

bool Event::Test()
{
    // A manual-reset event is not changed by a test: no need for the lock.
    if (m_manualReset)
        return IsSet();
    std::lock_guard<std::mutex> guard(m_lock);
    return takeLocked();
}

bool Event::Wait(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (timeoutMs < 0) {
        m_changed.wait(guard, [this] { return m_signalled.load(); });
    } else if (!m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                   [this] { return m_signalled.load(); })) {
        return false;
    }
    return takeLocked();
}

void Event::addWaiter(Waiter* waiter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_waiters.push_back(waiter);
}

void Event::removeWaiter(Waiter* waiter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

int Event::WaitAny(std::initializer_list<Event*> events, int timeoutMs)
{
    Waiter waiter;
    for (Event* e : events)
        e->addWaiter(&waiter);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int found = -1;
    for (;;) {
        // Clear the wake flag before looking, so a Set after the look still wakes us.
        {
            std::lock_guard<std::mutex> wg(waiter.lock);
            waiter.woken = false;
        }
        int index = 0;
        for (Event* e : events) {
            if (e->Test()) {
                found = index;
                break;
            }
            ++index;
        }
        if (found >= 0)
            break;
        std::unique_lock<std::mutex> wg(waiter.lock);
        if (timeoutMs < 0) {
            waiter.wake.wait(wg, [&] { return waiter.woken; });
        } else if (!waiter.wake.wait_until(wg, deadline, [&] { return waiter.woken; })) {
            break;
        }
    }
    for (Event* e : events)
        e->removeWaiter(&waiter);
    return found;
}

} // namespace platform
