#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <random>
#include <string>

#include "cipher/openssl_oracle.h"
#include "cipher/sha1.h"
#include "cipher/sha256.h"
#include "cipher/sha512.h"

namespace quillon {
namespace {

using test::Buffer;
using test::Hex;

// The four hashes behind one signature, each beside OpenSSL's.
struct Hash {
    const char* name;
    size_t size;
    Buffer (*ours)(const Buffer&, const std::vector<size_t>& splits);
    const EVP_MD* (*theirs)();
};

template <class Context, uint32_t (*Init)(Context*), uint32_t (*Update)(Context*, const uint8_t*, size_t),
          uint32_t (*Final)(Context*, uint8_t*)>
Buffer Streamed(const Buffer& data, const std::vector<size_t>& splits, size_t size) {
    Context context;
    EXPECT_EQ(Init(&context), 1u);
    size_t done = 0;
    for (size_t split : splits) {
        const size_t take = std::min(split, data.size() - done);
        EXPECT_EQ(Update(&context, test::Ptr(data) + done, take), 1u);
        done += take;
    }
    EXPECT_EQ(Update(&context, test::Ptr(data) + done, data.size() - done), 1u);
    Buffer out(size);
    EXPECT_EQ(Final(&context, out.data()), 1u);
    return out;
}

const Hash kHashes[] = {
    {"SHA224", 28, [](const Buffer& d, const std::vector<size_t>& s) {
         return Streamed<Sha256Context, SHA224_Init, SHA256_Update, SHA256_Final>(d, s, 28); }, EVP_sha224},
    {"SHA256", 32, [](const Buffer& d, const std::vector<size_t>& s) {
         return Streamed<Sha256Context, SHA256_Init, SHA256_Update, SHA256_Final>(d, s, 32); }, EVP_sha256},
    {"SHA384", 48, [](const Buffer& d, const std::vector<size_t>& s) {
         return Streamed<Sha512Context, SHA384_Init, SHA512_Update, SHA512_Final>(d, s, 48); }, EVP_sha384},
    {"SHA512", 64, [](const Buffer& d, const std::vector<size_t>& s) {
         return Streamed<Sha512Context, SHA512_Init, SHA512_Update, SHA512_Final>(d, s, 64); }, EVP_sha512},
};

// Random data fed in random pieces, against OpenSSL; the pieces cross every block boundary.
TEST(Sha2, StreamingMatchesOpenSsl) {
    std::mt19937 rng(2026);
    for (int round = 0; round < 300; ++round) {
        Buffer data(rng() % 1200);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        std::vector<size_t> splits(rng() % 5);
        for (auto& s : splits) s = rng() % 200;
        for (const Hash& hash : kHashes) {
            Buffer theirs(hash.size);
            ASSERT_EQ(EVP_Digest(data.data(), data.size(), theirs.data(), nullptr, hash.theirs(), nullptr), 1);
            EXPECT_EQ(hash.ours(data, splits), theirs) << hash.name << " " << data.size();
        }
    }
}

TEST(Sha2, OneShotsCompressionsAndRefusals) {
    const Buffer data = test::Text("The quick brown fox jumps over the lazy dog");
    struct OneShot {
        uint32_t (*digest)(const uint8_t*, size_t, uint8_t*);
        const Hash& hash;
    };
    for (const OneShot& o : {OneShot{SHA224_Digest, kHashes[0]}, OneShot{SHA256_Digest, kHashes[1]},
                             OneShot{SHA384_Digest, kHashes[2]}, OneShot{SHA512_Digest, kHashes[3]}}) {
        Buffer out(o.hash.size);
        ASSERT_EQ(o.digest(data.data(), data.size(), out.data()), 1u);
        EXPECT_EQ(out, o.hash.ours(data, {})) << o.hash.name;
        EXPECT_EQ(o.digest(nullptr, 1, out.data()), 0u) << o.hash.name;
    }
    // The instruction path (where the CPU has it) and the portable one agree block for block.
    std::mt19937 rng(7);
    Buffer blocks(64 * 9);
    for (auto& b : blocks) b = static_cast<uint8_t>(rng());
    if (Sha1HaveShaExtensions()) {
        uint32_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8}, b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        Sha256CompressPortable(a, blocks.data(), 9);
        Sha256CompressShaExtensions(b, blocks.data(), 9);
        EXPECT_TRUE(std::equal(a, a + 8, b));
    }
    // SHA-512's AVX2 path takes blocks in pairs, a lone block on its own and an odd last one in
    // both lanes: every count up to a few pairs, at an aligned and an odd address, against the
    // portable compression.
    if (Sha512HaveAvx2()) {
        Buffer many(128 * 9 + 3);
        for (auto& byte : many) byte = static_cast<uint8_t>(rng());
        for (size_t offset : {0, 3}) {
            for (size_t count = 0; count <= 9; ++count) {
                uint64_t p[8] = {1, 2, 3, 4, 5, 6, 7, 8}, v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
                Sha512CompressPortable(p, many.data() + offset, count);
                Sha512CompressAvx2(v, many.data() + offset, count);
                EXPECT_TRUE(std::equal(p, p + 8, v)) << count << " blocks at offset " << offset;
            }
        }
    }
    // A corrupted buffered count or a missing digest pointer is refused, not overrun.
    Sha256Context c256;
    SHA256_Init(&c256);
    c256.buffered = 65;
    EXPECT_EQ(SHA256_Update(&c256, data.data(), 1), 0u);
    c256.buffered = 64;
    EXPECT_EQ(SHA256_Final(&c256, Buffer(32).data()), 0u);
    Sha512Context c512;
    SHA512_Init(&c512);
    EXPECT_EQ(SHA512_Final(&c512, nullptr), 0u);
    c512.buffered = 128;
    EXPECT_EQ(SHA512_Final(&c512, Buffer(64).data()), 0u);
}

}  // namespace
}  // namespace quillon
