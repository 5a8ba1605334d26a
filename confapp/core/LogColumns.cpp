// The log viewer's columns: the byte rules that turn the rest of a log line into the
// Shift_JIS, EUC and JIS columns, the UTF-8 column, cutting, and the browser address.
#include "core/LogColumns.h"

#include "common/Encoding.h"

namespace logview {
namespace {

constexpr ColumnInfo kColumns[kColumnCount] = {
    {"年月日", 12, 80},           {"時刻", 10, 60},       {"ＩＰアドレス", 30, 70}, {"ＵＲＬアドレス", 100, 160},
    {"シフトＪＩＳ変換", 20, 90}, {"ＥＵＣ変換", 20, 90}, {"ＪＩＳ変換", 20, 90},   {"UTF-8変換", 20, 90},
    {"カテゴリ", 30, 150},
};

constexpr unsigned char kEscape = 0x1B;
constexpr size_t kUtf8Bytes = 511;

constexpr bool isPairLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }
constexpr bool isPairTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
constexpr bool isEucHigh(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }

unsigned char byteAt(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

void putPair(std::string& out, std::pair<unsigned char, unsigned char> pair)
{
    out.push_back(static_cast<char>(pair.first));
    out.push_back(static_cast<char>(pair.second));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

bool isHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

} // namespace

const ColumnInfo& Info(Column column) { return kColumns[static_cast<int>(column)]; }

std::string ShiftJisColumn(std::string_view rest)
{
    std::string out;
    out.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        const unsigned char c = byteAt(rest, i);
        if (isPairLead(c)) {
            if (i + 1 < rest.size() && isPairTrail(byteAt(rest, i + 1))) {
                out.push_back(static_cast<char>(c));
                out.push_back(rest[++i]);
            } else {
                out.push_back('.'); // the byte after it is looked at on its own
            }
        } else if (c < 0x20 || c >= 0xF0) {
            out.push_back('.');
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string EucColumn(std::string_view rest)
{
    std::string out;
    out.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        const unsigned char c = byteAt(rest, i);
        if (c == 0x8E) {
            if (i + 1 < rest.size())
                out.push_back(rest[++i]);
        } else if (!isEucHigh(c) || i + 1 >= rest.size()) {
            out.push_back(static_cast<char>(c));
        } else if (const unsigned char t = byteAt(rest, i + 1); isEucHigh(t)) {
            putPair(out,
                    encoding::jisToSjis(static_cast<unsigned char>(c - 0x80), static_cast<unsigned char>(t - 0x80)));
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
            out.push_back(static_cast<char>(t));
            ++i;
        }
    }
    return out;
}

std::string JisColumn(std::string_view rest)
{
    std::string out;
    out.reserve(rest.size());
    bool twoByte = true;
    for (size_t i = 0; i < rest.size(); ++i) {
        const unsigned char c = byteAt(rest, i);
        if (c == kEscape) {
            const std::string_view next = rest.substr(i + 1, 2);
            if (next == "$B" || next == "(B") {
                twoByte = next == "$B";
                i += 2;
            } else {
                out.push_back(static_cast<char>(c));
            }
        } else if (c & 0x80) {
            out.push_back('.');
        } else if (!twoByte || i + 1 >= rest.size()) {
            out.push_back(static_cast<char>(c)); // a lone byte at the end stays as it is
        } else if (const unsigned char t = byteAt(rest, ++i); t & 0x80) {
            out.push_back(static_cast<char>(c));
            out.push_back('.');
        } else {
            putPair(out, encoding::jisToSjis(c, t));
        }
    }
    return out;
}

std::string Utf8Column(std::string_view rest)
{
    rest = rest.substr(0, kUtf8Bytes);
    bool ascii = true;
    for (char c : rest)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    // Plain ASCII reads the same in both; most lines are, and iconv is not cheap.
    return ascii ? std::string(rest) : encoding::utf8ToSjis(rest);
}

std::string CutToWidth(std::string_view sjis, size_t width)
{
    const size_t keep = width > 0 ? width - 1 : 0;
    if (sjis.size() <= keep)
        return std::string(sjis);
    size_t end = 0;
    while (end < sjis.size()) {
        const size_t step = encoding::isSjisLead(byteAt(sjis, end)) && end + 1 < sjis.size() ? 2 : 1;
        if (end + step > keep)
            break;
        end += step;
    }
    return std::string(sjis.substr(0, end));
}

std::string QtFileFilter(std::string_view filter)
{
    std::string out;
    size_t start = 0;
    while (start < filter.size()) {
        const size_t bar = filter.find('|', start);
        if (bar == std::string_view::npos || bar == start)
            break;
        std::string_view name = filter.substr(start, bar - start);
        const size_t end = filter.find('|', bar + 1);
        start = end == std::string_view::npos ? filter.size() : end + 1;
        std::string item(name);
        if (const size_t all = item.find("(*.*)"); all != std::string::npos)
            item.replace(all, 5, "(*)");
        if (!out.empty())
            out += ";;";
        out += item;
    }
    return out;
}

std::string BrowserAddress(std::string_view url)
{
    for (char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return {};
    }
    for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
        if (startsWithNoCase(url, scheme) && url.size() > scheme.size())
            return std::string(url);
    }
    // A tunnel's target: host and port only.
    const size_t colon = url.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= url.size())
        return {};
    const std::string_view host = url.substr(0, colon);
    const std::string_view port = url.substr(colon + 1);
    for (char c : host) {
        if (!isHostChar(c))
            return {};
    }
    for (char c : port) {
        if (c < '0' || c > '9')
            return {};
    }
    if (host.front() == '-')
        return {};
    return "https://" + std::string(host) + (port == "443" ? "" : ":" + std::string(port)) + "/";
}

} // namespace logview
