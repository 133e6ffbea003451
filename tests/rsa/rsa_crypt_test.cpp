// The oracle uses OpenSSL's RSA-level calls, deprecated but the plainest for raw operations.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "rsa/rsa_crypt.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <random>
#include <string>
#include <vector>

#include "cipher/hex.h"
#include "rsa/rsa_oracle.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using test::OsslRsa;
using test::Parts;
using test::RsaKeyPtr;
using test::ToHex;
using Buffer = std::vector<uint8_t>;

struct FixtureKey {
    const char* name;
    int bits;
    uint32_t e;
};
constexpr FixtureKey kKeys[] = {
    {"1024_e3", 1024, 3}, {"1024_e65537", 1024, 65537}, {"2048_e3", 2048, 3}, {"2048_e65537", 2048, 65537}};

OsslRsa Load(const FixtureKey& k) { return test::LoadFixtureKey(std::string("key_") + k.name + ".pem"); }

Buffer Encrypt(RsaKey* key, const Buffer& msg) {
    Buffer out(512);
    uint32_t len = 0;
    const int r = RSA_PublicEncrypt(key, out.data(), &len, msg.data(), static_cast<uint32_t>(msg.size()));
    if (r <= 0) return {};
    EXPECT_EQ(static_cast<uint32_t>(r), len);
    out.resize(len);
    return out;
}

// Returns the plaintext, or "fail" when the call reports failure.
std::string Decrypt(RsaKey* key, const Buffer& cipher, int mode) {
    Buffer out(512);
    uint32_t len = 0xDEAD;
    const int r = RSA_PrivateDecrypt(key, out.data(), &len, cipher.data(), static_cast<uint32_t>(cipher.size()), mode);
    if (r <= 0) {
        EXPECT_EQ(len, 0xDEADu) << "length written on failure";
        return "fail";
    }
    EXPECT_EQ(static_cast<uint32_t>(r), len);
    return ToHex(out.data(), len);
}

