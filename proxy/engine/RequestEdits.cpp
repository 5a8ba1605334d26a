// Base64 and the edits made to a request header before it is forwarded.
#include "engine/RequestEdits.h"

#include <array>
#include <strings.h>

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> makeDecodeTable()
{
    std::array<signed char, 256> table{};
    for (auto& v : table)
        v = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    return table;
}
constexpr auto kDecode = makeDecodeTable();

unsigned byteAt(std::string_view bytes, size_t i) { return static_cast<unsigned char>(bytes[i]); }

void adjust(uint32_t& headerLength, size_t before, size_t after)
{
    headerLength = static_cast<uint32_t>(headerLength + after - before);
}
} // namespace

std::string EncodeBase64(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = byteAt(bytes, i) << 16 | byteAt(bytes, i + 1) << 8 | byteAt(bytes, i + 2);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        unsigned v = byteAt(bytes, i) << 16;
        if (left == 2)
            v |= byteAt(bytes, i + 1) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string DecodeBase64(std::string_view text)
{
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = kDecode[static_cast<unsigned char>(c)];
        if (v < 0)
            break;
        bits = (bits << 6) | static_cast<unsigned>(v);
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xFF);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    // Two characters carry one byte, three carry two; one alone carries none.
    if (count == 2) {
        out += static_cast<char>((bits >> 4) & 0xFF);
    } else if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    return out;
}

size_t LineFeedHeaderEnd(std::string_view data)
{
    for (size_t lf = data.find('\n'); lf != std::string_view::npos; lf = data.find('\n', lf + 1)) {
        size_t p = lf + 1;
        while (p < data.size() && data[p] == '\r')
            ++p;
        if (p < data.size() && data[p] == '\n')
            return p + 1;
    }
    return 0;
}

size_t FindHeaderLine(std::string_view header, std::string_view name)
{
    // Header lines start after a line feed; the request or status line is never one.
    for (size_t lf = header.find('\n'); lf != std::string_view::npos; lf = header.find('\n', lf + 1)) {
        const size_t line = lf + 1;
        if (header.size() - line < name.size())
            return std::string_view::npos;
        if (::strncasecmp(header.data() + line, name.data(), name.size()) == 0)
            return line;
    }
    return std::string_view::npos;
}

bool ForwardableHeader(std::string_view header)
{
    if (header.find('\0') != std::string_view::npos)
        return false;
    for (size_t cr = header.find('\r'); cr != std::string_view::npos; cr = header.find('\r', cr + 1)) {
        if (cr + 1 >= header.size() || header[cr + 1] != '\n')
            return false;
    }
    std::string_view length; // the value of the first Content-Length line
    size_t lf = header.find('\n');
    while (lf != std::string_view::npos && lf + 1 < header.size()) {
        const size_t start = lf + 1;
        lf = header.find('\n', start);
        std::string_view line =
            header.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break;
        if (line[0] == ' ' || line[0] == '\t')
            return false;
        const size_t colon = line.find(':');
        const std::string_view name = line.substr(0, colon);
        if (name.find_first_of(" \t") != std::string_view::npos)
            return false;
        if (colon == std::string_view::npos)
            continue;
        if (name.size() == 17 && ::strncasecmp(name.data(), "Transfer-Encoding", 17) == 0)
            return false;
        if (name.size() != 14 || ::strncasecmp(name.data(), "Content-Length", 14) != 0)
            continue;
        std::string_view value = line.substr(colon + 1);
        const size_t first = value.find_first_not_of(" \t");
        value = first == std::string_view::npos ? std::string_view() : value.substr(first);
        value = value.substr(0, value.find_last_not_of(" \t") + 1);
        if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        if (!length.empty() && value != length)
            return false;
        length = value;
    }
    return true;
}

namespace requestedit {

bool ReplaceRequestLine(std::string& buffer, uint32_t& headerLength, std::string_view line)
{
    const size_t lf = buffer.find('\n');
    if (lf == std::string::npos)
        return false;
    buffer.replace(0, lf + 1, line);
    adjust(headerLength, lf + 1, line.size());
    return true;
}

void DowngradeVersion(std::string& buffer)
{
    const size_t lf = buffer.find('\n');
    const size_t at =
        std::string_view(buffer).substr(0, lf == std::string::npos ? buffer.size() : lf + 1).find("HTTP/1.1");
    if (at != std::string_view::npos)
        buffer[at + 7] = '0';
}

bool SetHeaderLine(std::string& buffer, uint32_t& headerLength, std::string_view name, std::string_view line)
{
    const std::string_view header = std::string_view(buffer).substr(0, headerLength);
    const size_t found = FindHeaderLine(header, name);
    if (found != std::string_view::npos) {
        const size_t lf = header.find('\n', found);
        if (lf == std::string_view::npos)
            return false;
        buffer.replace(found, lf + 1 - found, line);
        adjust(headerLength, lf + 1 - found, line.size());
        return true;
    }
    const size_t end = LineFeedHeaderEnd(header);
    if (end < 2)
        return false;
    // After the line feed that ends the last header line, before the empty line.
    const size_t lf = header.rfind('\n', end - 2);
    if (lf == std::string_view::npos)
        return false;
    buffer.insert(lf + 1, line);
    adjust(headerLength, 0, line.size());
    return true;
}

bool ReplaceHeaderLines(std::string& buffer, uint32_t& headerLength, std::string_view name, std::string_view line)
{
    const size_t first = FindHeaderLine(std::string_view(buffer).substr(0, headerLength), name);
    if (first != std::string_view::npos) {
        // The lines after the first are found by searching from the first one on.
        for (;;) {
            const std::string_view rest = std::string_view(buffer).substr(first, headerLength - first);
            const size_t found = FindHeaderLine(rest, name);
            if (found == std::string_view::npos)
                break;
            const size_t lf = rest.find('\n', found);
            if (lf == std::string_view::npos)
                return false;
            buffer.erase(first + found, lf + 1 - found);
            adjust(headerLength, lf + 1 - found, 0);
        }
    }
    return SetHeaderLine(buffer, headerLength, name, line);
}

void RemoveHeaderLine(std::string& buffer, uint32_t& headerLength, std::string_view name)
{
    for (;;) {
        const std::string_view header = std::string_view(buffer).substr(0, headerLength);
        const size_t found = FindHeaderLine(header, name);
        if (found == std::string_view::npos)
            return;
        const size_t lf = header.find('\n', found);
        if (lf == std::string_view::npos)
            return;
        buffer.erase(found, lf + 1 - found);
        adjust(headerLength, lf + 1 - found, 0);
    }
}

} // namespace requestedit
