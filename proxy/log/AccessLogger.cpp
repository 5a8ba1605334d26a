// The access and block log writer: line format, per-day and single log files, and
// the size-limited cut of the single file.
#include "log/AccessLogger.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "common/LogLine.h"
#include "config/ConfigrationFile.h"
#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "platform/FileSystem.h"
#include "platform/ProgramDirectory.h"

namespace {

constexpr const char* kOpenErrorText = "LogFile Open Error";
// Keeps limit x 1000 x 100 well inside 64 bits.
constexpr long kMaxLogSizeUnits = 1'000'000'000L;

// Appends text with the characters that would break the one-line, comma-separated
// form escaped; with commas, the field stays one field.
void appendEscaped(std::string& out, std::string_view text, bool escapeComma, size_t maxLength)
{
    size_t start = out.size();
    for (char c : text) {
        const char* escape = nullptr;
        if (c == ',' && escapeComma)
            escape = "%2C";
        else if (c == '\r')
            escape = "%0D";
        else if (c == '\n')
            escape = "%0A";
        else if (c == '\0')
            escape = "%00";
        size_t add = escape ? 3 : 1;
        if (out.size() - start + add > maxLength)
            break;
        if (escape)
            out += escape;
        else
            out += c;
    }
}

// Bytes the text takes on disk: CR LF per line feed, plus the line end Write adds.
long long diskLength(std::string_view text)
{
    long long n = static_cast<long long>(text.size());
    for (char c : text) {
        if (c == '\n')
            ++n;
    }
    if (!text.empty() && text.back() != '\n')
        n += 2;
    return n;
}

bool isDateStamp(const char* date)
{
    if (!date)
        return false;
    int i = 0;
    for (; date[i]; ++i) {
        if (i >= 8 || date[i] < '0' || date[i] > '9')
            return false;
    }
    return i == 8;
}

// Offset of the first line that starts at or after `from`.
long firstWholeLine(platform::TextFile& file, long from, long size)
{
    if (from <= 0)
        return 0;
    if (file.Seek(from - 1, SEEK_SET) != 0)
        return -1;
    char buf[4096];
    long pos = from - 1;
    while (pos < size) {
        size_t n = file.ReadBytes(buf, sizeof buf);
        if (n == 0)
            break;
        for (size_t i = 0; i < n; ++i) {
            if (buf[i] == '\n')
                return pos + static_cast<long>(i) + 1;
        }
        pos += static_cast<long>(n);
    }
    return size;
}

} // namespace

LogSettings LogSettingsFromConfig(const ConfigrationFileSigleton& config)
{
    LogSettings settings;
    settings.logFlag = config.LogFlag;
    settings.logPath = config.LogPath;
    for (int i = 0; i < config.groupList.GetGroupNum(); ++i)
        settings.groupNames.emplace_back(config.groupList.GetGroupName(i));
    return settings;
}

std::string FormatAccessLine(const std::tm& when, const Ipv4Bytes* client, std::string_view url, std::string_view tag,
                             std::string_view groupName, std::span<const unsigned> keyNumbers)
{
    static const Ipv4Bytes kUnknown{0, 0, 0, 0};
    const Ipv4Bytes& ip = client ? *client : kUnknown;
    char head[96];
    std::snprintf(head, sizeof head, "%4d/%02d/%02d,%02d:%02d:%02d,%u.%u.%u.%u,", when.tm_year + 1900, when.tm_mon + 1,
                  when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, ip[0], ip[1], ip[2], ip[3]);
    std::string line = head;
    line.reserve(line.size() + url.size() + tag.size() + groupName.size() + 16 + keyNumbers.size() * 6);
    appendEscaped(line, url, true, kMaxLoggedUrl);
    line += ',';
    const size_t unbounded = std::numeric_limits<size_t>::max();
    // A matched phrase or a group name with a comma would shift the fields after it.
    appendEscaped(line, tag.empty() ? std::string_view(logline::kAccessTag) : tag, true, unbounded);
    line += ',';
    appendEscaped(line, groupName, true, unbounded);
    for (unsigned n : keyNumbers) {
        char number[16];
        std::snprintf(number, sizeof number, ",%u", n);
        line += number;
    }
    line += '\n';
    return line;
}

AccessLogger& AccessLogger::getInstance()
{
    static AccessLogger* instance = new AccessLogger;
    return *instance;
}

void AccessLogger::SetLogSize(long units)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_logSize = units <= 0 ? 0 : (units > kMaxLogSizeUnits ? kMaxLogSizeUnits : units);
}

void AccessLogger::Configure(LogSettings settings)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings = std::move(settings);
}

void AccessLogger::SetStatusSink(StatusSink sink)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_sink = std::move(sink);
}

void AccessLogger::Write(std::string_view text, bool alwaysToFile, bool toWindow, TraceLog* trace, bool isAccess,
                         const char* date)
{
    std::lock_guard<std::mutex> guard(m_lock);
    writeLocked(text, alwaysToFile, toWindow, trace, isAccess, date);
}

