// Every allocation of one call of each export is failed in turn: nothing is left behind, and the
// call reports what its row allows. Each run releases whatever the call made.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cipher/openssl_oracle.h"
#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/binstr_holder.h"
#include "support/cert_exports.h"
#include "support/openssl_peer.h"
#include "support/pkcs8_fixtures.h"
#include "support/time_zone.h"

namespace quillon::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Post = std::function<bool(bool fired, int32_t result)>;

struct Row {
    std::string name;
    std::function<int32_t()> run;
    Post post;
};

// `clean` when nothing failed; one of `failures` when an allocation did.
Post Codes(int32_t clean, std::vector<int32_t> failures) {
    return [=](bool fired, int32_t r) { return fired ? std::count(failures.begin(), failures.end(), r) == 1 : r == clean; };
}
// A failure some step can do without (a cache, a lookup with a fallback) may leave the result as it was.
Post Absorbed(int32_t clean, int32_t failure) {
    return [=](bool fired, int32_t r) { return r == clean || (fired && r == failure); };
}
// The exchange's convention: a length or 1 on success, 0 on any failure.
bool CountOrZero(bool fired, int32_t r) { return fired ? r == 0 : r > 0; }

BINSTR View(const Bytes& b) { return BINSTR{const_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size())}; }

// A call with one BINSTR output, released after it; -1000 when a failure left bytes in it.
template <class Call>
std::function<int32_t()> WithOut(Call call) {
    return [=] {
        Binstr out;
        const int32_t r = call(&out.b);
        return r <= 0 && out.b.data != nullptr ? -1000 : r;
    };
}
// An exchange call whose two buffers are released after it.
template <class Call>
std::function<int32_t()> WithMessages(Call call) {
    return [=] {
        CesMessage *first = nullptr, *second = nullptr;
        const int32_t r = call(&first, &second);
        FreeCesMessage(first);
        FreeCesMessage(second);
        return r;
    };
}

Bytes OaepTo(const std::string& pem_key, const Bytes& message) {
    FILE* f = std::fopen(pem_key.c_str(), "r");
    EVP_PKEY* key = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    size_t length = 512;
    Bytes out(length);
    EXPECT_TRUE(ctx && EVP_PKEY_encrypt_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) == 1 &&
                EVP_PKEY_encrypt(ctx, out.data(), &length, message.data(), message.size()) == 1);
    out.resize(length);
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    return out;
}

// A PFX under PBES2-AES and one iteration everywhere, quick to open thousands of times.
Bytes OpenSslPfx(const Bytes& cert_der, const Bytes& key_der) {
    const uint8_t* c = cert_der.data();
    const uint8_t* k = key_der.data();
    X509* cert = d2i_X509(nullptr, &c, static_cast<long>(cert_der.size()));
    EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &k, static_cast<long>(key_der.size()));
    PKCS12* p12 = PKCS12_create(kKeyPassword, nullptr, key, cert, nullptr, NID_aes_256_cbc, NID_aes_256_cbc, 1, 1, 0);
    unsigned char* der = nullptr;
    const int n = p12 && PKCS12_set_mac(p12, kKeyPassword, -1, nullptr, 0, 1, EVP_sha256()) ? i2d_PKCS12(p12, &der) : 0;
    const Bytes out(der, der + std::max(n, 0));
    OPENSSL_free(der);
    PKCS12_free(p12);
    EVP_PKEY_free(key);
    X509_free(cert);
    return out;
}

