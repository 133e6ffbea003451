#include <gtest/gtest.h>
#include <iconv.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ctime>
#include <string>
#include <vector>

#include "api/mem.h"
#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/cert_fixtures.h"
#include "support/time_zone.h"
#include "x509/x509_cert.h"

namespace {

using quillon::test::OsslCert;
using quillon::test::ReadCert;
using Bytes = std::vector<uint8_t>;

std::string Hex(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string BnHex(const BIGNUM* bn) {
    char* hex = BN_bn2hex(bn);
    std::string out = hex;
    OPENSSL_free(hex);
    return out;
}

std::string EucKr(const std::string& utf8) {
    iconv_t cd = iconv_open("EUC-KR", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string out(utf8.size() * 2 + 4, '\0');
    char* src = const_cast<char*>(utf8.data());
    size_t src_left = utf8.size(), dst_left = out.size();
    char* dst = out.data();
    EXPECT_NE(iconv(cd, &src, &src_left, &dst, &dst_left), static_cast<size_t>(-1)) << utf8;
    iconv_close(cd);
    out.resize(out.size() - dst_left);
    return out;
}

// OpenSSL's reading of a name in this library's text form: last RDN first, first value of
// each RDN, values in EUC-KR, the country as encoded.
std::string ExpectedName(const X509_NAME* name) {
    std::vector<std::string> parts;
    int last_set = -1;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        if (X509_NAME_ENTRY_set(e) == last_set) continue;
        last_set = X509_NAME_ENTRY_set(e);
        const int nid = OBJ_obj2nid(X509_NAME_ENTRY_get_object(e));
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(e);
        std::string text;
        if (nid == NID_countryName) {
            text.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)), ASN1_STRING_length(value));
        } else {
            unsigned char* utf8 = nullptr;
            const int n = ASN1_STRING_to_UTF8(&utf8, value);
            text = EucKr(std::string(reinterpret_cast<char*>(utf8), n));
            OPENSSL_free(utf8);
        }
        parts.push_back(std::string(OBJ_nid2sn(nid)) + "=" + text);
    }
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) out += (out.empty() ? "" : ",") + *it;
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

std::string ExpectedKey(X509* x) {
    EVP_PKEY* key = X509_get0_pubkey(x);
    BIGNUM *n = nullptr, *e = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e);
    std::string out = "n=" + BnHex(n) + ",e=" + BnHex(e);
    BN_free(n);
    BN_free(e);
    return out;
}

std::string ExpectedKcdsaKey() {
    FILE* f = std::fopen((std::string(QUILLON_FIXTURES) + "/certs/keys/kcdsa.dsa.pem").c_str(), "r");
    EVP_PKEY* key = f ? PEM_read_PrivateKey(f, nullptr, nullptr, nullptr) : nullptr;
    if (f) std::fclose(f);
    std::string out;
    for (auto [label, param] : {std::pair{"p=", OSSL_PKEY_PARAM_FFC_P}, std::pair{",q=", OSSL_PKEY_PARAM_FFC_Q},
                                std::pair{",g=", OSSL_PKEY_PARAM_FFC_G}, std::pair{",y=", OSSL_PKEY_PARAM_PUB_KEY}}) {
        BIGNUM* bn = nullptr;
        EVP_PKEY_get_bn_param(key, param, &bn);
        out += label + BnHex(bn);
        BN_free(bn);
    }
    EVP_PKEY_free(key);
    return out;
}

class Loaded {
public:
    explicit Loaded(const std::string& name) : der_(ReadCert(name)), ossl_(quillon::test::OsslParse(der_)) {
        BINSTR in{der_.data(), static_cast<uint32_t>(der_.size())};
        result_ = CERT_Load(&cert_, &in);
    }
    ~Loaded() {
        if (cert_) CERT_Unload(cert_);
    }
    X509Cert* get() const { return cert_; }
    X509* ossl() const { return ossl_.get(); }
    int32_t result() const { return result_; }
    const Bytes& der() const { return der_; }

private:
    Bytes der_;
    OsslCert ossl_;
    X509Cert* cert_ = nullptr;
    int32_t result_ = 0;
};

