#include "cipher/seed.h"

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

std::vector<uint8_t> Crypt(uint32_t direction, const std::vector<uint8_t>& key, const uint8_t* iv,
                           const std::vector<uint8_t>& in, int expect = 1) {
    std::vector<uint8_t> out(in.size() + 16);
    size_t length = 12345;
    EXPECT_EQ(SEED_CBC_Crypt(direction, key.data(), iv, in.data(), in.size(), out.data(), &length), expect);
    if (expect != 1) {
        EXPECT_EQ(length, 12345u) << "output length written on failure";
        return {};
    }
    out.resize(length);
    return out;
}

TEST(Seed, StandardBlockVectors) {
    const struct {
        const char *key, *plain, *cipher;
    } cases[] = {
        {"00000000000000000000000000000000", "000102030405060708090a0b0c0d0e0f", "5ebac6e0054e166819aff1cc6d346cdb"},
        {"000102030405060708090a0b0c0d0e0f", "00000000000000000000000000000000", "c11f22f20140505084483597e4370f43"},
        {"4706480851e61be85d74bfb3fd956185", "83a2f8a288641fb9a4e9a5cc2f131c7d", "ee54d13ebcae706d226bc3142cd40d4a"},
        {"28dbc3bc49ffd87dcfa509b11d422be7", "b41e6be2eba84a148e2eed84593c5ec7", "9b9b7bfcd1813cb95d0b3618f40f5122"},
    };
    for (const auto& c : cases) {
        uint32_t rk[32];
        ASSERT_EQ(SEED_KeySchedule(Hex(c.key).data(), rk), 1);
        auto block = Hex(c.plain);
        SEED_EncryptBlock(block.data(), block.data(), rk);  // in place
        EXPECT_EQ(ToHex(block), c.cipher);
        SEED_DecryptBlock(block.data(), block.data(), rk);
        EXPECT_EQ(ToHex(block), c.plain);
    }
}

TEST(Seed, TablesFollowFromTheSboxes) {
    const uint8_t* s1 = SEED_SBox(1);
    const uint8_t* s2 = SEED_SBox(2);
    // The first row of each S-box as published, and both are permutations.
    EXPECT_EQ(ToHex(s1, 16), "a985d6d3541dac255d43181e51fcca63");
    EXPECT_EQ(ToHex(s2, 16), "38e82da6cfdeb3b8af6055c7446f6b5b");
    for (const uint8_t* box : {s1, s2}) {
        bool seen[256] = {};
        for (int x = 0; x < 256; ++x) seen[box[x]] = true;
        EXPECT_EQ(std::count(std::begin(seen), std::end(seen), true), 256);
    }
    // SSi[x] holds S(x) under the four masks, rotated by i bytes: S1 for SS0 and SS2, S2 for SS1 and SS3.
    const uint8_t masks[4] = {0xfc, 0xf3, 0xcf, 0x3f};
    for (int i = 0; i < 4; ++i) {
        const uint32_t* ss = SEED_GTable(i);
        const uint8_t* s = i % 2 ? s2 : s1;
        for (int x = 0; x < 256; ++x) {
            for (int j = 0; j < 4; ++j) {
                ASSERT_EQ((ss[x] >> (8 * j)) & 0xff, s[x] & masks[(i + j) % 4]) << i << " " << x;
            }
        }
    }
    EXPECT_EQ(SEED_GTable(0)[1], 0x05858184u);
    EXPECT_EQ(SEED_GTable(3)[0], 0x08303838u);
}

TEST(Seed, CbcMatchesOpenSslOnRandomKeysAndLengths) {
    std::mt19937 rng(303);
    for (size_t length = 0; length <= 300; ++length) {
        const auto key = test::SeededBytes(rng, 16), iv = test::SeededBytes(rng, 16);
        const auto plain = test::SeededBytes(rng, length);
        const auto cipher = Crypt(kEncrypt, key, iv.data(), plain);
        ASSERT_EQ(cipher, test::OpenSslCbc("SEED-CBC", true, key, iv, plain)) << length;
        ASSERT_EQ(Crypt(kDecrypt, key, iv.data(), cipher), plain) << length;
    }
}

TEST(Seed, PaddedLengthsAndIvDefault) {
    const auto key = Hex("0f1e2d3c4b5a69788796a5b4c3d2e1f0");
    for (size_t length = 0; length <= 48; ++length) {
        const std::vector<uint8_t> plain(length, 0x5a);
        const auto cipher = Crypt(kEncrypt, key, nullptr, plain);
        EXPECT_EQ(cipher.size(), (length / 16 + 1) * 16);
        EXPECT_EQ(cipher, Crypt(kEncrypt, key, std::vector<uint8_t>(16).data(), plain));
        EXPECT_EQ(Crypt(kDecrypt, key, nullptr, cipher), plain);
    }
}

// Ciphertext whose decryption ends in the given 32 plaintext bytes, padding not checked.
std::vector<uint8_t> EncryptRaw(const std::vector<uint8_t>& key, const std::vector<uint8_t>& plain) {
    SeedCbcContext context;
    EXPECT_EQ(SEED_CBC_Init(&context, kEncrypt, key.data(), nullptr), 1);
    std::vector<uint8_t> out(plain.size());
    EXPECT_EQ(SEED_CBC_Blocks(&context, out.data(), plain.data(), plain.size()), 1);
    return out;
}

