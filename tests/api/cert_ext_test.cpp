#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/x509v3.h>

#include <algorithm>
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

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}
std::string Oid(const ASN1_OBJECT* object) {
    char text[128];
    OBJ_obj2txt(text, sizeof text, object, 1);
    return text;
}
const quillon::ObjectRow* Row(const ASN1_OBJECT* object) {
    const std::string oid = Oid(object);
    return quillon::OBJ_Row(quillon::OBJ_NidFromText(oid.data(), oid.size()));
}
std::string TableShortName(const ASN1_OBJECT* type) { return Row(type)->short_name; }
// The items of a DER SEQUENCE as OpenSSL's generic types.
using Items = std::unique_ptr<ASN1_SEQUENCE_ANY, void (*)(ASN1_SEQUENCE_ANY*)>;
Items Parse(const ASN1_STRING* der) {
    const unsigned char* p = ASN1_STRING_get0_data(der);
    return Items(d2i_ASN1_SEQUENCE_ANY(nullptr, &p, ASN1_STRING_length(der)),
                 [](ASN1_SEQUENCE_ANY* s) { sk_ASN1_TYPE_pop_free(s, ASN1_TYPE_free); });
}

struct Expected {
    int32_t code;
    std::string text;
};

// What each query should give for OpenSSL's reading of the certificate.
Expected FromOpenssl(X509* x, int query) {
    const int nid = kNids[query];
    if (X509_get_ext_by_NID(x, nid, -1) < 0) return {QC_ERR_EXTENSION_ABSENT, ""};
    void* ext = X509_get_ext_d2i(x, nid, nullptr, nullptr);
    if (!ext) return {QC_ERR_MALFORMED_DER, ""};
    std::string t;
    auto uris = [](const GENERAL_NAMES* list, const std::string& prefix) {
        std::string out;
        for (int i = 0; i < sk_GENERAL_NAME_num(list); ++i) {
            const GENERAL_NAME* g = sk_GENERAL_NAME_value(list, i);
            if (g->type == GEN_URI) out += prefix + Raw(g->d.uniformResourceIdentifier);
        }
        return out;
    };
    switch (query) {
        case kKeyUsage: {
            static const char* bits[] = {"digitalSignature", "nonRepudiation", "keyEncipherment", "dataEncipherment",
                                         "keyAgreement", "keyCertSign", "crlSign", "encipherOnly", "decipherOnly"};
            auto* ku = static_cast<ASN1_BIT_STRING*>(ext);
            for (int i = 0; i < 9; ++i)
                if (ASN1_BIT_STRING_get_bit(ku, i)) t += (t.empty() ? "" : ", ") + std::string(bits[i]);
            ASN1_BIT_STRING_free(ku);
            break;
        }
        case kBasic: {
            auto* bc = static_cast<BASIC_CONSTRAINTS*>(ext);
            const bool ok = bc->pathlen != nullptr;
            if (ok) {
                BIGNUM* path = ASN1_INTEGER_to_BN(bc->pathlen, nullptr);
                const long value = BN_num_bits(path) > 32 ? -1 : static_cast<int32_t>(BN_get_word(path));
                t = std::string("CA : ") + (bc->ca ? "TRUE" : "FALSE") + ", PathLenConstraint : " + std::to_string(value);
                BN_free(path);
            }
            BASIC_CONSTRAINTS_free(bc);
            if (!ok) return {QC_ERR_MALFORMED_DER, ""};  // both fields are required
            break;
        }
        case kPolicy:
        case kPolicyId: {
            auto* policies = static_cast<CERTIFICATEPOLICIES*>(ext);
            for (int i = 0; i < sk_POLICYINFO_num(policies); ++i) {
                const POLICYINFO* p = sk_POLICYINFO_value(policies, i);
                if (query == kPolicyId) {
                    t += (i ? "," : "") + Oid(p->policyid);
                    continue;
                }
                t += std::string(i ? "\n" : "") + "[" + char('1' + i) + "]Certificate Policy:\n\tPolicyIdentifier=" + Oid(p->policyid);
                for (int j = 0; j < sk_POLICYQUALINFO_num(p->qualifiers); ++j) {
                    const POLICYQUALINFO* q = sk_POLICYQUALINFO_value(p->qualifiers, j);
                    t += std::string("\n\t[") + char('1' + i) + "," + char('1' + j) + "]Policy Qualifier Info:\n\t\t";
                    const int id = OBJ_obj2nid(q->pqualid);
                    if (id == NID_id_qt_cps) t += "Policy Qualifier CPS:" + Raw(q->d.cpsuri);
                    if (id != NID_id_qt_unotice) continue;
                    t += "Policy Qualifier User Notice:";
                    const ASN1_STRING* text = q->d.usernotice->exptext;
                    if (text) t += ASN1_STRING_type(text) == V_ASN1_UTF8STRING || ASN1_STRING_type(text) == V_ASN1_BMPSTRING ? Utf8ToEucKr(text) : Raw(text);
                }
            }
            CERTIFICATEPOLICIES_free(policies);
            break;
        }
        case kEku: {
            auto* eku = static_cast<EXTENDED_KEY_USAGE*>(ext);
            for (int i = 0; i < sk_ASN1_OBJECT_num(eku); ++i) t += (i ? ", " : "") + std::string(Row(sk_ASN1_OBJECT_value(eku, i))->short_name);
            EXTENDED_KEY_USAGE_free(eku);
            break;
        }
        case kSan: {
            auto* san = static_cast<GENERAL_NAMES*>(ext);
            for (int i = 0; i < sk_GENERAL_NAME_num(san); ++i) {
                const GENERAL_NAME* g = sk_GENERAL_NAME_value(san, i);
                if (g->type == GEN_EMAIL) t += "E-MAIL:\n\t" + Raw(g->d.rfc822Name) + "\n";
                if (g->type != GEN_OTHERNAME) continue;
                t += "OtherName:\n";
                if (Oid(g->d.otherName->type_id) != "1.2.410.200004.10.1.1") continue;
                Items identify = Parse(g->d.otherName->value->value.sequence);
                t += "\tidentifyData:\n" + EucKr("\t\t실명 = ") + Utf8ToEucKr(sk_ASN1_TYPE_value(identify.get(), 0)->value.utf8string) + "\n";
                if (sk_ASN1_TYPE_num(identify.get()) < 2) continue;
                Items infos = Parse(sk_ASN1_TYPE_value(identify.get(), 1)->value.sequence);
                Items info = Parse(sk_ASN1_TYPE_value(infos.get(), 0)->value.sequence);
                Items vid = Parse(sk_ASN1_TYPE_value(info.get(), 1)->value.sequence);
                Items algorithm = Parse(sk_ASN1_TYPE_value(vid.get(), 0)->value.sequence);
                // [0] EXPLICIT OCTET STRING, short lengths: A0 len 04 len bytes.
                const std::string wrapped = Raw(sk_ASN1_TYPE_value(vid.get(), 1)->value.asn1_string);
                t += "\t\tVID:\n" + EucKr("\t\t\t해쉬 알고리즘=") + Row(sk_ASN1_TYPE_value(algorithm.get(), 0)->value.object)->long_name +
                     "\n\t\t\tvirtualID=" + Hex(wrapped.substr(4)) + "\n";
            }
            GENERAL_NAMES_free(san);
            break;
        }
        case kAkid: {
            auto* akid = static_cast<AUTHORITY_KEYID*>(ext);
            if (akid->keyid) t += "KeyID=" + Hex(Raw(akid->keyid)) + "\n";
            if (akid->issuer) {
                t += EucKr("인증서 발급자:\n");
                const GENERAL_NAME* first = sk_GENERAL_NAME_value(akid->issuer, 0);
                if (first && first->type == GEN_DIRNAME) t += EucKr("디렉토리 주소:\n\t") + NameText(first->d.directoryName, TableShortName);
            }
            if (akid->serial) {
                BIGNUM* serial = ASN1_INTEGER_to_BN(akid->serial, nullptr);
                char* hex = BN_bn2hex(serial);
                t += std::string("\nCertificate SerialNumber=") + hex;
                OPENSSL_free(hex);
                BN_free(serial);
            }
            AUTHORITY_KEYID_free(akid);
            break;
        }
        case kSkid: {
            auto* skid = static_cast<ASN1_OCTET_STRING*>(ext);
            t = Hex(Raw(skid));
            ASN1_OCTET_STRING_free(skid);
            break;
        }
        case kCrlDp:
        case kCrlUrl: {
            auto* points = static_cast<CRL_DIST_POINTS*>(ext);
            for (int k = 0; k < sk_DIST_POINT_num(points); ++k) {
                const DIST_POINT* dp = sk_DIST_POINT_value(points, k);
                const DIST_POINT_NAME* name = dp->distpoint;
                if (query == kCrlUrl) {
                    if (name && name->type == 0) {
                        const std::string urls = uris(name->name.fullname, "|\n");
                        t += t.empty() && !urls.empty() ? urls.substr(2) : urls;
                    }
                    continue;
                }
                t += (k ? "\n" : "") + ("[" + std::to_string(k + 1) + "] CRL Distribution Point\n");
                if (name) t += "\t Distribution Point Name:\n";
                if (name && name->type == 0 && sk_GENERAL_NAME_num(name->name.fullname) > 0) {
                    t += "\t\t Full Name:\n";
                    for (int i = 0; i < sk_GENERAL_NAME_num(name->name.fullname); ++i) {
                        const GENERAL_NAME* g = sk_GENERAL_NAME_value(name->name.fullname, i);
                        if (g->type == GEN_URI) t += "\t\t\t" + Raw(g->d.uniformResourceIdentifier);
                        if (g->type == GEN_DIRNAME) {
                            const std::string dir = NameText(g->d.directoryName, TableShortName);
                            t += "\t\t\t" + (dir.size() <= 126 ? dir : "");  // through a 128-byte buffer
                        }
                    }
                }
                if (name && name->type == 1 && sk_X509_NAME_ENTRY_num(name->name.relativename) > 0) {
                    t += "\t\t nameRealativeToCRLIssuer:\n";
                    for (int i = 0; i < sk_X509_NAME_ENTRY_num(name->name.relativename); ++i)
                        t += "\t\t\t" + Raw(X509_NAME_ENTRY_get_data(sk_X509_NAME_ENTRY_value(name->name.relativename, i)));
                }
                if (dp->reasons) t += "\t Reason Flags:\n\t\t" + Raw(dp->reasons);
                if (sk_GENERAL_NAME_num(dp->CRLissuer) > 0) t += "\t cRL Issuer:\n" + uris(dp->CRLissuer, "\t\t");
            }
            CRL_DIST_POINTS_free(points);
            break;
        }
    }
    return {QC_OK, t};
}

