#pragma once

#include <atomic>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace platform {

/// An unnamed event inside one process, manual or auto reset. Any thread may call
/// any operation. A manual-reset event also has a descriptor that polls readable
/// while the event is signalled, so a thread can wait for a socket and the event
/// at once (see Socket.h).
class Event {
public:
    /// Waits without a time limit when given as a time-out.
    static constexpr int kInfinite = -1;

    explicit Event(bool manualReset, bool initialState = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    /// True when signalled; an auto-reset event is cleared by a successful test.
    bool Test();
    /// Waits until signalled or the time-out (ms, kInfinite for none) passes.
    /// Returns true when signalled; an auto-reset event is then cleared.
    bool Wait(int timeoutMs = kInfinite);
    /// Looks without changing the state, and without the lock: every session looks at
    /// the listener's stop event many times per request.
    bool IsSet() const { return m_signalled.load(std::memory_order_acquire); }

    /// Descriptor that is readable while a manual-reset event is signalled; -1 for an
    /// auto-reset event or when none could be made (then callers poll in slices).
    int PollDescriptor() const { return m_pollFd; }

    /// Waits for the first of several events; returns its index, or -1 on time-out.
    /// When several are signalled the earliest in the list wins.
    static int WaitAny(std::initializer_list<Event*> events, int timeoutMs = kInfinite);

private:
    struct Waiter {
        std::mutex lock;
        std::condition_variable wake;
        bool woken = false;
    };
    bool takeLocked();
    void addWaiter(Waiter* waiter);
    void removeWaiter(Waiter* waiter);

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_manualReset;
    // Changed only under m_lock; read without it by IsSet.
    std::atomic<bool> m_signalled;
    int m_pollFd = -1;
    std::vector<Waiter*> m_waiters;
};

} // namespace platform
