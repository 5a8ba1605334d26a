// Japanese encoding conversions and detection. The pair arithmetic is done by hand
// because the list files fix it byte by byte (half-width katakana stay single bytes,
// no escape sequences); whole-text code-page conversions go through iconv.
#include "common/Encoding.h"

#include <iconv.h>

#include <cerrno>

namespace encoding {
namespace {

// The pair rule converts only these lead bytes; 0xF0 and above pass through.
constexpr bool isConvertibleLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }
constexpr bool isConvertibleTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC; }

std::string pairForm(std::string_view sjis, unsigned char high)
{
    std::string out;
    out.reserve(sjis.size());
    for (size_t i = 0; i < sjis.size(); ++i) {
        auto c = static_cast<unsigned char>(sjis[i]);
        if (!isConvertibleLead(c)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (i + 1 >= sjis.size())
            break; // a lead byte at the very end has nothing to pair with
        auto t = static_cast<unsigned char>(sjis[i + 1]);
        ++i;
        if (!isConvertibleTrail(t)) {
            out.push_back(static_cast<char>(c));
            out.push_back(static_cast<char>(t));
            continue;
        }
        auto [row, cell] = sjisToJis(c, t);
        out.push_back(static_cast<char>(row + high));
        out.push_back(static_cast<char>(cell + high));
    }
    return out;
}

// Length of the UTF-8 sequence at the start of s when it is well formed, else 1.
size_t utf8SequenceLength(std::string_view s)
{
    auto c = static_cast<unsigned char>(s[0]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
    if (c >= 0xF5 || n > s.size())
        return 1;
    for (size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 1;
    }
    return n;
}

/// Owns one iconv descriptor.
class Converter {
public:
    Converter(const char* from, const char* to)
        : m_cd(iconv_open(to, from))
    {
    }
    ~Converter()
    {
        if (ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    /// Converts `in`; each character that cannot be converted is replaced by `bad`
    /// (and skipped: one byte, or one whole UTF-8 sequence when utf8In) unless bad is
    /// null, in which case the conversion fails.
    bool run(std::string_view in, std::string& out, const char* bad, bool utf8In = false)
    {
        out.clear();
        if (!ok())
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buf[1024];
        while (srcLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<size_t>(dst - buf));
            if (r != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            if (!bad)
                return false;
            // EILSEQ or EINVAL (an incomplete character at the end): replace one byte.
            out += bad;
            size_t skip = utf8In ? utf8SequenceLength(std::string_view(src, srcLeft)) : 1;
            src += skip;
            srcLeft -= skip;
        }
        // Flush any shift state (ISO-2022-JP ends in ASCII mode).
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        if (iconv(m_cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1) && !bad)
            return false;
        out.append(buf, static_cast<size_t>(dst - buf));
        return true;
    }

private:
    iconv_t m_cd;
};

bool isPatternLiteral(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == '*' || c == '(';
}

bool isPatternDelimiter(char c) { return c == ')' || c == ',' || c == '{' || c == '}' || c == '[' || c == ']'; }

constexpr size_t kNone = std::string_view::npos;

// Index of the byte at which the text stops being valid code page 932, or kNone.
size_t firstInvalidSjis(std::string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF))
            continue;
        if (!isSjisLead(c))
            return i;
        if (i + 1 >= s.size())
            return s.size();
        if (!isSjisTrail(static_cast<unsigned char>(s[i + 1])))
            return i + 1;
        ++i;
    }
    return kNone;
}

// Index of the byte at which the text stops being valid EUC-JP, or kNone.
size_t firstInvalidEuc(std::string_view s)
{
    auto in = [](unsigned char c, unsigned char lo, unsigned char hi) { return c >= lo && c <= hi; };
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80)
            continue;
        size_t need = 0;
        unsigned char hi = 0xFE;
        if (c == 0x8E) {
            need = 1;
            hi = 0xDF;
        } else if (c == 0x8F) {
            need = 2;
        } else if (in(c, 0xA1, 0xFE)) {
            need = 1;
        } else {
            return i;
        }
        for (size_t k = 1; k <= need; ++k) {
            if (i + k >= s.size())
                return s.size();
            if (!in(static_cast<unsigned char>(s[i + k]), 0xA1, hi))
                return i + k;
        }
        i += need;
    }
    return kNone;
}

size_t firstJisEscape(std::string_view s)
{
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        if (s[i] != '\x1b')
            continue;
        if (s[i + 1] == 'K')
            return i;
        if (s[i + 1] == '$' && i + 2 < s.size() && (s[i + 2] == 'B' || s[i + 2] == '@'))
            return i;
    }
    return kNone;
}

} // namespace

