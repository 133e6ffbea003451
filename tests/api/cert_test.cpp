#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/mem.h"
#include "quilloncrypto.h"
#include "support/cert_exports.h"
#include "support/time_zone.h"
#include "x509/x509_cert.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

// The answers from OpenSSL's reading (certs/texts.txt); user_utf8 runs to 2050, past 2038.
TEST(CertQuery, RendersWhatOpensslReports) {
    ScopedTimeZone tz(SeoulZone());
    for (const std::string& name : kAnswered) {
        SCOPED_TRACE(name);
        Loaded c(name);
        ASSERT_EQ(c.result, QC_OK);
        const std::map<std::string, Answer> answers = Answers(name);
        char text[4096], algorithm[14];
        const std::pair<const char*, std::function<int32_t()>> queries[] = {
            {"SerialNum", [&] { return CERT_GetSerialNum(c.cert, sizeof text, text); }},
            {"SignatureAlgorithm", [&] { return CERT_GetSignatureAlgorithm(c.cert, sizeof text, text); }},
            {"SubjectName", [&] { return CERT_GetSubjectName(c.cert, sizeof text, text); }},
            {"IssuerName", [&] { return CERT_GetIssuerName(c.cert, sizeof text, text); }},
            {"Signature", [&] { return CERT_GetSignature(c.cert, sizeof text, text); }},
            {"PubKey", [&] { return CERT_GetPubKey(c.cert, sizeof text, algorithm, text); }},
        };
        for (const auto& [query, call] : queries) {
            ASSERT_EQ(call(), answers.at(query).code) << query;
            EXPECT_EQ(text, answers.at(query).text) << query;
        }
        EXPECT_EQ(algorithm, answers.at("PubKeyAlgorithm").text);
        uint32_t version = 99;
        ASSERT_EQ(CERT_GetVersion(c.cert, &version), QC_OK);
        EXPECT_EQ(std::to_string(version), answers.at("Version").text);
        // Korean time from the certificate's UTC, whatever the machine's zone.
        char before[20], after[20];
        for (const char* zone : {"UTC0", "EST5EDT", "KST-9"}) {
            ScopedTimeZone validity_zone(zone);
            ASSERT_EQ(CERT_GetValidity(c.cert, before, after), QC_OK);
            EXPECT_EQ(before, answers.at("NotBefore").text) << zone;
            EXPECT_EQ(after, answers.at("NotAfter").text) << zone;
        }
        BINSTR der{nullptr, 0};
        ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.cert, &der), QC_OK);
        std::string hex;
        for (uint32_t i = 0; i < der.length; ++i) hex += {"0123456789ABCDEF"[der.data[i] >> 4], "0123456789ABCDEF"[der.data[i] & 15]};
        EXPECT_EQ(hex, answers.at("SubjectName_DERFormat").text);
        const long live = quillon::MEM_LiveBlocks();
        ASSERT_EQ(CERT_GetSubjectName_DERFormat(c.cert, &der), QC_OK);
        EXPECT_EQ(quillon::MEM_LiveBlocks(), live) << "asking again replaces the bytes";
        BINSTR_Delete(&der);
    }
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
