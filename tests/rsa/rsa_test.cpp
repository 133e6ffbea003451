// The oracle uses OpenSSL's RSA-level calls, deprecated but the plainest for raw operations.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <random>

#include "bignum/bn_oracle.h"
#include "cipher/openssl_oracle.h"
#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "cipher/random.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_prime.h"
#include "rsa/small_primes.h"
#include "rsa/rsa_fixture.h"
#include "support/alloc_fault.h"
#include "support/fixture_file.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;
Buffer Encrypt(RsaKey* key, const Buffer& msg) {
    Buffer out(512);
    uint32_t len = 0;
    out.resize(RSA_PublicEncrypt(key, out.data(), &len, msg.data(), static_cast<uint32_t>(msg.size())) > 0 ? len : 0);
    return out;
}

// The plaintext in hex, or "fail"; a failure must leave the length alone.
std::string Decrypt(RsaKey* key, const Buffer& cipher, int mode = kRsaPkcs1Padding) {
    Buffer out(512);
    uint32_t len = 0xDEAD;
    const int r = RSA_PrivateDecrypt(key, out.data(), &len, cipher.data(), static_cast<uint32_t>(cipher.size()), mode);
    if (r <= 0) { EXPECT_EQ(len, 0xDEADu) << "length written on failure"; }
    return r > 0 ? ToHex(out.data(), len) : "fail";
}

Buffer OpenSslCrypt(RSA* rsa, const Buffer& in, int padding, bool decrypt = false) {
    Buffer out(RSA_size(rsa));
    const int r = decrypt ? RSA_private_decrypt(static_cast<int>(in.size()), in.data(), out.data(), rsa, padding)
                          : RSA_public_encrypt(static_cast<int>(in.size()), in.data(), out.data(), rsa, padding);
    out.resize(r > 0 ? r : 0);
    return out;
}

class RsaFixtureKey : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Keys, RsaFixtureKey, ::testing::Values("1024_e3", "1024_e65537", "2048_e3", "2048_e65537"));

// Each way; ours with d, with d and the CRT numbers, or with these only. OAEP needs 2048 bits.
TEST_P(RsaFixtureKey, InteroperatesWithOpenSsl) {
    const std::string name = GetParam();
    auto rsa = LoadKey(name);
    const size_t size = RSA_size(rsa.get());
    auto pub = Import(rsa.get(), kPublic);
    for (size_t len : {size_t{1}, size_t{48}, size - 11}) {
        const Buffer msg(len, static_cast<uint8_t>(len)), c = Encrypt(pub.get(), msg);
        EXPECT_EQ(c.size(), size) << len;
        EXPECT_EQ(OpenSslCrypt(rsa.get(), c, RSA_PKCS1_PADDING, true), msg) << len;
        EXPECT_NE(Encrypt(pub.get(), msg), c) << "padding must be random";
    }
    EXPECT_TRUE(Encrypt(pub.get(), Buffer(size - 10, 1)).empty()) << "longer than k - 11";
    const Buffer fresh(86, 0x61), oaep = OpenSslCrypt(rsa.get(), fresh, RSA_PKCS1_OAEP_PADDING);
    const std::string message = ToHex(ReadFixture("message.bin"));
    for (Parts parts : {kWithD, kWithCrt, kCrtOnly}) {
        auto key = Import(rsa.get(), parts);
        EXPECT_EQ(Decrypt(key.get(), ReadFixture("pkcs1_" + name + ".bin")), message) << parts;
        EXPECT_EQ(Decrypt(key.get(), oaep, kRsaOaepPadding), size == 256 ? ToHex(fresh) : "fail") << parts;
        if (size == 256) { EXPECT_EQ(Decrypt(key.get(), ReadFixture("oaep_" + name + ".bin"), kRsaOaepPadding), message); }
    }
}

// The key's blinding pair (r^e R, r^-1 R mod n, R = 2^(limb bits * limbs)) moves on with every
// decryption, is redrawn every 33rd and after the cache is dropped, and stays a pair throughout:
// A R^-1 * (Ai R^-1)^e = 1 mod n. Decryption of OpenSSL's ciphertexts stays right all along.
TEST(RsaCrypt, BlindingPairMovesOnAcrossManyDecryptions) {
    auto rsa = LoadKey("2048_e65537");
    auto key = Import(rsa.get(), kWithCrt);
    BnCtx ctx(BN_CTX_new());
    const BIGNUM* n = RSA_get0_n(rsa.get());
    auto from_mont = [&](const uint8_t* limbs, size_t size) {
        Bn v(BN_lebin2bn(limbs, static_cast<int>(size), nullptr)), r(BN_new());
        BN_set_bit(r.get(), static_cast<int>(8 * size));
        BN_mod_inverse(r.get(), r.get(), n, ctx.get());
        BN_mod_mul(v.get(), v.get(), r.get(), n, ctx.get());
        return v;
    };
    std::mt19937 gen(11);
    Buffer last;
    int fresh = 0;
    for (int i = 0; i < 100; ++i) {
        const bool oaep = i % 2;
        const Buffer msg = SeededBytes(gen, 1 + i % 80);
        const Buffer c = OpenSslCrypt(rsa.get(), msg, oaep ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING);
        ASSERT_EQ(Decrypt(key.get(), c, oaep ? kRsaOaepPadding : kRsaPkcs1Padding), ToHex(msg)) << i;
        ASSERT_TRUE(key->blinding);
        const auto* bytes = static_cast<const uint8_t*>(key->blinding);
        const Buffer pair(bytes, bytes + key->blinding_size);
        EXPECT_NE(pair, last) << i;
        fresh += key->blinding_uses == 0;
        const size_t half = pair.size() / 2;
        Bn a = from_mont(pair.data(), half), ai = from_mont(pair.data() + half, half), check(BN_new());
        BN_mod_exp(check.get(), ai.get(), RSA_get0_e(rsa.get()), n, ctx.get());
        BN_mod_mul(check.get(), check.get(), a.get(), n, ctx.get());
        EXPECT_TRUE(BN_is_one(check.get())) << i;
        last = pair;
        if (i == 70) RSAKEY_DropCache(key.get());
    }
    EXPECT_EQ(fresh, 4) << "drawn at 0, 33, 66 and after the drop at 70";
}


}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

}  // namespace
}  // namespace quillon
