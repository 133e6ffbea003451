#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/mem.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "support/binstr_holder.h"
#include "support/pkcs8_fixtures.h"
#include "support/release_observer.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

std::string Cert(const std::string& name) { return std::string(QUILLON_FIXTURES) + "/certs/" + name + ".der"; }

BINSTR View(const Bytes& b) { return BINSTR{const_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size())}; }

struct KeyFile {
    const char* file;
    int32_t decrypt;  // PRIKEY_Decrypt and MEDIA_DISK_ReadPriKey
    const char* plain;
    int32_t index;    // MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index
};

const KeyFile kKeyFiles[] = {
    {"scheme73.der", QC_OK, "user_plain.der", 0},
    {"scheme70.der", QC_OK, "user_plain.der", 0},
    {"scheme89_rsa.der", QC_OK, "user_plain.der", 89},
    {"scheme89_kcdsa.der", QC_OK, "kcdsa_plain.der", 89},
    {"scheme73_kcdsa.der", QC_OK, "kcdsa_plain.der", 0},
    {"scheme73_trailing.der", QC_OK, "user_plain.der", 0},
    {"pbes2_seed.der", QC_OK, "user_plain.der", 70},
    {"pbes2_aria.der", QC_OK, "user_plain.der", 92},
    {"pbes2_aes.der", QC_OK, "user_plain.der", 109},
    {"pbes2_sha256prf.der", QC_OK, "user_plain.der", 92},
    // openssl's PBES2 by PRF (AES-256-CBC) and by cipher (HMAC-SHA256), and its PKCS#12 schemes.
    {"schemes/pbes2_sha1.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha224.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha256.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha384.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha512.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha256_aes_128.der", QC_OK, "user_plain.der", 109},
    {"schemes/pbes2_sha256_aes_192.der", QC_OK, "user_plain.der", 110},
    {"schemes/pbes2_sha256_aes_256.der", QC_OK, "user_plain.der", 111},
    {"schemes/pbes2_sha256_aria_128.der", QC_OK, "user_plain.der", 92},
    {"schemes/pbes2_sha256_aria_192.der", QC_OK, "user_plain.der", 117},
    {"schemes/pbes2_sha256_aria_256.der", QC_OK, "user_plain.der", 118},
    {"schemes/pbes2_sha256_des_ede3.der", QC_OK, "user_plain.der", 112},
    {"schemes/pbes2_sha256_seed.der", QC_OK, "user_plain.der", 70},
    {"schemes/pbe_sha1_3des.der", QC_OK, "user_plain.der", 113},
    {"schemes/pbe_sha1_rc2_128.der", QC_OK, "user_plain.der", 114},
    {"schemes/pbe_sha1_rc2_40.der", QC_OK, "user_plain.der", 115},
    // Built from hashlib and `openssl enc`, keyLength present in two.
    {"schemes/indep_sha256_seed.der", QC_OK, "user_plain.der", 70},
    {"schemes/indep_sha256_aria128.der", QC_OK, "user_plain.der", 92},
    {"schemes/indep_sha256_aria128_keylen.der", QC_OK, "user_plain.der", 92},
    {"schemes/indep_sha512_aria256_keylen.der", QC_OK, "user_plain.der", 118},
    {"schemes/indep_sha1_aria128_table.der", QC_OK, "user_plain.der", 92},
    // The right password on an EC key: not a wrong password.
    {"schemes/other_key_ec_pbes2.der", QC_ERR_KEY_INVALID, nullptr, 111},
    {"schemes/other_key_ec_3des.der", QC_ERR_KEY_INVALID, nullptr, 113},
    // Kinds not read, refused before any derivation.
    {"schemes/unread_keylen.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
    {"schemes/unread_keylen_aes256.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
    {"schemes/unread_prf_sha512_224.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
    {"schemes/unread_prf_plain_hash.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
    {"schemes/unread_cipher_rc2.der", QC_ERR_MALFORMED_DER, nullptr, 0},
    {"schemes/unread_cipher_aes_ecb.der", QC_ERR_MALFORMED_DER, nullptr, 0},
    {"schemes/unread_iv_short.der", QC_ERR_MALFORMED_DER, nullptr, 111},
    {"schemes/unread_scheme_rc4.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
    {"scheme73_huge_count.der", QC_ERR_DECRYPT_KEY, nullptr, 0},
    {"scheme73_rsa_short.der", QC_ERR_DECRYPT_KEY, nullptr, 0},
    {"user_plain.der", QC_ERR_MALFORMED_DER, nullptr, QC_ERR_MALFORMED_DER},
};

TEST(PrikeyDecrypt, EveryFixtureFromBytesAndFromDisk) {
    for (const KeyFile& k : kKeyFiles) {
        const Bytes encrypted = ReadPkcs8(k.file);
        const Bytes plain = k.plain ? ReadPkcs8(k.plain) : Bytes{};
        const Bytes before = {0xEE};
        Binstr from_bytes(before), from_disk(before);
        const BINSTR in = View(encrypted);
        EXPECT_EQ(PRIKEY_Decrypt(kKeyPassword, &in, &from_bytes.b), k.decrypt) << k.file;
        EXPECT_EQ(MEDIA_DISK_ReadPriKey(Pkcs8Path(k.file).c_str(), kKeyPassword, &from_disk.b), k.decrypt) << k.file;
        EXPECT_EQ(from_bytes.bytes(), k.decrypt == QC_OK ? plain : before) << k.file;
        EXPECT_EQ(from_disk.bytes(), k.decrypt == QC_OK ? plain : before) << k.file;
        EXPECT_EQ(MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(Pkcs8Path(k.file).c_str(), kKeyPassword), k.index) << k.file;
        // A wrong password leaves the output as it was, whatever the key inside.
        if (k.decrypt == QC_ERR_MALFORMED_DER) continue;
        EXPECT_EQ(PRIKEY_Decrypt("quillon-tesT", &in, &from_bytes.b), QC_ERR_DECRYPT_KEY) << k.file;
        EXPECT_EQ(from_bytes.bytes(), k.decrypt == QC_OK ? plain : before) << k.file;
    }
}

// The plaintext key handed to the caller is wiped whole when the caller releases it, though the
// caller never clears it.
TEST(PrikeyDecrypt, PlainKeyIsWipedWhenTheCallerReleasesIt) {
    const Bytes encrypted = ReadPkcs8("scheme73.der");
    const BINSTR in = View(encrypted);
    BINSTR out;
    BINSTR_Create(&out);
    ASSERT_EQ(PRIKEY_Decrypt(kKeyPassword, &in, &out), QC_OK);
    ASSERT_EQ(Bytes(out.data, out.data + out.length), ReadPkcs8("user_plain.der"));
    const void* block = out.data;
    const uint32_t length = out.length;
    ReleaseRecorder recorder;
    ASSERT_EQ(BINSTR_Delete(&out), QC_OK);
    const ReleasedBlock* released = recorder.Find(block);
    ASSERT_NE(released, nullptr) << "BINSTR_Delete must release through the allocator";
    EXPECT_EQ(released->size, length);
    EXPECT_TRUE(released->all_zero);
}

TEST(PrikeyExports, ResultCodesInTheirDocumentedOrder) {
    const Bytes key = ReadPkcs8("scheme73.der"), plain = ReadPkcs8("user_plain.der");
    const Bytes cert = ReadFile(Cert("user_utf8"));
    const BINSTR k = View(key), p = View(plain), c = View(cert), empty{nullptr, 0};
    const BINSTR short_key{k.data, k.length - 1}, short_plain{p.data, p.length - 1}, short_cert{c.data, c.length - 1};
    const std::string path = Pkcs8Path("scheme73.der");
    // PBES2 whose key derivation is not PBKDF2: a kind of file not read, not a wrong password.
    Bytes other_kdf = ReadPkcs8("pbes2_aria.der");
    const Bytes pbkdf2 = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05, 0x0C};
    auto at = std::search(other_kdf.begin(), other_kdf.end(), pbkdf2.begin(), pbkdf2.end());
    ASSERT_NE(at, other_kdf.end());
    at[10] = 0x0D;
    const BINSTR o = View(other_kdf);
    Binstr out;
    struct Case { const char* what; int32_t result; int32_t expected; };
    const Case cases[] = {
        {"decrypt null password", PRIKEY_Decrypt(nullptr, &k, &out.b), QC_ERR_NULL_ARGUMENT},
        {"decrypt null input", PRIKEY_Decrypt("", nullptr, &out.b), QC_ERR_NULL_ARGUMENT},
        {"decrypt null output", PRIKEY_Decrypt("", &k, nullptr), QC_ERR_NULL_ARGUMENT},
        {"decrypt empty password", PRIKEY_Decrypt("", &short_key, &out.b), QC_ERR_DECRYPT_KEY},
        {"decrypt header beyond length", PRIKEY_Decrypt(kKeyPassword, &short_key, &out.b), QC_ERR_MALFORMED_DER},
        {"decrypt no data", PRIKEY_Decrypt(kKeyPassword, &empty, &out.b), QC_ERR_MALFORMED_DER},
        {"decrypt a certificate", PRIKEY_Decrypt(kKeyPassword, &c, &out.b), QC_ERR_MALFORMED_DER},
        {"decrypt PBES2 with another derivation", PRIKEY_Decrypt(kKeyPassword, &o, &out.b), QC_ERR_MALFORMED_DER},
        {"encrypt null password", PRIKEY_Encrypt(nullptr, &p, &out.b), QC_ERR_NULL_ARGUMENT},
        {"encrypt null input", PRIKEY_Encrypt("x", nullptr, &out.b), QC_ERR_NULL_ARGUMENT},
        {"encrypt null output", PRIKEY_Encrypt("x", &p, nullptr), QC_ERR_NULL_ARGUMENT},
        {"encrypt header beyond length", PRIKEY_Encrypt("x", &short_plain, &out.b), QC_ERR_KEY_INVALID},
        {"encrypt an encrypted key", PRIKEY_Encrypt("x", &k, &out.b), QC_ERR_KEY_INVALID},
        {"encrypt empty password", PRIKEY_Encrypt("", &p, &out.b), QC_ERR_ENCRYPT_KEY},
        {"check null certificate", PRIKEY_CheckKeyPair(nullptr, &p), QC_ERR_NULL_ARGUMENT},
        {"check null key", PRIKEY_CheckKeyPair(&c, nullptr), QC_ERR_NULL_ARGUMENT},
        {"check certificate beyond length", PRIKEY_CheckKeyPair(&short_cert, &p), QC_ERR_KEY_INVALID},
        {"check key beyond length", PRIKEY_CheckKeyPair(&c, &short_plain), QC_ERR_KEY_INVALID},
        {"read cert null path", MEDIA_DISK_ReadCert(nullptr, &out.b), QC_ERR_NULL_ARGUMENT},
        {"read cert null output", MEDIA_DISK_ReadCert(path.c_str(), nullptr), QC_ERR_NULL_ARGUMENT},
        {"read key null path", MEDIA_DISK_ReadPriKey(nullptr, "x", &out.b), QC_ERR_NULL_ARGUMENT},
        {"read key null password", MEDIA_DISK_ReadPriKey(path.c_str(), nullptr, &out.b), QC_ERR_NULL_ARGUMENT},
        {"read key null output", MEDIA_DISK_ReadPriKey(path.c_str(), "x", nullptr), QC_ERR_NULL_ARGUMENT},
        {"read key missing file", MEDIA_DISK_ReadPriKey("/nonexistent/signPri.key", "", &out.b), QC_ERR_FILE_READ},
        {"read key empty password", MEDIA_DISK_ReadPriKey(path.c_str(), "", &out.b), QC_ERR_DECRYPT_KEY},
        {"index null path", MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(nullptr, "x"), QC_ERR_NULL_ARGUMENT},
        {"index null password", MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(path.c_str(), nullptr), QC_ERR_NULL_ARGUMENT},
        {"index missing file", MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index("/nonexistent", ""), QC_ERR_FILE_READ},
        {"index empty password", MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(path.c_str(), ""), QC_ERR_DECRYPT_KEY},
    };
    for (const Case& test : cases) EXPECT_EQ(test.result, test.expected) << test.what;
    EXPECT_EQ(out.b.data, nullptr) << "no failure touched the output";
}

TEST(PrikeyEncrypt, WritesTheDocumentedSchemesAndDecryptsBackByteForByte) {
    struct Case { const char* plain; Bytes oid; };
    const Case cases[] = {{"user_plain.der", {0x06, 0x08, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x0F}},
                          {"kcdsa_plain.der", {0x06, 0x09, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x04, 0x02}},
                          {"rsa_attrs_plain.der", {0x06, 0x08, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x0F}}};
    for (const Case& c : cases) {
        const Bytes plain = ReadPkcs8(c.plain);
        const BINSTR in = View(plain);
        Binstr encrypted, again, decrypted;
        ASSERT_EQ(PRIKEY_Encrypt("new password", &in, &encrypted.b), QC_OK) << c.plain;
        ASSERT_EQ(PRIKEY_Encrypt("new password", &in, &again.b), QC_OK);
        const Bytes e = encrypted.bytes();
        // SEQUENCE { SEQUENCE { OID, 30 0E 04 08 salt 02 02 08 00 }, OCTET STRING }
        const size_t at = 4 + 2;
        ASSERT_GT(e.size(), at + c.oid.size() + 16);
        EXPECT_EQ(Bytes(e.begin() + at, e.begin() + at + c.oid.size()), c.oid) << c.plain;
        const auto params = e.begin() + at + c.oid.size();
        EXPECT_EQ(Bytes(params, params + 4), (Bytes{0x30, 0x0E, 0x04, 0x08}));
        EXPECT_EQ(Bytes(params + 12, params + 16), (Bytes{0x02, 0x02, 0x08, 0x00}));
        EXPECT_NE(encrypted.bytes(), again.bytes()) << "a fresh salt each time";
        EXPECT_EQ(PRIKEY_Decrypt("new password", &encrypted.b, &decrypted.b), QC_OK);
        EXPECT_EQ(decrypted.bytes(), plain) << c.plain;
    }
}

TEST(MediaDisk, ReadsRegularFilesOnly) {
    const std::string dir = ::testing::TempDir() + "quillon_media_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const std::string empty = dir + "/empty", fifo = dir + "/fifo";
    std::fclose(std::fopen(empty.c_str(), "wb"));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Binstr out;
    ASSERT_EQ(MEDIA_DISK_ReadCert(Cert("user_utf8").c_str(), &out.b), QC_OK);
    EXPECT_EQ(out.bytes(), ReadFile(Cert("user_utf8")));
    for (const std::string& path : {empty, fifo, dir, std::string("/dev/null"), dir + "/missing"}) {
        BINSTR_SetData(reinterpret_cast<const uint8_t*>("abc"), 3, &out.b);
        EXPECT_EQ(MEDIA_DISK_ReadCert(path.c_str(), &out.b), QC_ERR_FILE_READ) << path;
        EXPECT_EQ(out.b.data, nullptr) << "emptied first: " << path;
        EXPECT_EQ(MEDIA_DISK_ReadPriKey(path.c_str(), kKeyPassword, &out.b), QC_ERR_FILE_READ) << path;
        EXPECT_EQ(MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(path.c_str(), kKeyPassword), QC_ERR_FILE_READ) << path;
    }
    unlink(empty.c_str());
    unlink(fifo.c_str());
    rmdir(dir.c_str());
}

EVP_PKEY* UserKey() {
    FILE* f = std::fopen((std::string(QUILLON_FIXTURES) + "/certs/keys/user.key.pem").c_str(), "r");
    EVP_PKEY* key = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    return key;
}

Bytes OpenSslRsa(EVP_PKEY* key, bool encrypt, const Bytes& in) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    size_t length = 512;
    Bytes out(length);
    const bool ok = (encrypt ? EVP_PKEY_encrypt_init(ctx) : EVP_PKEY_decrypt_init(ctx)) == 1 &&
                    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
                    (encrypt ? EVP_PKEY_encrypt(ctx, out.data(), &length, in.data(), in.size())
                             : EVP_PKEY_decrypt(ctx, out.data(), &length, in.data(), in.size())) == 1;
    EVP_PKEY_CTX_free(ctx);
    out.resize(ok ? length : 0);
    return out;
}

// The key loaded from a PKCS#8 file works both ways against OpenSSL's reading of the same key.
TEST(PrikeyDecryptToRsaKey, LoadsAWholeKeyUsableForPrivateAndPublicOperations) {
    const Bytes encrypted = ReadPkcs8("scheme73.der");
    const auto* password = reinterpret_cast<const uint8_t*>(kKeyPassword);
    const size_t password_length = std::strlen(kKeyPassword);
    quillon::MemBytes out;
    const auto out_bytes = [&] { return Bytes(out.data, out.data + out.length); };
    quillon::RsaKey* key = nullptr;
    const auto load = [&](const Bytes& der, size_t password_bytes) {
        return quillon::PRIKEY_DecryptToRsaKey(password, password_bytes, der.data(), der.size(), &out, &key);
    };
    ASSERT_EQ(load(encrypted, password_length), quillon::KeyError::kNone);
    quillon::RsaKeyPtr owned(key);
    EXPECT_EQ(out_bytes(), ReadPkcs8("user_plain.der"));
    EXPECT_EQ(key->present, 15);
    EVP_PKEY* ossl = UserKey();
    ASSERT_NE(ossl, nullptr);
    const Bytes message = {'s', 'e', 's', 's', 'i', 'o', 'n', ' ', 'k', 'e', 'y'};
    const Bytes to_us = OpenSslRsa(ossl, true, message);
    Bytes plain(256);
    uint32_t length = 0;
    ASSERT_GT(quillon::RSA_PrivateDecrypt(key, plain.data(), &length, to_us.data(), static_cast<uint32_t>(to_us.size()),
                                          quillon::kRsaPkcs1Padding), 0);
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + length), message);
    Bytes cipher(256);
    ASSERT_GT(quillon::RSA_PublicEncrypt(key, cipher.data(), &length, message.data(), static_cast<uint32_t>(message.size())), 0);
    cipher.resize(length);
    cipher.insert(cipher.begin(), 256 - length, 0);
    EXPECT_EQ(OpenSslRsa(ossl, false, cipher), message);
    EVP_PKEY_free(ossl);
    // Refilling a caller's key; KCDSA refused with the key and the output untouched.
    ASSERT_EQ(load(encrypted, password_length), quillon::KeyError::kNone);
    const Bytes kcdsa = ReadPkcs8("scheme89_kcdsa.der");
    EXPECT_EQ(load(kcdsa, password_length), quillon::KeyError::kAlgorithm);
    EXPECT_EQ(key->present, 15);
    EXPECT_EQ(out_bytes(), ReadPkcs8("user_plain.der"));
    EXPECT_EQ(load(encrypted, 0), quillon::KeyError::kDecrypt);
}

}  // namespace
