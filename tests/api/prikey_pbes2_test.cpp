#include <gtest/gtest.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/pkcs8_fixtures.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

BINSTR View(const Bytes& b) { return BINSTR{const_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size())}; }

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// DER of a decoded PrivateKeyInfo, which this releases.
Bytes Encoded(PKCS8_PRIV_KEY_INFO* info) {
    unsigned char* out = nullptr;
    const int n = i2d_PKCS8_PRIV_KEY_INFO(info, &out);
    PKCS8_PRIV_KEY_INFO_free(info);
    Bytes result(out, out + std::max(n, 0));
    OPENSSL_free(out);
    return result;
}

// OpenSSL with SEED (legacy provider) in a library context of its own, released afterwards.
struct OpenSsl {
    OpenSsl()
        : context(OSSL_LIB_CTX_new()),
          legacy(OSSL_PROVIDER_load(context, "legacy")),
          standard(OSSL_PROVIDER_load(context, "default")) {}
    ~OpenSsl() {
        OSSL_PROVIDER_unload(legacy);
        OSSL_PROVIDER_unload(standard);
        OSSL_LIB_CTX_free(context);
    }
    OpenSsl(const OpenSsl&) = delete;
    OpenSsl& operator=(const OpenSsl&) = delete;

    // Its reading of an EncryptedPrivateKeyInfo: the PrivateKeyInfo DER, or nothing.
    Bytes Decrypt(const Bytes& der, const char* password) const {
        const unsigned char* p = der.data();
        X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
        if (!sig) return {};
        PKCS8_PRIV_KEY_INFO* info =
            PKCS8_decrypt_ex(sig, password, static_cast<int>(std::strlen(password)), context, nullptr);
        X509_SIG_free(sig);
        if (!info) return {};
        return Encoded(info);
    }

    OSSL_LIB_CTX* context;
    OSSL_PROVIDER* legacy;
    OSSL_PROVIDER* standard;
};

const Bytes kHmacSha1Oid = {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x07};

struct Prf { int32_t prf; Bytes oid; };
const Prf kPrfs[] = {
    {QC_PRF_HMAC_SHA1, kHmacSha1Oid},
    {QC_PRF_HMAC_SHA224, {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x08}},
    {QC_PRF_HMAC_SHA256, {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x09}},
    {QC_PRF_HMAC_SHA384, {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x0A}},
    {QC_PRF_HMAC_SHA512, {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x0B}},
};
struct Cipher { int32_t cipher; Bytes oid; };
const Cipher kCiphers[] = {
    {QC_CIPHER_SEED_CBC, {0x06, 0x08, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x04}},
    {QC_CIPHER_ARIA128_CBC, {0x06, 0x09, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x6E, 0x01, 0x01, 0x02}},
    {QC_CIPHER_ARIA192_CBC, {0x06, 0x09, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x6E, 0x01, 0x01, 0x07}},
    {QC_CIPHER_ARIA256_CBC, {0x06, 0x09, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x6E, 0x01, 0x01, 0x0C}},
    {QC_CIPHER_AES128_CBC, {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x02}},
    {QC_CIPHER_AES192_CBC, {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x16}},
    {QC_CIPHER_AES256_CBC, {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x2A}},
};

