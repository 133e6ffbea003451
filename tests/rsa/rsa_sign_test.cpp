// RSA signatures against OpenSSL in both directions, and the strict PKCS#1 v1.5 check.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <random>
#include <utility>

#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_fixture.h"
#include "rsa/rsa_sign.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"
#include "support/tlv.h"

namespace quillon {
namespace {

using namespace test;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;

const EVP_MD* OpenSslMd(int nid) {
    switch (nid) {
        case NID_SHA1: return EVP_sha1();
        case NID_SHA224: return EVP_sha224();
        case NID_SHA256: return EVP_sha256();
        case NID_SHA384: return EVP_sha384();
        default: return EVP_sha512();
    }
}

struct Scheme {
    const char* name;
    RsaSignScheme ours;
};

RsaSignScheme Pkcs1(int hash) { return {DIGEST_FromNid(hash), false, nullptr, 0}; }
RsaSignScheme Pss(int hash, int mgf, uint32_t salt) { return {DIGEST_FromNid(hash), true, DIGEST_FromNid(mgf), salt}; }

const Scheme kSchemes[] = {
    {"pkcs1-sha1", Pkcs1(NID_SHA1)},           {"pkcs1-sha224", Pkcs1(NID_SHA224)},
    {"pkcs1-sha256", Pkcs1(NID_SHA256)},       {"pkcs1-sha384", Pkcs1(NID_SHA384)},
    {"pkcs1-sha512", Pkcs1(NID_SHA512)},       {"pss-sha256", Pss(NID_SHA256, NID_SHA256, 32)},
    {"pss-sha1-defaults", Pss(NID_SHA1, NID_SHA1, 20)}, {"pss-sha512-mgf256-salt0", Pss(NID_SHA512, NID_SHA256, 0)},
    {"pss-sha384-salt64", Pss(NID_SHA384, NID_SHA384, 64)},
};

PkeyCtx OpenSslContext(EVP_PKEY* pkey, const RsaSignScheme& s, bool sign) {
    PkeyCtx ctx(EVP_PKEY_CTX_new(pkey, nullptr), EVP_PKEY_CTX_free);
    EXPECT_EQ(sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_verify_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_signature_md(ctx.get(), OpenSslMd(s.hash->nid)), 1);
    if (s.pss) {
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PSS_PADDING), 1);
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), OpenSslMd(s.mgf_hash->nid)), 1);
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), static_cast<int>(s.salt_length)), 1);
    } else {
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING), 1);
    }
    return ctx;
}

bool Fits(const RsaKey* key, const RsaSignScheme& s) {
    const uint32_t k = RSA_ModulusBytes(key), h = static_cast<uint32_t>(s.hash->size);
    const auto em_length = static_cast<uint32_t>(BIGNUM_NumBits(key->n) - 1 + 7) / 8;
    return s.pss ? em_length >= h + s.salt_length + 2 : k >= h + 19 + 11;
}

// Fixture keys, and a fresh 1025-bit one whose encoded PSS message is a byte shorter than k.
class RsaSignKey : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Keys, RsaSignKey, ::testing::Values("1024_e3", "1024_e65537", "2048_e65537", "fresh1025"));

TEST_P(RsaSignKey, SignaturesInteroperateWithOpenSslBothWays) {
    const std::string name = GetParam();
    std::mt19937 rng(2026);
    OsslRsa rsa = name == "fresh1025" ? OsslRsa(nullptr, RSA_free) : LoadKey(name);
    if (!rsa) {
        Pkey generated(EVP_RSA_gen(1025), EVP_PKEY_free);
        rsa.reset(EVP_PKEY_get1_RSA(generated.get()));
    }
    Pkey pkey(EVP_PKEY_new(), EVP_PKEY_free);
    ASSERT_EQ(EVP_PKEY_set1_RSA(pkey.get(), rsa.get()), 1);
    auto key = Import(rsa.get(), kWithCrt);
    auto pub = Import(rsa.get(), kPublic);
    const uint32_t k = RSA_ModulusBytes(key.get());
    for (const Scheme& s : kSchemes) {
        SCOPED_TRACE(s.name);
        const Buffer digest = SeededBytes(rng, s.ours.hash->size);
        Buffer ours(k);
        const RsaSignError signed_result = RSA_SignDigest(key.get(), s.ours, digest.data(), ours.data(), k);
        if (!Fits(key.get(), s.ours)) {
            EXPECT_EQ(signed_result, RsaSignError::kKeySize);
            continue;
        }
        ASSERT_EQ(signed_result, RsaSignError::kNone);
        EXPECT_EQ(EVP_PKEY_verify(OpenSslContext(pkey.get(), s.ours, false).get(), ours.data(), k, digest.data(),
                                  digest.size()),
                  1);
        size_t length = k;
        Buffer theirs(k);
        ASSERT_EQ(EVP_PKEY_sign(OpenSslContext(pkey.get(), s.ours, true).get(), theirs.data(), &length, digest.data(),
                                digest.size()),
                  1);
        EXPECT_EQ(RSA_VerifyDigest(pub.get(), s.ours, digest.data(), theirs.data(), k), SignatureCheck::kValid);
        // PKCS#1 v1.5 is deterministic: the same bytes as OpenSSL's; PSS salts differ each time.
        EXPECT_EQ(ours == theirs, !s.ours.pss || s.ours.salt_length == 0);
        Buffer flipped = theirs;
        flipped[k / 2] ^= 0x01;
        Buffer other_digest = digest;
        other_digest[0] ^= 0x80;
        EXPECT_EQ(RSA_VerifyDigest(pub.get(), s.ours, digest.data(), flipped.data(), k), SignatureCheck::kInvalid);
        EXPECT_EQ(RSA_VerifyDigest(pub.get(), s.ours, other_digest.data(), theirs.data(), k), SignatureCheck::kInvalid);
        EXPECT_EQ(RSA_VerifyDigest(pub.get(), s.ours, digest.data(), theirs.data(), k - 1), SignatureCheck::kInvalid);
    }
}

}  // namespace
}  // namespace quillon
