// CDes: the DES block function (table driven) and the ECB, CBC, OFB and CFB file
// cipher built on it, with its buffered file reading and writing.
#include "cipher/CDes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// ---- DES tables, as published; bit numbers count from 1 at the most significant bit.

constexpr uint8_t kSBox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8, 14, 6,  11, 3,  4, 9, 7, 2,  13, 12, 0, 5, 10, 3,  13, 4,  7, 15, 2,  8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0,  14, 7, 11, 10, 4,  13, 1, 5, 8, 12, 6,  9,  3, 2, 15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0, 8, 13, 3,  12, 9, 7, 5, 10, 6, 1, 13, 0,  11, 7, 4, 9, 1,  10, 14, 3, 5, 12, 2,  15, 8, 6,
     1, 4,  11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5,  9, 2, 6,  11, 13, 8, 1, 4, 10, 7,  9,  5, 0, 15, 14, 2,  3, 12},
    {13, 2,  8, 4, 6, 15, 11, 1, 10, 9, 3,  14, 5,  0, 12, 7, 1, 15, 13, 8, 10, 3,  7, 4,  12, 5,  6, 11, 0, 14, 9, 2,
     7,  11, 4, 1, 9, 12, 14, 2, 0,  6, 10, 13, 15, 3, 5,  8, 2, 1,  14, 7, 4,  10, 8, 13, 15, 12, 9, 0,  3, 5,  6, 11},
};

constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                              35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                              46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// ---- The fast form.
//
// During the rounds both halves are kept rotated right by 3 bits. Then the eight
// 6-bit groups of the expansion sit at bits 24, 16, 8 and 0 of x (S-boxes 1, 3, 5, 7)
// and of rotl(x, 4) (S-boxes 2, 4, 6, 8), so a round is two key XORs and eight
// lookups. Each table folds one S-box, the P permutation and the same rotation.

constexpr int kHalfRotation = 3;

using SpTable = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTable makeSpTable()
{
    SpTable table{};
    for (size_t box = 0; box < 8; ++box) {
        for (size_t v = 0; v < 64; ++v) {
            const size_t row = ((v >> 4) & 2) | (v & 1);
            const size_t column = (v >> 1) & 15;
            const uint32_t sOut = static_cast<uint32_t>(kSBox[box][row * 16 + column]) << (28 - 4 * box);
            uint32_t permuted = 0;
            for (int bit = 0; bit < 32; ++bit) {
                if ((sOut >> (32 - kP[bit])) & 1)
                    permuted |= 1u << (31 - bit);
            }
            table[box][v] = std::rotr(permuted, kHalfRotation);
        }
    }
    return table;
}

constexpr SpTable kSp = makeSpTable();

// Swaps the bits of b selected by mask with the bits of a `shift` places higher.
inline void permOp(uint32_t& a, uint32_t& b, int shift, uint32_t mask)
{
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

inline uint32_t feistel(uint32_t x, const uint32_t* k)
{
    const uint32_t t = x ^ k[0];
    const uint32_t u = std::rotl(x, 4) ^ k[1];
    return kSp[0][(t >> 24) & 63] | kSp[2][(t >> 16) & 63] | kSp[4][(t >> 8) & 63] | kSp[6][t & 63] |
           kSp[1][(u >> 24) & 63] | kSp[3][(u >> 16) & 63] | kSp[5][(u >> 8) & 63] | kSp[7][u & 63];
}

// One DES block on a big-endian 64-bit value; `keys` holds 32 words (see makeRoundKeys).
inline uint64_t desBlock(uint64_t block, const uint32_t* keys)
{
    uint32_t l = static_cast<uint32_t>(block >> 32);
    uint32_t r = static_cast<uint32_t>(block);
    // Initial permutation as five bit-group swaps.
    permOp(l, r, 4, 0x0f0f0f0fu);
    permOp(l, r, 16, 0x0000ffffu);
    permOp(r, l, 2, 0x33333333u);
    permOp(r, l, 8, 0x00ff00ffu);
    permOp(l, r, 1, 0x55555555u);
    l = std::rotr(l, kHalfRotation);
    r = std::rotr(r, kHalfRotation);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        l ^= feistel(r, keys + 4 * i);
        r ^= feistel(l, keys + 4 * i + 2);
    }
    l = std::rotl(l, kHalfRotation);
    r = std::rotl(r, kHalfRotation);
    // The halves leave swapped; the final permutation undoes the initial one.
    permOp(r, l, 1, 0x55555555u);
    permOp(l, r, 8, 0x00ff00ffu);
    permOp(l, r, 2, 0x33333333u);
    permOp(r, l, 16, 0x0000ffffu);
    permOp(r, l, 4, 0x0f0f0f0fu);
    return (static_cast<uint64_t>(r) << 32) | l;
}

