// PFX_Import and PFX_Export against OpenSSL's PKCS#12 code: what it writes under every key,
// certificate and MAC algorithm we read, what we write it reads, and damaged files fail cleanly.
#include <gtest/gtest.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/fixture_file.h"
#include "support/pkcs8_fixtures.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr char kPassword[] = "quillon-test";

// RC2 and SEED live in the legacy provider; the providers stay loaded for the process.
void LoadProviders() {
    static OSSL_PROVIDER* providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
    ASSERT_TRUE(providers[0] && providers[1]);
}

// The test user: certificate, the key as OpenSSL holds it, and the key with randomNum.
struct User {
    Bytes cert = FixtureBytes("certs/user_utf8.der");
    Bytes plain = ReadPkcs8("user_plain.der");
    Bytes attrs = ReadPkcs8("rsa_attrs_plain.der");
};

template <class T, void (*Free)(T*)>
using Ssl = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;

Ssl<X509, X509_free> OpenSslCert(const Bytes& der) {
    const uint8_t* p = der.data();
    return Ssl<X509, X509_free>(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

Ssl<EVP_PKEY, EVP_PKEY_free> OpenSslKey(const Bytes& der) {
    const uint8_t* p = der.data();
    return Ssl<EVP_PKEY, EVP_PKEY_free>(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())));
}

template <class T>
Bytes ToDer(T* object, int (*encode)(const T*, uint8_t**)) {
    uint8_t* out = nullptr;
    const int n = object ? encode(object, &out) : 0;
    Bytes der(out, out + (n > 0 ? n : 0));
    OPENSSL_free(out);
    return der;
}

struct Imported {
    int32_t result;
    Bytes cert, key;
};

Imported Import(const Bytes& pfx, const char* password = kPassword) {
    Binstr in(pfx), cert, key;
    const int32_t result = PFX_Import(password, &in.b, &cert.b, &key.b);
    return {result, cert.bytes(), key.bytes()};
}

// A PFX written by OpenSSL's PKCS12_create with these algorithms (-1: certificates not encrypted).
Bytes OpenSslPfx(const User& user, int key_nid, int cert_nid, const EVP_MD* mac, int iterations = 2048) {
    auto cert = OpenSslCert(user.cert);
    auto key = OpenSslKey(user.plain);
    Ssl<PKCS12, PKCS12_free> p12(
        PKCS12_create(kPassword, nullptr, key.get(), cert.get(), nullptr, key_nid, cert_nid, iterations, -1, 0));
    if (!p12 || !PKCS12_set_mac(p12.get(), kPassword, -1, nullptr, 0, iterations, mac)) return {};
    return ToDer(p12.get(), i2d_PKCS12);
}

TEST(PfxImport, ReadsWhatOpenSslWritesUnderEveryAlgorithm) {
    LoadProviders();
    const User user;
    const int key_nids[] = {NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And128BitRC2_CBC,
                            NID_pbe_WithSHA1And40BitRC2_CBC,        NID_aes_128_cbc,
                            NID_aes_256_cbc,                        NID_aria_256_cbc,
                            NID_seed_cbc,                           NID_des_ede3_cbc};
    const int cert_nids[] = {NID_pbe_WithSHA1And40BitRC2_CBC, NID_pbe_WithSHA1And3_Key_TripleDES_CBC,
                             NID_aes_256_cbc, -1};
    const EVP_MD* macs[] = {EVP_sha1(), EVP_sha224(), EVP_sha256(), EVP_sha384(), EVP_sha512()};
    int made = 0;
    for (int key_nid : key_nids) {
        for (int cert_nid : cert_nids) {
            const EVP_MD* mac = macs[made++ % 5];
            SCOPED_TRACE(std::string(OBJ_nid2sn(key_nid)) + " / " + (cert_nid < 0 ? "plain" : OBJ_nid2sn(cert_nid)) +
                         " / " + EVP_MD_get0_name(mac));
            const Bytes pfx = OpenSslPfx(user, key_nid, cert_nid, mac);
            ASSERT_FALSE(pfx.empty());
            const Imported got = Import(pfx);
            ASSERT_EQ(got.result, QC_OK);
            EXPECT_EQ(got.cert, user.cert);
            EXPECT_EQ(got.key, user.plain);
        }
    }
}

