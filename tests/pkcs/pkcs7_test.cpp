// PKCS7_EncryptData against OpenSSL: what we envelope, OpenSSL's PKCS7_decrypt opens with the
// recipient's key, finding the recipient by the certificate's own issuer and serial bytes.
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pkcs/pkcs7.h"
#include "quilloncrypto.h"
#include "support/cert_fixtures.h"
#include "support/der_bytes.h"
#include "support/openssl_peer.h"

namespace {

using quillon::test::ByteVec;
using quillon::test::OsslParse;
using quillon::test::ReadCert;
using quillon::test::Tlv;

struct PkeyDeleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

Pkey ReadKey(const std::string& name) {
    BIO* bio = BIO_new_file((std::string(QUILLON_FIXTURES) + "/certs/keys/" + name).c_str(), "r");
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    return Pkey(key);
}

// Library output as a fresh vector; the BINSTR is released.
int32_t Envelope(int32_t mode, const ByteVec& cert, const ByteVec& data, ByteVec& out) {
    BINSTR c{const_cast<uint8_t*>(cert.data()), static_cast<uint32_t>(cert.size())};
    BINSTR d{data.empty() ? nullptr : const_cast<uint8_t*>(data.data()), static_cast<uint32_t>(data.size())};
    BINSTR o{};
    const int32_t result = PKCS7_EncryptData(mode, &c, &d, &o);
    out.assign(o.data, o.data + o.length);
    BINSTR_Delete(&o);
    return result;
}

struct Pkcs7Deleter {
    void operator()(PKCS7* p) const { PKCS7_free(p); }
};
using P7 = std::unique_ptr<PKCS7, Pkcs7Deleter>;

// Mode 0 output is the bare EnvelopedData: OpenSSL reads it inside a ContentInfo we add.
P7 ParseAsContentInfo(int32_t mode, const ByteVec& der) {
    const ByteVec ci = mode == 1 ? der : Tlv(0x30, quillon::test::Concat({Tlv(0x06, quillon::test::kOidPkcs7EnvelopedData), Tlv(0xA0, der)}));
    const unsigned char* p = ci.data();
    return P7(d2i_PKCS7(nullptr, &p, static_cast<long>(ci.size())));
}

ByteVec OpenSslDecrypt(PKCS7* p7, EVP_PKEY* key, X509* cert) {
    BIO* out = BIO_new(BIO_s_mem());
    ByteVec plain;
    if (PKCS7_decrypt(p7, key, cert, out, 0) == 1) {
        char* data = nullptr;
        const long n = BIO_get_mem_data(out, &data);
        plain.assign(data, data + n);
    } else {
        plain = {0xDE, 0xAD};  // never a test input
    }
    BIO_free(out);
    return plain;
}

ByteVec I2d(int (*i2d)(const void*, unsigned char**), const void* object) {
    unsigned char* der = nullptr;
    const int n = i2d(object, &der);
    ByteVec out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
}

bool Contains(const ByteVec& haystack, const ByteVec& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class Pkcs7Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // SEED-CBC lives in the legacy provider; the providers stay loaded for the process.
        static OSSL_PROVIDER* providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
        ASSERT_TRUE(providers[0] && providers[1]);
    }
};