// Two independent blocks at once: the rounds of one are latency bound, so running
// two side by side nearly doubles the throughput where the mode allows it.
inline void desBlock2(uint64_t& block0, uint64_t& block1, const uint32_t* keys)
{
    uint32_t l0 = static_cast<uint32_t>(block0 >> 32);
    uint32_t r0 = static_cast<uint32_t>(block0);
    uint32_t l1 = static_cast<uint32_t>(block1 >> 32);
    uint32_t r1 = static_cast<uint32_t>(block1);
    permOp(l0, r0, 4, 0x0f0f0f0fu);
    permOp(l1, r1, 4, 0x0f0f0f0fu);
    permOp(l0, r0, 16, 0x0000ffffu);
    permOp(l1, r1, 16, 0x0000ffffu);
    permOp(r0, l0, 2, 0x33333333u);
    permOp(r1, l1, 2, 0x33333333u);
    permOp(r0, l0, 8, 0x00ff00ffu);
    permOp(r1, l1, 8, 0x00ff00ffu);
    permOp(l0, r0, 1, 0x55555555u);
    permOp(l1, r1, 1, 0x55555555u);
    l0 = std::rotr(l0, kHalfRotation);
    r0 = std::rotr(r0, kHalfRotation);
    l1 = std::rotr(l1, kHalfRotation);
    r1 = std::rotr(r1, kHalfRotation);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i) {
        l0 ^= feistel(r0, keys + 4 * i);
        l1 ^= feistel(r1, keys + 4 * i);
        r0 ^= feistel(l0, keys + 4 * i + 2);
        r1 ^= feistel(l1, keys + 4 * i + 2);
    }
    l0 = std::rotl(l0, kHalfRotation);
    r0 = std::rotl(r0, kHalfRotation);
    l1 = std::rotl(l1, kHalfRotation);
    r1 = std::rotl(r1, kHalfRotation);
    permOp(r0, l0, 1, 0x55555555u);
    permOp(r1, l1, 1, 0x55555555u);
    permOp(l0, r0, 8, 0x00ff00ffu);
    permOp(l1, r1, 8, 0x00ff00ffu);
    permOp(l0, r0, 2, 0x33333333u);
    permOp(l1, r1, 2, 0x33333333u);
    permOp(r0, l0, 16, 0x0000ffffu);
    permOp(r1, l1, 16, 0x0000ffffu);
    permOp(r0, l0, 4, 0x0f0f0f0fu);
    permOp(r1, l1, 4, 0x0f0f0f0fu);
    block0 = (static_cast<uint64_t>(r0) << 32) | l0;
    block1 = (static_cast<uint64_t>(r1) << 32) | l1;
}

// Key schedule: 16 rounds of two words each; word 0 holds the key groups of S-boxes
// 1, 3, 5, 7 and word 1 those of 2, 4, 6, 8, placed where feistel() meets them.
void makeRoundKeys(uint64_t key, bool reverse, uint32_t* out)
{
    uint32_t c = 0;
    uint32_t d = 0;
    for (int i = 0; i < 28; ++i) {
        c = (c << 1) | static_cast<uint32_t>((key >> (64 - kPC1[i])) & 1);
        d = (d << 1) | static_cast<uint32_t>((key >> (64 - kPC1[28 + i])) & 1);
    }
    for (int round = 0; round < 16; ++round) {
        for (int n = 0; n < kRotations[round]; ++n) {
            c = ((c << 1) | (c >> 27)) & 0x0fffffffu;
            d = ((d << 1) | (d >> 27)) & 0x0fffffffu;
        }
        const uint64_t cd = (static_cast<uint64_t>(c) << 28) | d;
        uint32_t groups[8] = {};
        for (int bit = 0; bit < 48; ++bit) {
            const uint32_t value = static_cast<uint32_t>((cd >> (56 - kPC2[bit])) & 1);
            groups[bit / 6] |= value << (5 - bit % 6);
        }
        const int slot = reverse ? 15 - round : round;
        out[2 * slot] = (groups[0] << 24) | (groups[2] << 16) | (groups[4] << 8) | groups[6];
        out[2 * slot + 1] = (groups[1] << 24) | (groups[3] << 16) | (groups[5] << 8) | groups[7];
    }
}

