#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "core/mem.h"
#include "quilloncrypto.h"
#include "support/cert_exports.h"
#include "support/time_zone.h"
#include "x509/x509_cert.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

std::string BnHex(const BIGNUM* bn) {
    char* hex = BN_bn2hex(bn);
    std::string out = hex;
    OPENSSL_free(hex);
    return out;
}

// UTC plus nine hours, as the validity query shows it on a machine in Korea.
std::string ExpectedTime(const ASN1_TIME* t) {
    std::tm tm{};
    EXPECT_EQ(ASN1_TIME_to_tm(t, &tm), 1);
    const time_t seconds = timegm(&tm) + 32400;
    gmtime_r(&seconds, &tm);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &tm);
    return out;
}

// n and e from the certificate; p, q, g and y of the KCDSA1 fixture from its DSA key.
std::string ExpectedKey(X509* x, bool kcdsa) {
    EVP_PKEY* key = X509_get0_pubkey(x);
    EVP_PKEY* owned = nullptr;
    if (kcdsa) {
        FILE* f = std::fopen((std::string(QUILLON_FIXTURES) + "/certs/keys/kcdsa.dsa.pem").c_str(), "r");
        key = owned = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
        if (f) std::fclose(f);
    }
    using Params = std::vector<std::pair<const char*, const char*>>;
    const Params params = kcdsa ? Params{{"p=", OSSL_PKEY_PARAM_FFC_P}, {",q=", OSSL_PKEY_PARAM_FFC_Q}, {",g=", OSSL_PKEY_PARAM_FFC_G},
                                         {",y=", OSSL_PKEY_PARAM_PUB_KEY}}
                                : Params{{"n=", OSSL_PKEY_PARAM_RSA_N}, {",e=", OSSL_PKEY_PARAM_RSA_E}};
    std::string out;
    for (const auto& [label, name] : params) {
        BIGNUM* bn = nullptr;
        EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &bn), 1) << name;
        out += label + (bn ? BnHex(bn) : "");
        BN_free(bn);
    }
    EVP_PKEY_free(owned);
    return out;
}

// user_utf8 runs to 2050, past 2038.
TEST(CertQuery, RendersWhatOpensslReports) {
    ScopedTimeZone tz(SeoulZone());
    for (const std::string& name : DecodableCerts()) {
        SCOPED_TRACE(name);
        Loaded c(name);
        ASSERT_EQ(c.result, QC_OK);
        X509* x = c.ossl.get();
        char text[4096], before[20], after[20], algorithm[14];
        uint32_t version = 99;
        ASSERT_EQ(CERT_GetVersion(c.cert, &version), QC_OK);
        EXPECT_EQ(version, static_cast<uint32_t>(X509_get_version(x)));
        // The serial's contents octets read as an unsigned number: no sign is interpreted.
        ASSERT_EQ(CERT_GetSerialNum(c.cert, sizeof text, text), QC_OK);
        unsigned char* integer = nullptr;
        const int integer_length = i2d_ASN1_INTEGER(X509_get0_serialNumber(x), &integer);
        BIGNUM* serial = BN_bin2bn(integer + 2, integer_length - 2, nullptr);
        EXPECT_EQ(text, BnHex(serial));
        BN_free(serial);
        OPENSSL_free(integer);
        ASSERT_EQ(CERT_GetSignatureAlgorithm(c.cert, sizeof text, text), QC_OK);
        EXPECT_STREQ(text, OBJ_nid2ln(X509_get_signature_nid(x)));
        ASSERT_EQ(CERT_GetSubjectName(c.cert, sizeof text, text), QC_OK);
        EXPECT_EQ(text, NameText(X509_get_subject_name(x)));
        ASSERT_EQ(CERT_GetIssuerName(c.cert, sizeof text, text), QC_OK);
        EXPECT_EQ(text, NameText(X509_get_issuer_name(x)));
        // Korean time from the certificate's UTC, whatever the machine's zone.
        for (const char* zone : {"UTC0", "EST5EDT", "KST-9"}) {
            ScopedTimeZone validity_zone(zone);
            ASSERT_EQ(CERT_GetValidity(c.cert, before, after), QC_OK);
            EXPECT_EQ(before, ExpectedTime(X509_get0_notBefore(x))) << zone;
            EXPECT_EQ(after, ExpectedTime(X509_get0_notAfter(x))) << zone;
        }
        ASSERT_EQ(CERT_GetPubKey(c.cert, sizeof text, algorithm, text), QC_OK);
        EXPECT_STREQ(algorithm, name == "user_kcdsa" ? "kcdsa1" : "rsaEncryption");
        EXPECT_EQ(text, ExpectedKey(x, name == "user_kcdsa"));
        const ASN1_BIT_STRING* signature = nullptr;
        X509_get0_signature(&signature, nullptr, x);
        BIGNUM* sig = BN_bin2bn(ASN1_STRING_get0_data(signature), ASN1_STRING_length(signature), nullptr);
        ASSERT_EQ(CERT_GetSignature(c.cert, sizeof text, text), QC_OK);
        EXPECT_EQ(text, std::string(2 * ASN1_STRING_length(signature) - BnHex(sig).size(), '0') + BnHex(sig));
        BN_free(sig);
        BINSTR der{nullptr, 0};
        ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.cert, &der), QC_OK);
        unsigned char* expected = nullptr;
        const int n = i2d_X509_NAME(X509_get_subject_name(x), &expected);
        EXPECT_EQ(Bytes(der.data, der.data + der.length), Bytes(expected, expected + n));
        OPENSSL_free(expected);
        const long live = quillon::MEM_LiveBlocks();
        ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.cert, &der), QC_OK);
        EXPECT_EQ(quillon::MEM_LiveBlocks(), live) << "asking again replaces the bytes";
        BINSTR_Delete(&der);
    }
}

