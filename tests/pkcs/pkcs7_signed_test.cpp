// PKCS7_SignData and PKCS7_VerifyData against OpenSSL's CMS both ways: every algorithm and flag,
// signers named by key identifier, PSS, several signers; then what must be refused.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/cert_fixtures.h"
#include "support/pkcs8_fixtures.h"
#include "support/tlv.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Cms = std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)>;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

const Bytes kOidSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

BINSTR View(const Bytes& bytes) { return {const_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())}; }

Pkey Key(const std::string& pkcs8) {
    const Bytes der = ReadPkcs8(pkcs8);
    const unsigned char* p = der.data();
    return Pkey(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())), EVP_PKEY_free);
}

Bytes I2dCms(CMS_ContentInfo* cms) {
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
}

// OpenSSL's verdict on a ContentInfo (our bare SignedData is wrapped first): signatures only,
// the signer's certificate from inside.
bool OpenSslVerifies(Bytes der, bool bare, const Bytes& detached) {
    if (bare) der = Tlv(0x30, Concat({Tlv(0x06, kOidSignedData), Tlv(0xA0, der)}));
    const unsigned char* p = der.data();
    Cms cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size())), CMS_ContentInfo_free);
    if (!cms) return false;
    BIO* content = detached.empty() ? nullptr : BIO_new_mem_buf(detached.data(), static_cast<int>(detached.size()));
    const int ok = CMS_verify(cms.get(), nullptr, nullptr, content, nullptr, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY);
    BIO_free(content);
    return ok == 1;
}

struct Signer {
    const char* cert;
    const char* key;
    const EVP_MD* (*md)();
    bool pss;
};

Bytes OpenSslSign(const Bytes& data, const std::vector<Signer>& signers, unsigned flags) {
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    Cms cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags | CMS_PARTIAL | CMS_BINARY), CMS_ContentInfo_free);
    std::vector<OsslCert> certs;
    std::vector<Pkey> keys;
    for (const Signer& s : signers) {
        certs.push_back(OsslParse(ReadCert(s.cert)));
        keys.push_back(Key(s.key));
        CMS_SignerInfo* si = CMS_add1_signer(cms.get(), certs.back().get(), keys.back().get(), s.md(),
                                             flags | (s.pss ? CMS_KEY_PARAM : 0));
        EXPECT_NE(si, nullptr);
        if (s.pss) {
            EVP_PKEY_CTX* ctx = CMS_SignerInfo_get0_pkey_ctx(si);
            EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING), 1);
            EXPECT_EQ(EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, 32), 1);
        }
    }
    EXPECT_EQ(CMS_final(cms.get(), in, nullptr, flags | CMS_BINARY), 1);
    BIO_free(in);
    return I2dCms(cms.get());
}

int32_t Sign(int32_t flags, const Bytes& cert, const Bytes& key, int32_t algorithm, const Bytes& data, Bytes* out) {
    const BINSTR c = View(cert), k = View(key), d = View(data);
    Binstr signed_data;
    const int32_t result = PKCS7_SignData(flags, &c, &k, algorithm, &d, &signed_data.b);
    *out = signed_data.bytes();
    return result;
}

int32_t Verify(const Bytes& der, const Bytes* detached, Bytes* content = nullptr, Bytes* signer = nullptr) {
    const BINSTR s = View(der);
    BINSTR d = detached ? View(*detached) : BINSTR{};
    Binstr c, g;
    const int32_t result = PKCS7_VerifyData(&s, detached ? &d : nullptr, &c.b, &g.b);
    if (content) *content = c.bytes();
    if (signer) *signer = g.bytes();
    return result;
}

class Pkcs7Signed : public ::testing::Test {
protected:
    const Bytes cert_ = ReadCert("user_utf8");
    const Bytes key_ = ReadPkcs8("user_plain.der");
    const Bytes data_ = Bytes(3000, 0x61);
};

TEST_F(Pkcs7Signed, OpenSslVerifiesWhatWeSignForEveryAlgorithmAndFlag) {
    const int32_t algorithms[] = {QC_SIGN_RSA_SHA1, QC_SIGN_RSA_SHA224, QC_SIGN_RSA_SHA256, QC_SIGN_RSA_SHA384,
                                  QC_SIGN_RSA_SHA512, QC_SIGN_RSA_PSS_SHA256};
    const int32_t flag_sets[] = {0, QC_PKCS7_DETACHED, QC_PKCS7_NO_ATTRIBUTES, QC_PKCS7_BARE,
                                 QC_PKCS7_DETACHED | QC_PKCS7_NO_ATTRIBUTES | QC_PKCS7_BARE};
    for (int32_t algorithm : algorithms) {
        for (int32_t flags : flag_sets) {
            SCOPED_TRACE(std::to_string(algorithm) + " flags " + std::to_string(flags));
            Bytes der, content, signer;
            ASSERT_EQ(Sign(flags, cert_, key_, algorithm, data_, &der), QC_OK);
            const bool detached = flags & QC_PKCS7_DETACHED;
            EXPECT_TRUE(OpenSslVerifies(der, flags & QC_PKCS7_BARE, detached ? data_ : Bytes{}));
            EXPECT_EQ(Verify(der, detached ? &data_ : nullptr, &content, &signer), QC_OK);
            EXPECT_EQ(content, data_);
            EXPECT_EQ(signer, cert_);
        }
    }
}