// Key bags under the Korean schemes and PBES2 variants OpenSSL cannot write itself: our key files
// as shrouded bags, put in a PFX by OpenSSL.
TEST(PfxImport, ReadsKeyFilesOfEverySchemeAsShroudedBags) {
    LoadProviders();
    const User user;
    for (const char* file : {"scheme73.der", "scheme89_rsa.der", "pbes2_seed.der", "pbes2_aria.der",
                             "pbes2_sha256prf.der", "rsa_attrs_pbes2.der"}) {
        SCOPED_TRACE(file);
        const Bytes epki = ReadPkcs8(file);
        Binstr encrypted(epki), expected;
        ASSERT_EQ(PRIKEY_Decrypt(kKeyPassword, &encrypted.b, &expected.b), QC_OK);
        const uint8_t* p = epki.data();
        X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(epki.size()));
        auto cert = OpenSslCert(user.cert);
        STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
        PKCS12_SAFEBAG* key_bag = PKCS12_SAFEBAG_create0_pkcs8(sig);
        ASSERT_TRUE(key_bag && sk_PKCS12_SAFEBAG_push(bags = sk_PKCS12_SAFEBAG_new_null(), key_bag));
        ASSERT_TRUE(PKCS12_add_cert(&bags, cert.get()));
        STACK_OF(PKCS7)* safes = nullptr;
        ASSERT_TRUE(PKCS12_add_safe(&safes, bags, -1, 0, nullptr));
        Ssl<PKCS12, PKCS12_free> p12(PKCS12_add_safes(safes, 0));
        sk_PKCS7_pop_free(safes, PKCS7_free);
        sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
        ASSERT_TRUE(p12 && PKCS12_set_mac(p12.get(), kKeyPassword, -1, nullptr, 0, 2048, EVP_sha256()));
        const Imported got = Import(ToDer(p12.get(), i2d_PKCS12), kKeyPassword);
        ASSERT_EQ(got.result, QC_OK);
        EXPECT_EQ(got.key, expected.bytes());
    }
}

TEST(PfxImport, ReadsPbmac1) {
    const User user;
    for (const char* file : {"pfx/pbmac1_sha256.p12", "pfx/pbmac1_sha512.p12"}) {
        SCOPED_TRACE(file);
        const Imported got = Import(FixtureBytes(file));
        ASSERT_EQ(got.result, QC_OK);
        EXPECT_EQ(got.cert, user.cert);
        EXPECT_EQ(Import(FixtureBytes(file), "quillon-tesT").result, QC_ERR_DECRYPT_KEY);
    }
}

