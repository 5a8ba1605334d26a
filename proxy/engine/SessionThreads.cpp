// A thread per connection, without starting a thread per connection.
#include "engine/SessionThreads.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "platform/ProcessControl.h"

namespace {

struct Worker {
    void (*fn)(void*) = nullptr;
    void* arg = nullptr;
    size_t stackBytes = 0;
    std::condition_variable wake;
};

struct Idle {
    std::mutex lock;
    std::map<size_t, std::vector<Worker*>> bySize; // threads only take work for their stack size
    size_t count = 0;
    bool closed = false; // finished threads end instead of waiting
};

void quit(void*) { }

// Never destroyed: idle threads may still wait on it while the process exits.
Idle& idle()
{
    static Idle* const pool = new Idle;
    return *pool;
}

void workerMain(void* p)
{
    auto* worker = static_cast<Worker*>(p);
    Idle& pool = idle();
    for (;;) {
        worker->fn(worker->arg);
        std::unique_lock lock(pool.lock);
        if (pool.closed || pool.count >= kMaxIdleSessionThreads)
            break;
        worker->fn = nullptr;
        std::vector<Worker*>& list = pool.bySize[worker->stackBytes];
        list.push_back(worker);
        ++pool.count;
        const bool woken = worker->wake.wait_for(lock, std::chrono::milliseconds(kIdleSessionThreadMs),
                                                 [worker] { return worker->fn != nullptr; });
        if (!woken) {
            // Still listed, as nobody took it: leave the list and end.
            list.erase(std::find(list.begin(), list.end(), worker));
            --pool.count;
            break;
        }
        if (worker->fn == quit)
            break;
    }
    delete worker;
}

} // namespace

bool StartSessionThread(void (*fn)(void*), void* arg, size_t stackBytes)
{
    Idle& pool = idle();
    {
        const std::lock_guard lock(pool.lock);
        pool.closed = false;
        const auto it = pool.bySize.find(stackBytes);
        if (it != pool.bySize.end() && !it->second.empty()) {
            Worker* worker = it->second.back();
            it->second.pop_back();
            --pool.count;
            worker->fn = fn;
            worker->arg = arg;
            worker->wake.notify_one();
            return true;
        }
    }
    auto* worker = new Worker;
    worker->fn = fn;
    worker->arg = arg;
    worker->stackBytes = stackBytes;
    if (!platform::StartDetachedThread(workerMain, worker, stackBytes)) {
        delete worker;
        return false;
    }
    return true;
}

void EndIdleSessionThreads()
{
    Idle& pool = idle();
    const std::lock_guard lock(pool.lock);
    pool.closed = true;
    for (auto& [size, list] : pool.bySize) {
        for (Worker* worker : list) {
            worker->fn = quit;
            worker->wake.notify_one();
        }
        list.clear();
    }
    pool.count = 0;
}

size_t IdleSessionThreads()
{
    Idle& pool = idle();
    const std::lock_guard lock(pool.lock);
    return pool.count;
}
