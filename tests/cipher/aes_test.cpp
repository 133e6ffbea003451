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

// NIST's CBC files, both sections: encryptions out of place, decryptions in place; the
// single-block vectors under a zero IV also through the one-block functions.
TEST_P(AesTest, NistCbcVectors) {
    int vectors = 0;
    for (const char* kind : {"GFSbox", "KeySbox", "VarKey", "VarTxt", "MMT"}) {
        for (int bits : {128, 192, 256}) {
            const std::string path = std::string(QUILLON_VECTORS) + "/ciphers/AES/CBC/CBC" + kind +
                                     std::to_string(bits) + ".rsp";
            std::ifstream file(path);
            ASSERT_TRUE(file) << path;
            std::string line, count;
            Buffer key, iv, plain, cipher;
            bool encrypt = true;
            while (std::getline(file, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                const auto field = [&line](const char* name) {
                    return line.rfind(std::string(name) + " = ", 0) == 0 ? line.substr(std::strlen(name) + 3)
                                                                           : std::string();
                };
                if (line == "[ENCRYPT]" || line == "[DECRYPT]") encrypt = line == "[ENCRYPT]";
                if (!field("COUNT").empty()) count = field("COUNT");
                if (!field("KEY").empty()) key = Hex(field("KEY"));
                if (!field("IV").empty()) iv = Hex(field("IV"));
                if (!field("PLAINTEXT").empty()) plain = Hex(field("PLAINTEXT"));
                if (!field("CIPHERTEXT").empty()) cipher = Hex(field("CIPHERTEXT"));
                if (plain.empty() || cipher.empty()) continue;
                const std::string where = path + (encrypt ? " encrypt " : " decrypt ") + count;
                ASSERT_EQ(key.size() * 8, static_cast<size_t>(bits)) << where;
                AesCbcContext context;
                ASSERT_EQ(AES_CBC_Init(&context, encrypt ? kEncrypt : kDecrypt, key.data(), bits, iv.data()), 1);
                Buffer data = encrypt ? plain : cipher, out(data.size());
                uint8_t* target = encrypt ? out.data() : data.data();
                ASSERT_EQ(AES_CBC_Blocks(&context, target, data.data(), data.size()), 1) << where;
                EXPECT_EQ(ToHex(target, data.size()), ToHex(encrypt ? cipher : plain)) << where;
                if (iv == Buffer(16) && plain.size() == 16) {
                    uint8_t block[16];
                    if (encrypt) {
                        AES_EncryptBlock(plain.data(), block, context.round_keys[0], static_cast<int>(context.rounds));
                    } else {
                        AES_DecryptBlock(cipher.data(), block, context.round_keys[0], static_cast<int>(context.rounds));
                    }
                    EXPECT_EQ(ToHex(block, 16), ToHex(encrypt ? cipher : plain)) << where << " one block";
                }
                plain.clear();
                cipher.clear();
                ++vectors;
            }
        }
    }
    EXPECT_EQ(vectors, 2138);
}

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

// The two implementations give the same key expansion, the same bytes and the same final chain,
// in place as well, over counts that cover the decryption's groups and their tails.
TEST(Aes, InstructionsAndBitslicedAgree) {
    if (!AesHaveNi()) GTEST_SKIP() << "no AES-NI on this CPU";
    std::mt19937 rng(77);
    for (uint32_t b = 0; b < 256; b += 4) {
        const uint32_t word = b | (b + 1) << 8 | (b + 2) << 16 | (b + 3) << 24;
        ASSERT_EQ(kAesNi.sub_word(word), kAesBitsliced.sub_word(word)) << b;
    }
    for (int bits : {128, 192, 256}) {
        const auto key = SeededBytes(rng, bits / 8);
        uint8_t ni[15 * 16], sliced[15 * 16];
        AesForcePortable(true);
        const int rounds = AES_KeySetup(key.data(), sliced, bits);
        AesForcePortable(false);
        ASSERT_EQ(AES_KeySetup(key.data(), ni, bits), rounds);
        ASSERT_EQ(Buffer(ni, ni + 16 * (rounds + 1)), Buffer(sliced, sliced + 16 * (rounds + 1))) << bits;
        for (size_t blocks = 1; blocks <= 40; ++blocks) {
            const auto in = SeededBytes(rng, 16 * blocks), iv = SeededBytes(rng, 16);
            for (auto cbc : {&AesImplementation::cbc_encrypt, &AesImplementation::cbc_decrypt}) {
                Buffer chain_ni = iv, chain_sliced = iv, out_ni = in, out_sliced(in.size());
                (kAesNi.*cbc)(ni, rounds, chain_ni.data(), out_ni.data(), out_ni.data(), blocks);
                (kAesBitsliced.*cbc)(ni, rounds, chain_sliced.data(), out_sliced.data(), in.data(), blocks);
                ASSERT_EQ(out_ni, out_sliced) << bits << " " << blocks;
                ASSERT_EQ(chain_ni, chain_sliced) << bits << " " << blocks;
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
