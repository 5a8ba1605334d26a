// The printed log's text: a line per row, broken at the page's width without splitting
// a double-byte character, and pages under their headers.
#include "core/LogPrint.h"

#include <algorithm>
#include <cstdio>

#include "common/Encoding.h"
#include "core/LogTexts.h"

using logview::Column;

namespace logprint {

std::string RowLine(const LogDocument& document, size_t row)
{
    std::string line;
    for (int c = 0; c < logview::kColumnCount; ++c) {
        const auto column = static_cast<Column>(c);
        std::string cell = document.Cell(row, column);
        // Not only the JIS column can hold them, and no printer should get one.
        for (char& ch : cell) {
            if (static_cast<unsigned char>(ch) < 32)
                ch = '.';
        }
        if (c > 0)
            line += ',';
        line += cell;
    }
    return line;
}

std::vector<std::string> BreakLine(std::string_view line, size_t charsPerLine)
{
    std::vector<std::string> pieces;
    const size_t width = std::max<size_t>(charsPerLine, 2); // room for one double-byte character
    size_t start = 0;
    while (start < line.size() || pieces.empty()) {
        size_t end = start;
        while (end < line.size()) {
            const bool pair = encoding::isSjisLead(static_cast<unsigned char>(line[end])) && end + 1 < line.size();
            const size_t step = pair ? 2 : 1;
            if (end + step - start > width)
                break;
            end += step;
        }
        pieces.emplace_back(line.substr(start, end - start));
        start = end;
        if (start >= line.size())
            break;
    }
    return pieces;
}

std::string Header(int page, const std::tm& printedAt)
{
    char head[128];
    std::snprintf(head, sizeof head, texts::kLogPrintHeader, page);
    char time[64];
    if (std::strftime(time, sizeof time, texts::kLogPrintTime, &printedAt) == 0)
        time[0] = '\0';
    return std::string(head) + time;
}

std::vector<Page> Paginate(const LogDocument& document, const LogQuery& query, size_t linesPerPage, size_t charsPerLine,
                           const std::tm& printedAt)
{
    const size_t perPage = linesPerPage > 3 ? linesPerPage - 2 : 1;
    std::vector<Page> pages;
    auto newPage = [&] {
        pages.push_back({Header(static_cast<int>(pages.size()) + 1, printedAt), {}});
        pages.back().lines.reserve(perPage);
    };
    newPage();
    for (uint32_t row : query.rows()) {
        for (const std::string& piece : BreakLine(RowLine(document, row), charsPerLine)) {
            if (pages.back().lines.size() >= perPage)
                newPage();
            pages.back().lines.push_back(encoding::sjisToUtf8(piece));
        }
    }
    return pages;
}

} // namespace logprint