TEST_F(Pkcs7Test, OpenSslOpensEveryRecipientSizeAndMode) {
    struct Recipient {
        const char* cert;
        const char* key;
        size_t key_bytes;
    } recipients[] = {
        {"user_sha1", "user.key.pem", 256},          // PrintableString issuer
        {"recipient_utf8", "user.key.pem", 256},     // UTF8String Hangul issuer
        {"recipient_bmp", "user.key.pem", 256},      // BMPString issuer
        {"recipient_multi", "user.key.pem", 256},    // two-valued RDN in the issuer
        {"user_strings", "user.key.pem", 256},       // TeletexString, multi-valued issuer, negative serial
        {"recipient_1024", "small.key.pem", 128},
    };
    ByteVec large(100 * 1024);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 131 + 7);
    const ByteVec inputs[] = {{}, {0x42}, ByteVec(16, 0x5A), large};

    for (const Recipient& r : recipients) {
        const ByteVec cert_der = ReadCert(r.cert);
        auto cert = OsslParse(cert_der);
        Pkey key = ReadKey(r.key);
        ASSERT_TRUE(cert && key) << r.cert;
        const ByteVec issuer = I2d(reinterpret_cast<int (*)(const void*, unsigned char**)>(i2d_X509_NAME),
                                   X509_get_issuer_name(cert.get()));
        const ByteVec serial = I2d(reinterpret_cast<int (*)(const void*, unsigned char**)>(i2d_ASN1_INTEGER),
                                   X509_get0_serialNumber(cert.get()));
        for (const ByteVec& data : inputs) {
            for (int32_t mode : {0, 1}) {
                SCOPED_TRACE(std::string(r.cert) + " size " + std::to_string(data.size()) + " mode " +
                             std::to_string(mode));
                ByteVec der;
                ASSERT_EQ(Envelope(mode, cert_der, data, der), QC_OK);
                // The certificate's own bytes, whatever its string types.
                EXPECT_TRUE(Contains(der, Tlv(0x30, quillon::test::Concat({issuer, serial}))));
                P7 p7 = ParseAsContentInfo(mode, der);
                ASSERT_TRUE(p7);
                PKCS7_RECIP_INFO* ri = sk_PKCS7_RECIP_INFO_value(p7->d.enveloped->recipientinfo, 0);
                EXPECT_EQ(static_cast<size_t>(ri->enc_key->length), r.key_bytes);
                EXPECT_EQ(static_cast<size_t>(p7->d.enveloped->enc_data->enc_data->length), data.size() / 16 * 16 + 16);
                EXPECT_EQ(OpenSslDecrypt(p7.get(), key.get(), cert.get()), data);
            }
        }
    }
}

TEST_F(Pkcs7Test, ResultCodes) {
    const ByteVec cert = ReadCert("user_sha1");
    ByteVec out;
    BINSTR c{const_cast<uint8_t*>(cert.data()), static_cast<uint32_t>(cert.size())};
    BINSTR d{}, o{};
    uint8_t byte = 0;
    BINSTR dangling{nullptr, 5};
    EXPECT_EQ(PKCS7_EncryptData(1, nullptr, &d, &o), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_EncryptData(1, &c, nullptr, &o), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_EncryptData(1, &c, &d, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PKCS7_EncryptData(1, &c, &dangling, &o), QC_ERR_NULL_ARGUMENT);
    BINSTR not_cert{&byte, 1}, no_bytes{nullptr, 0};
    EXPECT_EQ(PKCS7_EncryptData(1, &not_cert, &d, &o), QC_ERR_CERT_DECODE);
    EXPECT_EQ(PKCS7_EncryptData(1, &no_bytes, &d, &o), QC_ERR_CERT_DECODE);
    // A certificate cut short: its header claims more than the record holds.
    BINSTR cut{c.data, c.length - 1};
    EXPECT_EQ(PKCS7_EncryptData(1, &cut, &d, &o), QC_ERR_CERT_DECODE);
    // KCDSA: no RSA key to encrypt the content key with.
    EXPECT_EQ(Envelope(1, ReadCert("user_kcdsa"), {1}, out), QC_ERR_RSA_ENCRYPT);
    EXPECT_EQ(o.data, nullptr);
}

// Our decoders read back what the encoders write, the exact issuer and serial included.
TEST_F(Pkcs7Test, DecodersReadTheEnvelope) {
    const ByteVec cert = ReadCert("user_strings");
    ByteVec der;
    ASSERT_EQ(Envelope(1, cert, ByteVec(33, 9), der), QC_OK);
    quillon::DerElementPtr element(quillon::DER_Parse(der.data(), der.size()));
    quillon::ContentInfo* info = nullptr;
    ASSERT_TRUE(element && quillon::CONTENTINFO_Decode(element.get(), &info));
    quillon::ContentInfoPtr owned(info);
    quillon::DerElementPtr again(quillon::DER_New());
    ASSERT_TRUE(quillon::CONTENTINFO_Encode(info, again.get()));
    EXPECT_EQ(quillon::test::DerBytes(again.get()), der);
    // The content is optional: a type alone is a whole ContentInfo.
    const ByteVec bare = {0x30, 0x0B, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
    quillon::DerElementPtr type_only(quillon::DER_Parse(bare.data(), bare.size()));
    quillon::ContentInfo* bare_info = nullptr;
    ASSERT_TRUE(type_only && quillon::CONTENTINFO_Decode(type_only.get(), &bare_info));
    EXPECT_EQ(quillon::ContentInfoPtr(bare_info)->content, nullptr);
}

}  // namespace