// ---- Byte helpers: N bytes as a big-endian number.

template <int N> inline uint64_t loadBe(const uint8_t* p)
{
    if constexpr (N == 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
    } else {
        uint64_t v = 0;
        for (int i = 0; i < N; ++i)
            v = (v << 8) | p[i];
        return v;
    }
}

template <int N> inline void storeBe(uint8_t* p, uint64_t v)
{
    if constexpr (N == 8) {
        if constexpr (std::endian::native == std::endian::little)
            v = __builtin_bswap64(v);
        std::memcpy(p, &v, 8);
    } else {
        for (int i = N - 1; i >= 0; --i) {
            p[i] = static_cast<uint8_t>(v);
            v >>= 8;
        }
    }
}

// ---- Modes. `shift` is the feedback width in bits, 1 to 64.

struct ModeState {
    const uint32_t* keys;
    uint64_t& reg;
    uint64_t& window;
    int shift;
};

inline uint64_t feedBack(uint64_t reg, uint64_t in, int shift)
{
    return shift == 64 ? in : (reg << shift) | (in >> (64 - shift));
}

void runEcb(uint8_t* p, int blocks, const uint32_t* keys)
{
    int i = 0;
    for (; i + 1 < blocks; i += 2, p += 16) {
        uint64_t a = loadBe<8>(p);
        uint64_t b = loadBe<8>(p + 8);
        desBlock2(a, b, keys);
        storeBe<8>(p, a);
        storeBe<8>(p + 8, b);
    }
    if (i < blocks)
        storeBe<8>(p, desBlock(loadBe<8>(p), keys));
}

void runCbc(uint8_t* p, int blocks, const ModeState& s, bool encipher)
{
    uint64_t reg = s.reg;
    int i = 0;
    if (!encipher) {
        for (; i + 1 < blocks; i += 2, p += 16) {
            const uint64_t in0 = loadBe<8>(p);
            const uint64_t in1 = loadBe<8>(p + 8);
            uint64_t a = in0;
            uint64_t b = in1;
            desBlock2(a, b, s.keys);
            storeBe<8>(p, a ^ reg);
            storeBe<8>(p + 8, b ^ in0);
            reg = in1;
        }
    }
    for (; i < blocks; ++i, p += 8) {
        const uint64_t in = loadBe<8>(p);
        if (encipher) {
            reg = desBlock(in ^ reg, s.keys);
            storeBe<8>(p, reg);
        } else {
            storeBe<8>(p, desBlock(in, s.keys) ^ reg);
            reg = in;
        }
    }
    s.reg = reg;
}

template <int N> void runOfb(uint8_t* p, int units, const ModeState& s)
{
    uint64_t reg = s.reg;
    for (int i = 0; i < units; ++i, p += N) {
        const uint64_t out = desBlock(reg, s.keys);
        storeBe<N>(p, loadBe<N>(p) ^ (out >> (64 - 8 * N)));
        reg = feedBack(reg, out, s.shift);
    }
    s.reg = reg;
}

