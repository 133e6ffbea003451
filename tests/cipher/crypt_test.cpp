#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "api/mem.h"
#include "cipher/hex.h"
#include "cipher/openssl_oracle.h"
#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using Buffer = std::vector<uint8_t>;

// A BINSTR that releases its bytes through the library.
struct Record : BINSTR {
    Record() { BINSTR_Create(this); }
    explicit Record(const Buffer& bytes) : Record() {
        static const uint8_t kEmpty = 0;
        EXPECT_EQ(BINSTR_SetData(bytes.empty() ? &kEmpty : bytes.data(), static_cast<uint32_t>(bytes.size()), this),
                  QC_OK);
    }
    ~Record() { BINSTR_Delete(this); }
    Record(const Record&) = delete;
    Buffer bytes() const { return data ? Buffer(data, data + length) : Buffer{}; }
};

SeedCbcContext SetUpContext(const Buffer& key, const Buffer& iv) {
    SeedCbcContext ctx;
    std::memset(&ctx, 0xCC, sizeof ctx);
    Record k(key), v(iv);
    EXPECT_EQ(CRYPT_SetKeyAndIV(&ctx, &k, &v), QC_OK);
    return ctx;
}

TEST(CryptExports, EncryptMatchesOpenSslSeedCbcAndDecryptRoundTrips) {
    std::mt19937 gen(41);
    const Buffer key = test::SeededBytes(gen, 16), iv = test::SeededBytes(gen, 16);
    SeedCbcContext ctx = SetUpContext(key, iv);
    for (size_t len : {0, 1, 15, 16, 17, 31, 32, 33, 100, 4096}) {
        const Buffer plain = test::SeededBytes(gen, len);
        Record in(plain), out, back;
        ASSERT_EQ(CRYPT_Encrypt(&ctx, &in, &out), QC_OK) << len;
        EXPECT_EQ(out.length, (len / 16 + 1) * 16) << len;
        EXPECT_EQ(test::ToHex(out.bytes()), test::ToHex(test::OpenSslCbc("SEED-CBC", true, key, iv, plain))) << len;
        // Each message starts again from the stored IV.
        Record again;
        ASSERT_EQ(CRYPT_Encrypt(&ctx, &in, &again), QC_OK);
        EXPECT_EQ(again.bytes(), out.bytes());
        ASSERT_EQ(CRYPT_Decrypt(&ctx, &out, &back), QC_OK) << len;
        EXPECT_EQ(back.bytes(), plain) << len;
    }
    // The stored IV is what was set, not the last ciphertext block.
    Record k, v;
    ASSERT_EQ(CRYPT_GetKeyAndIV(&ctx, &k, &v), QC_OK);
    EXPECT_EQ(k.bytes(), key);
    EXPECT_EQ(v.bytes(), iv);
}

TEST(CryptExports, GeneratedKeyAndIvAreFreshAndUsable) {
    SeedCbcContext a, b;
    ASSERT_EQ(CRYPT_GenKeyAndIV(&a), QC_OK);
    ASSERT_EQ(CRYPT_GenKeyAndIV(&b), QC_OK);
    Record ka, va, kb, vb;
    ASSERT_EQ(CRYPT_GetKeyAndIV(&a, &ka, &va), QC_OK);
    ASSERT_EQ(CRYPT_GetKeyAndIV(&b, &kb, &vb), QC_OK);
    ASSERT_EQ(ka.length, 16u);
    ASSERT_EQ(va.length, 16u);
    EXPECT_NE(ka.bytes(), kb.bytes());
    EXPECT_NE(ka.bytes(), va.bytes());
    const Buffer plain(40, 0x61);
    Record in(plain), out;
    ASSERT_EQ(CRYPT_Encrypt(&a, &in, &out), QC_OK);
    EXPECT_EQ(out.bytes(), test::OpenSslCbc("SEED-CBC", true, ka.bytes(), va.bytes(), plain));
}