class CertQuery : public ::testing::TestWithParam<std::string> {
protected:
    quillon::test::ScopedTimeZone tz_{quillon::test::SeoulZone()};
};

TEST_P(CertQuery, RendersWhatOpensslReports) {
    Loaded c(GetParam());
    ASSERT_EQ(c.result(), QC_OK);
    ASSERT_NE(c.ossl(), nullptr);
    char text[4096];

    uint32_t version = 99;
    ASSERT_EQ(CERT_GetVersion(c.get(), &version), QC_OK);
    EXPECT_EQ(version, static_cast<uint32_t>(X509_get_version(c.ossl())));

    ASSERT_EQ(CERT_GetSerialNum(c.get(), sizeof text, text), QC_OK);
    BIGNUM* serial = ASN1_INTEGER_to_BN(X509_get0_serialNumber(c.ossl()), nullptr);
    EXPECT_EQ(std::string(text), BnHex(serial));
    BN_free(serial);

    ASSERT_EQ(CERT_GetSignatureAlgorithm(c.get(), sizeof text, text), QC_OK);
    const int sig_nid = X509_get_signature_nid(c.ossl());
    EXPECT_EQ(std::string(text), sig_nid == NID_sha1WithRSAEncryption ? OBJ_nid2ln(sig_nid) : "undefined");

    ASSERT_EQ(CERT_GetSubjectName(c.get(), sizeof text, text), QC_OK);
    EXPECT_EQ(std::string(text), ExpectedName(X509_get_subject_name(c.ossl())));
    ASSERT_EQ(CERT_GetIssuerName(c.get(), sizeof text, text), QC_OK);
    EXPECT_EQ(std::string(text), ExpectedName(X509_get_issuer_name(c.ossl())));

    char before[20], after[20];
    ASSERT_EQ(CERT_GetValidity(c.get(), before, after), QC_OK);
    EXPECT_EQ(std::string(before), ExpectedTime(X509_get0_notBefore(c.ossl())));
    EXPECT_EQ(std::string(after), ExpectedTime(X509_get0_notAfter(c.ossl())));

    char algorithm[14];
    ASSERT_EQ(CERT_GetPubKey(c.get(), sizeof text, algorithm, text), QC_OK);
    if (GetParam() == "user_kcdsa") {
        EXPECT_STREQ(algorithm, "kcdsa1");
        EXPECT_EQ(std::string(text), ExpectedKcdsaKey());
    } else {
        EXPECT_STREQ(algorithm, "rsaEncryption");
        EXPECT_EQ(std::string(text), ExpectedKey(c.ossl()));
    }

    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, c.ossl());
    ASSERT_EQ(CERT_GetSignature(c.get(), sizeof text, text), QC_OK);
    EXPECT_EQ(std::string(text), Hex(ASN1_STRING_get0_data(signature), ASN1_STRING_length(signature)));

    BINSTR der{nullptr, 0};
    ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.get(), &der), QC_OK);
    unsigned char* expected = nullptr;
    const int n = i2d_X509_NAME(X509_get_subject_name(c.ossl()), &expected);
    if (GetParam() != "user_sha1") {  // its two-valued RDN comes back with one value
        EXPECT_EQ(Bytes(der.data, der.data + der.length), Bytes(expected, expected + n));
    }
    OPENSSL_free(expected);
    // Asking again replaces the bytes rather than leaking them.
    const long live = quillon::MEM_LiveBlocks();
    ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.get(), &der), QC_OK);
    EXPECT_EQ(quillon::MEM_LiveBlocks(), live);
    BINSTR_Delete(&der);
}

INSTANTIATE_TEST_SUITE_P(Certs, CertQuery, ::testing::ValuesIn(quillon::test::DecodableCerts()));

