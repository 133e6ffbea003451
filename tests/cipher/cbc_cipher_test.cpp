#include <gtest/gtest.h>

#include <random>

#include "asn1/object_table.h"
#include "cipher/cbc_cipher.h"
#include "cipher/openssl_oracle.h"
#include "cipher/seed.h"

namespace quillon {
namespace {

using test::Buffer;

struct Row {
    int nid;
    const char* openssl;
    size_t key_size;
    size_t block_size;
};

const Row kRows[] = {
    {NID_SEED_CBC, "SEED-CBC", 16, 16},         {NID_OID_ARIA_CBC, "ARIA-128-CBC", 16, 16},
    {NID_ARIA_128_CBC, "ARIA-128-CBC", 16, 16}, {NID_ARIA_192_CBC, "ARIA-192-CBC", 24, 16},
    {NID_ARIA_256_CBC, "ARIA-256-CBC", 32, 16}, {NID_AES_128_CBC, "AES-128-CBC", 16, 16},
    {NID_AES_192_CBC, "AES-192-CBC", 24, 16},   {NID_AES_256_CBC, "AES-256-CBC", 32, 16},
    {NID_DES_EDE3_CBC, "DES-EDE3-CBC", 24, 8},
};

Buffer Seeded(std::mt19937& rng, size_t n) {
    Buffer b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

// Each cipher by its NID has the sizes of its name and encrypts as OpenSSL does, both ways.
TEST(CbcCipher, EveryRowAgainstOpenSsl) {
    std::mt19937 rng(24);
    for (const Row& row : kRows) {
        const CbcCipher* cipher = CBC_FromNid(row.nid);
        ASSERT_NE(cipher, nullptr) << row.openssl;
        EXPECT_EQ(cipher->key_size, row.key_size) << row.openssl;
        EXPECT_EQ(cipher->block_size, row.block_size) << row.openssl;
        const Buffer key = Seeded(rng, row.key_size), iv = Seeded(rng, row.block_size);
        for (size_t length : {size_t{0}, row.block_size - 1, row.block_size, 3 * row.block_size + 5}) {
            const Buffer plain = Seeded(rng, length);
            Buffer out(length + row.block_size), back(length + row.block_size);
            size_t n = 0, m = 0;
            ASSERT_EQ(cipher->crypt(kEncrypt, key.data(), iv.data(), plain.data(), length, out.data(), &n), 1);
            out.resize(n);
            EXPECT_EQ(out, test::OpenSslCbc(row.openssl, true, key, iv, plain)) << row.openssl << " " << length;
            ASSERT_EQ(cipher->crypt(kDecrypt, key.data(), iv.data(), out.data(), n, back.data(), &m), 1);
            EXPECT_EQ(Buffer(back.begin(), back.begin() + m), plain) << row.openssl;
        }
    }
    for (int nid : {NID_UNDEF, NID_PBES2, NID_SEED_ECB, NID_PBE_SHA1_3DES, NID_SHA256, -1, kObjectCount})
        EXPECT_EQ(CBC_FromNid(nid), nullptr) << nid;
}

}  // namespace
}  // namespace quillon