TEST(CryptExports, ResultCodes) {
    SeedCbcContext ctx = SetUpContext(Buffer(16, 1), Buffer(16, 2));
    Record key16(Buffer(16, 1)), key15(Buffer(15, 1)), iv16(Buffer(16, 2)), iv17(Buffer(17, 2)), out;
    Record plain(Buffer(5, 'x'));

    struct Case {
        const char* name;
        int32_t got, expected;
    };
    const Case cases[] = {
        {"gen null", CRYPT_GenKeyAndIV(nullptr), QC_ERR_NULL_ARGUMENT},
        {"get null context", CRYPT_GetKeyAndIV(nullptr, &out, &out), QC_ERR_NULL_ARGUMENT},
        {"get null key", CRYPT_GetKeyAndIV(&ctx, nullptr, &out), QC_ERR_NULL_ARGUMENT},
        {"get null iv", CRYPT_GetKeyAndIV(&ctx, &out, nullptr), QC_ERR_NULL_ARGUMENT},
        {"set null context", CRYPT_SetKeyAndIV(nullptr, &key16, &iv16), QC_ERR_NULL_ARGUMENT},
        {"set null key", CRYPT_SetKeyAndIV(&ctx, nullptr, &iv16), QC_ERR_NULL_ARGUMENT},
        {"set null iv", CRYPT_SetKeyAndIV(&ctx, &key16, nullptr), QC_ERR_NULL_ARGUMENT},
        {"key 15 with bad iv", CRYPT_SetKeyAndIV(&ctx, &key15, &iv17), QC_ERR_KEY_LENGTH},
        {"iv 17", CRYPT_SetKeyAndIV(&ctx, &key16, &iv17), QC_ERR_IV_LENGTH},
        {"encrypt null context", CRYPT_Encrypt(nullptr, &plain, &out), QC_ERR_NULL_ARGUMENT},
        {"encrypt null input", CRYPT_Encrypt(&ctx, nullptr, &out), QC_ERR_NULL_ARGUMENT},
        {"encrypt null output", CRYPT_Encrypt(&ctx, &plain, nullptr), QC_ERR_NULL_ARGUMENT},
        {"decrypt null context", CRYPT_Decrypt(nullptr, &plain, &out), QC_ERR_NULL_ARGUMENT},
        {"decrypt null input", CRYPT_Decrypt(&ctx, nullptr, &out), QC_ERR_NULL_ARGUMENT},
        {"decrypt null output", CRYPT_Decrypt(&ctx, &plain, nullptr), QC_ERR_NULL_ARGUMENT},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;

    BINSTR dangling{nullptr, 16};
    EXPECT_EQ(CRYPT_SetKeyAndIV(&ctx, &dangling, &iv16), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CRYPT_Encrypt(&ctx, &dangling, &out), QC_ERR_NULL_ARGUMENT);
}

// Ciphertexts the padding layer rejects: empty, not whole blocks, a pad count above the length.
TEST(CryptExports, MalformedCiphertextsAreDecryptionFailures) {
    const Buffer key(16, 7), iv(16, 8);
    SeedCbcContext ctx = SetUpContext(key, iv);
    Buffer big_pad(32, 0);
    big_pad[31] = 33;
    const Buffer bad_last = test::OpenSslCbc("SEED-CBC", true, key, iv, big_pad, false);
    for (const Buffer& cipher : {Buffer{}, Buffer(15, 1), Buffer(17, 1), bad_last}) {
        Record in(cipher), out;
        EXPECT_EQ(CRYPT_Decrypt(&ctx, &in, &out), QC_ERR_DECRYPT) << cipher.size();
        EXPECT_EQ(out.data, nullptr);
    }
}

TEST(CryptExports, AllocationFailuresGiveMinus71WithoutLeaks) {
    SeedCbcContext ctx = SetUpContext(Buffer(16, 3), Buffer(16, 4));
    Record plain(Buffer(50, 'p'));
    Record cipher;
    ASSERT_EQ(CRYPT_Encrypt(&ctx, &plain, &cipher), QC_OK);
    auto expect_code = [](bool fired, int32_t result) { EXPECT_EQ(result, fired ? QC_ERR_ALLOC : QC_OK); };
    test::WalkAllocationFailures(
        [&] {
            Record out;
            return CRYPT_Encrypt(&ctx, &plain, &out);
        },
        expect_code);
    test::WalkAllocationFailures(
        [&] {
            Record out;
            return CRYPT_Decrypt(&ctx, &cipher, &out);
        },
        expect_code);
    test::WalkAllocationFailures(
        [&] {
            Record k, v;
            return CRYPT_GetKeyAndIV(&ctx, &k, &v);
        },
        expect_code);
    // A failed draw is -72 and leaves the context as it was.
    test::WalkAllocationFailures(
        [&] {
            SeedCbcContext copy = ctx;
            const int32_t r = CRYPT_GenKeyAndIV(&copy);
            if (r != QC_OK) {
                EXPECT_EQ(std::memcmp(&copy, &ctx, sizeof ctx), 0);
            }
            return r;
        },
        [](bool fired, int32_t result) { EXPECT_EQ(result, fired ? QC_ERR_RANDOM : QC_OK); });
}

}  // namespace
}  // namespace quillon