// A randomNum held as a key bag attribute (as some exporters keep it) is carried into the key.
TEST(PfxImport, CarriesRandomNumFromTheBagIntoTheKey) {
    LoadProviders();
    const User user;
    Binstr plain(user.attrs), random;
    ASSERT_EQ(PRIKEY_GetRandomNum(&plain.b, &random.b), QC_OK);
    const Bytes r = random.bytes();
    const uint8_t* p = user.plain.data();
    PKCS8_PRIV_KEY_INFO* p8 = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(user.plain.size()));
    PKCS12_SAFEBAG* bag = PKCS12_SAFEBAG_create_pkcs8_encrypt(NID_pbe_WithSHA1And3_Key_TripleDES_CBC, kPassword, -1,
                                                               nullptr, 0, 2048, p8);
    PKCS8_PRIV_KEY_INFO_free(p8);
    ASSERT_TRUE(bag && PKCS12_add1_attr_by_txt(bag, "1.2.410.200004.10.1.1.3", V_ASN1_BIT_STRING, r.data(),
                                               static_cast<int>(r.size())));
    auto cert = OpenSslCert(user.cert);
    STACK_OF(PKCS12_SAFEBAG)* bags = sk_PKCS12_SAFEBAG_new_null();
    ASSERT_TRUE(sk_PKCS12_SAFEBAG_push(bags, bag) && PKCS12_add_cert(&bags, cert.get()));
    STACK_OF(PKCS7)* safes = nullptr;
    ASSERT_TRUE(PKCS12_add_safe(&safes, bags, NID_pbe_WithSHA1And40BitRC2_CBC, 2048, kPassword));
    Ssl<PKCS12, PKCS12_free> p12(PKCS12_add_safes(safes, 0));
    sk_PKCS7_pop_free(safes, PKCS7_free);
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
    ASSERT_TRUE(p12 && PKCS12_set_mac(p12.get(), kPassword, -1, nullptr, 0, 2048, EVP_sha1()));
    const Imported got = Import(ToDer(p12.get(), i2d_PKCS12));
    ASSERT_EQ(got.result, QC_OK);
    Binstr key(got.key), carried;
    ASSERT_EQ(PRIKEY_GetRandomNum(&key.b, &carried.b), QC_OK);
    EXPECT_EQ(carried.bytes(), r);
}

// OpenSSL reads both profiles, finds the algorithms documented, and the key inside is the
// caller's PrivateKeyInfo byte for byte (randomNum included).
TEST(PfxExport, OpenSslReadsBothProfiles) {
    LoadProviders();
    const User user;
    const struct {
        int32_t flags;
        int mac, key_nid, cert_nid;
    } profiles[] = {{0, NID_sha256, NID_pbes2, NID_pbes2},
                    {QC_PFX_LEGACY, NID_sha1, NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And40BitRC2_CBC}};
    for (const auto& profile : profiles) {
        SCOPED_TRACE(profile.flags);
        Binstr cert(user.cert), key(user.attrs), out;
        ASSERT_EQ(PFX_Export(kPassword, &cert.b, &key.b, profile.flags, &out.b), QC_OK);
        const Bytes der = out.bytes();
        const uint8_t* p = der.data();
        Ssl<PKCS12, PKCS12_free> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(der.size())));
        ASSERT_TRUE(p12);
        ASSERT_EQ(PKCS12_verify_mac(p12.get(), kPassword, -1), 1);
        const X509_ALGOR* mac_alg = nullptr;
        const ASN1_INTEGER* iterations = nullptr;
        PKCS12_get0_mac(nullptr, &mac_alg, nullptr, &iterations, p12.get());
        const ASN1_OBJECT* mac_oid = nullptr;
        X509_ALGOR_get0(&mac_oid, nullptr, nullptr, mac_alg);
        EXPECT_EQ(OBJ_obj2nid(mac_oid), profile.mac);
        EXPECT_EQ(ASN1_INTEGER_get(iterations), 2048);

        STACK_OF(PKCS7)* safes = PKCS12_unpack_authsafes(p12.get());
        ASSERT_EQ(sk_PKCS7_num(safes), 2);
        PKCS7* encrypted = sk_PKCS7_value(safes, 0);
        ASSERT_EQ(OBJ_obj2nid(encrypted->type), NID_pkcs7_encrypted);
        EXPECT_EQ(OBJ_obj2nid(encrypted->d.encrypted->enc_data->algorithm->algorithm), profile.cert_nid);
        STACK_OF(PKCS12_SAFEBAG)* cert_bags = PKCS12_unpack_p7encdata(encrypted, kPassword, -1);
        ASSERT_EQ(sk_PKCS12_SAFEBAG_num(cert_bags), 1);
        Ssl<X509, X509_free> read_cert(PKCS12_SAFEBAG_get1_cert(sk_PKCS12_SAFEBAG_value(cert_bags, 0)));
        EXPECT_EQ(X509_cmp(read_cert.get(), OpenSslCert(user.cert).get()), 0);
        STACK_OF(PKCS12_SAFEBAG)* key_bags = PKCS12_unpack_p7data(sk_PKCS7_value(safes, 1));
        ASSERT_EQ(sk_PKCS12_SAFEBAG_num(key_bags), 1);
        const PKCS12_SAFEBAG* key_bag = sk_PKCS12_SAFEBAG_value(key_bags, 0);
        const X509_ALGOR* key_alg = nullptr;
        X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(key_bag), &key_alg, nullptr);
        EXPECT_EQ(OBJ_obj2nid(key_alg->algorithm), profile.key_nid);
        // Both bags carry the same localKeyID.
        const ASN1_TYPE* key_id = PKCS12_SAFEBAG_get0_attr(key_bag, NID_localKeyID);
        const ASN1_TYPE* cert_id = PKCS12_SAFEBAG_get0_attr(sk_PKCS12_SAFEBAG_value(cert_bags, 0), NID_localKeyID);
        ASSERT_TRUE(key_id && cert_id);
        EXPECT_EQ(ASN1_TYPE_cmp(key_id, cert_id), 0);
        PKCS8_PRIV_KEY_INFO* p8 = PKCS12_decrypt_skey(key_bag, kPassword, -1);
        const uint8_t* q = user.attrs.data();
        PKCS8_PRIV_KEY_INFO* given = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &q, static_cast<long>(user.attrs.size()));
        EXPECT_EQ(ToDer(p8, i2d_PKCS8_PRIV_KEY_INFO), ToDer(given, i2d_PKCS8_PRIV_KEY_INFO));
        PKCS8_PRIV_KEY_INFO_free(given);
        PKCS8_PRIV_KEY_INFO_free(p8);
        sk_PKCS12_SAFEBAG_pop_free(key_bags, PKCS12_SAFEBAG_free);
        sk_PKCS12_SAFEBAG_pop_free(cert_bags, PKCS12_SAFEBAG_free);
        sk_PKCS7_pop_free(safes, PKCS7_free);
    }
}

