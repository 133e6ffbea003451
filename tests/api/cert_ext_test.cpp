#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "asn1/object_table.h"
#include "quilloncrypto.h"
#include "support/cert_exports.h"
#include "x509/x509_cert.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;
using Query = int32_t (*)(X509Cert*, int32_t, char*);

struct Export { const char* name; Query query; };
const Export kExports[] = {
    {"KeyUsage", CERT_GetKeyUsage},       {"BasicConstraints", CERT_GetBasicConstraints},
    {"CertPolicy", CERT_GetCertPolicy},   {"CertPolicy_PolicyID", CERT_GetCertPolicy_PolicyID},
    {"ExtKeyUsage", CERT_GetExtKeyUsage}, {"SubjectAltName", CERT_GetSubjectAltName},
    {"AuthKeyID", CERT_GetAuthKeyID},     {"SubKeyID", CERT_GetSubKeyID},
    {"CRLDP", CERT_GetCRLDP},             {"CRLDP_URL", CERT_GetCRLDP_URL},
};
enum { kKeyUsage, kBasic, kPolicy, kPolicyId, kEku, kSan, kAkid, kSkid, kCrlDp, kCrlUrl };
const int kNids[] = {NID_key_usage,         NID_basic_constraints,     NID_certificate_policies,
                     NID_certificate_policies, NID_ext_key_usage,      NID_subject_alt_name,
                     NID_authority_key_identifier, NID_subject_key_identifier, NID_crl_distribution_points,
                     NID_crl_distribution_points};

std::string Oid(const ASN1_OBJECT* object) {
    char text[128];
    OBJ_obj2txt(text, sizeof text, object, 1);
    return text;
}

// The decoded extension of `nid` (OpenSSL's number) in the loaded certificate.
quillon::X509Extension* Extension(const Loaded& c, int nid) {
    auto* cert = reinterpret_cast<quillon::X509Cert*>(c.cert);
    const std::string oid = Oid(OBJ_nid2obj(nid));
    nid = quillon::OBJ_NidFromText(oid.data(), oid.size());
    return static_cast<quillon::X509Extension*>(
        quillon::X509_ListGet(cert->tbs->extensions, quillon::X509Ext_FindByNid(cert->tbs->extensions, nid, -1)));
}

// The texts as OpenSSL reads the extensions (certs/texts.txt), each needing exactly its length
// and NUL: every smaller size fails with the query's code and nothing is written past the size.
TEST(CertExtQuery, TextsAsOpensslReadsTheExtensions) {
    for (const std::string& name : kAnswered) {
        Loaded c(name);
        ASSERT_EQ(c.result, QC_OK) << name;
        const std::map<std::string, Answer> answers = Answers(name);
        for (int q = 0; q < 10; ++q) {
            SCOPED_TRACE(name + " " + kExports[q].name);
            const Answer& expected = answers.at(kExports[q].name);
            std::vector<char> text(8192, '\x5A');
            ASSERT_EQ(kExports[q].query(c.cert, static_cast<int32_t>(text.size()), text.data()), expected.code);
            if (expected.code != QC_OK) {
                EXPECT_EQ(std::count(text.begin(), text.end(), '\x5A'), static_cast<long>(text.size())) << "buffer touched";
                continue;
            }
            EXPECT_EQ(std::string(text.data()), expected.text);
            const int needed = static_cast<int>(expected.text.size()) + 1;
            std::vector<int32_t> codes;
            EXPECT_EQ(SmallestSize(needed + 2, [&](int s, char* b) { return kExports[q].query(c.cert, s, b); }, &codes), needed);
            const int32_t small = q == kPolicyId ? QC_ERR_MALFORMED_DER : QC_ERR_BUFFER_TOO_SMALL;
            for (int size = 0; size < needed; ++size) {
                // The authority's directory name reports its own lack of room as malformed.
                EXPECT_TRUE(codes[size] == small || (q == kAkid && codes[size] == QC_ERR_MALFORMED_DER)) << size << ": " << codes[size];
            }
        }
    }
}