TEST(CertQueryText, KoreanNamesAndTimesAsExpected) {
    quillon::test::ScopedTimeZone tz(quillon::test::SeoulZone());
    struct Case {
        const char* cert;
        const char* subject;  // UTF-8, converted below
        const char* not_before;
        const char* not_after;
    };
    for (const Case& k : {Case{"user_utf8", "CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR", "2013-01-01 09:00:00", "2050-01-01 08:59:59"},
                          Case{"user_bmp", "CN=김철수,O=퀼론 시험,C=KR", "2020-03-01 00:00:00", "2030-02-28 23:59:59"},
                          Case{"user_sha1", "OU=Unit,O=Quillon Test,C=KR", "2014-01-01 05:00:00", "2024-06-30 21:00:00"}}) {
        Loaded c(k.cert);
        ASSERT_EQ(c.result(), QC_OK) << k.cert;
        char text[256], before[20], after[20];
        ASSERT_EQ(CERT_GetSubjectName(c.get(), sizeof text, text), QC_OK);
        EXPECT_EQ(std::string(text), EucKr(k.subject)) << k.cert;
        ASSERT_EQ(CERT_GetValidity(c.get(), before, after), QC_OK);
        EXPECT_STREQ(before, k.not_before) << k.cert;
        EXPECT_STREQ(after, k.not_after) << k.cert;
    }
}

// Calls `query` with every size from 0 to `top` in an exact-size buffer followed by guard
// bytes; returns the smallest size that succeeds (-1 if none) after checking the guards.
template <class Query>
int SmallestSize(int top, Query query, std::vector<int32_t>* codes = nullptr) {
    int smallest = -1;
    for (int size = 0; size <= top; ++size) {
        std::vector<char> buffer(size + 16, '\x5A');
        const int32_t r = query(size, buffer.data());
        for (int i = size; i < size + 16; ++i) EXPECT_EQ(buffer[i], '\x5A') << "written past size " << size;
        if (codes) codes->push_back(r);
        if (r == QC_OK && smallest < 0) smallest = size;
        if (r != QC_OK) {
            EXPECT_LT(smallest, 0) << "size " << size << " fails after a smaller one worked";
        }
    }
    return smallest;
}

TEST(CertQueryRoom, SerialNumber) {
    Loaded c16("user_utf8");  // 16-byte serial: four words
    std::vector<int32_t> codes;
    EXPECT_EQ(SmallestSize(40, [&](int size, char* b) { return CERT_GetSerialNum(c16.get(), size, b); }, &codes), 34);
    for (int size = 0; size <= 16; ++size) EXPECT_EQ(codes[size], QC_ERR_BUFFER_TOO_SMALL) << size;
    for (int size = 17; size <= 33; ++size) EXPECT_EQ(codes[size], QC_ERR_CERT_DECODE) << size;

    Loaded c1("user_sha1");  // serial 0x0A
    char text[16];
    EXPECT_EQ(SmallestSize(12, [&](int size, char* b) { return CERT_GetSerialNum(c1.get(), size, b); }), 10);
    ASSERT_EQ(CERT_GetSerialNum(c1.get(), 10, text), QC_OK);
    EXPECT_STREQ(text, "0A");
    Loaded c20("ca");  // 20 bytes: five words
    EXPECT_EQ(SmallestSize(50, [&](int size, char* b) { return CERT_GetSerialNum(c20.get(), size, b); }), 42);
}

TEST(CertQueryRoom, TextsNeverPassTheirSize) {
    Loaded c("user_utf8");
    Loaded sha1("user_sha1");
    char algorithm[14];
    struct Room {
        const char* what;
        std::function<int32_t(int, char*)> query;
        int smallest;
    };
    // Names need their length plus two; the key needs room for each number's whole words.
    const std::string subject = EucKr("CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR");
    const std::string issuer = "CN=Quillon Test Root CA,O=Quillon Test,C=KR";
    const Room rooms[] = {
        {"subject", [&](int s, char* b) { return CERT_GetSubjectName(c.get(), s, b); }, int(subject.size()) + 2},
        {"issuer", [&](int s, char* b) { return CERT_GetIssuerName(c.get(), s, b); }, int(issuer.size()) + 2},
        {"sha256 name", [&](int s, char* b) { return CERT_GetSignatureAlgorithm(c.get(), s, b); }, 10},
        {"sha1 name", [&](int s, char* b) { return CERT_GetSignatureAlgorithm(sha1.get(), s, b); }, 22},
        {"signature", [&](int s, char* b) { return CERT_GetSignature(c.get(), s, b); }, 513},
        // n: 2 + (8 x 64 + 2); ",e=" needs 5 more; e: 3 + 10.
        {"rsa key", [&](int s, char* b) { return CERT_GetPubKey(c.get(), s, algorithm, b); }, 527},
    };
    for (const Room& room : rooms)
        EXPECT_EQ(SmallestSize(room.smallest + 3, room.query), room.smallest) << room.what;
}

