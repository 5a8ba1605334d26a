#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

/// The proxy's small diagnostic files in the program directory: the service log, the
/// status log and the debug file. Every writer opens, appends and closes the file;
/// a file that cannot be opened is skipped silently. Any thread may call them.

/// The command-line word "debug": turns the service log on and sends status lines to
/// the log file as well. Set once at start; read from any thread.
void SetDebugFlag(bool on);
bool DebugFlag();

/// Appends text and a line end to "zpfSrvcLog.txt" (CR LF on disk), only with the
/// debug flag. A non-zero length writes only the first length characters.
void WriteServiceLog(const char* text, size_t length = 0);

/// Appends "YYYY/MM/DD,hh:mm:ss, " (local time) and the formatted text to "status.log".
void WriteStatusLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Appends the formatted text to "debug.txt".
void WriteDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// vsnprintf into a string; an invalid format gives an empty string.
std::string FormatText(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