TEST(CertQueryRoom, TextsNeverPassTheirSize) {
    Loaded c("user_utf8"), sha1("user_sha1"), ca("ca"), kcdsa("user_kcdsa");
    char algorithm[14];
    std::vector<int32_t> codes;
    EXPECT_EQ(SmallestSize(40, [&](int s, char* b) { return CERT_GetSerialNum(c.cert, s, b); }, &codes), 34);  // 4 words
    for (int size = 0; size <= 33; ++size) EXPECT_EQ(codes[size], size <= 16 ? QC_ERR_BUFFER_TOO_SMALL : QC_ERR_CERT_DECODE) << size;
    EXPECT_EQ(SmallestSize(12, [&](int s, char* b) { return CERT_GetSerialNum(sha1.cert, s, b); }), 10);  // "0A"
    EXPECT_EQ(SmallestSize(50, [&](int s, char* b) { return CERT_GetSerialNum(ca.cert, s, b); }), 42);  // 5 words
    // Names need their length plus two; keys room for each number's whole words.
    const int subject = static_cast<int>(EucKr("CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR").size()) + 2;
    const int issuer = static_cast<int>(std::string("CN=Quillon Test Root CA,O=Quillon Test,C=KR").size()) + 2;
    EXPECT_EQ(SmallestSize(subject + 3, [&](int s, char* b) { return CERT_GetSubjectName(c.cert, s, b); }), subject);
    EXPECT_EQ(SmallestSize(issuer + 3, [&](int s, char* b) { return CERT_GetIssuerName(c.cert, s, b); }), issuer);
    EXPECT_EQ(SmallestSize(26, [&](int s, char* b) { return CERT_GetSignatureAlgorithm(c.cert, s, b); }), 24);
    EXPECT_EQ(SmallestSize(25, [&](int s, char* b) { return CERT_GetSignatureAlgorithm(sha1.cert, s, b); }), 22);
    EXPECT_EQ(SmallestSize(516, [&](int s, char* b) { return CERT_GetSignature(c.cert, s, b); }), 513);
    // n: 2 + (8 x 64 + 2); ",e=" needs 5 more; e: 3 + 10.
    EXPECT_EQ(SmallestSize(530, [&](int s, char* b) { return CERT_GetPubKey(c.cert, s, algorithm, b); }), 527);
    // y comes last: five bytes of room for ",y=" and then its whole words' capacity.
    const std::string key = ExpectedKey(kcdsa.ossl.get(), true);
    const size_t y_digits = key.size() - key.rfind(",y=") - 3;
    const int smallest = static_cast<int>(key.size() - y_digits) + 2 + 8 * static_cast<int>((y_digits + 7) / 8);
    EXPECT_EQ(SmallestSize(smallest + 2, [&](int s, char* b) { return CERT_GetPubKey(kcdsa.cert, s, algorithm, b); }), smallest);
}

