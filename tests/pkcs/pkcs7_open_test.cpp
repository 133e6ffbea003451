// PKCS7_DecryptData on what OpenSSL's CMS writes (every content cipher, both recipient forms,
// PKCS#1 v1.5 and OAEP key transport, several recipients) and on our own envelopes, and its
// codes in their order: a wrong key and a changed envelope give one code.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/mem.h"
#include "pkcs/pkcs7.h"
#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/cert_fixtures.h"
#include "support/der_bytes.h"
#include "support/pkcs8_fixtures.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Cms = std::unique_ptr<CMS_ContentInfo, decltype(&CMS_ContentInfo_free)>;

enum Transport { kPkcs1, kOaepSha1, kOaepSha256 };

// An envelope written by OpenSSL for each certificate in `to`.
Bytes OpenSslEnvelope(const Bytes& data, const EVP_CIPHER* cipher, const std::vector<std::string>& to,
                      bool key_id, Transport transport) {
    BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
    Cms cms(CMS_encrypt(nullptr, in, cipher, CMS_BINARY | CMS_PARTIAL), CMS_ContentInfo_free);
    std::vector<OsslCert> certs;
    for (const std::string& name : to) {
        certs.push_back(OsslParse(ReadCert(name)));
        const unsigned flags = (key_id ? CMS_USE_KEYID : 0) | (transport != kPkcs1 ? CMS_KEY_PARAM : 0);
        CMS_RecipientInfo* ri = CMS_add1_recipient_cert(cms.get(), certs.back().get(), flags);
        EXPECT_NE(ri, nullptr);
        if (transport != kPkcs1) {
            EVP_PKEY_CTX* ctx = CMS_RecipientInfo_get0_pkey_ctx(ri);
            EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING), 1);
            const EVP_MD* md = transport == kOaepSha256 ? EVP_sha256() : EVP_sha1();
            EXPECT_EQ(EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md), 1);
            EXPECT_EQ(EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md), 1);
        }
    }
    EXPECT_EQ(CMS_final(cms.get(), in, nullptr, CMS_BINARY), 1);
    BIO_free(in);
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms.get(), &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
}

BINSTR View(const Bytes& bytes) { return {const_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())}; }

int32_t Open(const Bytes& key, const Bytes& cert, const Bytes& enveloped, Bytes* content = nullptr) {
    const BINSTR k = View(key), c = View(cert), e = View(enveloped);
    Binstr out(Bytes{0xEE});
    const int32_t result = PKCS7_DecryptData(&k, &c, &e, &out.b);
    if (result != QC_OK) { EXPECT_EQ(out.bytes(), Bytes{0xEE}) << "output written on failure"; }
    if (content) *content = out.bytes();
    return result;
}

class Pkcs7Open : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // SEED-CBC lives in the legacy provider; the providers stay loaded for the process.
        static OSSL_PROVIDER* providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
        ASSERT_TRUE(providers[0] && providers[1]);
    }
    const Bytes key_ = ReadPkcs8("user_plain.der");
    const Bytes cert_ = ReadCert("recipient_utf8");
};

TEST_F(Pkcs7Open, OpensWhatOpenSslWritesForEveryCipherRecipientFormAndTransport) {
    const char* ciphers[] = {"aes-128-cbc", "aes-192-cbc", "aes-256-cbc", "des-ede3-cbc", "seed-cbc",
                             "aria-128-cbc", "aria-192-cbc", "aria-256-cbc"};
    const Bytes data(1000, 0x5A);
    int opened = 0;
    for (const char* name : ciphers) {
        EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
        ASSERT_NE(cipher, nullptr) << name;
        for (bool key_id : {false, true}) {
            for (Transport transport : {kPkcs1, kOaepSha1, kOaepSha256}) {
                Bytes content;
                EXPECT_EQ(Open(key_, cert_, OpenSslEnvelope(data, cipher, {"recipient_utf8"}, key_id, transport), &content),
                          QC_OK)
                    << name << " key id " << key_id << " transport " << transport;
                opened += content == data;
            }
        }
        EVP_CIPHER_free(cipher);
    }
    EXPECT_EQ(opened, 8 * 2 * 3);
}