TEST(Seed, DecryptionTrustsOnlyTheLastByte) {
    const auto key = Hex("00112233445566778899aabbccddeeff");
    const struct {
        size_t length;
        uint8_t last;
        int result;
        size_t reported;
    } cases[] = {
        {32, 3, 1, 29},   // the two bytes before it are not compared
        {32, 0, 1, 32},   // no padding removed
        {32, 17, 1, 15},  // longer than a block but within the message
        {32, 32, 1, 0},
        {32, 33, 0, 0},   // beyond the message: rejected
        {16, 17, 0, 0},
        {16, 255, 0, 0},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> plain(c.length, 0xC7);
        plain.back() = c.last;
        const auto decrypted = Crypt(kDecrypt, key, nullptr, EncryptRaw(key, plain), c.result);
        if (c.result == 1) {
            EXPECT_EQ(decrypted.size(), c.reported) << int(c.last);
            EXPECT_TRUE(std::equal(decrypted.begin(), decrypted.end(), plain.begin()));
        }
    }
    // Not whole blocks: nothing to unpad.
    for (size_t length : {0, 1, 15, 17, 31}) Crypt(kDecrypt, key, nullptr, std::vector<uint8_t>(length, 1), 0);
}

TEST(Seed, BlocksContinueAcrossCallsAndInPlace) {
    std::mt19937 rng(11);
    const auto key = test::SeededBytes(rng, 16), iv = test::SeededBytes(rng, 16);
    const auto plain = test::SeededBytes(rng, 160);
    for (uint32_t direction : {kEncrypt, kDecrypt}) {
        SeedCbcContext whole, split;
        SEED_CBC_Init(&whole, direction, key.data(), iv.data());
        SEED_CBC_Init(&split, direction, key.data(), iv.data());
        std::vector<uint8_t> one(plain.size());
        ASSERT_EQ(SEED_CBC_Blocks(&whole, one.data(), plain.data(), plain.size()), 1);
        // Uneven pieces in place, so both the wide and the single-block decryption paths chain.
        auto two = plain;
        size_t pos = 0;
        for (size_t piece : {32, 16, 80, 32}) {
            ASSERT_EQ(SEED_CBC_Blocks(&split, two.data() + pos, two.data() + pos, piece), 1);
            pos += piece;
        }
        EXPECT_EQ(one, two);
        EXPECT_EQ(std::memcmp(whole.chain, split.chain, 16), 0);
        EXPECT_EQ(one, test::OpenSslCbc("SEED-CBC", direction == kEncrypt, key, iv, plain, false));
        const auto& last_cipher = direction == kEncrypt ? one : plain;
        EXPECT_EQ(std::memcmp(whole.chain, last_cipher.data() + 144, 16), 0);
        EXPECT_EQ(std::memcmp(whole.iv, iv.data(), 16), 0);
    }
}

TEST(Seed, InitFromItsOwnStoredKeyAndIv) {
    // The symmetric exports re-initialise a context from the key and IV it already holds.
    const auto key = Hex("28dbc3bc49ffd87dcfa509b11d422be7"), iv = Hex("000102030405060708090a0b0c0d0e0f");
    SeedCbcContext fresh, reused;
    ASSERT_EQ(SEED_CBC_Init(&fresh, kEncrypt, key.data(), iv.data()), 1);
    ASSERT_EQ(SEED_CBC_Init(&reused, kDecrypt, key.data(), iv.data()), 1);
    uint8_t scratch[32] = {};
    SEED_CBC_Blocks(&reused, scratch, scratch, 32);
    ASSERT_EQ(SEED_CBC_Init(&reused, kEncrypt, reused.key, reused.iv), 1);
    EXPECT_EQ(std::memcmp(&fresh, &reused, sizeof fresh), 0);
}

TEST(Seed, RefusesBadArguments) {
    SeedCbcContext context;
    const auto key = Hex("00112233445566778899aabbccddeeff");
    uint8_t buffer[64] = {};
    size_t length = 7;
    EXPECT_EQ(SEED_CBC_Init(&context, kEncrypt, nullptr, nullptr), 0);
    ASSERT_EQ(SEED_CBC_Init(&context, kEncrypt, key.data(), nullptr), 1);
    EXPECT_EQ(context.direction, kEncrypt);
    EXPECT_EQ(SEED_CBC_Blocks(&context, nullptr, buffer, 16), 0);
    EXPECT_EQ(SEED_CBC_Blocks(&context, buffer, nullptr, 16), 0);
    EXPECT_EQ(SEED_CBC_Blocks(&context, buffer, buffer, 20), 0);
    EXPECT_EQ(SEED_CBC_Padded(&context, buffer, nullptr, buffer, 5), 0);
    EXPECT_EQ(SEED_CBC_Padded(&context, buffer, &length, nullptr, 5), 0);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(SEED_CBC_Crypt(kEncrypt, nullptr, nullptr, buffer, 5, buffer, &length), 0);
    // An empty message may come without a pointer.
    EXPECT_EQ(SEED_CBC_Crypt(kEncrypt, key.data(), nullptr, nullptr, 0, buffer, &length), 1);
    EXPECT_EQ(length, 16u);
}

TEST(Seed, OneShotAllocationFailure) {
    const auto key = Hex("00112233445566778899aabbccddeeff");
    test::WalkAllocationFailures(
        [&] {
            uint8_t out[48];
            size_t length = 0;
            return SEED_CBC_Crypt(kEncrypt, key.data(), nullptr, key.data(), 16, out, &length);
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

}  // namespace
}  // namespace quillon
