#include <gtest/gtest.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "core/mem.h"
#include "cipher/kdf.h"
#include "cipher/openssl_oracle.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "rsa/rsa_der.h"
#include "rsa/rsa_key.h"
#include "support/der_bytes.h"
#include "support/openssl_peer.h"
#include "support/pkcs8_fixtures.h"

namespace quillon {
namespace {

using test::Buffer;
using test::Hex;
using test::kKeyPassword;
using test::ReadPkcs8;

const uint8_t* Password() { return reinterpret_cast<const uint8_t*>(kKeyPassword); }
const size_t kPasswordLength = std::strlen(kKeyPassword);

PrivateKeyInfoPtr DecodeKey(const Buffer& der) {
    PrivateKeyInfo* key = nullptr;
    return PrivateKeyInfoPtr(PKCS8_DecodeBytes(der.data(), der.size(), &key) ? key : nullptr);
}

EncryptedPrivateKeyInfoPtr DecodeEpki(const Buffer& der) {
    EncryptedPrivateKeyInfo* epki = nullptr;
    return EncryptedPrivateKeyInfoPtr(EPKI_DecodeBytes(der.data(), der.size(), &epki) ? epki : nullptr);
}

Buffer Encode(const PrivateKeyInfo* key) {
    uint8_t* der = nullptr;
    const int32_t length = PKCS8_EncodeBytes(key, &der);
    const MemBlock owned(der);
    return length > 0 ? Buffer(der, der + length) : Buffer{};
}

Buffer Encode(const EncryptedPrivateKeyInfo* epki) {
    DerElementPtr element(DER_New());
    return EPKI_Encode(epki, element.get()) ? quillon::test::DerBytes(element.get()) : Buffer{};
}

Buffer Decrypt(const EncryptedPrivateKeyInfo* epki, const char* password = kKeyPassword) {
    PrivateKeyInfo* key = nullptr;
    if (!PKCS8_Decrypt(epki, &key, reinterpret_cast<const uint8_t*>(password), std::strlen(password))) return {};
    PrivateKeyInfoPtr owned(key);
    return Encode(key);
}

// A password as the PKCS#12 derivation takes it: 00 b pairs closed by 00 00.
Buffer Widened(const Buffer& password) {
    Buffer wide;
    for (uint8_t b : password) wide.insert(wide.end(), {0, b});
    wide.insert(wide.end(), {0, 0});
    return wide;
}

// The scheme's key and IV the way an independent reader gets them: OpenSSL's SHA-1 for PBKDF1,
// OpenSSL's PKCS#12 derivation on the password widened to 00 b pairs.
std::pair<Buffer, Buffer> OpenSslKeyAndIv(int scheme, const Buffer& salt, int iterations) {
    if (scheme == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC) {
        Buffer wide = Widened(Buffer(Password(), Password() + kPasswordLength));
        Buffer key(16), iv(16);
        for (auto [id, out] : {std::pair{1, &key}, {2, &iv}})
            EXPECT_EQ(PKCS12_key_gen_uni(wide.data(), static_cast<int>(wide.size()), const_cast<uint8_t*>(salt.data()),
                                         static_cast<int>(salt.size()), id, iterations, 16, out->data(), EVP_sha1()),
                      1);
        return {key, iv};
    }
    Buffer t(Password(), Password() + kPasswordLength);
    t.insert(t.end(), salt.begin(), salt.end());
    t = test::OpenSslSha1(t);
    for (int k = 2; k <= iterations; ++k) t = test::OpenSslSha1(t);
    Buffer iv = scheme == NID_SEED_CBC ? test::Text("5820463917352804") : test::OpenSslSha1({t.begin() + 16, t.end()});
    iv.resize(16);
    return {Buffer(t.begin(), t.begin() + 16), iv};
}

// The password form of the PKCS#12 schemes other writers use: OpenSSL's UTF-8 derivation, on
// UTF-8 text and on bytes that are not UTF-8 (which it widens as they are).
TEST(Pkcs12DeriveKey, PasswordFormMatchesOpenSslUtf8Derivation) {
    const Buffer salt = Hex("0102030405060708");
    const Buffer passwords[] = {
        {},
        test::Text("quillon-test"),
        Hex("EBB984EBB080EBB288ED98B8"),  // Korean, UTF-8
        Hex("BAF1B9D0B9F8C8A3"),          // the same in EUC-KR: not UTF-8
        Hex("F09F9491616263"),            // above U+FFFF: a surrogate pair
        Hex("C080"),                      // an overlong NUL: not UTF-8
        Hex("EDA080"),                    // a surrogate code point: not UTF-8
        Hex("F4908080"),                  // above U+10FFFF: not UTF-8
        Hex("E282"),                      // cut short
    };
    for (const Buffer& password : passwords) {
        Buffer bmp(2 * password.size() + 2);
        bmp.resize(PKCS12_PasswordToBmp(test::Ptr(password), password.size(), bmp.data()));
        std::string text(password.begin(), password.end());
        // Every hash of the table (the MAC derivations), one block and several.
        const std::pair<int, const EVP_MD*> digests[] = {{NID_SHA1, EVP_sha1()},     {NID_SHA224, EVP_sha224()},
                                                         {NID_SHA256, EVP_sha256()}, {NID_SHA384, EVP_sha384()},
                                                         {NID_SHA512, EVP_sha512()}};
        for (auto [nid, md] : digests) {
            for (auto [id, length] : {std::pair{1, 24}, {2, 8}, {3, 64}}) {
                Buffer ours(length), theirs(length);
                ASSERT_EQ(PKCS12_DeriveKeyBmp(DIGEST_FromNid(nid), bmp.data(), bmp.size(), salt.data(), salt.size(), id,
                                              7, length, ours.data()),
                          1);
                ASSERT_EQ(PKCS12_key_gen_utf8(text.c_str(), static_cast<int>(text.size()),
                                              const_cast<uint8_t*>(salt.data()), static_cast<int>(salt.size()), id, 7,
                                              length, theirs.data(), md),
                          1);
                EXPECT_EQ(ours, theirs) << "password " << test::ToHex(password) << " hash " << nid;
            }
        }
    }
}

struct SchemeFixture {
    const char* encrypted;
    const char* plain;
    int scheme;
    const char* salt;
    int iterations;
};

const SchemeFixture kSchemeFixtures[] = {
    {"scheme73.der", "user_plain.der", NID_PBE_WITH_SHA1_AND_SEED_CBC, "0102030405060708", 2048},
    {"scheme70.der", "user_plain.der", NID_SEED_CBC, "A1B2C3D4E5F60718", 2048},
    {"scheme89_rsa.der", "user_plain.der", NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC, "1122334455667788", 2048},
    {"scheme73_trailing.der", "user_plain.der", NID_PBE_WITH_SHA1_AND_SEED_CBC, "0F1E2D3C4B5A6978", 1024},
    {"scheme89_kcdsa.der", "kcdsa_plain.der", NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC, "99AABBCCDDEEFF00", 2048},
    {"scheme73_kcdsa.der", "kcdsa_plain.der", NID_PBE_WITH_SHA1_AND_SEED_CBC, "5566778899AABBCC", 2048},
};

// The fixtures were made by an independent script: decrypting them gives the plain key, and
// encrypting the plain key with the same salt and count gives them back byte for byte.
TEST(Pkcs8Schemes, IndependentFixturesBothWays) {
    for (const SchemeFixture& f : kSchemeFixtures) {
        const Buffer encrypted = ReadPkcs8(f.encrypted), plain = ReadPkcs8(f.plain);
        EncryptedPrivateKeyInfoPtr epki = DecodeEpki(encrypted);
        ASSERT_TRUE(epki) << f.encrypted;
        EXPECT_EQ(Decrypt(epki.get()), plain) << f.encrypted;
        EXPECT_TRUE(Decrypt(epki.get(), "quillon-tesT").empty()) << f.encrypted;
        PrivateKeyInfoPtr key = DecodeKey(plain);
        ASSERT_TRUE(key);
        const Buffer salt = Hex(f.salt);
        EncryptedPrivateKeyInfo* made = nullptr;
        ASSERT_EQ(PKCS8_Encrypt(key.get(), &made, Password(), kPasswordLength, salt.data(), salt.size(),
                                static_cast<uint32_t>(f.iterations), f.scheme), 1);
        EncryptedPrivateKeyInfoPtr owned(made);
        const Buffer written = Encode(made);
        ASSERT_LE(written.size(), encrypted.size());
        EXPECT_EQ(written, Buffer(encrypted.begin(), encrypted.begin() + written.size())) << f.encrypted;
    }
}

TEST(Pkcs8Schemes, RandomSaltRoundTripsAndOpenSslReadsBack) {
    RsaKeyPtr small(RSAKEY_New());
    BigNumPtr e(BIGNUM_New());
    ASSERT_TRUE(BIGNUM_SetWord(e.get(), 65537) && RSAKEY_Generate(small.get(), e.get(), 256));
    PrivateKeyInfoPtr small_key(PKCS8_New());
    small_key->algorithm = OBJ_ValueFromNid(NID_RSA_ENCRYPTION);
    small_key->rsaKey = small.release();
    PrivateKeyInfoPtr rsa = DecodeKey(ReadPkcs8("user_plain.der")), kcdsa = DecodeKey(ReadPkcs8("kcdsa_plain.der"));
    // The small key's PrivateKeyInfo is under 256 bytes: its length takes one octet.
    for (const PrivateKeyInfo* key : {rsa.get(), kcdsa.get(), small_key.get()}) {
        const Buffer plain = Encode(key);
        ASSERT_FALSE(plain.empty());
        for (int scheme : {NID_PBE_WITH_SHA1_AND_SEED_CBC, NID_SEED_CBC, NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC}) {
            EncryptedPrivateKeyInfo* made = nullptr;
            ASSERT_EQ(PKCS8_Encrypt(key, &made, Password(), kPasswordLength, nullptr, 0, 100, scheme), 1);
            EncryptedPrivateKeyInfoPtr epki(made);
            EXPECT_EQ(EPKI_SchemeNid(made), scheme);
            EXPECT_EQ(Decrypt(made), plain) << scheme << " " << plain.size();
            PbeParametersPtr params(EPKI_GetPbeParams(made));
            ASSERT_TRUE(params);
            EXPECT_EQ(params->salt->length, 8u);
            EXPECT_EQ(BIGNUM_GetWord(params->iterations), 100u);
            const Buffer salt(params->salt->data, params->salt->data + 8);
            const auto [k, iv] = OpenSslKeyAndIv(scheme, salt, 100);
            const Buffer cipher(made->encryptedData->data, made->encryptedData->data + made->encryptedData->length);
            EXPECT_EQ(test::OpenSslCbc("SEED-CBC", false, k, iv, cipher), plain) << scheme;
        }
    }
    EncryptedPrivateKeyInfo* made = nullptr;
    for (int scheme : {NID_PBES2, NID_OID_ARIA_CBC, 0})
        EXPECT_EQ(PKCS8_Encrypt(rsa.get(), &made, Password(), kPasswordLength, nullptr, 0, 100, scheme), 0);
    for (uint32_t iterations : {0u, kPkcs8MaxIterations + 1})
        EXPECT_EQ(PKCS8_Encrypt(rsa.get(), &made, Password(), kPasswordLength, nullptr, 0, iterations, 73), 0);
    EXPECT_EQ(PKCS8_Encrypt(rsa.get(), &made, Password(), 0, nullptr, 0, 100, 73), 0);
    EXPECT_EQ(made, nullptr);
}

Buffer Patch(Buffer der, const Buffer& from, const Buffer& to) {
    auto at = std::search(der.begin(), der.end(), from.begin(), from.end());
    EXPECT_NE(at, der.end());
    std::copy(to.begin(), to.end(), at);
    return der;
}

TEST(Pkcs8Codec, DecodesWhatItShouldAndReencodesInItsOwnForm) {
    const Buffer plain = ReadPkcs8("user_plain.der"), attrs = ReadPkcs8("rsa_attrs_plain.der");
    const Buffer rsa_oid = Hex("06092A864886F70D010101");
    struct Case { const char* what; Buffer der; bool decodes; Buffer reencoded; };
    const Case cases[] = {
        {"plain RSA", plain, true, plain},
        {"version 1 writes 0", Patch(plain, Hex("020100300D"), Hex("020101300D")), true, plain},
        {"two attributes in order", attrs, true, attrs},
        {"KCDSA", ReadPkcs8("kcdsa_plain.der"), true, ReadPkcs8("kcdsa_plain.der")},
        {"fewer than nine RSA numbers", ReadPkcs8("rsa_short_plain.der"), false, {}},
        {"empty attribute set", ReadPkcs8("rsa_empty_attrs_plain.der"), false, {}},
        {"x without inverse mod q", ReadPkcs8("kcdsa_no_inverse_plain.der"), false, {}},
        {"unknown algorithm", Patch(plain, rsa_oid, Hex("06092A864886F70D010102")), false, {}},
        {"truncated", Buffer(plain.begin(), plain.end() - 1), false, {}},
    };
    for (const Case& c : cases) {
        PrivateKeyInfoPtr key = DecodeKey(c.der);
        EXPECT_EQ(key != nullptr, c.decodes) << c.what;
        if (key) {
            EXPECT_EQ(Encode(key.get()), c.reencoded) << c.what;
        }
    }
    PrivateKeyInfoPtr key = DecodeKey(attrs);
    ASSERT_TRUE(key);
    ASSERT_EQ(PLIST_Count(key->attributes), 2);
    const auto* first = static_cast<const Pkcs8Attribute*>(PLIST_Get(key->attributes, 0));
    EXPECT_EQ(OBJ_NidFromValue(first->type), NID_RANDOM_NUM);
    EXPECT_EQ(first->single, 0u);
    const auto* value = static_cast<const AsnValue*>(PLIST_Get(static_cast<PointerList*>(first->values), 0));
    EXPECT_EQ(value->type, 0x03u);
    EXPECT_EQ(value->length, 21u);
    // A single value is written as a set of one.
    auto* second = static_cast<Pkcs8Attribute*>(PLIST_Get(key->attributes, 1));
    auto* list = static_cast<PointerList*>(second->values);
    second->values = PLIST_Get(list, 0);
    second->single = 1;
    PLIST_Free(list);
    EXPECT_EQ(Encode(key.get()), attrs);
    // The decoded RSA key carries every number and its is a private key.
    PrivateKeyInfoPtr rsa = DecodeKey(plain);
    EXPECT_EQ(rsa->rsaKey->present, kRsaHasN | kRsaHasE | kRsaHasD | kRsaHasCrt);
    EXPECT_EQ(rsa->rsaKey->is_private, 1);
    // Decoding into a key already read replaces it: nothing of the old one stays behind.
    PrivateKeyInfo* reused = rsa.get();
    const long live = MEM_LiveBlocks();
    ASSERT_EQ(PKCS8_DecodeBytes(plain.data(), plain.size(), &reused), 1);
    EXPECT_EQ(reused, rsa.get());
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

TEST(Pkcs8Decrypt, CipherIndexReadabilityAndCountCap) {
    struct Case { const char* file; int index; bool readable; bool readable_without_cipher; };
    const Case cases[] = {
        {"scheme73.der", 0, true, true},          {"scheme70.der", 0, true, true},
        {"scheme89_rsa.der", 89, true, true},     {"pbes2_seed.der", NID_SEED_CBC, true, true},
        {"pbes2_aria.der", NID_OID_ARIA_CBC, true, true}, {"pbes2_aes.der", NID_AES_128_CBC, true, true},
        {"pbes2_sha256prf.der", NID_OID_ARIA_CBC, true, true},
        {"schemes/pbe_sha1_rc2_40.der", NID_PBE_SHA1_RC2_40, true, true},
        {"schemes/unread_iv_short.der", NID_AES_256_CBC, false, true},
        {"schemes/unread_cipher_rc2.der", 0, false, true},
        {"schemes/unread_keylen.der", NID_OID_ARIA_CBC, false, false},
    };
    for (const Case& c : cases) {
        EncryptedPrivateKeyInfoPtr epki = DecodeEpki(ReadPkcs8(c.file));
        ASSERT_TRUE(epki) << c.file;
        EXPECT_EQ(PKCS8_CipherIndex(epki.get(), Password(), kPasswordLength), c.index) << c.file;
        EXPECT_EQ(PKCS8_CipherIndex(epki.get(), Password(), 0), 0) << c.file;
        EXPECT_EQ(PKCS8_SchemeReadable(epki.get(), true), c.readable) << c.file;
        EXPECT_EQ(PKCS8_SchemeReadable(epki.get(), false), c.readable_without_cipher) << c.file;
        if (c.readable) {
            EXPECT_EQ(Decrypt(epki.get()), ReadPkcs8("user_plain.der")) << c.file;
        }
    }
    // A count of 2^31 - 1 is refused at once rather than run for an hour.
    EncryptedPrivateKeyInfoPtr huge = DecodeEpki(ReadPkcs8("scheme73_huge_count.der"));
    const auto start = std::chrono::steady_clock::now();
    PrivateKeyInfo* out = nullptr;
    EXPECT_EQ(PKCS8_Decrypt(huge.get(), &out, Password(), kPasswordLength), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(out, nullptr);
}

TEST(RsaDer, PrivateAndPublicKeysRoundTrip) {
    PrivateKeyInfoPtr key = DecodeKey(ReadPkcs8("user_plain.der"));
    for (bool is_private : {true, false}) {
        DerElementPtr element(DER_New());
        ASSERT_EQ(is_private ? RSA_EncodePrivateKey(key->rsaKey, element.get()) : RSA_EncodePublicKey(key->rsaKey, element.get()), 1);
        uint8_t* bytes = nullptr;
        const int32_t n = DER_ToBytes(element.get(), &bytes);
        RsaKeyPtr back(is_private ? RSA_DecodePrivateKey(bytes, n) : RSA_DecodePublicKey(bytes, n));
        MEM_Free(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(BIGNUM_Cmp(back->n, key->rsaKey->n), 0);
        EXPECT_EQ(back->present, is_private ? 15 : 3);
    }
    RsaKeyPtr pub(RSA_DecodePublicKey(nullptr, 0));
    EXPECT_FALSE(pub);
    DerElementPtr element(DER_New());
    EXPECT_EQ(RSA_EncodePrivateKey(nullptr, element.get()), 0);
}

}  // namespace
}  // namespace quillon