// Every PRF with every cipher: OpenSSL reads the key back, so does the library, the file's
// cipher index is the cipher's number, and the fields are the documented ones.
TEST(PrikeyEncryptPbes2, EveryPrfAndCipherReadByOpenSslAndBack) {
    const OpenSsl openssl;
    const Bytes plain = ReadPkcs8("user_plain.der");
    const BINSTR in = View(plain);
    const std::string path = ::testing::TempDir() + "quillon_pbes2_key.der";
    for (const Prf& prf : kPrfs) {
        for (const Cipher& cipher : kCiphers) {
            SCOPED_TRACE(std::to_string(prf.prf) + " " + std::to_string(cipher.cipher));
            Binstr encrypted, decrypted;
            ASSERT_EQ(PRIKEY_EncryptPbes2("new password", &in, prf.prf, cipher.cipher, 3, &encrypted.b), QC_OK);
            const Bytes e = encrypted.bytes();
            EXPECT_EQ(openssl.Decrypt(e, "new password"), plain);
            EXPECT_EQ(PRIKEY_Decrypt("new password", &encrypted.b, &decrypted.b), QC_OK);
            EXPECT_EQ(decrypted.bytes(), plain);
            EXPECT_EQ(Contains(e, prf.oid), prf.prf != QC_PRF_HMAC_SHA1) << "the default PRF is left out";
            EXPECT_TRUE(Contains(e, cipher.oid));
            // salt of 16, count 3: 04 10 <16 bytes> 02 01 03, and no keyLength after it.
            const Bytes count = {0x02, 0x01, 0x03};
            auto at = std::search(e.begin(), e.end(), count.begin(), count.end());
            ASSERT_NE(at, e.end());
            EXPECT_EQ(Bytes(at - 18, at - 16), (Bytes{0x04, 0x10}));
            EXPECT_NE(at[3], 0x02);
            FILE* file = std::fopen(path.c_str(), "wb");
            ASSERT_TRUE(file);
            std::fwrite(e.data(), 1, e.size(), file);
            std::fclose(file);
            EXPECT_EQ(MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(path.c_str(), "x"), cipher.cipher);
        }
    }
    std::remove(path.c_str());
}

TEST(PrikeyEncryptPbes2, ResultCodesInTheirDocumentedOrder) {
    const Bytes plain = ReadPkcs8("user_plain.der"), encrypted = ReadPkcs8("scheme73.der");
    const BINSTR p = View(plain), e = View(encrypted), empty{nullptr, 0}, short_plain{p.data, p.length - 1};
    const Bytes old = {0xEE};
    Binstr out(old);
    constexpr int32_t sha256 = QC_PRF_HMAC_SHA256, aes = QC_CIPHER_AES256_CBC;
    struct Case { const char* what; int32_t result; int32_t expected; };
    const Case cases[] = {
        {"null password", PRIKEY_EncryptPbes2(nullptr, &p, sha256, aes, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"null key", PRIKEY_EncryptPbes2("pw", nullptr, sha256, aes, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"null output", PRIKEY_EncryptPbes2("pw", &p, sha256, aes, 1, nullptr), QC_ERR_NULL_ARGUMENT},
        {"prf 0", PRIKEY_EncryptPbes2("pw", &e, 0, aes, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"prf the hash's NID", PRIKEY_EncryptPbes2("pw", &e, 94, aes, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"prf a cipher", PRIKEY_EncryptPbes2("pw", &e, aes, aes, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"cipher 0", PRIKEY_EncryptPbes2("pw", &e, sha256, 0, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"cipher DES-EDE3 (read only)", PRIKEY_EncryptPbes2("pw", &e, sha256, 112, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"cipher ARIA-128's row NID", PRIKEY_EncryptPbes2("pw", &e, sha256, 116, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"cipher a scheme", PRIKEY_EncryptPbes2("pw", &e, sha256, 89, 1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"count 0", PRIKEY_EncryptPbes2("pw", &e, sha256, aes, 0, &out.b), QC_ERR_NULL_ARGUMENT},
        {"count -1", PRIKEY_EncryptPbes2("pw", &e, sha256, aes, -1, &out.b), QC_ERR_NULL_ARGUMENT},
        {"count above the cap", PRIKEY_EncryptPbes2("pw", &e, sha256, aes, QC_PBES2_MAX_ITERATIONS + 1, &out.b),
         QC_ERR_NULL_ARGUMENT},
        {"no key data", PRIKEY_EncryptPbes2("", &empty, sha256, aes, 1, &out.b), QC_ERR_KEY_INVALID},
        {"an encrypted key", PRIKEY_EncryptPbes2("", &e, sha256, aes, 1, &out.b), QC_ERR_KEY_INVALID},
        {"header beyond length", PRIKEY_EncryptPbes2("pw", &short_plain, sha256, aes, 1, &out.b), QC_ERR_KEY_INVALID},
        {"empty password", PRIKEY_EncryptPbes2("", &p, sha256, aes, 1, &out.b), QC_ERR_ENCRYPT_KEY},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
    EXPECT_EQ(out.bytes(), old) << "no failure touched the output";
}

}  // namespace
