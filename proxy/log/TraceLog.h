#pragma once

#include <cstddef>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

/// The trace mode of the process (the setting TestMode, copied at start): 0 no header
/// traces, 1 one shared "head.txt", N >= 2 the files head0.txt .. head{N-1}.txt used in
/// turn by successive connections. Setting it also restarts the file numbering.
void SetTraceMode(int mode);
int TraceMode();

/// A connection's header trace. Each write opens the trace file, appends and closes
/// it under the lock of that file, which every trace of the same file shares, so
/// connections that share a file never mix their writes. One object per connection;
/// its writes may come from several threads.
class TraceLog {
public:
    /// Picks the file from the trace mode: inert in mode 0; in mode 2 and above the
    /// next numbered file is emptied and starts with "Log start!".
    explicit TraceLog(const char* name = "head", const char* extension = "txt");
    /// Writes "Log end!" in mode 2 and above.
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    /// Formatted text; line feeds become CR LF on disk.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    /// size x count bytes exactly as given (a received header keeps its own line ends).
    void WriteBytes(const void* buffer, size_t size, size_t count);
    /// "YYYY/MM/DD,hh:mm:ss," of the local time of t, or of now when t is 0.
    void WriteTimestamp(std::time_t t = 0);

    /// False for an inert trace.
    bool IsActive() const { return !m_path.empty(); }
    /// The trace file, empty when inert.
    const std::string& Path() const { return m_path; }

private:
    void append(std::string_view bytes, bool textMode);

    std::string m_path;
    std::mutex* m_lock = nullptr;
    int m_mode = 0;
};
