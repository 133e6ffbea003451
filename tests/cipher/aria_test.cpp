#include "cipher/aria.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cipher/hex.h"
#include "cipher/openssl_oracle.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using test::Hex;
using test::ToHex;

const char* CbcName(int bits) {
    return bits == 128 ? "ARIA-128-CBC" : bits == 192 ? "ARIA-192-CBC" : "ARIA-256-CBC";
}

std::vector<uint8_t> Crypt(uint32_t direction, const std::vector<uint8_t>& key, int bits,
                           const std::vector<uint8_t>& iv, const std::vector<uint8_t>& in, int expect = 1) {
    std::vector<uint8_t> out(in.size() + 16);
    size_t length = 12345;
    EXPECT_EQ(ARIA_CBC_Crypt(direction, key.data(), bits, iv.data(), in.data(), in.size(), out.data(), &length),
              expect);
    if (expect != 1) {
        EXPECT_EQ(length, 12345u) << "output length written on failure";
        return {};
    }
    out.resize(length);
    return out;
}

TEST(Aria, StandardBlockVectors) {
    const struct {
        int bits;
        const char* cipher;
    } cases[] = {
        {128, "d718fbd6ab644c739da95f3be6451778"},
        {192, "26449c1805dbe7aa25a468ce263a9e79"},
        {256, "f92bd7c79fb72e2f2b8f80c1972d24fc"},
    };
    const auto key = Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    for (const auto& c : cases) {
        uint8_t enc[17][16], dec[17][16];
        const int rounds = ARIA_EncKeySetup(key.data(), enc[0], c.bits);
        EXPECT_EQ(rounds, (c.bits + 256) / 32);
        EXPECT_EQ(ARIA_DecKeySetup(key.data(), dec[0], c.bits), rounds);
        auto block = Hex("00112233445566778899aabbccddeeff");
        ARIA_Crypt(block.data(), rounds, enc[0], block.data());
        EXPECT_EQ(ToHex(block), c.cipher);
        ARIA_Crypt(block.data(), rounds, dec[0], block.data());
        EXPECT_EQ(ToHex(block), "00112233445566778899aabbccddeeff");
    }
}

TEST(Aria, SboxesAreTheStandardOnesAndInvert) {
    const uint8_t *s1 = ARIA_SBox(1), *s2 = ARIA_SBox(2), *x1 = ARIA_SBox(3), *x2 = ARIA_SBox(4);
    EXPECT_EQ(ToHex(s1, 16), "637c777bf26b6fc53001672bfed7ab76");
    EXPECT_EQ(ToHex(s2, 16), "e24e54fc94c24acc620d6a463c4d8bd1");
    EXPECT_EQ(s1[0x53], 0xed);
    for (int x = 0; x < 256; ++x) {
        ASSERT_EQ(x1[s1[x]], x);
        ASSERT_EQ(x2[s2[x]], x);
    }
}

TEST(Aria, KeySizesOutsideTheStandardAreRefused) {
    uint8_t key[32] = {}, rk[17][16];
    std::memset(rk, 0xAB, sizeof rk);
    for (int bits : {0, 64, 127, 129, 320, 1024, -128}) {
        EXPECT_EQ(ARIA_EncKeySetup(key, rk[0], bits), 0) << bits;
        EXPECT_EQ(ARIA_DecKeySetup(key, rk[0], bits), 0) << bits;
    }
    EXPECT_EQ(rk[16][15], 0xAB);
    AriaCbcContext context;
    EXPECT_EQ(ARIA_CBC_Init(&context, 1, key, 100, key), 0);
}

class AriaCbc : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(KeyBits, AriaCbc, ::testing::Values(128, 192, 256));

TEST_P(AriaCbc, MatchesOpenSslOnRandomKeysAndLengths) {
    const int bits = GetParam();
    std::mt19937 rng(404 + bits);
    for (size_t length = 0; length <= 300; ++length) {
        const auto key = test::SeededBytes(rng, bits / 8), iv = test::SeededBytes(rng, 16);
        const auto plain = test::SeededBytes(rng, length);
        const auto cipher = Crypt(1, key, bits, iv, plain);
        ASSERT_EQ(cipher, test::OpenSslCbc(CbcName(bits), true, key, iv, plain)) << length;
        ASSERT_EQ(Crypt(0, key, bits, iv, cipher), plain) << length;
    }
}

