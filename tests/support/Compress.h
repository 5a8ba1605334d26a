#pragma once

#include <string>

#include <brotli/encode.h>
#include <zlib.h>

namespace zpftest {

/// text compressed by zlib with windowBits: 31 gzip, 15 zlib, -15 raw deflate.
inline std::string Deflated(const std::string& text, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::string Brotli(const std::string& text)
{
    std::string out(BrotliEncoderMaxCompressedSize(text.size()), '\0');
    size_t size = out.size();
    BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
                          reinterpret_cast<const uint8_t*>(text.data()), &size, reinterpret_cast<uint8_t*>(out.data()));
    out.resize(size);
    return out;
}

} // namespace zpftest
