#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "cipher/aes.h"
#include "cipher/openssl_oracle.h"
#include "cipher/seed.h"  // kEncrypt, kDecrypt
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;

const char* OpenSslName(int bits) { return bits == 128 ? "AES-128-CBC" : bits == 192 ? "AES-192-CBC" : "AES-256-CBC"; }

Buffer OneShot(uint32_t dir, const Buffer& key, const Buffer& iv, const Buffer& in) {
    Buffer out(in.size() + 16);
    size_t length = 0;
    EXPECT_EQ(AES_CBC_Crypt(dir, key.data(), static_cast<int>(8 * key.size()), iv.data(), Ptr(in), in.size(),
                            out.data(), &length),
              1);
    out.resize(length);
    return out;
}

// Every test runs on the bitsliced path and on the one the CPU gets (AES-NI where present).
class AesTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { AesForcePortable(GetParam()); }
    void TearDown() override { AesForcePortable(false); }
};
INSTANTIATE_TEST_SUITE_P(Aes, AesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Portable" : "Detected"; });

// The padded one-shot both ways; whole blocks also in place through one context in uneven pieces,
// so the chain carries across calls and across the decryption's eight-block groups.
TEST_P(AesTest, MatchesOpenSslOnRandomKeysAndLengths) {
    std::mt19937 rng(2024 + GetParam());
    for (int bits : {128, 192, 256}) {
        for (size_t length = 0; length <= 1000; length += 1 + rng() % 13) {
            const auto key = SeededBytes(rng, bits / 8), iv = SeededBytes(rng, 16), plain = SeededBytes(rng, length);
            const auto cipher = OneShot(kEncrypt, key, iv, plain);
            ASSERT_EQ(cipher, OpenSslCbc(OpenSslName(bits), true, key, iv, plain)) << bits << " " << length;
            ASSERT_EQ(OneShot(kDecrypt, key, iv, cipher), plain) << bits << " " << length;
            if (length % 16 || length < 64) continue;
            for (uint32_t dir : {kEncrypt, kDecrypt}) {
                AesCbcContext context;
                ASSERT_EQ(AES_CBC_Init(&context, dir, key.data(), bits, iv.data()), 1);
                Buffer data = plain;
                for (uint8_t* p = data.data(); size_t piece : {size_t{16}, size_t{48}, length - 64}) {
                    ASSERT_EQ(AES_CBC_Blocks(&context, p, p, piece), 1);
                    p += piece;
                }
                ASSERT_EQ(data, OpenSslCbc(OpenSslName(bits), dir, key, iv, plain, false)) << bits << " " << length;
            }
        }
    }
}

TEST(Aes, Refusals) {
    const Buffer key(32, 0x42), iv(16, 0x24);
    uint8_t rk[15 * 16], buffer[64] = {};
    std::memset(rk, 0xAB, sizeof rk);
    for (int bits : {0, 64, 127, 129, 320, 512, -128}) {  // refused, and no round key written
        EXPECT_EQ(AES_KeySetup(key.data(), rk, bits), 0) << bits;
    }
    EXPECT_EQ(Buffer(rk, rk + sizeof rk), Buffer(sizeof rk, 0xAB));
    EXPECT_EQ(AES_KeySetup(nullptr, rk, 128) + AES_KeySetup(key.data(), nullptr, 128), 0);
    // A round count the expansion never gives writes nothing.
    AES_EncryptBlock(buffer, buffer + 16, rk, 11);
    AES_DecryptBlock(buffer, buffer + 16, rk, 0);
    EXPECT_EQ(Buffer(buffer, buffer + 64), Buffer(64));

    AesCbcContext context{};
    EXPECT_EQ(AES_CBC_Blocks(&context, buffer, buffer, 16), 0) << "never initialised";
    EXPECT_EQ(AES_CBC_Init(nullptr, kEncrypt, key.data(), 128, iv.data()), 0);
    EXPECT_EQ(AES_CBC_Init(&context, kEncrypt, nullptr, 128, iv.data()), 0);
    EXPECT_EQ(AES_CBC_Init(&context, kEncrypt, key.data(), 128, nullptr), 0) << "the IV is required";
    EXPECT_EQ(AES_CBC_Init(&context, kEncrypt, key.data(), 96, iv.data()), 0);
    ASSERT_EQ(AES_CBC_Init(&context, kDecrypt, key.data(), 256, iv.data()), 1);
    EXPECT_EQ(AES_CBC_Blocks(&context, buffer, buffer, 8) + AES_CBC_Blocks(&context, buffer, buffer, 20), 0);
    EXPECT_EQ(AES_CBC_Blocks(nullptr, buffer, buffer, 16) + AES_CBC_Blocks(&context, nullptr, buffer, 16) +
                  AES_CBC_Blocks(&context, buffer, nullptr, 16),
              0);
    EXPECT_EQ(Buffer(buffer, buffer + 64), Buffer(64)) << "output written by a refused call";

    // Decrypting: whole blocks only, and a pad count within the message; nothing reported on failure.
    size_t length = 7;
    for (size_t n : {0, 1, 15, 17, 33}) {
        EXPECT_EQ(AES_CBC_Crypt(kDecrypt, key.data(), 256, iv.data(), buffer, n, buffer, &length), 0) << n;
    }
    Buffer plain(32, 0x21);
    plain.back() = 33;
    const Buffer cipher = OpenSslCbc("AES-256-CBC", true, key, iv, plain, false);
    EXPECT_EQ(AES_CBC_Crypt(kDecrypt, key.data(), 256, iv.data(), cipher.data(), 32, buffer, &length), 0);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(AES_CBC_Crypt(kEncrypt, key.data(), 256, iv.data(), buffer, 16, buffer, nullptr), 0);
    EXPECT_EQ(AES_CBC_Crypt(kEncrypt, key.data(), 256, iv.data(), nullptr, 16, buffer, &length), 0);
    // An empty message may come without a pointer: one block of padding.
    ASSERT_EQ(AES_CBC_Crypt(kEncrypt, key.data(), 256, iv.data(), nullptr, 0, buffer, &length), 1);
    EXPECT_EQ(Buffer(buffer, buffer + length), OpenSslCbc("AES-256-CBC", true, key, iv, {}));
}

}  // namespace
}  // namespace quillon
