// Decoding of compressed response bodies: every coding, fed in pieces, bounded.
#include <gtest/gtest.h>

#include "engine/BodyDecoder.h"
#include "support/Compress.h"

namespace {
using zpftest::Brotli;
using zpftest::Deflated;

TEST(BodyDecoderTest, CodingsPiecesAndBounds)
{
    using R = BodyDecoder::Result;
    using E = BodyEncoding;
    const std::string page = "<html><body><p>A zpf-sample-adult-phrase in a compressed page.</p></body></html>\n";
    const std::string gzip = Deflated(page, 31);
    const std::string zeros(1 << 20, '\0');
    std::string damaged = Brotli(page);
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
        {"deflate", E::Deflate, Deflated(page, 15), 1, 1000, R::Ok, page},
        {" Deflate ", E::Deflate, Deflated(page, -15), 7, 1000, R::Ok, page},
        {"br", E::Brotli, Brotli(page), 3, 1000, R::Ok, page},
        // Identity entries and empty list elements add no layer.
        {"identity, gzip,", E::Gzip, gzip + "trailing bytes never come out", 5, 1000, R::Ok, page},
        {"gzip", E::Gzip, gzip, 4096, page.size(), R::Ok, page},
        // Bombs stop at the bound, with exactly that much out.
        {"gzip", E::Gzip, Deflated(zeros, 31), 4096, 100000, R::TooLarge, zeros.substr(0, 100000)},
        {"br", E::Brotli, Brotli(zeros), 4096, 70000, R::TooLarge, zeros.substr(0, 70000)},
        {"gzip", E::Gzip, gzip, 4096, page.size() - 1, R::TooLarge, page.substr(0, page.size() - 1)},
        {"gzip", E::Gzip, "<html>plain text sent as gzip</html>", 4096, 1000, R::Corrupt, ""},
        {"deflate", E::Deflate, "\x78\x9c\xff\xff\xff\xff", 4096, 1000, R::Corrupt, ""},
        {"br", E::Brotli, damaged, 4096, 1000, R::Corrupt, ""},
        // Codings that are not decoded, or stacked, decode nothing.
        {"gzip, br", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"gzip\t,gzip", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
        {"zstd", E::Unsupported, gzip, 4096, 1000, R::Corrupt, ""},
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