template <int N, bool Encipher> void runCfb(uint8_t* p, int units, const ModeState& s)
{
    uint64_t reg = s.reg;
    uint64_t window = s.window;
    const auto slide = [](uint64_t w, uint64_t cipherUnit) {
        if constexpr (N == 8)
            return cipherUnit;
        else
            return (w << (8 * N)) | cipherUnit;
    };
    int i = 0;
    if constexpr (!Encipher) {
        // Deciphering knows every cipher unit in advance, so the registers of two
        // units are known before either block is run.
        for (; i + 1 < units; i += 2, p += 2 * N) {
            const uint64_t c0 = loadBe<N>(p);
            const uint64_t c1 = loadBe<N>(p + N);
            uint64_t o0 = reg;
            const uint64_t window0 = slide(window, c0);
            uint64_t o1 = feedBack(reg, window0, s.shift);
            window = slide(window0, c1);
            reg = feedBack(o1, window, s.shift);
            desBlock2(o0, o1, s.keys);
            storeBe<N>(p, c0 ^ (o0 >> (64 - 8 * N)));
            storeBe<N>(p + N, c1 ^ (o1 >> (64 - 8 * N)));
        }
    }
    for (; i < units; ++i, p += N) {
        const uint64_t out = desBlock(reg, s.keys) >> (64 - 8 * N);
        uint64_t cipherUnit;
        if constexpr (Encipher) {
            cipherUnit = loadBe<N>(p) ^ out;
            storeBe<N>(p, cipherUnit);
        } else {
            cipherUnit = loadBe<N>(p);
            storeBe<N>(p, cipherUnit ^ out);
        }
        // The window keeps the last 8 cipher bytes; the register takes `shift` bits from its front.
        window = slide(window, cipherUnit);
        reg = feedBack(reg, window, s.shift);
    }
    s.reg = reg;
    s.window = window;
}

template <int N> void runStreamMode(int mode, bool encipher, uint8_t* p, int units, const ModeState& s)
{
    if (mode == 3)
        runOfb<N>(p, units, s);
    else if (encipher)
        runCfb<N, true>(p, units, s);
    else
        runCfb<N, false>(p, units, s);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return static_cast<unsigned char>(c) & 15;
}

// 16 hex digits, most significant first; a terminator ends them and the rest count 0.
uint64_t parseHex64(const char* text)
{
    uint64_t value = 0;
    bool ended = text == nullptr;
    for (int i = 0; i < 16; ++i) {
        if (!ended && text[i] == '\0')
            ended = true;
        value = (value << 4) | static_cast<uint64_t>(ended ? 0 : hexValue(text[i]));
    }
    return value;
}

constexpr int kChunkLimit = 16384;

} // namespace

CDes::CDes() = default;

CDes::~CDes()
{
    // Pending bytes would otherwise be lost: finish the file as CloseWriteFile(1) does.
    if (m_writeFile)
        CDes::CloseWriteFile(1);
    if (m_readFile)
        CDes::CloseReadFile();
}

void CDes::initDes()
{
    m_direction = 0;
    m_mode = 0;
    m_unit = 8;
    m_shift = 0;
    m_rest = 0;
    std::fill(std::begin(m_roundKeys), std::end(m_roundKeys), 0u);
    m_register = 0;
    m_key = 0;
    m_window = 0;
    std::fill(std::begin(m_pending), std::end(m_pending), uint8_t{0});
    m_pendingLength = 0;
    clearLineBuffer();
}

int CDes::Setting(int direction, int mode, const char* keyHex, const char* ivHex, int unit, int shift)
{
    initDes();
    if (mode < 1 || mode > 4)
        return 1;
    const bool stream = mode == 3 || mode == 4;
    if (!stream)
        unit = 8;
    // Widths the register arithmetic cannot express are refused rather than run.
    if (unit < 1 || unit > 8)
        return 1;
    if (stream && (shift < 1 || shift > 64))
        return 1;
    if (mode == 4 && unit * 8 > shift)
        return 1;

    m_direction = direction;
    m_unit = unit;
    m_shift = shift;
    m_rest = 8 - unit;
    m_key = parseHex64(keyHex);
    const uint64_t iv = parseHex64(ivHex);
    // OFB and CFB always run DES forwards.
    makeRoundKeys(m_key, direction == 0 && !stream, m_roundKeys);
    // CFB starts from the IV's top `shift` bits moved to the bottom (the IV itself at 64).
    m_register = mode == 4 ? (shift == 64 ? iv : iv >> (64 - shift)) : iv;
    m_window = 0;
    m_mode = mode;
    return 0;
}

int CDes::chunkSize() const { return kChunkLimit / m_unit * m_unit; }