// The decoded extension of `nid` (OpenSSL's number) in the loaded certificate.
quillon::X509Extension* Extension(const Loaded& c, int nid) {
    auto* cert = reinterpret_cast<quillon::X509Cert*>(c.cert);
    const std::string oid = Oid(OBJ_nid2obj(nid));
    nid = quillon::OBJ_NidFromText(oid.data(), oid.size());
    return static_cast<quillon::X509Extension*>(
        quillon::X509_ListGet(cert->tbs->extensions, quillon::X509Ext_FindByNid(cert->tbs->extensions, nid, -1)));
}

const std::vector<std::string> kFixtures = {"ca",       "user_utf8",  "user_sha1",  "user_bmp",  "user_kcdsa",
                                            "user_uid", "ext_common", "ext_korean", "ext_many"};

// The texts as OpenSSL reads the extensions, each needing exactly its length and NUL: every
// smaller size fails with the query's code and nothing is written past the size.
TEST(CertExtQuery, TextsAsOpensslReadsTheExtensions) {
    for (const std::string& name : kFixtures) {
        Loaded c(name);
        ASSERT_EQ(c.result, QC_OK) << name;
        for (int q = 0; q < 10; ++q) {
            SCOPED_TRACE(name + " " + kExports[q].name);
            // With unique identifiers present the extensions are not read.
            const Expected expected = name == "user_uid" ? Expected{QC_ERR_EXTENSION_ABSENT, ""} : FromOpenssl(c.ossl.get(), q);
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
