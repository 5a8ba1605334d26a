// Decoding of compressed response bodies, so that the phrase scan sees what the
// browser would show.
#include "engine/BodyDecoder.h"

#include <array>
#include <string>
#include <strings.h>

#include <brotli/decode.h>
#include <zlib.h>

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool sameNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

BodyEncoding codingOf(std::string_view token)
{
    if (sameNoCase(token, "gzip") || sameNoCase(token, "x-gzip"))
        return BodyEncoding::Gzip;
    if (sameNoCase(token, "deflate"))
        return BodyEncoding::Deflate;
    if (sameNoCase(token, "br"))
        return BodyEncoding::Brotli;
    if (sameNoCase(token, "identity"))
        return BodyEncoding::Identity;
    return BodyEncoding::Unsupported;
}

/// Whether two bytes open a zlib stream (deflate method, window at most 32 KiB, check
/// bits right) rather than raw deflate data.
bool zlibHeader(unsigned char cmf, unsigned char flg)
{
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256u + flg) % 31 == 0;
}
} // namespace

BodyEncoding EncodingOf(std::string_view contentEncoding)
{
    BodyEncoding found = BodyEncoding::Identity;
    int codings = 0;
    for (size_t start = 0; start <= contentEncoding.size();) {
        size_t comma = contentEncoding.find(',', start);
        if (comma == std::string_view::npos)
            comma = contentEncoding.size();
        const std::string_view token = trimmed(contentEncoding.substr(start, comma - start));
        start = comma + 1;
        if (token.empty())
            continue;
        const BodyEncoding coding = codingOf(token);
        if (coding == BodyEncoding::Identity)
            continue;
        found = coding;
        ++codings;
    }
    // Codings applied one over another are not decoded: one layer left would pass unread.
    return codings > 1 ? BodyEncoding::Unsupported : found;
}

struct BodyDecoder::State {
    z_stream zlib{};
    bool zlibReady = false;
    std::string head; // the first bytes of a deflate body, until its form is known
    BrotliDecoderState* brotli = nullptr;
    std::array<unsigned char, kOutputPiece> out{};

    ~State()
    {
        if (zlibReady)
            inflateEnd(&zlib);
        if (brotli)
            BrotliDecoderDestroyInstance(brotli);
    }
};

BodyDecoder::BodyDecoder(BodyEncoding encoding, uint64_t maxOutput)
    : m_encoding(encoding)
    , m_maxOutput(maxOutput)
    , m_state(std::make_unique<State>())
{
}

BodyDecoder::~BodyDecoder() = default;

BodyDecoder::Result BodyDecoder::Feed(const char* bytes, size_t length, const Output& output)
{
    if (m_result != Result::Ok || m_finished || length == 0)
        return m_result;
    switch (m_encoding) {
    case BodyEncoding::Gzip:
    case BodyEncoding::Deflate:
        m_result = inflate(bytes, length, output);
        break;
    case BodyEncoding::Brotli:
        m_result = brotli(bytes, length, output);
        break;
    default:
        m_result = Result::Corrupt;
        break;
    }
    return m_result;
}

BodyDecoder::Result BodyDecoder::deliver(const char* bytes, size_t length, const Output& output)
{
    if (length > m_maxOutput - m_produced) {
        const size_t room = static_cast<size_t>(m_maxOutput - m_produced);
        m_produced = m_maxOutput;
        if (room != 0 && !output(bytes, room))
            return Result::Stopped;
        return Result::TooLarge;
    }
    m_produced += length;
    return output(bytes, length) ? Result::Ok : Result::Stopped;
}

BodyDecoder::Result BodyDecoder::inflate(const char* bytes, size_t length, const Output& output)
{
    State& s = *m_state;
    if (!s.zlibReady) {
        int windowBits = 16 + MAX_WBITS; // gzip wrapper only
        if (m_encoding == BodyEncoding::Deflate) {
            // "deflate" means a zlib stream, but servers also send raw deflate data;
            // the first two bytes tell which.
            s.head.append(bytes, length);
            if (s.head.size() < 2)
                return Result::Ok;
            const bool zlib = zlibHeader(static_cast<unsigned char>(s.head[0]), static_cast<unsigned char>(s.head[1]));
            windowBits = zlib ? MAX_WBITS : -MAX_WBITS;
            bytes = s.head.data();
            length = s.head.size();
        }
        if (inflateInit2(&s.zlib, windowBits) != Z_OK)
            return Result::Corrupt;
        s.zlibReady = true;
    }
    // zlib's input pointer is not const, but inflate never writes through it.
    s.zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
    s.zlib.avail_in = static_cast<uInt>(length);
    for (;;) {
        s.zlib.next_out = s.out.data();
        s.zlib.avail_out = static_cast<uInt>(s.out.size());
        const int rc = ::inflate(&s.zlib, Z_NO_FLUSH);
        const size_t got = s.out.size() - s.zlib.avail_out;
        if (got != 0) {
            const Result r = deliver(reinterpret_cast<const char*>(s.out.data()), got, output);
            if (r != Result::Ok)
                return r;
        }
        if (rc == Z_STREAM_END) {
            m_finished = true;
            s.head.clear();
            return Result::Ok;
        }
        if (rc == Z_BUF_ERROR || (rc == Z_OK && s.zlib.avail_in == 0 && s.zlib.avail_out != 0)) {
            s.head.clear();
            return Result::Ok; // everything taken; more input needed
        }
        if (rc != Z_OK)
            return Result::Corrupt; // bad data, a preset dictionary, or no memory
    }
}

BodyDecoder::Result BodyDecoder::brotli(const char* bytes, size_t length, const Output& output)
{
    State& s = *m_state;
    if (!s.brotli) {
        s.brotli = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
        if (!s.brotli)
            return Result::Corrupt;
    }
    const uint8_t* in = reinterpret_cast<const uint8_t*>(bytes);
    size_t inLeft = length;
    for (;;) {
        uint8_t* next = s.out.data();
        size_t outLeft = s.out.size();
        const BrotliDecoderResult rc = BrotliDecoderDecompressStream(s.brotli, &inLeft, &in, &outLeft, &next, nullptr);
        const size_t got = s.out.size() - outLeft;
        if (got != 0) {
            const Result r = deliver(reinterpret_cast<const char*>(s.out.data()), got, output);
            if (r != Result::Ok)
                return r;
        }
        if (rc == BROTLI_DECODER_RESULT_SUCCESS) {
            m_finished = true;
            return Result::Ok;
        }
        if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
            return Result::Ok;
        if (rc == BROTLI_DECODER_RESULT_ERROR)
            return Result::Corrupt;
    }
}
