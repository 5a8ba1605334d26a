// The block function and the four modes, checked against a published vector and
// against an independent DES (the crypto library's) driven the same way.
#include "cipher/CDes.h"

#include <gtest/gtest.h>

// The single-DES calls of the crypto library are marked deprecated; they are the
// reference here, nothing more.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>

#include <bitset>
#include <cstring>
#include <random>

#include "CipherTestSupport.h"

using namespace ciphertest;

namespace {

struct Reference {
    explicit Reference(const Bytes& key)
    {
        DES_cblock k;
        std::memcpy(k, key.data(), 8);
        DES_set_key_unchecked(&k, &schedule);
    }
    Bytes block(const Bytes& in, bool encipher)
    {
        DES_cblock i;
        DES_cblock o;
        std::memcpy(i, in.data(), 8);
        DES_ecb_encrypt(&i, &o, &schedule, encipher ? DES_ENCRYPT : DES_DECRYPT);
        return Bytes(o, o + 8);
    }
    DES_key_schedule schedule;
};

using Bits = std::bitset<64>; // bit 63 = the most significant bit of byte 0

Bits toBits(const Bytes& b)
{
    Bits out;
    for (int i = 0; i < 64; ++i)
        out[static_cast<size_t>(63 - i)] = (b[static_cast<size_t>(i / 8)] >> (7 - i % 8)) & 1;
    return out;
}

Bytes fromBits(const Bits& bits)
{
    Bytes out(8, 0);
    for (int i = 0; i < 64; ++i)
        out[static_cast<size_t>(i / 8)] |= static_cast<uint8_t>(bits[static_cast<size_t>(63 - i)] << (7 - i % 8));
    return out;
}

// The feedback modes written out bit by bit: the register takes `shift` bits from
// the front of the cipher window (CFB) or of the cipher output (OFB); CFB starts
// from the IV's top `shift` bits moved to the bottom.
Bytes streamReference(const Params& p, bool encipher, const Bytes& data)
{
    Reference des(FromHex(p.key));
    const Bits iv = toBits(FromHex(p.iv));
    Bits reg = p.mode == 4 ? iv >> static_cast<size_t>(64 - p.shift) : iv;
    Bits window;
    Bytes out = data;
    const size_t unit = static_cast<size_t>(p.unit);
    for (size_t at = 0; at < data.size(); at += unit) {
        const Bytes o = des.block(fromBits(reg), true);
        Bytes cipherUnit(unit);
        for (size_t i = 0; i < unit; ++i) {
            out[at + i] = data[at + i] ^ o[i];
            cipherUnit[i] = encipher ? out[at + i] : data[at + i];
        }
        Bits feed = toBits(o);
        if (p.mode == 4) {
            for (size_t i = 0; i < unit; ++i)
                window = (window << 8) | Bits(cipherUnit[i]);
            feed = window;
        }
        reg =
            p.shift == 64 ? feed : (reg << static_cast<size_t>(p.shift)) | (feed >> static_cast<size_t>(64 - p.shift));
    }
    return out;
}

Bytes randomBytes(std::mt19937_64& rng, size_t n)
{
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

} // namespace

TEST(CDesBlockTest, KeyDigitsFollowTheLooseHexRule)
{
    const Bytes block = FromHex("0123456789ABCDEF");
    const auto enc = [&](const char* key) { return ToHex(Transform({1, 8, 0, key, ""}, 1, block)); };
    EXPECT_EQ(enc("133457799bbcdff1"), "85E813540F0AB405"); // the published example
    EXPECT_EQ(ToHex(Transform({1, 8, 0, "133457799BBCDFF1", ""}, 0, FromHex("85E813540F0AB405"))), "0123456789ABCDEF");
    EXPECT_EQ(enc("1334"), enc("1334000000000000")); // missing digits are zero
    EXPECT_EQ(enc("1334\0"
                  "577"),
              enc("1334")); // the terminator ends the key
    EXPECT_EQ(enc("GHIJKLMNOPQRSTUV"), enc("789ABCDEF0123456")); // other characters: low 4 bits
    EXPECT_EQ(enc("133457799BBCDFF1FFFF"), enc("133457799BBCDFF1")); // 16 digits at most
}

TEST(CDesBlockTest, StandardModesMatchReferenceOnRandomKeys)
{
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 200; ++round) {
        const Bytes key = randomBytes(rng, 8);
        const Bytes iv = randomBytes(rng, 8);
        const Bytes plain = randomBytes(rng, 8 * (1 + rng() % 40));
        const std::string keyHex = ToHex(key);
        const std::string ivHex = ToHex(iv);
        Reference ref(key);
        const long length = static_cast<long>(plain.size());
        for (int mode = 1; mode <= 4; ++mode) {
            Bytes expected(plain.size());
            DES_cblock chain;
            std::memcpy(chain, iv.data(), 8);
            int num = 0;
            if (mode == 1) {
                for (size_t at = 0; at < plain.size(); at += 8) {
                    const Bytes c = ref.block(Bytes(plain.data() + at, plain.data() + at + 8), true);
                    std::copy(c.begin(), c.end(), expected.begin() + static_cast<long>(at));
                }
            } else if (mode == 2) {
                DES_ncbc_encrypt(plain.data(), expected.data(), length, &ref.schedule, &chain, DES_ENCRYPT);
            } else if (mode == 3) {
                DES_ofb64_encrypt(plain.data(), expected.data(), length, &ref.schedule, &chain, &num);
            } else {
                DES_cfb64_encrypt(plain.data(), expected.data(), length, &ref.schedule, &chain, &num, DES_ENCRYPT);
            }
            // A 64-bit feedback over whole blocks is the standard OFB and CFB.
            const Params p{mode, 8, 64, keyHex.c_str(), ivHex.c_str()};
            ASSERT_EQ(Transform(p, 1, plain, static_cast<size_t>(8 * (1 + round % 3))), expected)
                << mode << " " << keyHex;
            ASSERT_EQ(Transform(p, 0, expected, static_cast<size_t>(8 * (1 + round % 2))), plain)
                << mode << " " << keyHex;
        }
    }
}

TEST(CDesBlockTest, FeedbackVariantsMatchBitwiseReference)
{
    const Params rows[] = {
        {4, 7, 59, CDes::kKey, CDes::kIV}, // every file of the system
        {4, 7, 64},
        {4, 1, 8},
        {4, 1, 20},
        {4, 3, 33},
        {4, 5, 63},
        {4, 8, 64},
        {3, 7, 59},
        {3, 1, 8},
        {3, 8, 1},
        {3, 5, 64},
    };
    std::mt19937_64 rng(3);
    for (const Params& p : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << p.mode << " unit " << p.unit << " shift " << p.shift);
        const Bytes plain = randomBytes(rng, static_cast<size_t>(p.unit) * 61);
        const Bytes cipher = streamReference(p, true, plain);
        EXPECT_EQ(Transform(p, 1, plain), cipher);
        EXPECT_EQ(Transform(p, 1, plain, static_cast<size_t>(p.unit) * 3), cipher);
        EXPECT_EQ(streamReference(p, false, cipher), plain);
        EXPECT_EQ(Transform(p, 0, cipher, static_cast<size_t>(p.unit)), plain);
    }
}

#pragma GCC diagnostic pop
