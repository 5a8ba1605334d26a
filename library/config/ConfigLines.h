#pragma once

#include <string>

#include "platform/TextFile.h"

/// Line-level helpers shared by the schedule, IP list and account files (internal to
/// the library).
namespace zpfconfig {

/// atoi without its undefined overflow: leading white space skipped, an optional sign,
/// digits up to the first other character; no digits give 0, values beyond int are
/// clamped.
int ParseIntPrefix(const char* text);

/// Reads the next line as a reader with a buffer of bufferSize bytes would, the "\n"
/// kept when the line has one. A line that does not fit the buffer (bufferSize - 1
/// characters with its line end) is skipped whole, so its rest is never taken for a
/// line of its own; *overlong counts such lines. Returns false at end of file.
bool ReadLimitedLine(platform::TextFile& file, int bufferSize, std::string& line, int* overlong = nullptr);

/// Writes text in text mode (CR LF on disk) to a temporary file beside path and renames
/// it over path, so a failed save leaves the old file. newFileMode as for
/// platform::ReplaceFileAtomically. Returns true on failure.
[[nodiscard]] bool ReplaceTextFile(const std::string& path, const std::string& text, int newFileMode = -1);

/// Strips trailing blanks, tabs, CR and LF.
void StripTrailingSpace(std::string& text);

} // namespace zpfconfig