// A recipient named by key identifier decodes and encodes back to OpenSSL's bytes.
TEST_F(Pkcs7Open, KeyIdentifierRecipientsRoundTrip) {
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "aes-128-cbc", nullptr);
    const Bytes der = OpenSslEnvelope({1}, aes, {"recipient_utf8", "ca"}, true, kOaepSha1);
    EVP_CIPHER_free(aes);
    const long live = MEM_LiveBlocks();
    DerElementPtr element(DER_Parse(der.data(), der.size()));
    ContentInfo* info = nullptr;
    ASSERT_TRUE(element && CONTENTINFO_Decode(element.get(), &info));
    ContentInfoPtr owned(info);
    const auto* recipient = static_cast<const RecipientInfo*>(
        PLIST_Get(static_cast<const EnvelopedData*>(info->content)->recipientInfos, 0));
    EXPECT_TRUE(recipient->subjectKeyIdentifier && !recipient->issuerAndSerialNumber);
    DerElementPtr again(DER_New());
    ASSERT_TRUE(CONTENTINFO_Encode(info, again.get()));
    EXPECT_EQ(DerBytes(again.get()), der);
    again.reset();
    owned.reset();
    element.reset();
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

TEST_F(Pkcs7Open, CodesInTheirOrderAndOneCodeForWrongKeysAndChangedEnvelopes) {
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "aes-128-cbc", nullptr);
    EVP_CIPHER* rc2 = EVP_CIPHER_fetch(nullptr, "rc2-cbc", nullptr);
    const Bytes data(100, 1);
    const Bytes good = OpenSslEnvelope(data, aes, {"recipient_utf8"}, false, kPkcs1);
    const Bytes oaep = OpenSslEnvelope(data, aes, {"recipient_utf8"}, false, kOaepSha256);
    const Bytes with_rc2 = OpenSslEnvelope(data, rc2, {"recipient_utf8"}, false, kPkcs1);
    EVP_CIPHER_free(aes);
    EVP_CIPHER_free(rc2);
    // The encrypted key is the one 256-byte OCTET STRING; the content's last block ends the file.
    auto changed = [](Bytes der, size_t at) {
        der[at] ^= 0x40;
        return der;
    };
    const Bytes marker = {0x04, 0x82, 0x01, 0x00};
    const size_t key_at = std::search(good.begin(), good.end(), marker.begin(), marker.end()) - good.begin() + 10;
    ASSERT_LT(key_at, good.size());
    const struct {
        const char* what;
        Bytes key, cert, enveloped;
        int32_t code;
    } rows[] = {
        {"certificate not a certificate", Bytes(10, 0x30), Bytes{0x30, 0x00}, good, QC_ERR_CERT_DECODE},
        {"key not a key", Bytes(10, 0x30), cert_, good, QC_ERR_KEY_INVALID},
        {"KCDSA key", ReadPkcs8("kcdsa_plain.der"), cert_, Bytes{0x30}, QC_ERR_KEY_INVALID},
        {"not an envelope", key_, cert_, cert_, QC_ERR_MALFORMED_DER},
        {"RC2 content", key_, cert_, with_rc2, QC_ERR_MALFORMED_DER},
        {"addressed to another", key_, ReadCert("ca"), good, QC_ERR_NOT_RECIPIENT},
        {"the wrong key", ReadPkcs8("ca_plain.der"), cert_, good, QC_ERR_DECRYPT},
        {"the wrong key, OAEP", ReadPkcs8("ca_plain.der"), cert_, oaep, QC_ERR_DECRYPT},
        {"encrypted key changed", key_, cert_, changed(good, key_at), QC_ERR_DECRYPT},
        {"last content block changed", key_, cert_, changed(good, good.size() - 1), QC_ERR_DECRYPT},
    };
    for (const auto& row : rows) {
        Bytes content;
        const int32_t code = Open(row.key, row.cert, row.enveloped, &content);
        // A stand-in content key meets valid padding about once in 256 envelopes, and enveloped
        // data has no integrity check: other bytes may then come out, never the original ones.
        if (row.code == QC_ERR_DECRYPT && code == QC_OK) {
            EXPECT_NE(content, data) << row.what;
            continue;
        }
        EXPECT_EQ(code, row.code) << row.what;
    }

    Binstr k(key_), c(cert_), e(good), out;
    BINSTR hollow{nullptr, 4};
    EXPECT_EQ(PKCS7_DecryptData(nullptr, &c.b, &e.b, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_DecryptData(&k.b, &hollow, &e.b, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_DecryptData(&k.b, &c.b, nullptr, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_DecryptData(&k.b, &c.b, &e.b, nullptr), QC_ERR_NULL_ARGUMENT);
}

}  // namespace
}  // namespace quillon::test
