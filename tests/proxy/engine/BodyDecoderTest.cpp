// Decoding of compressed response bodies: every coding, fed in pieces, bounded.
#include <gtest/gtest.h>

#include <brotli/encode.h>
#include <zlib.h>

#include "engine/BodyDecoder.h"

namespace {

/// text compressed by zlib with windowBits (31 gzip, 15 zlib, -15 raw deflate).
std::string deflated(const std::string& text, int windowBits)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string brotli(const std::string& text)
{
    std::string out(BrotliEncoderMaxCompressedSize(text.size()), '\0');
    size_t size = out.size();
    EXPECT_TRUE(BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
                                      reinterpret_cast<const uint8_t*>(text.data()), &size,
                                      reinterpret_cast<uint8_t*>(out.data())));
    out.resize(size);
    return out;
}

TEST(BodyDecoderTest, CodingsPiecesAndBounds)
{
    using R = BodyDecoder::Result;
    using E = BodyEncoding;
    const std::string page = "<html><body><p>A zpf-sample-adult-phrase in a compressed page.</p></body></html>\n";
    const std::string gzip = deflated(page, 31);
    const std::string zeros(1 << 20, '\0');
    std::string damaged = brotli(page);
    damaged[damaged.size() / 2] = static_cast<char>(~damaged[damaged.size() / 2]);
    struct Row {
        std::string contentEncoding;
        E coding;
        std::string input;
        size_t piece; // bytes per Feed
        uint64_t bound;
        R result;
        std::string output;
    };
    const std::vector<Row> rows = {
        {"gzip", E::Gzip, gzip, 1, 1000, R::Ok, page},
        {"X-GZIP", E::Gzip, gzip, 4096, 1000, R::Ok, page},
        // The form of a deflate body is told from its first two bytes, even when they come apart.
        {"deflate", E::Deflate, deflated(page, 15), 1, 1000, R::Ok, page},
        {" Deflate ", E::Deflate, deflated(page, -15), 7, 1000, R::Ok, page},
        {"br", E::Brotli, brotli(page), 3, 1000, R::Ok, page},
        // Identity entries and empty list elements add no layer.
        {"identity, gzip,", E::Gzip, gzip + "trailing bytes never come out", 5, 1000, R::Ok, page},
        {"gzip", E::Gzip, gzip, 4096, page.size(), R::Ok, page},
        // Bombs stop at the bound, with exactly that much out.
        {"gzip", E::Gzip, deflated(zeros, 31), 4096, 100000, R::TooLarge, zeros.substr(0, 100000)},
        {"br", E::Brotli, brotli(zeros), 4096, 70000, R::TooLarge, zeros.substr(0, 70000)},
        {"gzip", E::Gzip, gzip, 4096, page.size() - 1, R::TooLarge, page.substr(0, page.size() - 1)},
        {"gzip", E::Gzip, "<html>plain text sent as gzip</html>", 4096, 1000, R::Corrupt, ""},
        {"deflate", E::Deflate, "\x78\x9c\xff\xff\xff\xff", 4096, 1000, R::Corrupt, ""},
        {"br", E::Brotli, damaged, 4096, 1000, R::Corrupt, ""},
        // Codings that are not decoded, or stacked, decode nothing.
        {"gzip, br", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"gzip\t,gzip", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"zstd", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"compress", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"gzip;q=1", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"", E::Identity, "", 1, 1000, R::Ok, ""},
        {"identity", E::Identity, "", 1, 1000, R::Ok, ""},
    };
    for (const Row& r : rows) {
        const std::string name = "'" + r.contentEncoding + "' piece " + std::to_string(r.piece);
        EXPECT_EQ(EncodingOf(r.contentEncoding), r.coding) << name;
        BodyDecoder decoder(EncodingOf(r.contentEncoding), r.bound);
        std::string out;
        R result = R::Ok;
        for (size_t at = 0; at < r.input.size() && result == R::Ok; at += r.piece) {
            result = decoder.Feed(r.input.data() + at, std::min(r.piece, r.input.size() - at),
                                  [&out](const char* bytes, size_t length) {
                                      EXPECT_LE(length, BodyDecoder::kOutputPiece);
                                      out.append(bytes, length);
                                      return true;
                                  });
        }
        EXPECT_EQ(result, r.result) << name;
        EXPECT_EQ(out.size(), r.output.size()) << name;
        EXPECT_TRUE(out == r.output) << name;
        EXPECT_EQ(decoder.Produced(), out.size()) << name;
    }
}

} // namespace