TEST(ExportAllocation, EveryFailureIsReportedAndLeavesNothing) {
    ScopedTimeZone tz(SeoulZone());
    std::vector<Row> rows;

    const Bytes plain_text(200, 'q');
    Binstr encoded;
    BINSTR plain_view = View(plain_text);
    ASSERT_GT(BASE64_Encode(&plain_view, &encoded.b), 0);
    const Bytes base64 = encoded.bytes();
    rows.push_back({"BASE64_Encode", WithOut([&](BINSTR* o) { BINSTR in = View(plain_text); return BASE64_Encode(&in, o); }),
                    CountOrZero});
    rows.push_back({"BASE64_Decode", WithOut([&](BINSTR* o) { BINSTR in = View(base64); return BASE64_Decode(&in, o); }),
                    CountOrZero});

    // Certificates and their queries.
    const char* const names[] = {"user_utf8", "user_kcdsa", "user_bmp", "user_strings", "ext_common", "ext_korean", "ext_many"};
    std::vector<std::unique_ptr<Loaded>> certs;
    for (const char* name : names) certs.push_back(std::make_unique<Loaded>(name));
    using Query = int32_t (*)(X509Cert*, int32_t, char*);
    const std::pair<const char*, Query> queries[] = {
        {"CERT_GetSubjectName", CERT_GetSubjectName},         {"CERT_GetKeyUsage", CERT_GetKeyUsage},
        {"CERT_GetBasicConstraints", CERT_GetBasicConstraints}, {"CERT_GetCertPolicy", CERT_GetCertPolicy},
        {"CERT_GetCertPolicy_PolicyID", CERT_GetCertPolicy_PolicyID}, {"CERT_GetExtKeyUsage", CERT_GetExtKeyUsage},
        {"CERT_GetSubjectAltName", CERT_GetSubjectAltName},   {"CERT_GetAuthKeyID", CERT_GetAuthKeyID},
        {"CERT_GetSubKeyID", CERT_GetSubKeyID},               {"CERT_GetCRLDP", CERT_GetCRLDP},
        {"CERT_GetCRLDP_URL", CERT_GetCRLDP_URL}};
    static char text[8192];
    for (size_t i = 0; i < certs.size(); ++i) {
        const auto& c = certs[i];
        const std::string of = std::string(" of ") + names[i];
        X509Cert* cert = c->cert;
        const Bytes* der = &c->der;
        rows.push_back({"CERT_Load" + of, [der] {
                            X509Cert* loaded = nullptr;
                            BINSTR in = View(*der);
                            const int32_t r = CERT_Load(&loaded, &in);
                            CERT_Unload(loaded);
                            return r;
                        },
                        Codes(QC_OK, {QC_ERR_MALFORMED_DER, QC_ERR_CERT_DECODE})});
        for (const auto& [name, query] : queries)
            rows.push_back({name + of, [cert, query] { return query(cert, sizeof text, text); },
                            Codes(query(cert, sizeof text, text), {QC_ERR_ALLOC})});
        rows.push_back({"CERT_GetValidity" + of, [cert] {
                            char before[20], after[20];
                            return CERT_GetValidity(cert, before, after);
                        },
                        Codes(QC_OK, {QC_ERR_ALLOC})});
        rows.push_back({"CERT_GetPubKey" + of, [cert] {
                            char algorithm[14];
                            return CERT_GetPubKey(cert, sizeof text, algorithm, text);
                        },
                        Codes(QC_OK, {})});  // allocates nothing
        rows.push_back({"CERT_GetSubjectName_DERFormat" + of,
                        WithOut([cert](BINSTR* o) { return CERT_GetSubjectName_DERFormat(cert, o); }),
                        Codes(QC_OK, {QC_ERR_ENCODE_EMPTY, QC_ERR_ALLOC})});
    }

    // Private keys.
    const Bytes encrypted = ReadPkcs8("scheme89_kcdsa.der"), plain = ReadPkcs8("user_plain.der");
    const Bytes kcdsa = ReadPkcs8("kcdsa_plain.der"), attrs = ReadPkcs8("rsa_attrs_plain.der");
    const std::string aria = Pkcs8Path("pbes2_aria.der");
    const auto key_failures = [](int32_t code) { return Codes(QC_OK, {code, QC_ERR_MALFORMED_DER, QC_ERR_DECRYPT_KEY, QC_ERR_ENCODE_EMPTY}); };
    const auto encrypt_failures = Codes(QC_OK, {QC_ERR_ALLOC, QC_ERR_KEY_INVALID, QC_ERR_ENCRYPT_KEY, QC_ERR_ENCODE_EMPTY});
    rows.push_back({"PRIKEY_Decrypt", WithOut([&](BINSTR* o) { BINSTR e = View(encrypted); return PRIKEY_Decrypt(kKeyPassword, &e, o); }),
                    key_failures(QC_ERR_ALLOC)});
    rows.push_back({"MEDIA_DISK_ReadPriKey", WithOut([&](BINSTR* o) { return MEDIA_DISK_ReadPriKey(aria.c_str(), kKeyPassword, o); }),
                    key_failures(QC_ERR_FILE_READ)});
    rows.push_back({"MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index",
                    [&] { return MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(aria.c_str(), kKeyPassword) == 92 ? QC_OK : -1000; },
                    Codes(QC_OK, {-1000})});
    rows.push_back({"PRIKEY_Encrypt", WithOut([&](BINSTR* o) { BINSTR p = View(plain); return PRIKEY_Encrypt("pw", &p, o); }),
                    encrypt_failures});
    rows.push_back({"PRIKEY_EncryptPbes2", WithOut([&](BINSTR* o) {
                        BINSTR p = View(plain);
                        return PRIKEY_EncryptPbes2("pw", &p, QC_PRF_HMAC_SHA384, QC_CIPHER_SEED_CBC, 2, o);
                    }),
                    encrypt_failures});
    rows.push_back({"PRIKEY_CheckKeyPair", [&] {
                        BINSTR c = View(certs[1]->der), k = View(kcdsa);
                        return PRIKEY_CheckKeyPair(&c, &k);
                    },
                    Codes(QC_OK, {QC_ERR_KEY_INVALID})});

    // Identity.
    Loaded vid("vid_sha256"), near_miss("vid_one_hash");
    Bytes random(20);
    for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>(i);
    constexpr char kIdn[] = "8001011234567";  // made up: nobody's number
    rows.push_back({"PRIKEY_GetRandomNum", WithOut([&](BINSTR* o) { BINSTR k = View(attrs); return PRIKEY_GetRandomNum(&k, o); }),
                    Codes(QC_OK, {QC_ERR_ALLOC})});
    rows.push_back({"CERT_GetVID", WithOut([&](BINSTR* o) {
                        int32_t nid = 0;
                        return CERT_GetVID(vid.cert, &nid, o);
                    }),
                    Codes(QC_OK, {QC_ERR_ALLOC})});
    for (auto [cert, verdict] : {std::pair{vid.cert, QC_OK}, std::pair{near_miss.cert, QC_ERR_IDENTITY}})
        rows.push_back({"CERT_CheckVID", [&, cert] { BINSTR r = View(random); return CERT_CheckVID(cert, kIdn, &r); },
                        Codes(verdict, {QC_ERR_ALLOC})});

    // Signatures, enveloping and signed data.
    Loaded pss("user_pss"), ca("ca");
    const Bytes data(100, 7), recipient = ReadCert("recipient_utf8");
    for (int32_t algorithm : {QC_SIGN_RSA_SHA256, QC_SIGN_RSA_PSS_SHA256}) {
        const std::string with = " " + std::to_string(algorithm);
        rows.push_back({"PRIKEY_Sign" + with, WithOut([&, algorithm](BINSTR* o) {
                            BINSTR k = View(plain), d = View(data);
                            return PRIKEY_Sign(&k, algorithm, &d, o);
                        }),
                        Codes(QC_OK, {QC_ERR_ALLOC})});
        Binstr signature;
        BINSTR k = View(plain), d = View(data);
        ASSERT_EQ(PRIKEY_Sign(&k, algorithm, &d, &signature.b), QC_OK);
        rows.push_back({"CERT_VerifyData" + with, [&, algorithm, s = signature.bytes()] {
                            BINSTR d = View(data), sig = View(s);
                            return CERT_VerifyData(certs[0]->cert, algorithm, &d, &sig);
                        },
                        Codes(QC_OK, {QC_ERR_ALLOC})});
        rows.push_back({"PKCS7_SignData" + with, WithOut([&, algorithm](BINSTR* o) {
                            BINSTR c = View(certs[0]->der), k = View(plain), d = View(data);
                            return PKCS7_SignData(0, &c, &k, algorithm, &d, o);
                        }),
                        Codes(QC_OK, {QC_ERR_ALLOC})});
        Binstr p7;
        BINSTR c = View(certs[0]->der);
        ASSERT_EQ(PKCS7_SignData(0, &c, &k, algorithm, &d, &p7.b), QC_OK);
        rows.push_back({"PKCS7_VerifyData" + with, [s = p7.bytes()] {
                            BINSTR in = View(s);
                            Binstr content, signer;
                            return PKCS7_VerifyData(&in, nullptr, &content.b, &signer.b);
                        },
                        Absorbed(QC_OK, QC_ERR_ALLOC)});
    }
    rows.push_back({"CERT_VerifyIssuedBy", [&] { return CERT_VerifyIssuedBy(pss.cert, ca.cert); }, Codes(QC_OK, {QC_ERR_ALLOC})});
    rows.push_back({"PKCS7_EncryptData", WithOut([&](BINSTR* o) {
                        BINSTR c = View(certs[3]->der), d = View(data);
                        return PKCS7_EncryptData(1, &c, &d, o);
                    }),
                    Codes(QC_OK, {QC_ERR_ALLOC})});
    Binstr enveloped;
    BINSTR r = View(recipient), d = View(data);
    ASSERT_EQ(PKCS7_EncryptData(1, &r, &d, &enveloped.b), QC_OK);
    // A failure the lookup by key identifier absorbs still opens: the recipient is also named by
    // issuer and serial.
    rows.push_back({"PKCS7_DecryptData", WithOut([&, e = enveloped.bytes()](BINSTR* o) {
                        BINSTR k = View(plain), c = View(recipient), in = View(e);
                        return PKCS7_DecryptData(&k, &c, &in, o);
                    }),
                    Absorbed(QC_OK, QC_ERR_ALLOC)});

    // PFX files, both ways; a failure worked around (the certificate found by its key rather
    // than its localKeyID) must still give the same pair.
    const Bytes pfx = OpenSslPfx(certs[0]->der, plain);
    ASSERT_FALSE(pfx.empty());
    rows.push_back({"PFX_Export", WithOut([&](BINSTR* o) {
                        BINSTR c = View(certs[0]->der), k = View(attrs);
                        return PFX_Export(kKeyPassword, &c, &k, QC_PFX_LEGACY, o);
                    }),
                    Codes(QC_OK, {QC_ERR_ALLOC})});
    rows.push_back({"PFX_Import", [&] {
                        BINSTR in = View(pfx);
                        Binstr cert, key;
                        const int32_t result = PFX_Import(kKeyPassword, &in, &cert.b, &key.b);
                        return result == QC_OK && cert.bytes() != certs[0]->der ? -1000 : result;
                    },
                    Absorbed(QC_OK, QC_ERR_ALLOC)});

    // Finding the pairs on disk.
    const auto root = std::filesystem::path(::testing::TempDir()) / ("quillon_alloc_" + std::to_string(::getpid()));
    for (const auto& [folder, cert_file, key_file] : {std::tuple{"a", "certs/user_utf8.der", "pkcs8/scheme73.der"},
                                                      std::tuple{"b", "certs/vid_sha256.der", "pkcs8/rsa_attrs_plain.der"}}) {
        const auto dir = root / "CA" / "USER" / folder;
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(std::string(QUILLON_FIXTURES) + "/" + cert_file, dir / "signCert.der");
        std::filesystem::copy_file(std::string(QUILLON_FIXTURES) + "/" + key_file, dir / "signPri.key");
    }
    const std::string root_text = root.string();
    rows.push_back({"MEDIA_DISK_FindCertificates", [&] {
                        const char* roots[] = {root_text.c_str()};
                        NpkiList* list = nullptr;
                        const int32_t result = MEDIA_DISK_FindCertificates(roots, 1, &list);
                        const uint32_t count = list ? list->count : 0;
                        MEDIA_DISK_FreeCertificates(list);
                        return result == QC_OK && count != 2 ? -1000 : result;
                    },
                    Codes(QC_OK, {QC_ERR_ALLOC})});

    // A certification path with its CRLs; a failed cache or retry may leave the verdict as it was.
    const auto chain = [](const char* name) { return FixtureBytes(std::string("chain/") + name); };
    rows.push_back({"TRUST_*", [&] {
                        TrustStore* store = TRUST_Create();
                        if (!store) return QC_ERR_ALLOC;
                        const auto add = [&](int32_t (*fn)(TrustStore*, const BINSTR*), const char* name) {
                            const Bytes b = chain(name);
                            BINSTR in = View(b);
                            return fn(store, &in);
                        };
                        int32_t result = add(TRUST_AddTrusted, "root.der");
                        for (const char* name : {"int2.der", "int1.der"})
                            if (result == QC_OK) result = add(TRUST_AddUntrusted, name);
                        for (const char* name : {"root.crl", "int1.crl", "int2.crl"})
                            if (result == QC_OK) result = add(TRUST_AddCrl, name);
                        const Bytes leaf = chain("ee_revoked.der");
                        BINSTR in = View(leaf);
                        if (result == QC_OK) result = TRUST_Verify(store, &in, 1748736000, QC_TRUST_REQUIRE_CRL);
                        TRUST_Free(store);
                        return result;
                    },
                    Absorbed(QC_ERR_TRUST_REVOKED, QC_ERR_ALLOC)});

    // The exchange, keyed by an independent phone, in both forms.
    constexpr char kCode[] = "1234567890123455";
    OpenSslPhone phone(kCode);
    phone.session_key = Bytes(16, 0x5A);
    CertExchangeSession* session = CreateCertExchangeSession();
    CesMessage* message = nullptr;
    const int32_t length = GetCertExchangePublicKey(session, kCode, &message);
    ASSERT_GT(length, 0);
    const auto modulus = phone.ReadPublicKeyMessage(Bytes(message, message + length));
    FreeCesMessage(message);
    ASSERT_TRUE(modulus);
    const Bytes reply = phone.MakeSessionKeyMessage(*modulus, phone.session_key);
    ASSERT_EQ(SetCertExchangeSessionKey(session, reply.data(), static_cast<int32_t>(reply.size())), 1);
    const Bytes cert(200, 8), key(300, 9), sealed = phone.Seal(cert, key);
    rows.push_back({"SetCertExchangeSessionKey",
                    [&] { return SetCertExchangeSessionKey(session, reply.data(), static_cast<int32_t>(reply.size())); },
                    CountOrZero});
    rows.push_back({"EncryptCertExchange", WithMessages([&](CesMessage** m, CesMessage**) {
                        return EncryptCertExchange(session, m, cert.data(), 200, key.data(), 300);
                    }),
                    CountOrZero});
    rows.push_back({"DecryptCertExchange", WithMessages([&](CesMessage** c, CesMessage** k) {
                        int32_t cl = 0, kl = 0;
                        return DecryptCertExchange(session, c, &cl, k, &kl, sealed.data(), static_cast<int32_t>(sealed.size()));
                    }),
                    CountOrZero});
    rows.push_back({"CreateCertExchangeSession", [] {
                        CertExchangeSession* s = CreateCertExchangeSession();
                        CloseCertExchangeSession(s);
                        return s != nullptr ? 1 : 0;
                    },
                    CountOrZero});
    CesMessage* pfx_message = nullptr;
    const int32_t pfx_length = EncryptCertExchange_PKCS12(session, &pfx_message, cert.data(), 200, key.data(), 300);
    ASSERT_GT(pfx_length, 0);
    const Bytes exchange_pfx(pfx_message, pfx_message + pfx_length);
    FreeCesMessage(pfx_message);
    rows.push_back({"EncryptCertExchange_PKCS12", WithMessages([&](CesMessage** m, CesMessage**) {
                        return EncryptCertExchange_PKCS12(session, m, cert.data(), 200, key.data(), 300);
                    }),
                    CountOrZero});
    rows.push_back({"DecryptCertExchange_PKCS12", WithMessages([&](CesMessage** c, CesMessage** k) {
                        int32_t cl = 0, kl = 0;
                        return DecryptCertExchange_PKCS12(session, c, &cl, k, &kl, exchange_pfx.data());
                    }),
                    CountOrZero});

    // Session keys: under a PEM-armoured key file, and the keyboard's SEED-CBC blocks.
    const Bytes session_key(24, 0x3C), armoured_der = ReadPkcs8("pbes2_seed.der");
    const Bytes oaep = OaepTo(std::string(QUILLON_FIXTURES) + "/certs/keys/user.key.pem", session_key);
    std::string armoured;
    Binstr flat;
    BINSTR der_view = View(armoured_der);
    ASSERT_GT(BASE64_Encode(&der_view, &flat.b), 0);
    const Bytes flat_text = flat.bytes();
    for (size_t i = 0; i < flat_text.size(); i += 64)
        armoured.append(flat_text.begin() + i, flat_text.begin() + std::min(flat_text.size(), i + 64)).append("\r\n");
    rows.push_back({"DecryptSessionKeyWithPEMKey", [&] {
                        Bytes out(QC_SESSION_KEY_MAX);
                        return DecryptSessionKeyWithPEMKey(armoured.data(), static_cast<uint32_t>(armoured.size()), kKeyPassword,
                                                           oaep.data(), static_cast<uint32_t>(oaep.size()), out.data());
                    },
                    [](bool fired, int32_t r) { return fired ? r <= 0 : r == 1; }});
    const Bytes keyboard_key(16, 0x11), keyboard_iv(16, 0x22);
    std::vector<Bytes> blocks;
    Bytes key_and_iv = keyboard_key, all;
    key_and_iv.insert(key_and_iv.end(), keyboard_iv.begin(), keyboard_iv.end());
    for (char typed : std::string("abcXYZ")) {
        blocks.push_back(OpenSslCbc("SEED-CBC", true, keyboard_key, keyboard_iv, Bytes(3, static_cast<uint8_t>(typed))));
        all.insert(all.end(), blocks.back().begin(), blocks.back().end());
    }
    rows.push_back({"DecodeCertKeyboard", [&] {
                        std::vector<BINSTR> records;
                        for (const Bytes& b : blocks) records.push_back(View(b));
                        BINSTR k = View(keyboard_key), v = View(keyboard_iv);
                        Bytes out(blocks.size());
                        return DecodeCertKeyboard(records.data(), static_cast<int32_t>(records.size()), &k, &v, out.data());
                    },
                    Codes(1, {QC_ERR_ALLOC})});
    rows.push_back({"DecryptCBCKeyWithSessionKey", [&] {
                        Bytes out(blocks.size());
                        return DecryptCBCKeyWithSessionKey(key_and_iv.data(), all.data(), 0x7777, out.data(),
                                                           static_cast<int32_t>(blocks.size()));
                    },
                    Codes(1, {QC_ERR_ALLOC})});

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WalkAllocationFailures(row.run, [&](bool fired, int32_t r) {
            EXPECT_TRUE(row.post(fired, r)) << r << (fired ? " with an allocation failed" : "");
        });
    }
    CloseCertExchangeSession(session);
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace quillon::test
