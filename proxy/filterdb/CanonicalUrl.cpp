// One spelling per URL, so that escapes, dot segments, doubled slashes and other
// spellings of a host cannot walk past a key.
#include "filterdb/CanonicalUrl.h"

#include <charconv>
#include <cstdint>
#include <vector>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

/// A scheme ("http://", "ftp://", ...) at the start of url, or 0.
size_t schemeLength(std::string_view url)
{
    const size_t mark = url.find("://");
    if (mark == std::string_view::npos || mark == 0)
        return 0;
    for (size_t i = 0; i < mark; ++i) {
        const char c = lower(url[i]);
        const bool letter = c >= 'a' && c <= 'z';
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return 0;
    }
    return mark + 3;
}

/// One part of an IPv4 address as inet_aton reads it: "0x" hexadecimal, a leading
/// "0" octal, else decimal.
std::optional<uint64_t> addressPart(std::string_view text)
{
    int base = 10;
    if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text.remove_prefix(1);
    }
    if (text.empty())
        return base == 16 ? std::nullopt : std::optional<uint64_t>(0);
    uint64_t value = 0;
    for (char c : text) {
        const int d = hexValue(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > 0xffffffffu)
            return std::nullopt;
    }
    return value;
}

/// The host as an IPv4 address in dotted decimal, when inet_aton would read it as one.
std::optional<std::string> dottedAddress(std::string_view host)
{
    uint64_t parts[4];
    size_t count = 0;
    for (size_t start = 0;;) {
        const size_t dot = host.find('.', start);
        const std::string_view text = host.substr(start, dot == std::string_view::npos ? dot : dot - start);
        const auto value = text.empty() || count == 4 ? std::nullopt : addressPart(text);
        if (!value)
            return std::nullopt;
        parts[count++] = *value;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    // The last part fills every byte the parts before it leave.
    const unsigned lastBits = 8 * (5 - static_cast<unsigned>(count));
    uint64_t address = 0;
    for (size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xff)
            return std::nullopt;
        address = address << 8 | parts[i];
    }
    if (lastBits < 32 && parts[count - 1] >> lastBits != 0)
        return std::nullopt;
    address = address << lastBits | parts[count - 1];
    // Each part is followed by a dot, the last one's cut off below.
    char text[sizeof "255.255.255.255."];
    char* end = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        end = std::to_chars(end, text + sizeof text, address >> shift & 0xff).ptr;
        *end++ = '.';
    }
    return std::string(text, end - 1);
}

void appendHost(std::string& out, std::string_view authority)
{
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        out.append(authority.substr(0, at + 1));
        authority.remove_prefix(at + 1);
    }
    size_t nameEnd = authority.size();
    if (authority.empty() || authority[0] != '[')
        nameEnd = std::min(authority.find(':'), authority.size());
    std::string name;
    for (char c : authority.substr(0, nameEnd))
        name.push_back(lower(c));
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    if (auto address = dottedAddress(name))
        name = std::move(*address);
    out.append(name).append(authority.substr(nameEnd));
}

/// text with escapes of unreserved characters decoded. An escape is kept when its
/// character would complete an escape with a "%" already written, so the result
/// decodes to itself.
std::string decodeUnreserved(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0) {
            out.push_back(text[i]);
            continue;
        }
        const auto c = static_cast<unsigned char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
        const size_t n = out.size();
        const bool joins =
            hexValue(static_cast<char>(c)) >= 0 &&
            ((n >= 1 && out[n - 1] == '%') || (n >= 2 && out[n - 2] == '%' && hexValue(out[n - 1]) >= 0));
        if (isUnreserved(c) && !joins)
            out.push_back(static_cast<char>(c));
        else
            out.append(text.substr(i, 3));
        i += 2;
    }
    return out;
}

/// path (starting with "/") with "." and ".." segments resolved and empty ones dropped.
void appendPath(std::string& out, std::string_view path)
{
    std::vector<std::string_view> segments;
    std::string_view segment;
    for (size_t start = 1; start <= path.size(); start += segment.size() + 1) {
        segment = path.substr(start, path.find('/', start) - start);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
    }
    // "/a/." and "/a/.." name a directory, as "/a/" does.
    const bool trailingSlash = segment.empty() || segment == "." || segment == "..";
    out.push_back('/');
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i != 0)
            out.push_back('/');
        out.append(segments[i]);
    }
    if (trailingSlash && !segments.empty())
        out.push_back('/');
}

} // namespace

std::string CanonicalUrl(std::string_view url)
{
    url.remove_prefix(schemeLength(url));
    url = url.substr(0, url.find('#'));
    const size_t query = url.find('?');
    const std::string_view beforeQuery = url.substr(0, query);
    const size_t slash = beforeQuery.find('/');
    std::string out;
    out.reserve(url.size() + kCanonicalGrowth);
    appendHost(out, beforeQuery.substr(0, slash));
    if (slash == std::string_view::npos)
        out.push_back('/');
    else
        appendPath(out, decodeUnreserved(beforeQuery.substr(slash)));
    if (query != std::string_view::npos)
        out.append(decodeUnreserved(url.substr(query)));
    return out;
}

std::optional<std::string_view> CanonicalExtension(std::string_view canonical)
{
    const std::string_view path = canonical.substr(0, canonical.find('?'));
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::string_view segment = path.substr(slash + 1);
    const size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    return segment.substr(dot + 1);
}
