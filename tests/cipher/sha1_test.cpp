#include "cipher/sha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>

#include "cipher/hex.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

std::vector<uint8_t> OpenSslSha1(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(20);
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &length, EVP_sha1(), nullptr), 1);
    return out;
}

std::vector<uint8_t> HashInChunks(const std::vector<uint8_t>& data, size_t chunk) {
    Sha1Context context;
    EXPECT_EQ(SHA1_Init(&context), 1u);
    for (size_t pos = 0; pos < data.size(); pos += chunk) {
        EXPECT_EQ(SHA1_Update(&context, data.data() + pos, std::min(chunk, data.size() - pos)), 1u);
    }
    std::vector<uint8_t> out(20);
    EXPECT_EQ(SHA1_Final(&context, out.data()), 1u);
    return out;
}

// Every test runs with the portable compression and with the CPU's SHA instructions.
class Sha1Test : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam() && !Sha1HaveShaExtensions()) GTEST_SKIP() << "no SHA instructions";
        Sha1ForcePortable(GetParam());
    }
    void TearDown() override { Sha1ForcePortable(false); }
};

INSTANTIATE_TEST_SUITE_P(Compression, Sha1Test, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Portable" : "ShaExtensions"; });

TEST_P(Sha1Test, StandardMessagesOverEverySplit) {
    const struct {
        std::vector<uint8_t> message;
        const char* digest;
    } cases[] = {
        {{}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {Bytes("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::vector<uint8_t>(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        uint8_t digest[20];
        ASSERT_EQ(SHA1_Digest(c.message.data(), c.message.size(), digest), 1u);
        EXPECT_EQ(ToHex(digest, 20), c.digest);
        for (size_t chunk : {1, 55, 56, 63, 64, 65, 4096}) {
            if (chunk == 1 && c.message.size() > 100000) continue;  // a million one-byte calls is slow under ASan
            EXPECT_EQ(ToHex(HashInChunks(c.message, chunk)), c.digest) << "chunk " << chunk;
        }
    }
}

TEST_P(Sha1Test, MatchesOpenSslForEveryLengthAndSplit) {
    std::mt19937 rng(101);
    for (size_t length = 0; length <= 300; ++length) {
        const auto data = test::SeededBytes(rng, length);
        const auto expected = OpenSslSha1(data);
        for (size_t chunk : {1, 55, 56, 63, 64, 65, 301}) {
            ASSERT_EQ(HashInChunks(data, chunk), expected) << "length " << length << " chunk " << chunk;
        }
    }
}

TEST_P(Sha1Test, BlockBoundaryLengthsEndInOneOrTwoBlocks) {
    // 55 bytes leave room for the padding in the same block, 56 do not.
    for (size_t length : {55, 56, 63, 64, 119, 120, 128}) {
        const std::vector<uint8_t> data(length, 0x61);
        Sha1Context context;
        SHA1_Init(&context);
        SHA1_Update(&context, data.data(), data.size());
        uint8_t digest[20];
        ASSERT_EQ(SHA1_Final(&context, digest), 1u);
        EXPECT_EQ(std::vector<uint8_t>(digest, digest + 20), OpenSslSha1(data)) << length;
        EXPECT_EQ(context.bit_count, 8u * length);
    }
}

TEST(Sha1, CompressionVariantsAgree) {
    if (!Sha1HaveShaExtensions()) GTEST_SKIP() << "no SHA instructions";
    std::mt19937 rng(7);
    for (size_t blocks : {1, 2, 3, 17}) {
        const auto data = test::SeededBytes(rng, 64 * blocks);
        uint32_t a[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
        uint32_t b[5];
        for (int i = 0; i < 5; ++i) a[i] ^= static_cast<uint32_t>(rng());
        std::memcpy(b, a, sizeof a);
        Sha1CompressPortable(a, data.data(), blocks);
        Sha1CompressShaExtensions(b, data.data(), blocks);
        EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << blocks;
    }
}

TEST(Sha1, ContractEdges) {
    uint8_t scratch[64] = {};
    EXPECT_EQ(SHA1_Init(nullptr), 0u);
    EXPECT_EQ(SHA1_Update(nullptr, scratch, 1), 0u);
    EXPECT_EQ(SHA1_Final(nullptr, scratch), 0u);
    EXPECT_EQ(SHA1_Transform(nullptr, scratch), 0u);

    Sha1Context context;
    SHA1_Init(&context);
    SHA1_Update(&context, reinterpret_cast<const uint8_t*>("abc"), 3);
    const Sha1Context before = context;
    EXPECT_EQ(SHA1_Update(&context, nullptr, 0), 1u);
    EXPECT_EQ(SHA1_Update(&context, nullptr, 5), 0u);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0);

    // A corrupted count is refused and nothing is written.
    for (uint32_t buffered : {64u, 65u, 1000u}) {
        Sha1Context bad = before;
        bad.buffered = buffered;
        uint8_t digest[20];
        std::memset(digest, 0xEE, sizeof digest);
        EXPECT_EQ(SHA1_Final(&bad, digest), 0u);
        EXPECT_EQ(digest[0], 0xEE);
        if (buffered > 64) {
            EXPECT_EQ(SHA1_Update(&bad, digest, 1), 0u);
        }
    }

    // A saved state copied by assignment continues like the original.
    Sha1Context copy = before;
    uint8_t d1[20], d2[20];
    SHA1_Final(&context, d1);
    SHA1_Final(&copy, d2);
    EXPECT_EQ(ToHex(d1, 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(std::memcmp(d1, d2, 20), 0);
}

TEST(Sha1, TransformCompressesOneBlock) {
    Sha1Context context;
    SHA1_Init(&context);
    std::vector<uint8_t> block(64, 0);
    block[0] = 0x80;  // the padded empty message
    EXPECT_EQ(SHA1_Transform(&context, block.data()), 1u);
    EXPECT_EQ(context.chaining[0], 0xda39a3eeu);
    EXPECT_EQ(context.chaining[4], 0xafd80709u);
}

TEST(Sha1, DigestAllocationFailure) {
    const auto data = Bytes("abc");
    test::WalkAllocationFailures(
        [&] {
            uint8_t digest[20];
            return SHA1_Digest(data.data(), data.size(), digest);
        },
        [](bool fired, uint32_t result) { EXPECT_EQ(result, fired ? 0u : 1u); });
}

}  // namespace
}  // namespace quillon