void CDes::transform(uint8_t* data, int units)
{
    if (units <= 0 || m_mode == 0)
        return;
    const bool encipher = m_direction != 0;
    const ModeState state{m_roundKeys, m_register, m_window, m_shift};
    switch (m_mode) {
    case 1:
        runEcb(data, units, m_roundKeys);
        return;
    case 2:
        runCbc(data, units, state, encipher);
        return;
    default:
        break;
    }
    switch (m_unit) {
    case 1:
        runStreamMode<1>(m_mode, encipher, data, units, state);
        break;
    case 2:
        runStreamMode<2>(m_mode, encipher, data, units, state);
        break;
    case 3:
        runStreamMode<3>(m_mode, encipher, data, units, state);
        break;
    case 4:
        runStreamMode<4>(m_mode, encipher, data, units, state);
        break;
    case 5:
        runStreamMode<5>(m_mode, encipher, data, units, state);
        break;
    case 6:
        runStreamMode<6>(m_mode, encipher, data, units, state);
        break;
    case 7:
        runStreamMode<7>(m_mode, encipher, data, units, state);
        break;
    default:
        runStreamMode<8>(m_mode, encipher, data, units, state);
        break;
    }
}

int CDes::OpenReadFile(const char* path)
{
    if (m_readFile)
        CloseReadFile();
    clearLineBuffer();
    if (!path)
        return 1;
    m_readFile = std::fopen(path, "rb");
    return m_readFile ? 0 : 1;
}

void CDes::CloseReadFile()
{
    if (m_readFile)
        std::fclose(m_readFile);
    m_readFile = nullptr;
    clearLineBuffer();
}

int CDes::OpenWriteFile(const char* path)
{
    // A file still open is finished first, so none of its bytes are lost.
    if (m_writeFile)
        CloseWriteFile(1);
    m_pendingLength = 0;
    if (!path)
        return 1;
    m_writeFile = std::fopen(path, "wb");
    return m_writeFile ? 0 : 1;
}

void CDes::CloseWriteFile(int pad)
{
    if (m_writeFile && pad != 0 && m_pendingLength > 0) {
        static const char zeros[8] = {};
        WriteData(zeros, m_unit - m_pendingLength);
    }
    m_pendingLength = 0;
    if (m_writeFile)
        std::fclose(m_writeFile);
    m_writeFile = nullptr;
}

int CDes::Read(char* buf, int n)
{
    if (!m_readFile || n <= 0)
        return 0;
    return static_cast<int>(std::fread(buf, 1, static_cast<size_t>(n), m_readFile));
}

int CDes::Write(const char* buf, int n)
{
    if (!m_writeFile || n <= 0)
        return 0;
    return static_cast<int>(std::fwrite(buf, 1, static_cast<size_t>(n), m_writeFile));
}

int CDes::Seek(long offset, int origin)
{
    if (!m_readFile)
        return -1;
    clearLineBuffer(); // bytes buffered from the old position no longer follow
    return std::fseek(m_readFile, offset, origin);
}

int CDes::ReadData(char* buf, int n)
{
    if (!buf || n <= 0)
        return 0;
    // Only whole units are read, so the zero padding of a short read stays inside buf.
    const int wanted = n - n % m_unit;
    if (wanted == 0)
        return 0;
    const int got = std::min(Read(buf, wanted), wanted);
    if (got <= 0)
        return 0;
    const int units = (got + m_unit - 1) / m_unit;
    const int padded = units * m_unit;
    std::memset(buf + got, 0, static_cast<size_t>(padded - got));
    transform(reinterpret_cast<uint8_t*>(buf), units);
    return padded;
}

void CDes::clearLineBuffer()
{
    m_lineStart = 0;
    m_lineLength = 0;
    m_skipLine = false;
}

void CDes::dropLineBytes(int count)
{
    m_lineStart += count;
    m_lineLength -= count;
    if (m_lineLength == 0)
        m_lineStart = 0;
}

