#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <fstream>
#include <random>
#include <string>

#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "cipher/hmac.h"
#include "cipher/kdf.h"
#include "cipher/openssl_oracle.h"

namespace quillon {
namespace {

using test::Buffer;
using test::Hex;

struct Hash {
    int nid;
    const char* rfc4231;  // the RFC 4231 vectors' file; none for SHA-1
    const EVP_MD* (*theirs)();
};

const Hash kHashes[] = {{NID_SHA1, nullptr, EVP_sha1},
                        {NID_SHA224, "rfc-4231-sha224.txt", EVP_sha224},
                        {NID_SHA256, "rfc-4231-sha256.txt", EVP_sha256},
                        {NID_SHA384, "rfc-4231-sha384.txt", EVP_sha384},
                        {NID_SHA512, "rfc-4231-sha512.txt", EVP_sha512}};

Buffer Random(std::mt19937& rng, size_t n) {
    Buffer b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

// Keys around every block size, and a context reused for a second message under the same key.
TEST(Hmac, MatchesOpenSslAndRestartsAfterFinal) {
    std::mt19937 rng(4231);
    for (const Hash& hash : kHashes) {
        const DigestAlgorithm* digest = DIGEST_FromNid(hash.nid);
        for (size_t key_length : {0, 1, 20, 63, 64, 65, 127, 128, 129, 300}) {
            const Buffer key = Random(rng, key_length), a = Random(rng, rng() % 300), b = Random(rng, 70);
            HmacContext context;
            ASSERT_EQ(HMAC_Init(&context, digest, test::Ptr(key), key.size()), 1);
            for (const Buffer* message : {&a, &b}) {
                Buffer ours(digest->size), theirs(digest->size);
                ASSERT_EQ(HMAC_Update(&context, test::Ptr(*message), message->size()), 1);
                ASSERT_EQ(HMAC_Final(&context, ours.data()), 1);
                HMAC(hash.theirs(), key.data(), static_cast<int>(key.size()), message->data(), message->size(),
                     theirs.data(), nullptr);
                EXPECT_EQ(ours, theirs) << hash.nid << " key " << key_length;
            }
        }
    }
    HmacContext context;
    EXPECT_EQ(HMAC_Init(&context, nullptr, nullptr, 0), 0);
    EXPECT_EQ(HMAC_Init(&context, DIGEST_FromNid(NID_SHA256), nullptr, 3), 0);
}

TEST(Pbkdf2, MatchesOpenSslForEveryHash) {
    std::mt19937 rng(8018);
    for (const Hash& hash : kHashes) {
        for (uint32_t iterations : {1u, 2u, 3u, 1000u}) {
            const Buffer password = Random(rng, rng() % 150), salt = Random(rng, rng() % 40);
            const size_t length = 1 + rng() % 150;  // one block, several, and a partial last one
            Buffer ours(length), theirs(length);
            ASSERT_EQ(PBKDF2(DIGEST_FromNid(hash.nid), test::Ptr(password), password.size(), test::Ptr(salt),
                             salt.size(), iterations, ours.data(), length), 1);
            ASSERT_EQ(PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                                        salt.data(), static_cast<int>(salt.size()), static_cast<int>(iterations),
                                        hash.theirs(), static_cast<int>(length), theirs.data()), 1);
            EXPECT_EQ(ours, theirs) << hash.nid << " " << iterations << " " << length;
        }
    }
    uint8_t out[4];
    EXPECT_EQ(PBKDF2(nullptr, nullptr, 0, nullptr, 0, 1, out, 4), 0);
    EXPECT_EQ(PBKDF2(DIGEST_FromNid(NID_SHA256), nullptr, 0, nullptr, 4, 1, out, 4), 0);
}

}  // namespace
}  // namespace quillon
