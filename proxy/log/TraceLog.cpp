// Per-connection header traces ("head.txt", or "head0.txt" .. in rotation).
#include "log/TraceLog.h"

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "log/DiagnosticLog.h"
#include "platform/TextFile.h"

namespace {
std::atomic<int> g_traceMode{0};
std::atomic<int> g_traceCounter{0};

// Traces that name the same file share its lock. A fixed table is enough: two files
// that happen to share a slot only wait for each other.
std::mutex& lockForPath(const std::string& path)
{
    static std::array<std::mutex, 64> locks;
    return locks[std::hash<std::string>{}(path) % locks.size()];
}

// counter := (counter + 1) mod n, atomically, since connections start concurrently.
int nextFileNumber(int n)
{
    int current = g_traceCounter.load(std::memory_order_relaxed);
    int next = 0;
    do {
        next = (current % n + 1) % n;
    } while (!g_traceCounter.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return next;
}
} // namespace

void SetTraceMode(int mode)
{
    g_traceMode.store(mode > 0 ? mode : 0, std::memory_order_relaxed);
    g_traceCounter.store(0, std::memory_order_relaxed);
}

int TraceMode() { return g_traceMode.load(std::memory_order_relaxed); }

TraceLog::TraceLog(const char* name, const char* extension)
{
    m_mode = TraceMode();
    if (m_mode == 0 || !name || !extension)
        return;
    char file[512];
    if (m_mode == 1)
        std::snprintf(file, sizeof file, "%s.%s", name, extension);
    else
        std::snprintf(file, sizeof file, "%s%d.%s", name, nextFileNumber(m_mode), extension);
    m_path = baseDirectory() + file;
    m_lock = &lockForPath(m_path);
    if (m_mode >= 2) {
        // Emptying and the first line go together, so a trace that wrapped round to the
        // same file cannot slip a line in between.
        std::lock_guard<std::mutex> guard(*m_lock);
        platform::TextFile file;
        if (file.Open(m_path, "w"))
            (void)file.Puts("Log start!\n"); // a trace line lost is no reason to stop
    }
}

TraceLog::~TraceLog()
{
    if (m_mode >= 2 && IsActive())
        append("Log end!\n", true);
}

void TraceLog::append(std::string_view bytes, bool textMode)
{
    if (!IsActive())
        return;
    std::lock_guard<std::mutex> guard(*m_lock);
    platform::TextFile file;
    if (!file.Open(m_path, textMode ? "a" : "ab"))
        return;
    (void)file.Puts(bytes);
}

void TraceLog::Printf(const char* format, ...)
{
    if (!IsActive())
        return;
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    append(text, true);
}

void TraceLog::WriteBytes(const void* buffer, size_t size, size_t count)
{
    if (!IsActive() || !buffer || size == 0 || count == 0 || count > SIZE_MAX / size)
        return;
    append(std::string_view(static_cast<const char*>(buffer), size * count), false);
}

void TraceLog::WriteTimestamp(std::time_t t)
{
    if (!IsActive())
        return;
    std::tm when{};
    zpfclock::LocalTime(t != 0 ? t : zpfclock::Now(), &when);
    Printf("%4d/%02d/%02d,%02d:%02d:%02d,", when.tm_year + 1900, when.tm_mon + 1, when.tm_mday, when.tm_hour,
           when.tm_min, when.tm_sec);
}
