// PRIKEY_Sign, CERT_VerifyData and CERT_VerifyIssuedBy against OpenSSL on the committed
// certificates and keys, and their codes in the documented order.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/cert_exports.h"
#include "support/pkcs8_fixtures.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<uint8_t>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

struct Algorithm {
    int32_t number;
    const EVP_MD* (*md)();
    bool pss;
};
const Algorithm kAlgorithms[] = {
    {QC_SIGN_RSA_SHA1, EVP_sha1, false},     {QC_SIGN_RSA_SHA224, EVP_sha224, false},
    {QC_SIGN_RSA_SHA256, EVP_sha256, false}, {QC_SIGN_RSA_SHA384, EVP_sha384, false},
    {QC_SIGN_RSA_SHA512, EVP_sha512, false}, {QC_SIGN_RSA_PSS_SHA256, EVP_sha256, true},
};

// OpenSSL's signing or verifying context for the algorithm over the key.
PkeyCtx Context(EVP_PKEY* key, const Algorithm& a, bool sign) {
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    EXPECT_EQ(sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_verify_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_signature_md(ctx.get(), a.md()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), a.pss ? RSA_PKCS1_PSS_PADDING : RSA_PKCS1_PADDING), 1);
    if (a.pss) {
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), EVP_sha256()), 1);
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), 32), 1);
    }
    return ctx;
}

Bytes Digest(const Algorithm& a, const Bytes& data) {
    Bytes out(EVP_MD_get_size(a.md()));
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), nullptr, a.md(), nullptr), 1);
    return out;
}

Pkey PrivateKey(const Bytes& pkcs8) {
    const unsigned char* p = pkcs8.data();
    return Pkey(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(pkcs8.size())), EVP_PKEY_free);
}

Bytes Pkcs8Of(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key);
    const int n = i2d_PKCS8_PRIV_KEY_INFO(info, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    PKCS8_PRIV_KEY_INFO_free(info);
    return out;
}

int32_t VerifyData(::X509Cert* cert, int32_t algorithm, const Bytes& data, const Bytes& signature) {
    BINSTR d{const_cast<uint8_t*>(data.data()), static_cast<uint32_t>(data.size())};
    BINSTR s{const_cast<uint8_t*>(signature.data()), static_cast<uint32_t>(signature.size())};
    return CERT_VerifyData(cert, algorithm, &d, &s);
}

TEST(PrikeySign, SignsWhatOpenSslVerifiesAndVerifiesWhatOpenSslSigns) {
    const Bytes pkcs8 = ReadPkcs8("user_plain.der");
    Pkey key = PrivateKey(pkcs8);
    Loaded user("user_utf8"), other("ca");
    Binstr plain(pkcs8);
    for (const Bytes& data : {Bytes{}, Bytes(1000, 0x31)}) {
        Binstr message(data);
        for (const Algorithm& a : kAlgorithms) {
            SCOPED_TRACE(a.number);
            Binstr ours;
            ASSERT_EQ(PRIKEY_Sign(&plain.b, a.number, &message.b, &ours.b), QC_OK);
            const Bytes signature = ours.bytes(), digest = Digest(a, data);
            EXPECT_EQ(EVP_PKEY_verify(Context(key.get(), a, false).get(), signature.data(), signature.size(),
                                      digest.data(), digest.size()),
                      1);
            Bytes theirs(256);
            size_t length = theirs.size();
            ASSERT_EQ(EVP_PKEY_sign(Context(key.get(), a, true).get(), theirs.data(), &length, digest.data(),
                                    digest.size()),
                      1);
            EXPECT_EQ(signature == theirs, !a.pss) << "PKCS#1 v1.5 is deterministic, PSS is salted";
            EXPECT_EQ(VerifyData(user.cert, a.number, data, theirs), QC_OK);
            EXPECT_EQ(VerifyData(user.cert, a.number, data, signature), QC_OK);
            Bytes changed = data;
            changed.push_back(0);
            EXPECT_EQ(VerifyData(user.cert, a.number, changed, signature), QC_ERR_SIGNATURE);
            EXPECT_EQ(VerifyData(other.cert, a.number, data, signature), QC_ERR_SIGNATURE) << "another key";
            const int32_t other_hash = a.number == QC_SIGN_RSA_SHA1 ? QC_SIGN_RSA_SHA256 : QC_SIGN_RSA_SHA1;
            EXPECT_EQ(VerifyData(user.cert, other_hash, data, signature), QC_ERR_SIGNATURE) << "another algorithm";
            EXPECT_EQ(VerifyData(user.cert, a.number, data, Bytes(signature.begin() + 1, signature.end())),
                      QC_ERR_SIGNATURE)
                << "one byte short";
        }
    }
}

