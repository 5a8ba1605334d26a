#pragma once

#include <array>
#include <ctime>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextFile.h"

class TraceLog;
class ConfigrationFileSigleton;

/// What the log writer takes from the configuration.
struct LogSettings {
    /// 0: everything into "zpf.log"; non-zero: per-day access and block files.
    int logFlag = 0;
    /// Directory of the log files; empty means the program directory.
    std::string logPath;
    /// Group names by group number; group 0 (the default group) is logged with an empty name.
    std::vector<std::string> groupNames;
};

/// The settings of the configuration singleton (LogFlag, LogPath, the group list).
LogSettings LogSettingsFromConfig(const ConfigrationFileSigleton& config);

/// An IPv4 address as four bytes in dotted order.
using Ipv4Bytes = std::array<unsigned char, 4>;

/// Receives status lines for the main window. Called under the log writer's lock, in
/// the order of the writes, from any thread: it must only queue the text and must not
/// wait for another thread or call back into the log writer.
using StatusSink = std::function<void(std::string_view)>;

/// The longest URL field written; longer URLs are cut there.
inline constexpr size_t kMaxLoggedUrl = 8192;

/// One access or block line with its line feed: date, time, client ("0.0.0.0" when
/// unknown), URL (commas as "%2C"), tag ("(Access Log)" when empty), group name and one
/// field per key number. CR, LF and NUL in the URL, tag and group are written as
/// "%0D", "%0A" and "%00" so that an entry always stays one line.
std::string FormatAccessLine(const std::tm& when, const Ipv4Bytes* client, std::string_view url, std::string_view tag,
                             std::string_view groupName, std::span<const unsigned> keyNumbers);

/// The proxy's one writer of access, block, error and status lines. Every write
/// opens the log file, appends and closes it, under one lock held for the whole
/// write including a cut of the single file, so lines never mix and a cut is never
/// seen half done. Failures lose the line (and say so in the window); nothing throws.
class AccessLogger {
public:
    /// The process-wide writer. It is never destroyed, so a connection thread that
    /// logs while the process exits does not touch a dead object.
    static AccessLogger& getInstance();

    AccessLogger() = default;
    AccessLogger(const AccessLogger&) = delete;
    AccessLogger& operator=(const AccessLogger&) = delete;

    /// Size limit of "zpf.log" in units of 1000 bytes; 0 (or less) means no limit.
    void SetLogSize(long units);
    /// Replaces the settings; later writes use them.
    void Configure(LogSettings settings);
    /// Installs the main window's sink (an empty one removes it). With a sink status
    /// lines are shown; without one (service mode, or before the window exists) they
    /// are not.
    void SetStatusSink(StatusSink sink);

    /// Writes text as one entry: to the log file when alwaysToFile is set or the debug
    /// flag is on (a missing final line feed is added), and to the status sink when
    /// toWindow is set, followed there by "LogFile Open Error" when the file could not
    /// be written. isAccess picks the access file of the day, else the block file;
    /// date ("YYYYMMDD") picks the day, null meaning today.
    void Write(std::string_view text, bool alwaysToFile, bool toWindow, TraceLog* trace = nullptr,
               bool isAccess = false, const char* date = nullptr);

    /// Builds an access line (tag empty) or a block line (tag given) for the client
    /// address (null when unknown) and group number and writes it with the date of
    /// the line, so a line made just before midnight goes into that day's file.
    void WriteAccess(const Ipv4Bytes* client, std::string_view url, std::string_view tag,
                     std::span<const unsigned> keyNumbers, int group, bool alwaysToFile, bool toWindow,
                     TraceLog* trace = nullptr);

private:
    void writeLocked(std::string_view text, bool alwaysToFile, bool toWindow, TraceLog* trace, bool isAccess,
                     const char* date);
    /// Shortens the open "zpf.log" of the given size to its whole lines within the last
    /// percent of the limit. Leaves m_file open on the (possibly uncut) log, or closed
    /// when the log could not be reopened.
    void Cut(long size, int percent, const std::string& directory, TraceLog* trace);

    std::mutex m_lock;
    long m_logSize = 0;
    LogSettings m_settings;
    StatusSink m_sink;
    platform::TextFile m_file;
};
