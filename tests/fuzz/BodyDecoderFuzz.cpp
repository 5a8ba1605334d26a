// Compressed response bodies fed to the decoder in pieces of any size. A body coded
// by zlib or brotli comes out whole (cut at the bound, reported as too large),
// whatever follows its end; any bytes at all never give more than the bound, output
// pieces stay within their size, and a result other than Ok stays.
#include <cstddef>
#include <cstdint>
#include <string>

#include <brotli/encode.h>
#include <zlib.h>

#include "FuzzCheck.h"
#include "engine/BodyDecoder.h"

namespace {

// windowBits as deflateInit2 takes them: 31 gzip, 15 zlib, -15 raw deflate.
std::string deflated(const std::string& body, int windowBits, int level)
{
    z_stream z{};
    check(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) == Z_OK);
    std::string out(deflateBound(&z, body.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    z.avail_in = static_cast<uInt>(body.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    check(deflate(&z, Z_FINISH) == Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string brotlied(const std::string& body, int quality)
{
    size_t size = BrotliEncoderMaxCompressedSize(body.size()) + 16;
    std::string out(size, '\0');
    check(BrotliEncoderCompress(quality, 18, BROTLI_MODE_GENERIC, body.size(),
                                reinterpret_cast<const uint8_t*>(body.data()), &size,
                                reinterpret_cast<uint8_t*>(out.data())) == BROTLI_TRUE);
    out.resize(size);
    return out;
}

struct Run {
    BodyDecoder::Result result = BodyDecoder::Result::Ok;
    std::string output;
};

// Feeds coded in pieces; the output asks to stop once stopAt bytes came out. Once the
// result is settled (complete: the coded body ended), more bytes change nothing.
Run feed(BodyEncoding encoding, uint64_t bound, const std::string& coded, size_t piece, size_t stopAt, bool complete)
{
    BodyDecoder decoder(encoding, bound);
    Run run;
    const BodyDecoder::Output output = [&](const char* bytes, size_t length) {
        check(length > 0 && length <= BodyDecoder::kOutputPiece);
        run.output.append(bytes, length);
        return run.output.size() < stopAt;
    };
    for (size_t at = 0; at < coded.size(); at += piece) {
        const BodyDecoder::Result r = decoder.Feed(coded.data() + at, std::min(piece, coded.size() - at), output);
        check(run.result == BodyDecoder::Result::Ok || r == run.result);
        run.result = r;
    }
    const size_t before = run.output.size();
    if (complete || run.result != BodyDecoder::Result::Ok)
        check(decoder.Feed("x", 1, output) == run.result && run.output.size() == before);
    check(decoder.Produced() == run.output.size() && run.output.size() <= bound);
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const uint8_t mode = data[0];
    const size_t piece = 1 + (size_t{data[1]} * size_t{data[1]}) % 9000;
    const uint64_t bound = data[2] < 128 ? uint64_t{1} << 40 : uint64_t{data[2] - 128u} * 2000;
    std::string body(reinterpret_cast<const char*>(data) + 4, size - 4);
    (void)EncodingOf(body);
    // Repeats make bodies that compress well and decode past one output piece.
    const std::string unit = body;
    for (unsigned i = 0; i < data[3] % 64u; ++i)
        body += unit;

    if (mode & 1) {
        // Any bytes under any coding.
        const BodyEncoding encodings[] = {BodyEncoding::Gzip, BodyEncoding::Deflate, BodyEncoding::Brotli,
                                          BodyEncoding::Identity};
        (void)feed(encodings[(mode >> 1) % 4], bound, body, piece, SIZE_MAX, false);
        return 0;
    }
    const int form = (mode >> 1) % 4;
    const int level = (mode >> 3) % 10;
    std::string coded;
    BodyEncoding encoding = BodyEncoding::Deflate;
    if (form == 0) {
        encoding = BodyEncoding::Gzip;
        coded = deflated(body, 31, level);
    } else if (form == 1) {
        coded = deflated(body, 15, level);
    } else if (form == 2) {
        coded = deflated(body, -15, level);
    } else {
        encoding = BodyEncoding::Brotli;
        coded = brotlied(body, level % 6);
    }
    if (mode & 0x80)
        coded += "trailing bytes after the coded body";
    const size_t stopAt = (mode & 0x40) ? 1 + body.size() / 2 : SIZE_MAX;
    const Run run = feed(encoding, bound, coded, piece, stopAt, true);
    if (stopAt <= body.size() && stopAt <= bound) {
        check(run.result == BodyDecoder::Result::Stopped);
        check(body.compare(0, run.output.size(), run.output) == 0 && run.output.size() >= stopAt);
    } else if (body.size() > bound) {
        check(run.result == BodyDecoder::Result::TooLarge && run.output == body.substr(0, bound));
    } else {
        check(run.result == BodyDecoder::Result::Ok && run.output == body);
    }
    return 0;
}