TEST(CertQueryRoom, KcdsaKeyText) {
    Loaded c("user_kcdsa");
    char algorithm[14];
    // y comes last: five bytes of room for ",y=" and then its whole words' capacity.
    const std::string expected = ExpectedKcdsaKey();
    const size_t y_digits = expected.size() - expected.rfind(",y=") - 3;
    const int smallest = static_cast<int>(expected.size() - y_digits) + 2 + 8 * static_cast<int>((y_digits + 7) / 8);
    EXPECT_EQ(SmallestSize(smallest + 2, [&](int s, char* b) { return CERT_GetPubKey(c.get(), s, algorithm, b); }),
              smallest);
}

TEST(CertLoad, ResultCodes) {
    const Bytes der = ReadCert("user_utf8");
    X509Cert* cert = reinterpret_cast<X509Cert*>(0x1);
    BINSTR in{const_cast<uint8_t*>(der.data()), static_cast<uint32_t>(der.size())};
    EXPECT_EQ(CERT_Load(nullptr, &in), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_Load(&cert, nullptr), QC_ERR_NULL_ARGUMENT);

    struct Input {
        const char* what;
        Bytes bytes;
        uint32_t length;
        int32_t expected;
    };
    const Bytes garbage = {0x04, 0x03, 'a', 'b', 'c'};
    const Input inputs[] = {
        {"short length", der, static_cast<uint32_t>(der.size() - 1), QC_ERR_MALFORMED_DER},
        {"length zero", der, 0, QC_ERR_MALFORMED_DER},
        {"trailing bytes", [&] { Bytes b = der; b.push_back(0); return b; }(), static_cast<uint32_t>(der.size() + 1), QC_OK},
        {"not a certificate", garbage, static_cast<uint32_t>(garbage.size()), QC_ERR_CERT_DECODE},
        {"indefinite length", {0x30, 0x80, 0x00, 0x00}, 4, QC_ERR_MALFORMED_DER},
        {"version 1", ReadCert("user_v1"), static_cast<uint32_t>(ReadCert("user_v1").size()), QC_ERR_CERT_DECODE},
        {"GeneralizedTime", ReadCert("user_gentime"), static_cast<uint32_t>(ReadCert("user_gentime").size()),
         QC_ERR_CERT_DECODE},
    };
    for (const Input& input : inputs) {
        BINSTR b{const_cast<uint8_t*>(input.bytes.data()), input.length};
        cert = reinterpret_cast<X509Cert*>(0x1);
        EXPECT_EQ(CERT_Load(&cert, &b), input.expected) << input.what;
        if (input.expected == QC_OK) {
            EXPECT_NE(cert, nullptr);
            CERT_Unload(cert);
        } else {
            EXPECT_EQ(cert, nullptr) << input.what;
        }
    }
    BINSTR empty{nullptr, 10};
    EXPECT_EQ(CERT_Load(&cert, &empty), QC_ERR_MALFORMED_DER);
}