void AccessLogger::WriteAccess(const Ipv4Bytes* client, std::string_view url, std::string_view tag,
                               std::span<const unsigned> keyNumbers, int group, bool alwaysToFile, bool toWindow,
                               TraceLog* trace)
{
    // The time is taken outside the writer's lock: the clock has a lock of its own.
    std::tm now{};
    zpfclock::LocalNow(&now);
    std::string date = logline::DateStamp(now);

    std::lock_guard<std::mutex> guard(m_lock);
    std::string_view groupName;
    if (group > 0 && static_cast<size_t>(group) < m_settings.groupNames.size())
        groupName = m_settings.groupNames[static_cast<size_t>(group)];
    std::string line = FormatAccessLine(now, client, url, tag, groupName, keyNumbers);
    writeLocked(line, alwaysToFile, toWindow, trace, tag.empty(), date.c_str());
}

void AccessLogger::writeLocked(std::string_view text, bool alwaysToFile, bool toWindow, TraceLog* trace, bool isAccess,
                               const char* date)
{
    bool openFailed = false;
    if (alwaysToFile || DebugFlag()) {
        if (trace)
            trace->Printf("[log] start\n");
        std::string directory =
            platform::WithTrailingSlash(m_settings.logPath.empty() ? baseDirectory() : m_settings.logPath);
        std::string name;
        if (m_settings.logFlag != 0) {
            std::string today;
            if (!isDateStamp(date)) {
                std::tm now{};
                zpfclock::LocalNow(&now);
                today = logline::DateStamp(now);
                date = today.c_str();
            }
            name = logline::DayLogFileName(isAccess, date);
        } else {
            name = logline::kSingleLogName;
        }

        if (m_file.Open(directory + name, "a+")) {
            if (m_settings.logFlag == 0 && m_logSize > 0 && m_file.Seek(0, SEEK_END) == 0) {
                long size = m_file.Tell();
                if (size >= 0 && size + diskLength(text) > static_cast<long long>(m_logSize) * 1000)
                    Cut(size, 50, directory, trace);
            }
        }
        // A cut that could not reopen the log leaves it closed: the line is lost
        // rather than written anywhere else.
        if (m_file.IsOpen()) {
            bool ok = m_file.Puts(text);
            if (!text.empty() && text.back() != '\n')
                ok = m_file.Puts("\n") && ok;
            ok = m_file.Flush() && ok;
            m_file.Close();
            openFailed = !ok;
        } else {
            openFailed = true;
        }
        if (trace)
            trace->Printf("[log] end\n");
    }
    if (toWindow && m_sink) {
        m_sink(text);
        if (openFailed)
            m_sink(kOpenErrorText);
    }
}

void AccessLogger::Cut(long size, int percent, const std::string& directory, TraceLog* trace)
{
    if (trace)
        trace->Printf("[log] cut start\n");
    if (m_logSize <= 0)
        return;
    long long keep = static_cast<long long>(m_logSize) * 1000 * percent / 100;
    if (keep >= size)
        return; // nothing before the kept part; the write goes on into the full file
    long from = firstWholeLine(m_file, static_cast<long>(size - keep), size);
    if (from < 0 || m_file.Seek(from, SEEK_SET) != 0) {
        m_file.Seek(0, SEEK_END);
        return;
    }

    const std::string logPath = directory + logline::kSingleLogName;
    // The log is closed only once the kept tail is safely written; until then every
    // failure leaves the full log open and the write goes on at its end.
    bool logClosed = false;
    const auto writeTail = [&](const std::string& tempPath) {
        platform::TextFile temp;
        if (!temp.Open(tempPath, "wb"))
            return false;
        if (trace)
            trace->Printf("[log] cut open OK\n");

        // The kept tail is copied byte for byte, so its CR LF line ends stay as they are.
        std::vector<char> buf(64 * 1024);
        long remaining = size - from;
        bool ok = true;
        while (remaining > 0 && ok) {
            size_t want = static_cast<size_t>(std::min<long>(remaining, static_cast<long>(buf.size())));
            size_t got = m_file.ReadBytes(buf.data(), want);
            if (got == 0)
                break;
            ok = temp.WriteBytes(buf.data(), got) == got;
            remaining -= static_cast<long>(got);
        }
        ok = temp.Flush() && ok;
        temp.Close();
        // A short copy (disk full) must not replace the log.
        if (!ok)
            return false;
        if (trace)
            trace->Printf("[log] cut write OK\n");
        m_file.Close();
        logClosed = true;
        if (trace)
            trace->Printf("[log] cut close OK\n");
        return true;
    };
    // Renaming over the log replaces it in one step, so there is never a moment
    // without a log; a failed rename leaves the full log in place.
    const bool replaced = platform::ReplaceFileAtomically(logPath, writeTail, directory + logline::kCutTempName);
    if (!logClosed) {
        m_file.Seek(0, SEEK_END);
        return;
    }
    if (replaced && trace)
        trace->Printf("[log] cut rename OK\n");
    if (m_file.Open(logPath, "a+") && m_file.Seek(0, SEEK_END) == 0 && trace)
        trace->Printf("[log] cut end OK\n");
}