Buffer LeftPad(const Buffer& b, size_t size) {
    Buffer out(size - b.size(), 0);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Encrypts a prepared k-byte block without padding, to reach the unpadding with any layout.
Buffer RawEncrypt(RSA* rsa, const Buffer& block) {
    Buffer out(RSA_size(rsa));
    EXPECT_EQ(RSA_public_encrypt(static_cast<int>(block.size()), block.data(), out.data(), rsa, RSA_NO_PADDING),
              RSA_size(rsa));
    return out;
}

class RsaFixtureKey : public ::testing::TestWithParam<FixtureKey> {};

TEST_P(RsaFixtureKey, OpenSslDecryptsOurPkcs1Ciphertexts) {
    const FixtureKey k = GetParam();
    auto rsa = Load(k);
    ASSERT_TRUE(rsa);
    auto pub = test::Import(rsa.get(), Parts::Public);
    const size_t size = static_cast<size_t>(k.bits / 8);
    std::mt19937 gen(k.bits + k.e);
    for (size_t len : {size_t{1}, size_t{16}, size_t{48}, size - 11}) {
        const Buffer msg = test::SeededBytes(gen, len);
        const Buffer c = Encrypt(pub.get(), msg);
        ASSERT_FALSE(c.empty()) << len;
        ASSERT_LE(c.size(), size);
        Buffer plain(size);
        const Buffer padded = LeftPad(c, size);
        const int n = RSA_private_decrypt(static_cast<int>(size), padded.data(), plain.data(), rsa.get(),
                                          RSA_PKCS1_PADDING);
        ASSERT_EQ(n, static_cast<int>(len));
        plain.resize(len);
        EXPECT_EQ(plain, msg);
        EXPECT_NE(Encrypt(pub.get(), msg), c) << "padding must be random";
    }
    EXPECT_TRUE(Encrypt(pub.get(), Buffer(size - 10, 1)).empty()) << "longer than k - 11";
}

TEST_P(RsaFixtureKey, WeDecryptOpenSslCiphertextsWithEveryKeyForm) {
    const FixtureKey k = GetParam();
    auto rsa = Load(k);
    ASSERT_TRUE(rsa);
    const Buffer message = test::ReadFixture("message.bin");
    const Buffer pkcs1 = test::ReadFixture(std::string("pkcs1_") + k.name + ".bin");
    const Buffer oaep = k.bits == 2048 ? test::ReadFixture(std::string("oaep_") + k.name + ".bin") : Buffer{};
    std::mt19937 gen(k.e);
    for (Parts parts : {Parts::WithD, Parts::WithCrt, Parts::CrtOnly}) {
        auto key = test::Import(rsa.get(), parts);
        const int form = static_cast<int>(parts);
        EXPECT_EQ(Decrypt(key.get(), pkcs1, kRsaPkcs1Padding), ToHex(message)) << form;
        if (!oaep.empty()) {
            EXPECT_EQ(Decrypt(key.get(), oaep, kRsaOaepPadding), ToHex(message)) << form;
        }

        for (size_t len : {size_t{1}, size_t{16}, size_t{32}, size_t{86}}) {
            const Buffer msg = test::SeededBytes(gen, len);
            Buffer c(RSA_size(rsa.get()));
            ASSERT_GT(RSA_public_encrypt(static_cast<int>(len), msg.data(), c.data(), rsa.get(), RSA_PKCS1_PADDING), 0);
            EXPECT_EQ(Decrypt(key.get(), c, kRsaPkcs1Padding), ToHex(msg)) << form << " " << len;
            if (k.bits == 2048) {
                ASSERT_GT(
                    RSA_public_encrypt(static_cast<int>(len), msg.data(), c.data(), rsa.get(), RSA_PKCS1_OAEP_PADDING),
                    0);
                EXPECT_EQ(Decrypt(key.get(), c, kRsaOaepPadding), ToHex(msg)) << form << " " << len;
            } else {
                EXPECT_EQ(Decrypt(key.get(), pkcs1, kRsaOaepPadding), "fail") << "OAEP needs a 2048-bit modulus";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, RsaFixtureKey, ::testing::ValuesIn(kKeys),
                         [](const auto& info) { return std::string("k") + info.param.name; });

TEST(RsaPublicEncrypt, LengthLimitAndShortCiphertexts) {
    auto rsa = Load(kKeys[0]);
    ASSERT_TRUE(rsa);
    auto pub = test::Import(rsa.get(), Parts::Public);
    EXPECT_FALSE(Encrypt(pub.get(), Buffer(117, 7)).empty());
    EXPECT_TRUE(Encrypt(pub.get(), Buffer(118, 7)).empty());

    // About one ciphertext in 200 has a zero top byte: it comes out one byte short, and both
    // sides still decrypt it.
    auto priv = test::Import(rsa.get(), Parts::WithCrt);
    const Buffer msg(20, 0x42);
    bool found = false;
    for (int i = 0; i < 5000 && !found; ++i) {
        const Buffer c = Encrypt(pub.get(), msg);
        ASSERT_FALSE(c.empty());
        if (c.size() == 128) continue;
        found = true;
        EXPECT_EQ(c.size(), 127u);
        EXPECT_EQ(Decrypt(priv.get(), c, kRsaPkcs1Padding), ToHex(msg));
        Buffer plain(128);
        const Buffer padded = LeftPad(c, 128);
        ASSERT_EQ(RSA_private_decrypt(128, padded.data(), plain.data(), rsa.get(), RSA_PKCS1_PADDING), 20);
    }
    EXPECT_TRUE(found);
}

TEST(RsaPublicEncrypt, RefusesKeysWithoutAPublicPart) {
    auto rsa = Load(kKeys[0]);
    auto key = test::Import(rsa.get(), Parts::Public);
    const Buffer msg(4, 1);
    key->present = 0;
    EXPECT_TRUE(Encrypt(key.get(), msg).empty());
    key->present = kRsaHasN;
    BIGNUM_Free(key->e);
    key->e = nullptr;
    EXPECT_TRUE(Encrypt(key.get(), msg).empty()) << "present claims n only and e is missing";
}

TEST(RsaPrivateDecrypt, RefusesWhatItCannotOrMustNotDecrypt) {
    auto rsa = Load(kKeys[2]);
    ASSERT_TRUE(rsa);
    const Buffer pkcs1 = test::ReadFixture("pkcs1_2048_e3.bin");
    const Buffer message = test::ReadFixture("message.bin");

    auto pub = test::Import(rsa.get(), Parts::Public);
    EXPECT_EQ(Decrypt(pub.get(), pkcs1, kRsaPkcs1Padding), "fail") << "public-only key";
    pub->present = 15;  // claims a private part that is not there
    EXPECT_EQ(Decrypt(pub.get(), pkcs1, kRsaPkcs1Padding), "fail") << "neither d nor CRT numbers";

    auto key = test::Import(rsa.get(), Parts::WithCrt);
    for (int mode : {0, 3, -1}) EXPECT_EQ(Decrypt(key.get(), pkcs1, mode), "fail") << "mode " << mode;

    Buffer n(256);
    BIGNUM_ToBytes(key->n, n.data());
    EXPECT_EQ(Decrypt(key.get(), n, kRsaPkcs1Padding), "fail") << "c = n";
    EXPECT_EQ(Decrypt(key.get(), Buffer(257, 0xFF), kRsaPkcs1Padding), "fail") << "longer than n";
    EXPECT_EQ(Decrypt(key.get(), LeftPad(pkcs1, 300), kRsaPkcs1Padding), ToHex(message)) << "leading zeros";
    EXPECT_EQ(Decrypt(key.get(), Buffer{}, kRsaPkcs1Padding), "fail");
}

// A fault in the CRT numbers is caught by the check against e, and d takes over.
TEST(RsaPrivateDecrypt, CrtResultIsConfirmedAndUnusualPrimeOrderWorks) {
    auto rsa = Load(kKeys[3]);
    const Buffer pkcs1 = test::ReadFixture("pkcs1_2048_e65537.bin");
    const std::string message = ToHex(test::ReadFixture("message.bin"));

    auto key = test::Import(rsa.get(), Parts::WithCrt);
    ASSERT_TRUE(BIGNUM_AddWord(key->dP, 2));
    EXPECT_EQ(Decrypt(key.get(), pkcs1, kRsaPkcs1Padding), message);
    auto crt_only = test::Import(rsa.get(), Parts::CrtOnly);
    ASSERT_TRUE(BIGNUM_AddWord(crt_only->dP, 2));
    EXPECT_EQ(Decrypt(crt_only.get(), pkcs1, kRsaPkcs1Padding), "fail") << "no d to fall back on";

    // p and q given the other way round (q > p), as an imported key may have them.
    const BIGNUM *p, *q, *dp, *dq;
    RSA_get0_factors(rsa.get(), &p, &q);
    RSA_get0_crt_params(rsa.get(), &dp, &dq, nullptr);
    test::BnCtx ctx(BN_CTX_new());
    test::Bn inv(BN_mod_inverse(nullptr, p, q, ctx.get()));
    auto swapped = test::Import(rsa.get(), Parts::Public);
    auto P = test::FromBn(q), Q = test::FromBn(p), DP = test::FromBn(dq), DQ = test::FromBn(dp),
         QI = test::FromBn(inv.get());
    ASSERT_EQ(RSAKEY_SetComponents(swapped.get(), key->n, key->e, nullptr, P.get(), Q.get(), DP.get(),
                                   DQ.get(), QI.get()),
              1);
    EXPECT_EQ(Decrypt(swapped.get(), pkcs1, kRsaPkcs1Padding), message);
}

TEST(RsaPrivateDecrypt, Pkcs1Unpadding) {
    auto rsa = Load(kKeys[0]);
    auto key = test::Import(rsa.get(), Parts::WithCrt);
    struct Case {
        const char* name;
        Buffer block;
        std::string expected;
    };
    // 128-byte blocks: 00, type, ps filler bytes, the separator when wanted, then the message.
    auto message = [](size_t len) {
        Buffer m(len);
        for (size_t i = 0; i < len; ++i) m[i] = static_cast<uint8_t>(i + 1);
        return m;
    };
    auto block = [&](uint8_t type, size_t ps, bool separator) {
        Buffer b{0x00, type};
        b.insert(b.end(), ps, 0x5A);
        if (separator) b.push_back(0);
        const Buffer m = message(128 - b.size());
        b.insert(b.end(), m.begin(), m.end());
        return b;
    };
    const Case cases[] = {
        {"valid", block(2, 8, true), ToHex(message(117))},
        {"short filler accepted", block(2, 1, true), ToHex(message(124))},
        {"block type 1", block(1, 8, true), "fail"},
        {"no separator", block(2, 8, false), "fail"},
        {"empty message", block(2, 125, true), "fail"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.block.size(), 128u) << c.name;
        EXPECT_EQ(Decrypt(key.get(), RawEncrypt(rsa.get(), c.block), kRsaPkcs1Padding), c.expected) << c.name;
    }
}

// OAEP encoding built here from OpenSSL's MGF1, so that every layout can be reached.
Buffer OaepBlock(const Buffer& seed, const Buffer& db) {
    Buffer db_mask(235), seed_mask(20), block(256, 0);
    PKCS1_MGF1(db_mask.data(), 235, seed.data(), 20, EVP_sha1());
    for (size_t i = 0; i < 235; ++i) block[21 + i] = db[i] ^ db_mask[i];
    PKCS1_MGF1(seed_mask.data(), 20, block.data() + 21, 235, EVP_sha1());
    for (size_t i = 0; i < 20; ++i) block[1 + i] = seed[i] ^ seed_mask[i];
    return block;
}

Buffer DataBlock(const Buffer& msg, uint8_t separator) {
    Buffer db(20);
    SHA1(nullptr, 0, db.data());
    db.resize(235 - msg.size() - 1, 0);
    db.push_back(separator);
    db.insert(db.end(), msg.begin(), msg.end());
    return db;
}

TEST(RsaPrivateDecrypt, OaepUnpadding) {
    auto rsa = Load(kKeys[2]);
    auto key = test::Import(rsa.get(), Parts::WithCrt);
    std::mt19937 gen(7);
    const Buffer msg = test::SeededBytes(gen, 16);

    // A masked seed that begins with a zero byte: the decrypted value is shorter than 255 bytes.
    Buffer block;
    for (int i = 0; i < 10000; ++i) {
        block = OaepBlock(test::SeededBytes(gen, 20), DataBlock(msg, 1));
        if (block[1] == 0) break;
    }
    ASSERT_EQ(block[1], 0);
    Buffer check(256);
    ASSERT_EQ(RSA_private_decrypt(256, RawEncrypt(rsa.get(), block).data(), check.data(), rsa.get(),
                                  RSA_PKCS1_OAEP_PADDING),
              16)
        << "the block is valid OAEP";
    EXPECT_EQ(Decrypt(key.get(), RawEncrypt(rsa.get(), block), kRsaOaepPadding), ToHex(msg));

    struct Case {
        const char* name;
        Buffer block;
        std::string expected;
    };
    Buffer first_byte_set = OaepBlock(Buffer(20, 9), DataBlock(msg, 1));
    first_byte_set[0] = 1;
    Buffer all_zero(235, 0);
    SHA1(nullptr, 0, all_zero.data());
    const Case cases[] = {
        {"valid", OaepBlock(Buffer(20, 1), DataBlock(msg, 1)), ToHex(msg)},
        {"any separator value", OaepBlock(Buffer(20, 2), DataBlock(msg, 7)), ToHex(msg)},
        {"longest message", OaepBlock(Buffer(20, 3), DataBlock(Buffer(214, 0xAB), 1)), ToHex(Buffer(214, 0xAB))},
        {"no non-zero byte after the label hash", OaepBlock(Buffer(20, 4), all_zero), "fail"},
        {"separator is the last byte", OaepBlock(Buffer(20, 5), DataBlock({}, 1)), "fail"},
        {"encoded message starts non-zero", first_byte_set, "fail"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Decrypt(key.get(), RawEncrypt(rsa.get(), c.block), kRsaOaepPadding), c.expected) << c.name;
    }
}

TEST(RsaMgf1, MatchesOpenSsl) {
    std::mt19937 gen(11);
    for (uint32_t len : {0u, 1u, 19u, 20u, 21u, 235u, 1000u}) {
        const Buffer seed = test::SeededBytes(gen, 1 + len % 40);
        Buffer ours(len + 1, 0xEE), theirs(len + 1, 0xEE);
        RSA_Mgf1(seed.data(), static_cast<uint32_t>(seed.size()), ours.data(), len);
        if (len) PKCS1_MGF1(theirs.data(), len, seed.data(), static_cast<long>(seed.size()), EVP_sha1());
        EXPECT_EQ(ours, theirs) << len;
    }
}

TEST(RsaCrypt, AllocationFailuresFailCleanly) {
    auto rsa = Load(kKeys[0]);
    auto key = test::Import(rsa.get(), Parts::WithCrt);
    const Buffer pkcs1 = test::ReadFixture("pkcs1_1024_e3.bin");
    test::WalkAllocationFailures([&] { return Decrypt(key.get(), pkcs1, kRsaPkcs1Padding); },
                                 [&](bool fired, const std::string& result) {
                                     EXPECT_EQ(result, fired ? "fail" : ToHex(test::ReadFixture("message.bin")));
                                 });
    test::WalkAllocationFailures([&] { return Encrypt(key.get(), Buffer(10, 1)).size(); },
                                 [](bool fired, size_t size) {
                                     if (fired) {
                                         EXPECT_EQ(size, 0u);
                                     } else {
                                         EXPECT_GE(size, 127u);
                                     }
                                 });
}

}  // namespace
}  // namespace quillon