TEST(CertQuery, NullHandleArgumentsAndEmptyTbs) {
    Loaded c("user_utf8");
    quillon::X509Cert hollow{};
    X509Cert* no_tbs = reinterpret_cast<X509Cert*>(&hollow);
    char text[64], before[20], after[20], algorithm[14];
    uint32_t version;
    BINSTR der{nullptr, 0};
    for (X509Cert* handle : {static_cast<X509Cert*>(nullptr), no_tbs}) {
        EXPECT_EQ(CERT_GetVersion(handle, &version), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetSerialNum(handle, 64, text), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetSignatureAlgorithm(handle, 64, text), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetSubjectName(handle, 64, text), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetIssuerName(handle, 64, text), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetValidity(handle, before, after), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetSubjectName_DERFormat(handle, &der), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetPubKey(handle, 64, algorithm, text), QC_ERR_NULL_ARGUMENT);
        EXPECT_EQ(CERT_GetSignature(handle, 64, text), QC_ERR_NULL_ARGUMENT);
    }
    EXPECT_EQ(CERT_Unload(nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetVersion(c.get(), nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetSerialNum(c.get(), 64, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetSignatureAlgorithm(c.get(), 64, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetSubjectName(c.get(), 64, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetIssuerName(c.get(), 64, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetSubjectName_DERFormat(c.get(), nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetSignature(c.get(), 64, nullptr), QC_ERR_NULL_ARGUMENT);
    // The buffers that carry no size are checked as well.
    EXPECT_EQ(CERT_GetValidity(c.get(), nullptr, after), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetValidity(c.get(), before, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetPubKey(c.get(), 64, nullptr, text), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetPubKey(c.get(), 64, algorithm, nullptr), QC_ERR_NULL_ARGUMENT);
}

TEST(CertQuery, UnreadableValidityDigitsFail) {
    quillon::test::ScopedTimeZone tz(quillon::test::SeoulZone());
    Bytes der = ReadCert("user_utf8");
    const Bytes from = {0x17, 0x0D, '1', '3'};
    auto at = std::search(der.begin(), der.end(), from.begin(), from.end());
    ASSERT_NE(at, der.end());
    at[2] = 'x';
    BINSTR in{der.data(), static_cast<uint32_t>(der.size())};
    X509Cert* cert = nullptr;
    ASSERT_EQ(CERT_Load(&cert, &in), QC_OK);
    char before[20], after[20];
    EXPECT_EQ(CERT_GetValidity(cert, before, after), QC_ERR_CERT_DECODE);
    CERT_Unload(cert);
}

TEST(CertQuery, AllocationFailures) {
    quillon::test::ScopedTimeZone tz(quillon::test::SeoulZone());
    for (const char* name : {"user_utf8", "user_kcdsa", "user_bmp"}) {
        const Bytes der = ReadCert(name);
        BINSTR in{const_cast<uint8_t*>(der.data()), static_cast<uint32_t>(der.size())};
        quillon::test::WalkAllocationFailures(
            [&] {
                X509Cert* cert = nullptr;
                const int32_t r = CERT_Load(&cert, &in);
                if (r == QC_OK) CERT_Unload(cert);
                return r;
            },
            [&](bool fired, int32_t r) {
                if (fired)
                    EXPECT_TRUE(r == QC_ERR_MALFORMED_DER || r == QC_ERR_CERT_DECODE) << name << " " << r;
                else
                    EXPECT_EQ(r, QC_OK);
            });
        X509Cert* cert = nullptr;
        ASSERT_EQ(CERT_Load(&cert, &in), QC_OK);
        char text[4096], before[20], after[20], algorithm[14];
        struct Query {
            std::function<int32_t()> call;
            std::vector<int32_t> failures;
        };
        BINSTR out{nullptr, 0};
        const Query queries[] = {
            {[&] { return CERT_GetSubjectName(cert, sizeof text, text); }, {QC_ERR_ALLOC}},
            {[&] { return CERT_GetValidity(cert, before, after); }, {QC_ERR_ALLOC}},
            {[&] { return CERT_GetPubKey(cert, sizeof text, algorithm, text); }, {}},
            {[&] {
                 const int32_t r = CERT_GetSubjectName_DERFormat(cert, &out);
                 BINSTR_Delete(&out);
                 return r;
             },
             {QC_ERR_ENCODE_EMPTY, QC_ERR_ALLOC}},
        };
        for (const Query& q : queries)
            quillon::test::WalkAllocationFailures(q.call, [&](bool fired, int32_t r) {
                if (!fired) {
                    EXPECT_EQ(r, QC_OK);
                    return;
                }
                EXPECT_NE(std::find(q.failures.begin(), q.failures.end(), r), q.failures.end()) << name << " " << r;
            });
        CERT_Unload(cert);
    }
}

}  // namespace