TEST_F(Pkcs7Signed, VerifiesWhatOpenSslSigns) {
    const Signer user{"user_utf8", "user_plain.der", EVP_sha256, false};
    const struct {
        const char* what;
        std::vector<Signer> signers;
        unsigned flags;
    } rows[] = {
        {"attributes", {user}, 0},
        {"no attributes", {user}, CMS_NOATTR},
        {"detached", {user}, CMS_DETACHED},
        {"key identifier", {user}, CMS_USE_KEYID},
        {"PSS, SHA-384", {{"user_utf8", "user_plain.der", EVP_sha384, true}}, 0},
        {"two signers", {user, {"ca", "ca_plain.der", EVP_sha1, false}}, 0},
    };
    for (const auto& row : rows) {
        const Bytes der = OpenSslSign(data_, row.signers, row.flags);
        const bool detached = row.flags & CMS_DETACHED;
        Bytes content, signer;
        EXPECT_EQ(Verify(der, detached ? &data_ : nullptr, &content, &signer), QC_OK) << row.what;
        EXPECT_EQ(content, data_) << row.what;
        if (row.signers.size() == 1) { EXPECT_EQ(signer, cert_) << row.what; }
    }
    EXPECT_EQ(Verify(OpenSslSign(data_, {user}, CMS_NOCERTS), nullptr), QC_ERR_SIGNER_UNKNOWN);
}

TEST_F(Pkcs7Signed, ChangedContentSignaturesAndAttributesAreRefused) {
    Bytes der, plain_der;
    ASSERT_EQ(Sign(0, cert_, key_, QC_SIGN_RSA_SHA256, data_, &der), QC_OK);
    ASSERT_EQ(Sign(QC_PKCS7_NO_ATTRIBUTES, cert_, key_, QC_SIGN_RSA_SHA256, data_, &plain_der), QC_OK);
    auto changed = [](Bytes bytes, size_t at) {
        bytes[at] ^= 0x01;
        return bytes;
    };
    // The content sits first among the 3,000 'a' bytes; the signature is the last 256 bytes.
    const size_t content_at = std::search_n(der.begin(), der.end(), 100, 0x61) - der.begin() + 50;
    const Bytes other = Bytes(3000, 0x62);
    const struct {
        const char* what;
        Bytes der;
        const Bytes* detached;
        int32_t code;
    } rows[] = {
        {"content, with attributes", changed(der, content_at), nullptr, QC_ERR_SIGNATURE},
        {"content, without attributes",
         changed(plain_der, std::search_n(plain_der.begin(), plain_der.end(), 100, 0x61) - plain_der.begin() + 50), nullptr,
         QC_ERR_SIGNATURE},
        {"signature", changed(der, der.size() - 10), nullptr, QC_ERR_SIGNATURE},
        {"detached content differs from the one inside", der, &other, QC_ERR_SIGNATURE},
        {"not SignedData", cert_, nullptr, QC_ERR_MALFORMED_DER},
        {"cut short", Bytes(der.begin(), der.end() - 1), nullptr, QC_ERR_MALFORMED_DER},
    };
    for (const auto& row : rows) EXPECT_EQ(Verify(row.der, row.detached), row.code) << row.what;
    Bytes detached_der;
    ASSERT_EQ(Sign(QC_PKCS7_DETACHED, cert_, key_, QC_SIGN_RSA_SHA256, data_, &detached_der), QC_OK);
    EXPECT_EQ(Verify(detached_der, nullptr), QC_ERR_MALFORMED_DER) << "no content anywhere";
    EXPECT_EQ(Verify(detached_der, &other), QC_ERR_SIGNATURE);
}

TEST_F(Pkcs7Signed, SignCodesInTheirOrder) {
    const Bytes kcdsa = ReadPkcs8("kcdsa_plain.der"), ca_key = ReadPkcs8("ca_plain.der"), garbage(30, 0x30);
    const struct {
        const char* what;
        int32_t flags;
        Bytes cert, key;
        int32_t algorithm, code;
    } rows[] = {
        {"unknown flag", 8, garbage, garbage, 0, QC_ERR_NULL_ARGUMENT},
        {"unknown algorithm", 0, garbage, garbage, 94, QC_ERR_MALFORMED_DER},
        {"not a certificate", 0, garbage, garbage, QC_SIGN_RSA_SHA256, QC_ERR_CERT_DECODE},
        {"not a key", 0, cert_, garbage, QC_SIGN_RSA_SHA256, QC_ERR_KEY_INVALID},
        {"KCDSA key", 0, ReadCert("user_kcdsa"), kcdsa, QC_SIGN_RSA_SHA256, QC_ERR_KEY_INVALID},
        {"another's key", 0, cert_, ca_key, QC_SIGN_RSA_SHA256, QC_ERR_KEY_MISMATCH},
    };
    for (const auto& row : rows) {
        Bytes out;
        EXPECT_EQ(Sign(row.flags, row.cert, row.key, row.algorithm, data_, &out), row.code) << row.what;
        EXPECT_TRUE(out.empty()) << row.what;
    }
    const BINSTR c = View(cert_), k = View(key_), hollow{nullptr, 1};
    Binstr out;
    EXPECT_EQ(PKCS7_SignData(0, &c, &k, QC_SIGN_RSA_SHA256, &hollow, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_SignData(0, &c, &k, QC_SIGN_RSA_SHA256, &c, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_VerifyData(nullptr, nullptr, &out.b, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_VerifyData(&c, &hollow, nullptr, nullptr), QC_ERR_NULL_ARGUMENT);
}

}  // namespace
}  // namespace quillon::test
