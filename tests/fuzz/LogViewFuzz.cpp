// Feeds arbitrary bytes to the log viewer: as the rest of a log line through every
// column rule, cut and print break (first byte even), or as a whole log file read into
// rows, filtered, sorted and printed (first byte odd). Checks the widths and that no
// cut or break leaves half of a double-byte character.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "common/Encoding.h"
#include "core/LogColumns.h"
#include "core/LogDocument.h"
#include "core/LogPrint.h"
#include "core/LogQuery.h"
#include "platform/TextFile.h"

namespace {

// Whether the first n bytes of text end between two characters.
bool atBoundary(std::string_view text, size_t n)
{
    size_t i = 0;
    while (i < n)
        i += encoding::isSjisLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? size_t{2} : size_t{1};
    return i == n;
}

void columns(std::string_view rest)
{
    check(logview::ShiftJisColumn(rest).size() == rest.size());
    const std::string made[] = {logview::ShiftJisColumn(rest), logview::EucColumn(rest), logview::JisColumn(rest),
                                logview::Utf8Column(rest)};
    for (const std::string& text : made) {
        const std::string cut = logview::CutToWidth(text, 20);
        check(cut.size() <= 19 && text.compare(0, cut.size(), cut) == 0 && atBoundary(text, cut.size()));
    }
    size_t total = 0;
    for (const std::string& piece : logprint::BreakLine(rest, 7)) {
        check(piece.size() <= 7 && atBoundary(rest, total + piece.size()));
        total += piece.size();
    }
    check(total == rest.size());
    const std::string address = logview::BrowserAddress(rest);
    check(address.empty() || address.rfind("http", 0) == 0 || address.rfind("HTTP", 0) == 0 ||
          address.rfind("ftp", 0) == 0 || address.find("://") != std::string::npos);
}

void document(std::string_view bytes)
{
    static const std::string path = "/tmp/zpf-logview-fuzz-" + std::to_string(::getpid()) + ".log";
    platform::TextFile file;
    if (!file.Open(path, "wb"))
        return;
    (void)file.WriteBytes(bytes.data(), bytes.size());
    file.Close();
    LogDocument doc([](unsigned n, std::string& name) { return (name = "c" + std::to_string(n % 7)), n % 2 == 0; }, 50);
    (void)doc.Open(path);
    check(doc.rowCount() <= 50);
    LogQuery query(doc);
    LogFilter filter;
    filter.category = "c1";
    filter.from = "2004/05";
    query.SetFilter(filter);
    for (int column = -1; column < logview::kColumnCount; ++column)
        query.Sort(column, column % 2 == 0);
    check(query.size() <= doc.rowCount());
    (void)query.Summary();
    std::tm at{};
    (void)logprint::Paginate(doc, query, 5, 30, at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0)
        columns(input);
    else
        document(input);
    return 0;
}