TEST_P(AriaCbc, BlocksContinueAcrossCallsAndInPlace) {
    const int bits = GetParam();
    std::mt19937 rng(12);
    const auto key = test::SeededBytes(rng, bits / 8), iv = test::SeededBytes(rng, 16);
    const auto data = test::SeededBytes(rng, 160);
    for (uint32_t direction : {1u, 0u}) {
        AriaCbcContext whole, split;
        ASSERT_EQ(ARIA_CBC_Init(&whole, direction, key.data(), bits, iv.data()), 1);
        ASSERT_EQ(ARIA_CBC_Init(&split, direction, key.data(), bits, iv.data()), 1);
        std::vector<uint8_t> one(data.size());
        ASSERT_EQ(ARIA_CBC_Blocks(&whole, one.data(), data.data(), data.size()), 1);
        auto two = data;
        size_t pos = 0;
        for (size_t piece : {32, 16, 80, 32}) {
            ASSERT_EQ(ARIA_CBC_Blocks(&split, two.data() + pos, two.data() + pos, piece), 1);
            pos += piece;
        }
        EXPECT_EQ(one, two);
        EXPECT_EQ(std::memcmp(whole.chain, split.chain, 16), 0);
        EXPECT_EQ(one, test::OpenSslCbc(CbcName(bits), direction == 1, key, iv, data, false));
    }
}

TEST(Aria, PaddedDecryptionRejections) {
    const auto key = Hex("00112233445566778899aabbccddeeff"), iv = Hex("0f0e0d0c0b0a09080706050403020100");
    // Only the last byte is trusted, and only up to the message length.
    for (const auto& [last, result, reported] : {std::tuple{3, 1, 29}, {0, 1, 32}, {17, 1, 15}, {33, 0, 0}}) {
        std::vector<uint8_t> plain(32, 0xC7);
        plain.back() = static_cast<uint8_t>(last);
        AriaCbcContext context;
        ARIA_CBC_Init(&context, 1, key.data(), 128, iv.data());
        std::vector<uint8_t> cipher(32);
        ARIA_CBC_Blocks(&context, cipher.data(), plain.data(), 32);
        const auto decrypted = Crypt(0, key, 128, iv, cipher, result);
        if (result == 1) {
            EXPECT_EQ(decrypted.size(), static_cast<size_t>(reported));
        }
    }
    for (size_t length : {0, 1, 15, 17}) Crypt(0, key, 128, iv, std::vector<uint8_t>(length, 1), 0);
}

TEST(Aria, RefusesBadArguments) {
    const auto key = Hex("00112233445566778899aabbccddeeff");
    AriaCbcContext context;
    uint8_t buffer[48] = {};
    size_t length = 7;
    EXPECT_EQ(ARIA_CBC_Init(&context, 1, key.data(), 128, nullptr), 0);
    EXPECT_EQ(ARIA_CBC_Init(&context, 1, nullptr, 128, key.data()), 0);
    EXPECT_EQ(ARIA_CBC_Init(nullptr, 1, key.data(), 128, key.data()), 0);
    ASSERT_EQ(ARIA_CBC_Init(&context, 1, key.data(), 128, key.data()), 1);
    EXPECT_EQ(ARIA_CBC_Blocks(&context, nullptr, buffer, 16), 0);
    EXPECT_EQ(ARIA_CBC_Blocks(&context, buffer, nullptr, 16), 0);
    EXPECT_EQ(ARIA_CBC_Blocks(&context, buffer, buffer, 8), 0);
    EXPECT_EQ(ARIA_CBC_Padded(&context, buffer, nullptr, buffer, 5), 0);
    EXPECT_EQ(ARIA_CBC_Crypt(1, key.data(), 128, nullptr, buffer, 5, buffer, &length), 0);
    EXPECT_EQ(length, 7u);
}

TEST(Aria, OneShotAllocationFailure) {
    const auto key = Hex("00112233445566778899aabbccddeeff");
    test::WalkAllocationFailures(
        [&] {
            uint8_t out[48];
            size_t length = 0;
            return ARIA_CBC_Crypt(1, key.data(), 128, key.data(), key.data(), 16, out, &length);
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

}  // namespace
}  // namespace quillon