TEST(PfxExport, RefusesBadArguments) {
    const User user;
    Binstr cert(user.cert), key(user.plain), other(ReadPkcs8("ca_plain.der")), out;
    const struct {
        const char* password;
        BINSTR* key;
        int32_t flags;
        int32_t expected;
    } rows[] = {
        {nullptr, &key.b, 0, QC_ERR_NULL_ARGUMENT}, {kPassword, &key.b, 2, QC_ERR_NULL_ARGUMENT},
        {kPassword, &cert.b, 0, QC_ERR_KEY_INVALID}, {kPassword, &other.b, 0, QC_ERR_KEY_MISMATCH},
        {"", &key.b, 0, QC_ERR_ENCRYPT_KEY},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PFX_Export(row.password, &cert.b, row.key, row.flags, &out.b), row.expected);
        EXPECT_EQ(out.b.data, nullptr);
    }
}

// Every byte of a PFX changed in turn: the MAC or the structure refuses it, and nothing is
// handed out. Iteration counts of 1 keep the walk quick.
TEST(PfxImport, EveryChangedByteIsRefused) {
    LoadProviders();
    const User user;
    const Bytes pfx = OpenSslPfx(user, NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And40BitRC2_CBC,
                                 EVP_sha1(), 1);
    ASSERT_EQ(Import(pfx).result, QC_OK);
    EXPECT_EQ(Import(pfx, "wrong").result, QC_ERR_DECRYPT_KEY);
    EXPECT_EQ(Import(pfx, "").result, QC_ERR_DECRYPT_KEY);
    for (size_t i = 0; i < pfx.size(); ++i) {
        Bytes changed = pfx;
        changed[i] ^= 0x01;
        const Imported got = Import(changed);
        ASSERT_TRUE(got.result == QC_ERR_DECRYPT_KEY || got.result == QC_ERR_MALFORMED_DER)
            << "byte " << i << ": " << got.result;
        ASSERT_TRUE(got.cert.empty() && got.key.empty());
    }
}

}  // namespace
}  // namespace quillon::test