TEST(CertLoad, ResultCodes) {
    const Bytes der = ReadCert("user_utf8"), v1 = ReadCert("user_v1"), gentime = ReadCert("user_gentime");
    Bytes trailing = der;
    trailing.push_back(0);
    struct Input { const char* what; Bytes bytes; size_t length; int32_t expected; };
    const Input inputs[] = {
        {"short length", der, der.size() - 1, QC_ERR_MALFORMED_DER}, {"length zero", der, 0, QC_ERR_MALFORMED_DER},
        {"trailing bytes", trailing, trailing.size(), QC_OK}, {"not a certificate", {0x04, 0x03, 'a', 'b', 'c'}, 5, QC_ERR_CERT_DECODE},
        {"indefinite length", {0x30, 0x80, 0x00, 0x00}, 4, QC_ERR_MALFORMED_DER}, {"no data", {}, 10, QC_ERR_MALFORMED_DER},
        {"version 1", v1, v1.size(), QC_ERR_CERT_DECODE}, {"GeneralizedTime", gentime, gentime.size(), QC_ERR_CERT_DECODE},
    };
    for (const Input& input : inputs) {
        BINSTR b{input.bytes.empty() ? nullptr : const_cast<uint8_t*>(input.bytes.data()), static_cast<uint32_t>(input.length)};
        X509Cert* cert = reinterpret_cast<X509Cert*>(0x1);
        EXPECT_EQ(CERT_Load(&cert, &b), input.expected) << input.what;
        EXPECT_EQ(cert != nullptr, input.expected == QC_OK) << input.what;
        if (input.expected == QC_OK) CERT_Unload(cert);
    }
    X509Cert* cert = nullptr;
    BINSTR in{const_cast<uint8_t*>(der.data()), static_cast<uint32_t>(der.size())};
    EXPECT_EQ(CERT_Load(nullptr, &in), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_Load(&cert, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_Unload(nullptr), QC_ERR_NULL_ARGUMENT);
    // Digits the validity query cannot read load, and fail only there.
    Bytes patched = der;
    const Bytes from = {0x17, 0x0D, '1', '3'};
    std::search(patched.begin(), patched.end(), from.begin(), from.end())[2] = 'x';
    BINSTR b{patched.data(), static_cast<uint32_t>(patched.size())};
    ASSERT_EQ(CERT_Load(&cert, &b), QC_OK);
    char before[20], after[20];
    EXPECT_EQ(CERT_GetValidity(cert, before, after), QC_ERR_CERT_DECODE);
    CERT_Unload(cert);
}

// A name value with a character KS X 1001 lacks fails the text, whatever its UTF-8 length;
// the same place with a character it has renders.
TEST(CertQuery, NamesOutsideKsx1001Fail) {
    const Bytes alpha_theta = {0xCE, 0x91, 0xCE, 0xB8};  // in the subject's CN of user_strings
    struct Patch { const char* what; Bytes to; int32_t expected; };
    const Patch patches[] = {
        {"Greek kept", alpha_theta, QC_OK}, {"e acute, two bytes", {0xC3, 0xA9, 0xC3, 0xA9}, QC_ERR_BUFFER_TOO_SMALL},
        {"euro, three bytes", {0xE2, 0x82, 0xAC, 'a'}, QC_ERR_BUFFER_TOO_SMALL},
        {"emoji, four bytes", {0xF0, 0x9F, 0x98, 0x80}, QC_ERR_BUFFER_TOO_SMALL},
    };
    for (const Patch& p : patches) {
        Bytes der = ReadCert("user_strings");
        auto at = std::search(der.begin(), der.end(), alpha_theta.begin(), alpha_theta.end());
        ASSERT_NE(at, der.end());
        std::copy(p.to.begin(), p.to.end(), at);
        BINSTR in{der.data(), static_cast<uint32_t>(der.size())};
        X509Cert* cert = nullptr;
        ASSERT_EQ(CERT_Load(&cert, &in), QC_OK) << p.what;
        char text[256];
        EXPECT_EQ(CERT_GetSubjectName(cert, sizeof text, text), p.expected) << p.what;
        CERT_Unload(cert);
    }
}

TEST(CertQuery, NullHandlesEmptyTbsAndNullOutputs) {
    Loaded c("user_utf8");
    quillon::X509Cert hollow{};
    char t[64], before[20], after[20], a[14];
    uint32_t version;
    BINSTR der{nullptr, 0};
    for (X509Cert* h : {static_cast<X509Cert*>(nullptr), reinterpret_cast<X509Cert*>(&hollow), c.cert}) {
        const bool valid = h == c.cert;  // a valid handle with null outputs
        const int32_t codes[] = {
            CERT_GetVersion(h, valid ? nullptr : &version), CERT_GetSerialNum(h, 64, valid ? nullptr : t),
            CERT_GetSignatureAlgorithm(h, 64, valid ? nullptr : t), CERT_GetSubjectName(h, 64, valid ? nullptr : t),
            CERT_GetIssuerName(h, 64, valid ? nullptr : t), CERT_GetValidity(h, valid ? nullptr : before, after),
            CERT_GetValidity(h, before, valid ? nullptr : after), CERT_GetSubjectName_DERFormat(h, valid ? nullptr : &der),
            CERT_GetPubKey(h, 64, valid ? nullptr : a, t), CERT_GetPubKey(h, 64, a, valid ? nullptr : t),
            CERT_GetSignature(h, 64, valid ? nullptr : t)};
        for (int32_t code : codes) EXPECT_EQ(code, QC_ERR_NULL_ARGUMENT);
    }
}

}  // namespace
