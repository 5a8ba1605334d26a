#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "ravlin_export.h"

/// The names and the line format of the proxy's access and block logs, shared by the
/// writer in the proxy and by the programs that read the logs back.
namespace logline {

/// The single log file used when the logs are not split per day.
inline constexpr const char* kSingleLogName = "zpf.log";
/// The temporary file that holds the kept tail while the single log is cut.
inline constexpr const char* kCutTempName = "~tmpzpf.log";
/// Tag of an access line.
inline constexpr const char* kAccessTag = "(Access Log)";

/// One log line split into its fields.
struct LogRow {
    std::string date; ///< "YYYY/MM/DD"
    std::string time; ///< "hh:mm:ss"
    std::string client; ///< dotted IPv4 address
    std::string url; ///< as logged (commas appear as "%2C")
    std::string rest; ///< everything after the fourth comma
    std::string tag; ///< as logged, like the URL
    std::string group; ///< as logged, like the URL
    std::vector<unsigned> keyNumbers;
};

/// "YYYYMMDD" of a local date, as used in the per-day file names.
RAVLIN_EXPORT std::string DateStamp(const std::tm& day);

/// "access" or "block" + dateStamp + ".log".
RAVLIN_EXPORT std::string DayLogFileName(bool access, std::string_view dateStamp);

/// The log file a reader opens by default: with logFlag non-zero today's block file,
/// otherwise the single file, both in logPath, or in programDir when logPath is empty.
RAVLIN_EXPORT std::string DefaultLogFile(int logFlag, const std::string& logPath, const std::string& programDir,
                                         const std::tm& today);

/// Splits one line (its line end, LF or CR LF, may still be attached). Returns false
/// when the line lacks the four leading fields or when the date, time or client field
/// holds characters other than digits and '/', ':' or '.' respectively. The part
/// after the fourth comma is split into tag, group and trailing key numbers; the
/// writer escapes commas in both, but a tag with commas of its own (a matched phrase
/// in an older log) is kept whole.
RAVLIN_EXPORT bool ParseLogLine(std::string_view line, LogRow& row);

/// The number after the last comma of rest that is followed by a digit (the last
/// matched category). Returns false when there is none or it does not fit.
RAVLIN_EXPORT bool LastKeyNumber(std::string_view rest, unsigned& number);

} // namespace logline
