#include "cipher/hmac.h"

#include <gtest/gtest.h>
#include <openssl/hmac.h>

#include <random>

#include "cipher/hex.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

std::vector<uint8_t> OpenSslHmac(const std::vector<uint8_t>& key, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(20);
    unsigned int length = 0;
    static const uint8_t kEmpty = 0;
    EXPECT_NE(HMAC(EVP_sha1(), key.empty() ? &kEmpty : key.data(), static_cast<int>(key.size()), data.data(),
                   data.size(), out.data(), &length),
              nullptr);
    return out;
}

std::vector<uint8_t> Mac(const std::vector<uint8_t>& key, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(20);
    static const uint8_t kEmpty = 0;
    EXPECT_EQ(HMAC_SHA1(key.empty() ? &kEmpty : key.data(), static_cast<int32_t>(key.size()), data.data(), data.size(),
                        out.data()),
              1);
    return out;
}

TEST(HmacSha1, Rfc2202Cases) {
    const struct {
        std::vector<uint8_t> key, data;
        const char* mac;
    } cases[] = {
        {std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {Bytes("Jefe"), Bytes("what do ya want for nothing?"), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {Hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), std::vector<uint8_t>(50, 0xcd),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::vector<uint8_t>(20, 0x0c), Bytes("Test With Truncation"), "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::vector<uint8_t>(80, 0xaa), Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::vector<uint8_t>(80, 0xaa),
         Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToHex(Mac(c.key, c.data)), c.mac);
}

TEST(HmacSha1, MatchesOpenSslAcrossKeyAndMessageLengths) {
    std::mt19937 rng(202);
    for (size_t key_length : {0, 1, 20, 63, 64, 65, 80, 131}) {
        const auto key = test::SeededBytes(rng, key_length);
        for (size_t length = 0; length <= 300; length += 13) {
            const auto data = test::SeededBytes(rng, length);
            ASSERT_EQ(Mac(key, data), OpenSslHmac(key, data)) << key_length << "/" << length;
        }
    }
}

TEST(HmacSha1, ContextReuseAndRekeying) {
    std::mt19937 rng(5);
    const auto key1 = test::SeededBytes(rng, 20), key2 = test::SeededBytes(rng, 90);
    const auto m1 = test::SeededBytes(rng, 100), m2 = test::SeededBytes(rng, 7);
    HmacSha1Context* context = HMAC_New();
    ASSERT_NE(context, nullptr);
    uint8_t mac[20];

    ASSERT_EQ(HMAC_Init(context, key1.data(), 20), 1);
    ASSERT_EQ(HMAC_Update(context, m1.data(), 60), 1);
    ASSERT_EQ(HMAC_Update(context, m1.data() + 60, 40), 1);
    ASSERT_EQ(HMAC_Final(context, mac), 1);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 20), OpenSslHmac(key1, m1));

    // A new message after Final, without keying again.
    ASSERT_EQ(HMAC_Update(context, m2.data(), m2.size()), 1);
    ASSERT_EQ(HMAC_Final(context, mac), 1);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 20), OpenSslHmac(key1, m2));

    // Final straight after Final is the MAC of the empty message, not a hash of leftovers.
    ASSERT_EQ(HMAC_Final(context, mac), 1);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 20), OpenSslHmac(key1, {}));

    ASSERT_EQ(HMAC_Init(context, key2.data(), 90), 1);
    EXPECT_EQ(context->key_length, 20);
    ASSERT_EQ(HMAC_Update(context, m2.data(), m2.size()), 1);
    ASSERT_EQ(HMAC_Final(context, mac), 1);
    EXPECT_EQ(std::vector<uint8_t>(mac, mac + 20), OpenSslHmac(key2, m2));
    HMAC_Free(context);
    HMAC_Free(nullptr);
}

TEST(HmacSha1, RefusesBadKeysAndUnkeyedUse) {
    uint8_t mac[20];
    const uint8_t key[4] = {1, 2, 3, 4};
    EXPECT_EQ(HMAC_SHA1(nullptr, 4, key, 4, mac), 0);
    EXPECT_EQ(HMAC_SHA1(key, -1, key, 4, mac), 0);

    HmacSha1Context* context = HMAC_New();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(HMAC_Update(context, key, 4), 0);
    EXPECT_EQ(HMAC_Final(context, mac), 0);
    // A failed keying leaves no usable state behind, even after an earlier good one.
    ASSERT_EQ(HMAC_Init(context, key, 4), 1);
    EXPECT_EQ(HMAC_Init(context, key, -5), 0);
    EXPECT_EQ(HMAC_Update(context, key, 4), 0);
    EXPECT_EQ(HMAC_Final(context, mac), 0);
    HMAC_Free(context);
}

TEST(HmacSha1, AllocationFailuresLeakNothing) {
    const auto key = std::vector<uint8_t>(80, 0xaa), data = Bytes("message");
    test::WalkAllocationFailures(
        [&] {
            uint8_t mac[20];
            return HMAC_SHA1(key.data(), 80, data.data(), data.size(), mac);
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

}  // namespace
}  // namespace quillon
