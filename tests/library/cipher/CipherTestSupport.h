#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include "cipher/CDes.h"

namespace ciphertest {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        unsigned value = 0;
        std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        out.push_back(static_cast<uint8_t>(value));
    }
    return out;
}

inline std::string ToHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

/// Cipher parameters of one test row.
struct Params {
    int mode;
    int unit;
    int shift;
    const char* key = "0E329232EA6D0D73";
    const char* iv = "A1B2C3D4E5F60718";
};

/// Transforms bytes in memory with one fresh object, in pieces of `piece` bytes
/// (a multiple of the unit) so the chaining across calls is exercised.
inline Bytes Transform(const Params& p, int direction, Bytes data, size_t piece = 0)
{
    CDes des;
    EXPECT_EQ(des.Setting(direction, p.mode, p.key, p.iv, p.unit, p.shift), 0);
    const size_t unit = p.mode <= 2 ? 8 : static_cast<size_t>(p.unit);
    const size_t size = data.size();
    data.resize(size + unit); // room for the padding
    if (piece == 0)
        piece = size;
    size_t done = 0;
    int total = 0;
    while (done < size) {
        const size_t n = std::min(piece, size - done);
        total += des.TransData(reinterpret_cast<char*>(data.data() + done), static_cast<int>(n));
        done += n;
    }
    data.resize(static_cast<size_t>(total));
    return data;
}

} // namespace ciphertest
