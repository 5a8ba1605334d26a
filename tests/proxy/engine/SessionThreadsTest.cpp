#include "engine/SessionThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "support/ScriptedServer.h"

namespace {

struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int started = 0;
    int finished = 0;
    bool open = false;
    std::set<std::thread::id> threads;
};

void holdUntilOpen(void* p)
{
    auto* gate = static_cast<Gate*>(p);
    std::unique_lock lock(gate->lock);
    ++gate->started;
    gate->threads.insert(std::this_thread::get_id());
    gate->changed.notify_all();
    gate->changed.wait_for(lock, std::chrono::seconds(10), [gate] { return gate->open; });
    ++gate->finished;
    gate->changed.notify_all();
}

bool waitFor(Gate& gate, int finished)
{
    std::unique_lock lock(gate.lock);
    return gate.changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate.finished >= finished; });
}

// A stack size of its own keeps these threads apart from any other test's.
constexpr size_t kStack = 384u << 10;

TEST(SessionThreadsTest, EachTaskHasItsOwnThreadWhileItRuns)
{
    Gate gate;
    constexpr int kTasks = 12;
    for (int i = 0; i < kTasks; ++i)
        ASSERT_TRUE(StartSessionThread(holdUntilOpen, &gate, kStack));
    {
        // All of them are running at once: none waits for another to finish.
        std::unique_lock lock(gate.lock);
        ASSERT_TRUE(gate.changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate.started == kTasks; }));
        EXPECT_EQ(gate.threads.size(), static_cast<size_t>(kTasks));
        gate.open = true;
        gate.changed.notify_all();
    }
    ASSERT_TRUE(waitFor(gate, kTasks));
}

TEST(SessionThreadsTest, FinishedThreadsTakeTheNextTasks)
{
    Gate first;
    first.open = true;
    ASSERT_TRUE(StartSessionThread(holdUntilOpen, &first, kStack));
    ASSERT_TRUE(waitFor(first, 1));
    // The thread lists itself as idle just after the task returns.
    ASSERT_TRUE(zpftest::WaitUntil([] { return IdleSessionThreads() > 0; }));

    Gate later;
    later.open = true;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(StartSessionThread(holdUntilOpen, &later, kStack));
        ASSERT_TRUE(waitFor(later, i + 1));
        zpftest::WaitUntil([] { return IdleSessionThreads() > 0; });
    }
    // One after another, the same few threads serve them all.
    EXPECT_LT(later.threads.size(), 5u);

    // A stopping listener sends the waiting threads away; the next start still runs.
    EndIdleSessionThreads();
    EXPECT_EQ(IdleSessionThreads(), 0u);
    Gate after;
    after.open = true;
    ASSERT_TRUE(StartSessionThread(holdUntilOpen, &after, kStack));
    ASSERT_TRUE(waitFor(after, 1));
}

} // namespace