std::pair<unsigned char, unsigned char> sjisToJis(unsigned char lead, unsigned char trail)
{
    int row = (lead - (lead < 0xA0 ? 0x70 : 0xB0)) * 2 - (trail < 0x9F ? 1 : 0);
    int cell = trail - (trail < 0x9F ? (trail < 0x80 ? 0x1F : 0x20) : 0x7E);
    return {static_cast<unsigned char>(row), static_cast<unsigned char>(cell)};
}

std::pair<unsigned char, unsigned char> jisToSjis(unsigned char row, unsigned char cell)
{
    int lead = ((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0);
    int trail = cell + ((row & 1) ? (cell < 0x60 ? 0x1F : 0x20) : 0x7E);
    return {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
}

std::string sjisToEucForm(std::string_view sjis) { return pairForm(sjis, 0x80); }

std::string sjisToJisForm(std::string_view sjis) { return pairForm(sjis, 0); }

std::string eucToSjis(std::string_view euc)
{
    // Exactly the inverse of sjisToEucForm for two-byte characters, so that the EUC
    // form of the result gives the original bytes back.
    std::string out;
    out.reserve(euc.size());
    auto high = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
    for (size_t i = 0; i < euc.size(); ++i) {
        auto c = static_cast<unsigned char>(euc[i]);
        if (i + 1 < euc.size()) {
            auto t = static_cast<unsigned char>(euc[i + 1]);
            if (high(c) && high(t)) {
                auto [lead, trail] =
                    jisToSjis(static_cast<unsigned char>(c - 0x80), static_cast<unsigned char>(t - 0x80));
                out.push_back(static_cast<char>(lead));
                out.push_back(static_cast<char>(trail));
                ++i;
                continue;
            }
            if (c == 0x8E && t >= 0xA1 && t <= 0xDF) {
                out.push_back(static_cast<char>(t));
                ++i;
                continue;
            }
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::string sjisToUtf8(std::string_view sjis)
{
    std::string out;
    Converter conv("CP932", "UTF-8");
    if (!conv.run(sjis, out, "\xEF\xBF\xBD"))
        out.clear();
    return out;
}

std::string utf8ToSjis(std::string_view utf8)
{
    std::string out;
    Converter conv("UTF-8", "CP932");
    if (!conv.run(utf8, out, "?", true))
        out.clear();
    return out;
}

bool convert(const char* from, const char* to, std::string_view in, std::string& out)
{
    Converter conv(from, to);
    return conv.run(in, out, nullptr);
}

std::string patternForm(std::string_view line)
{
    if (line.empty())
        return {};
    size_t open = 1;
    while (open < line.size() && (line[open] == '[' || line[open] == '('))
        ++open;
    size_t close = line.size();
    while (close > open) {
        char c = line[close - 1];
        if (c != ']' && c != ')' && c != '\n' && c != '\0')
            break;
        --close;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(line.substr(0, open));
    for (size_t i = open; i < close; ++i) {
        char c = line[i];
        auto u = static_cast<unsigned char>(c);
        if (isPatternLiteral(u)) {
            out.push_back(c);
        } else if (isPatternDelimiter(c) && i + 1 < close && line[i + 1] == c) {
            out.push_back(c);
            out.push_back(c);
            ++i;
        } else {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 0x0F]);
        }
    }
    out.append(line.substr(close));
    return out;
}

TextEncoding detectEncoding(std::string_view line)
{
    size_t jis = firstJisEscape(line);
    size_t sjisBad = firstInvalidSjis(line);
    size_t eucBad = firstInvalidEuc(line);
    bool high = false;
    for (char c : line)
        high = high || static_cast<unsigned char>(c) >= 0x80;
    if (!high && jis == kNone)
        return TextEncoding::Ascii;
    if (jis != kNone && jis < sjisBad && jis < eucBad)
        return TextEncoding::Jis;
    if (sjisBad < eucBad)
        return TextEncoding::EucJp;
    if (eucBad < sjisBad)
        return TextEncoding::ShiftJis;
    // Neither form breaks before the other: nothing decides, unless an escape does.
    return jis != kNone ? TextEncoding::Jis : TextEncoding::Unknown;
}

size_t findSjisChar(std::string_view text, char c, size_t from)
{
    for (size_t i = from; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if (isSjisLead(b) && i + 1 < text.size() && isSjisTrail(static_cast<unsigned char>(text[i + 1]))) {
            ++i;
            continue;
        }
        if (text[i] == c)
            return i;
    }
    return kNone;
}

} // namespace encoding
