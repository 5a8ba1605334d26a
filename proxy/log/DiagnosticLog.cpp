// The service log, the status log and the debug file of the program directory.
#include "log/DiagnosticLog.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string_view>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "platform/TextFile.h"

namespace {
std::atomic<bool> g_debugFlag{false};

// One lock for the three files: writes are rare, and it keeps lines of different
// threads from mixing inside the stdio buffers.
std::mutex& diagnosticLock()
{
    static std::mutex m;
    return m;
}

void appendTo(const char* name, std::string_view first, std::string_view second = {})
{
    std::lock_guard<std::mutex> guard(diagnosticLock());
    platform::TextFile file;
    if (!file.Open(baseDirectory() + name, "a"))
        return;
    // A diagnostic line that cannot be written is dropped: nobody to tell.
    (void)(file.Puts(first) && file.Puts(second));
}
} // namespace

void SetDebugFlag(bool on) { g_debugFlag.store(on, std::memory_order_relaxed); }
bool DebugFlag() { return g_debugFlag.load(std::memory_order_relaxed); }

std::string FormatText(const char* format, va_list args)
{
    if (!format)
        return {};
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

void WriteServiceLog(const char* text, size_t length)
{
    if (!DebugFlag() || !text)
        return;
    std::string_view body(text);
    if (length > 0 && length < body.size())
        body = body.substr(0, length);
    appendTo("zpfSrvcLog.txt", body, "\n");
}

void WriteStatusLog(const char* format, ...)
{
    std::tm now{};
    zpfclock::LocalNow(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%4d/%02d/%02d,%02d:%02d:%02d, ", now.tm_year + 1900, now.tm_mon + 1,
                  now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    appendTo("status.log", stamp, text);
}

void WriteDebugLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatText(format, args);
    va_end(args);
    appendTo("debug.txt", text);
}