int CDes::ReadLine(char* buf, int size)
{
    if (!buf || size < 1)
        return -1;
    if (m_lineBuffer.size() != static_cast<size_t>(kLineBufferSize))
        m_lineBuffer.assign(static_cast<size_t>(kLineBufferSize), '\0');
    const int chunk = chunkSize();
    char* const base = m_lineBuffer.data();

    // Each pass hands out a line or appends one chunk; the file's end stops it.
    for (;;) {
        const char* start = base + m_lineStart;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(m_lineLength)));
        if (lf) {
            const int consumed = static_cast<int>(lf - start) + 1;
            if (m_skipLine) {
                m_skipLine = false;
                dropLineBytes(consumed);
                continue;
            }
            int length = consumed - 1;
            if (length > 0 && start[length - 1] == '\r')
                --length;
            length = std::min(length, size);
            std::memcpy(buf, start, static_cast<size_t>(length));
            buf[length] = '\0';
            dropLineBytes(consumed);
            return 0;
        }
        if (m_skipLine)
            dropLineBytes(m_lineLength);
        if (m_lineLength > kLineBufferSize - chunk) {
            // The line cannot be held whole: report it once and skip to the next line.
            dropLineBytes(m_lineLength);
            m_skipLine = true;
            return -1;
        }
        if (m_lineStart + m_lineLength + chunk > kLineBufferSize) {
            std::memmove(base, base + m_lineStart, static_cast<size_t>(m_lineLength));
            m_lineStart = 0;
        }
        const int got = ReadData(base + m_lineStart + m_lineLength, chunk);
        if (got <= 0)
            break;
        m_lineLength += got;
    }

    m_skipLine = false;
    if (m_lineLength == 0)
        return 1;
    // A last line without a line feed; the zero padding ends it at its terminator.
    // At least one byte is taken, so every call makes progress.
    const int length = std::min(m_lineLength, std::max(size - 1, 1));
    std::memcpy(buf, base + m_lineStart, static_cast<size_t>(length));
    buf[length] = '\0';
    dropLineBytes(length);
    return 0;
}

int CDes::WriteData(const char* buf, int n)
{
    if (!m_writeFile) {
        std::fputs("Error : File has not opened\n", stderr);
        return -1;
    }
    if (!buf || n <= 0)
        return 0;
    const auto* in = reinterpret_cast<const uint8_t*>(buf);
    int written = 0;

    if (m_pendingLength > 0) {
        const int take = std::min(n, m_unit - m_pendingLength);
        std::memcpy(m_pending + m_pendingLength, in, static_cast<size_t>(take));
        m_pendingLength += take;
        in += take;
        n -= take;
        if (m_pendingLength < m_unit)
            return 0;
        transform(m_pending, 1);
        written += Write(reinterpret_cast<const char*>(m_pending), m_unit);
        m_pendingLength = 0;
    }

    const int chunk = chunkSize();
    if (n >= m_unit && m_work.size() < static_cast<size_t>(chunk))
        m_work.resize(static_cast<size_t>(chunk));
    while (n >= m_unit) {
        const int length = std::min(n - n % m_unit, chunk);
        std::memcpy(m_work.data(), in, static_cast<size_t>(length));
        transform(m_work.data(), length / m_unit);
        written += Write(reinterpret_cast<const char*>(m_work.data()), length);
        in += length;
        n -= length;
    }

    std::memcpy(m_pending, in, static_cast<size_t>(n));
    m_pendingLength = n;
    return written;
}

int CDes::WriteString(const char* text)
{
    if (!m_writeFile) {
        std::fputs("Error : File has not opened\n", stderr);
        return -1;
    }
    if (!text)
        return 0;
    return Write(text, static_cast<int>(std::strlen(text)));
}

int CDes::TransData(char* buf, int n)
{
    if (!buf || n <= 0)
        return 0;
    const int units = (n + m_unit - 1) / m_unit;
    const int padded = units * m_unit;
    std::memset(buf + n, 0, static_cast<size_t>(padded - n));
    transform(reinterpret_cast<uint8_t*>(buf), units);
    return padded;
}

void CDes::Run()
{
    if (!m_readFile || !m_writeFile)
        return;
    const int chunk = chunkSize();
    if (m_work.size() < static_cast<size_t>(chunk))
        m_work.resize(static_cast<size_t>(chunk));
    char* work = reinterpret_cast<char*>(m_work.data());
    // Ends at the read file's end: every pass consumes at least one byte of it.
    for (;;) {
        const int got = ReadData(work, chunk);
        if (got <= 0)
            break;
        Write(work, got);
    }
}