Bytes Der(uint8_t tag, std::initializer_list<Bytes> parts) {
    Bytes body;
    for (const Bytes& p : parts) body.insert(body.end(), p.begin(), p.end());
    Bytes out = {tag};
    if (body.size() >= 128) out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes Str(uint8_t tag, const std::string& s) { return Der(tag, {Bytes(s.begin(), s.end())}); }
Bytes H(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }
const Bytes kOid123 = H({0x06, 0x02, 0x2A, 0x03}), kSha1 = H({0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A});
const Bytes kIdentifyType = H({0x06, 0x09, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x0A, 0x01, 0x01});
const Bytes kCps = H({0x06, 0x08, 0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x02, 0x01});
const Bytes kNotice = H({0x06, 0x08, 0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x02, 0x02});
Bytes Vid(bool with_id) {
    const Bytes algorithm = Der(0x30, {kSha1});
    return with_id ? Der(0x30, {algorithm, Der(0xA0, {Der(0x04, {H({0xAB, 0x01})})})}) : Der(0x30, {algorithm});
}
Bytes Identify(const Bytes& real_name, const Bytes& vid) {
    const Bytes data = vid.empty() ? Der(0x30, {real_name}) : Der(0x30, {real_name, Der(0x30, {Der(0x30, {kIdentifyType, vid})})});
    return Der(0x30, {Der(0xA0, {kIdentifyType, Der(0xA0, {data})})});
}
Bytes PolicyWith(const Bytes& qualifier) { return Der(0x30, {Der(0x30, {kOid123, Der(0x30, {qualifier})})}); }
Bytes Name(const std::string& cn) {
    return Der(0x30, {Der(0x31, {Der(0x30, {H({0x06, 0x03, 0x55, 0x04, 0x03}), Str(0x0C, cn)})})});
}

// Shapes the fixtures cannot show, each put in place of ext_common's extension of its type.
TEST(CertExtQuery, AwkwardShapes) {
    const std::string issuer_label = EucKr("인증서 발급자:\n"), real_name = EucKr("\t\t실명 = ");
    const std::string dp1 = "[1] CRL Distribution Point\n";
    struct Case { const char* what; int query; Bytes value; int32_t code; std::string text; };
    const Case cases[] = {
        {"one bit", kKeyUsage, H({0x03, 0x02, 0x07, 0x80}), QC_OK, "digitalSignature"},
        {"bit 8 alone", kKeyUsage, H({0x03, 0x03, 0x07, 0x00, 0x80}), QC_OK, "decipherOnly"},
        {"no bits", kKeyUsage, H({0x03, 0x01, 0x00}), QC_OK, ""},
        {"no unused-bits octet", kKeyUsage, H({0x03, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"OCTET STRING", kKeyUsage, H({0x04, 0x02, 0x07, 0x80}), QC_ERR_MALFORMED_DER, ""},
        {"empty value", kKeyUsage, H({}), QC_ERR_MALFORMED_DER, ""},
        {"cut short", kKeyUsage, H({0x03, 0x05, 0x07}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kBasic, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"no path length", kBasic, H({0x30, 0x03, 0x01, 0x01, 0xFF}), QC_ERR_MALFORMED_DER, ""},
        {"integer first", kBasic, H({0x30, 0x06, 0x02, 0x01, 0x00, 0x01, 0x01, 0xFF}), QC_ERR_MALFORMED_DER, ""},
        {"path 2^31", kBasic, H({0x30, 0x09, 0x01, 0x01, 0xFF, 0x02, 0x04, 0x80, 0, 0, 0}), QC_OK, "CA : TRUE, PathLenConstraint : -2147483648"},
        {"empty", kPolicy, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kPolicyId, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"empty qualifiers", kPolicy, Der(0x30, {Der(0x30, {kOid123, H({0x30, 0x00})})}), QC_OK, "[1]Certificate Policy:\n\tPolicyIdentifier=1.2.3"},
        {"qualifiers not a SEQUENCE", kPolicy, Der(0x30, {Der(0x30, {kOid123, H({0x04, 0x00})})}), QC_ERR_MALFORMED_DER, ""},
        {"third element ignored", kPolicy, Der(0x30, {Der(0x30, {kOid123, H({0x04, 0x00}), H({0x05, 0x00})})}), QC_OK, "[1]Certificate Policy:\n\tPolicyIdentifier=1.2.3"},
        {"qualifier INTEGER", kPolicy, PolicyWith(Der(0x30, {kCps, H({0x02, 0x01, 0x05})})), QC_ERR_MALFORMED_DER, ""},
        {"qualifier of three", kPolicy, PolicyWith(Der(0x30, {kCps, Str(0x16, "a"), Str(0x16, "b")})), QC_ERR_MALFORMED_DER, ""},
        {"CPS id with a notice", kPolicy, PolicyWith(Der(0x30, {kCps, Der(0x30, {Str(0x0C, "x")})})), QC_OK,
         "[1]Certificate Policy:\n\tPolicyIdentifier=1.2.3\n\t[1,1]Policy Qualifier Info:\n\t\tPolicy Qualifier CPS:"},
        {"notice without EUC-KR form", kPolicy, PolicyWith(Der(0x30, {kNotice, Der(0x30, {Der(0x1E, {H({0xD7, 0xA3, 0x00, 0x41})})})})), QC_OK,
         "[1]Certificate Policy:\n\tPolicyIdentifier=1.2.3\n\t[1,1]Policy Qualifier Info:\n\t\tPolicy Qualifier User Notice:"},
        {"notice with an INTEGER", kPolicy, PolicyWith(Der(0x30, {kNotice, Der(0x30, {H({0x02, 0x01, 0x01})})})), QC_ERR_MALFORMED_DER, ""},
        {"empty", kEku, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"not an OID", kEku, H({0x30, 0x03, 0x02, 0x01, 0x01}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kSan, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"other type", kSan, Der(0x30, {Der(0xA0, {kOid123, Der(0xA0, {Str(0x0C, "x")})})}), QC_OK, "OtherName:\n"},
        {"otherName without value", kSan, Der(0x30, {Der(0xA0, {kOid123})}), QC_ERR_MALFORMED_DER, ""},
        {"identifyData without VID", kSan, Identify(Str(0x0C, "Hong"), {}), QC_OK, "OtherName:\n\tidentifyData:\n" + real_name + "Hong\n"},
        {"VID without virtualID", kSan, Identify(Str(0x0C, "Hong"), Vid(false)), QC_ERR_MALFORMED_DER, ""},
        {"VID with virtualID", kSan, Identify(Str(0x0C, "Hong"), Vid(true)), QC_OK,
         "OtherName:\n\tidentifyData:\n" + real_name + "Hong\n\t\tVID:\n" + EucKr("\t\t\t해쉬 알고리즘=") + "sha1\n\t\t\tvirtualID=AB01\n"},
        {"realName PrintableString", kSan, Identify(Str(0x13, "Hong"), {}), QC_ERR_MALFORMED_DER, ""},
        {"realName without EUC-KR form", kSan, Identify(Der(0x0C, {H({0xED, 0x9E, 0xA3})}), {}), QC_OK, "OtherName:\n\tidentifyData:\n" + real_name + "\n"},
        {"tag [9]", kSan, Der(0x30, {Str(0x89, "x")}), QC_ERR_MALFORMED_DER, ""},
        {"universal item", kSan, Der(0x30, {Str(0x16, "x")}), QC_ERR_MALFORMED_DER, ""},
        {"empty directoryName", kSan, Der(0x30, {Der(0xA4, {H({0x30, 0x00})})}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kAkid, H({0x30, 0x00}), QC_OK, ""},
        {"empty key id", kAkid, H({0x30, 0x02, 0x80, 0x00}), QC_OK, "KeyID=\n"},
        {"empty issuer", kAkid, H({0x30, 0x02, 0xA1, 0x00}), QC_OK, issuer_label},
        {"serial zero", kAkid, H({0x30, 0x03, 0x82, 0x01, 0x00}), QC_OK, "\nCertificate SerialNumber=0"},
        {"tag [3]", kAkid, H({0x30, 0x02, 0x83, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"two key ids", kAkid, H({0x30, 0x04, 0x80, 0x00, 0x80, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kSkid, H({0x04, 0x00}), QC_OK, ""},
        {"BIT STRING", kSkid, H({0x03, 0x02, 0x00, 0x01}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kCrlDp, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"empty", kCrlUrl, H({0x30, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"empty point", kCrlDp, H({0x30, 0x02, 0x30, 0x00}), QC_OK, dp1},
        {"empty point", kCrlUrl, H({0x30, 0x02, 0x30, 0x00}), QC_OK, ""},
        {"empty full name", kCrlDp, H({0x30, 0x06, 0x30, 0x04, 0xA0, 0x02, 0xA0, 0x00}), QC_OK, dp1 + "\t Distribution Point Name:\n"},
        {"tag [3]", kCrlDp, H({0x30, 0x04, 0x30, 0x02, 0xA3, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"reasons without octets", kCrlDp, H({0x30, 0x04, 0x30, 0x02, 0x81, 0x00}), QC_ERR_MALFORMED_DER, ""},
        {"name too long for 128 bytes", kCrlDp, Der(0x30, {Der(0x30, {Der(0xA0, {Der(0xA0, {Der(0xA4, {Name(std::string(124, 'x'))}), Str(0x86, "u")})})})}),
         QC_OK, dp1 + "\t Distribution Point Name:\n\t\t Full Name:\n\t\t\t\t\t\tu"},
        {"name that fits 128 bytes", kCrlDp, Der(0x30, {Der(0x30, {Der(0xA0, {Der(0xA0, {Der(0xA4, {Name(std::string(123, 'x'))})})})})}),
         QC_OK, dp1 + "\t Distribution Point Name:\n\t\t Full Name:\n\t\t\tCN=" + std::string(123, 'x')},
    };
    Loaded c("ext_common");
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(kExports[k.query].name) + ": " + k.what);
        quillon::X509Extension* extension = Extension(c, kNids[k.query]);
        ASSERT_NE(extension, nullptr);
        ASSERT_EQ(quillon::ASNVALUE_Set(extension->value, 4, k.value.data(), static_cast<uint32_t>(k.value.size())), 1);
        std::vector<char> text(4096, '\x5A');
        EXPECT_EQ(kExports[k.query].query(c.cert, static_cast<int32_t>(text.size()), text.data()), k.code);
        if (k.code == QC_OK) {
            EXPECT_EQ(std::string(text.data()), k.text);
        }
    }
}

TEST(CertExtQuery, NullArgumentsComeFirst) {
    Loaded c("ext_many");  // no extKeyUsage, no subjectAltName
    quillon::X509Cert hollow{};
    char text[64];
    for (const Export& e : kExports) {
        EXPECT_EQ(e.query(nullptr, sizeof text, text), QC_ERR_NULL_ARGUMENT) << e.name;
        EXPECT_EQ(e.query(reinterpret_cast<X509Cert*>(&hollow), sizeof text, text), QC_ERR_NULL_ARGUMENT) << e.name;
        EXPECT_EQ(e.query(c.cert, sizeof text, nullptr), QC_ERR_NULL_ARGUMENT) << e.name;
    }
}

}  // namespace