TEST(PrikeySign, CodesInTheirOrderAndTheOutputKeptOnFailure) {
    const Bytes user = ReadPkcs8("user_plain.der");
    Pkey small(EVP_RSA_gen(512), EVP_PKEY_free);
    Binstr plain(user), kcdsa(ReadPkcs8("kcdsa_plain.der")), short_key(Pkcs8Of(small.get())), garbage(Bytes(40, 0x30));
    Binstr data(Bytes{1, 2, 3});
    BINSTR no_bytes{nullptr, 3};
    const Bytes kept{0xEE};
    const struct {
        const char* what;
        const BINSTR* key;
        int32_t algorithm;
        const BINSTR* data;
        bool output;
        int32_t code;
    } rows[] = {
        {"null key", nullptr, 0, &data.b, true, QC_ERR_NULL_ARGUMENT},
        {"null data", &plain.b, QC_SIGN_RSA_SHA256, nullptr, true, QC_ERR_NULL_ARGUMENT},
        {"data length without bytes", &plain.b, QC_SIGN_RSA_SHA256, &no_bytes, true, QC_ERR_NULL_ARGUMENT},
        {"null output", &plain.b, QC_SIGN_RSA_SHA256, &data.b, false, QC_ERR_NULL_ARGUMENT},
        {"algorithm 0 before the key", &garbage.b, 0, &data.b, true, QC_ERR_MALFORMED_DER},
        {"a hash, not a signature", &plain.b, 94, &data.b, true, QC_ERR_MALFORMED_DER},
        {"ECDSA", &plain.b, 102, &data.b, true, QC_ERR_MALFORMED_DER},
        {"not a PrivateKeyInfo", &garbage.b, QC_SIGN_RSA_SHA256, &data.b, true, QC_ERR_KEY_INVALID},
        {"KCDSA key", &kcdsa.b, QC_SIGN_RSA_SHA256, &data.b, true, QC_ERR_KEY_INVALID},
        {"512 bits for SHA-512", &short_key.b, QC_SIGN_RSA_SHA512, &data.b, true, QC_ERR_KEY_INVALID},
        {"512 bits for PSS", &short_key.b, QC_SIGN_RSA_PSS_SHA256, &data.b, true, QC_ERR_KEY_INVALID},
        {"512 bits for SHA-1", &short_key.b, QC_SIGN_RSA_SHA1, &data.b, true, QC_OK},
    };
    for (const auto& row : rows) {
        Binstr out(kept);
        EXPECT_EQ(PRIKEY_Sign(row.key, row.algorithm, row.data, row.output ? &out.b : nullptr), row.code) << row.what;
        if (row.code != QC_OK) { EXPECT_EQ(out.bytes(), kept) << row.what; }
    }
}

TEST(CertVerifyData, CodesInTheirOrder) {
    Loaded user("user_utf8"), kcdsa("user_kcdsa");
    const Bytes data{1}, signature(256, 1);
    BINSTR d{const_cast<uint8_t*>(data.data()), 1}, s{const_cast<uint8_t*>(signature.data()), 256}, hollow{nullptr, 1};
    EXPECT_EQ(CERT_VerifyData(nullptr, QC_SIGN_RSA_SHA256, &d, &s), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_VerifyData(user.cert, QC_SIGN_RSA_SHA256, nullptr, &s), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_VerifyData(user.cert, QC_SIGN_RSA_SHA256, &d, &hollow), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_VerifyData(user.cert, 7, &d, &s), QC_ERR_MALFORMED_DER);
    EXPECT_EQ(CERT_VerifyData(kcdsa.cert, QC_SIGN_RSA_SHA256, &d, &s), QC_ERR_MALFORMED_DER);
    EXPECT_EQ(CERT_VerifyData(user.cert, QC_SIGN_RSA_SHA256, &d, &s), QC_ERR_SIGNATURE);
}

// Every fixture as subject against every fixture as issuer, with OpenSSL's signature check as
// the oracle; an issuer key that is not RSA is the library's -51.
TEST(CertVerifyIssuedBy, AgreesWithOpenSslOverEveryPairOfFixtures) {
    std::vector<std::string> names = DecodableCerts();
    for (const char* more : {"user_sha512", "user_pss", "user_pss384", "recipient_utf8", "recipient_1024"})
        names.push_back(more);
    int verified = 0;
    for (const std::string& subject : names) {
        Loaded cert(subject);
        ASSERT_EQ(cert.result, QC_OK) << subject;
        for (const std::string& issuer_name : names) {
            Loaded issuer(issuer_name);
            EVP_PKEY* key = X509_get0_pubkey(issuer.ossl.get());
            const bool rsa = key && EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
            const int32_t expected = !rsa ? QC_ERR_MALFORMED_DER
                                          : (X509_verify(cert.ossl.get(), key) == 1 ? QC_OK : QC_ERR_SIGNATURE);
            EXPECT_EQ(CERT_VerifyIssuedBy(cert.cert, issuer.cert), expected) << subject << " by " << issuer_name;
            verified += expected == QC_OK;
        }
    }
    EXPECT_GE(verified, 10) << "the oracle must confirm the CA's certificates";
}

}  // namespace
}  // namespace quillon::test
