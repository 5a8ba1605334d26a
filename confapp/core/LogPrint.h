#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/LogQuery.h"

/// The printed log: one text line per row shown, broken to the page's width, and pages
/// of lines each under its header. Texts are Shift_JIS bytes (one byte is one
/// half-width character) until PrintPage makes UTF-8 of them.
namespace logprint {

/// A row as printed: date, time, address, URL, the converted columns and the category,
/// separated by ","; every byte below 32 is printed as ".".
std::string RowLine(const LogDocument& document, size_t row);

/// The line broken into pieces of at most charsPerLine bytes; a double-byte character
/// (lead 0x81-0x9F or 0xE0-0xFC and its trail byte) is never split.
std::vector<std::string> BreakLine(std::string_view line, size_t charsPerLine);

/// "     ログファイル出力   page:N   time:hh:mm:ss  date:yy/mm/dd" (UTF-8).
std::string Header(int page, const std::tm& printedAt);

struct Page {
    std::string header; ///< UTF-8
    std::vector<std::string> lines; ///< UTF-8
};

/// The pages of the rows shown. linesPerPage counts the header and the empty line
/// under it; at least one row line fits on every page.
std::vector<Page> Paginate(const LogDocument& document, const LogQuery& query, size_t linesPerPage, size_t charsPerLine,
                           const std::tm& printedAt);

} // namespace logprint
