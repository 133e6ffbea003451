#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "core/mem.h"
#include "asn1/object_table.h"
#include "support/cert_fixtures.h"
#include "support/der_bytes.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"

namespace {

using namespace quillon;
using namespace quillon::test;
using Element = Owned<DerElement, DER_Free>;
using Cert = Owned<X509Cert, X509_Free>;
using Bytes = std::vector<uint8_t>;

Cert Decode(const Bytes& der, size_t available) {
    Element element(DER_Parse(der.data(), available));
    X509Cert* cert = nullptr;
    const bool ok = element && X509_Decode(element.get(), &cert);
    EXPECT_TRUE(ok || !cert);
    return Cert(cert);
}
Cert Decode(const Bytes& der) { return Decode(der, der.size()); }

std::string Text(const AsnValue* v) { return std::string(reinterpret_cast<char*>(v->data), v->length); }
std::string Text(const ASN1_STRING* s) { return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s)); }
std::string Text(const ASN1_OBJECT* object) {
    char buffer[128];
    OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    return buffer;
}
std::string Text(const X509_ALGOR* algorithm) {
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    return Text(object);
}

Bytes Rebuilt(const PointerList* name) { return DerBytes(Element(X509Name_Encode(name)).get()); }
template <class T, class I2d>
Bytes OsslDer(const T* object, I2d i2d) {
    unsigned char* der = nullptr;
    const int n = i2d(object, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
}

// Names, dates, serial, keys and signature bytes are compared through the CERT_* queries.
TEST(X509Decode, AlgorithmsKeysAndExtensionsAsOpensslReadsThem) {
    for (const std::string& name : DecodableCerts()) {
        SCOPED_TRACE(name);
        const Bytes der = ReadCert(name);
        OsslCert ossl = OsslParse(der);
        Cert cert = Decode(der);
        ASSERT_TRUE(ossl && cert && cert->tbs);
        const X509_ALGOR* outer = nullptr;
        X509_get0_signature(nullptr, &outer, ossl.get());
        EXPECT_EQ(Text(cert->tbs->signature), Text(X509_get0_tbs_sigalg(ossl.get())));
        EXPECT_EQ(Text(cert->signatureAlgorithm), Text(outer));
        const X509PubKey* key = cert->tbs->subjectPublicKeyInfo;
        EXPECT_EQ(!key->rsaKey, OBJ_NidFromValue(key->algorithm) == NID_KCDSA1);
        EXPECT_EQ(!key->kcdsaParams, OBJ_NidFromValue(key->algorithm) == NID_RSA_ENCRYPTION);
        const PointerList* extensions = cert->tbs->extensions;
        // With unique identifiers present the extensions are not read.
        ASSERT_EQ(X509_ListCount(extensions), name == "user_uid" ? 0 : X509_get_ext_count(ossl.get()));
        for (int i = 0; i < X509_ListCount(extensions); ++i) {
            X509_EXTENSION* expected = X509_get_ext(ossl.get(), i);
            const auto* extension = static_cast<const X509Extension*>(X509_ListGet(extensions, i));
            EXPECT_EQ(Text(extension->object), Text(X509_EXTENSION_get_object(expected)));
            EXPECT_EQ(extension->critical, X509_EXTENSION_get_critical(expected) ? 0xFFFFFFFFu : 0u);
            EXPECT_EQ(Text(extension->value), Text(X509_EXTENSION_get_data(expected)));
        }
        // The serial and both names exactly as encoded; names rebuilt from their entries
        // match too, but for the further values of a multi-valued RDN.
        const Bytes issuer = OsslDer(X509_get_issuer_name(ossl.get()), i2d_X509_NAME);
        const Bytes subject = OsslDer(X509_get_subject_name(ossl.get()), i2d_X509_NAME);
        EXPECT_EQ(DerBytes(cert->tbs->serialNumberDer), OsslDer(X509_get0_serialNumber(ossl.get()), i2d_ASN1_INTEGER));
        EXPECT_EQ(DerBytes(cert->tbs->issuerDer), issuer);
        EXPECT_EQ(DerBytes(cert->tbs->subjectDer), subject);
        EXPECT_EQ(Rebuilt(cert->tbs->issuer) == issuer, name != "user_strings");
        EXPECT_EQ(Rebuilt(cert->tbs->subject) == subject, name != "user_sha1");
    }
}

// 2.25.<UUID> (a 128-bit arc) as an attribute type and as an extnID decodes, and is in no row.
TEST(X509Decode, IdentifiersWithLargeArcsMatchNoRow) {
    Cert cert = Decode(ReadCert("user_strings"));
    ASSERT_TRUE(cert);
    const auto* attribute = static_cast<const X509NameEntry*>(X509_ListGet(cert->tbs->subject, 3));
    const auto* extension = static_cast<const X509Extension*>(X509_ListGet(cert->tbs->extensions, 1));
    for (const AsnValue* oid : {attribute->object, extension->object}) {
        EXPECT_EQ(Text(oid), "2.25.329800735698586629295641978511506172918");
        EXPECT_EQ(OBJ_NidFromValue(oid), NID_UNDEF);
    }
}

// One change of a known byte sequence of user_utf8, with the length kept, and the verdict.
TEST(X509Decode, PatchedCertificates) {
    struct Patch { const char* what; Bytes from, to; bool decodes; };
    const Bytes rsa = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const Bytes v3 = {0xA0, 0x03, 0x02, 0x01, 0x02}, utc = {0x17, 0x0D, '1', '3'};
    const Patch patches[] = {
        {"version 0", v3, {0xA0, 0x03, 0x02, 0x01, 0x00}, false}, {"version 1", v3, {0xA0, 0x03, 0x02, 0x01, 0x01}, true},
        {"unknown key algorithm", rsa, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x07}, false},
        {"notBefore as GeneralizedTime", utc, {0x18, 0x0D, '1', '3'}, false},
        {"UTCTime digits are not checked", utc, {0x17, 0x0D, 'x', '3'}, true},
        {"extensions as [4]", {0xA3, 0x82}, {0xA4, 0x82}, false},  // [3] is told by its low four bits
        {"extensions as [19]", {0xA3, 0x82}, {0xB3, 0x82}, true},
    };
    for (const Patch& p : patches) {
        Bytes der = ReadCert("user_utf8");
        auto at = std::search(der.begin(), der.end(), p.from.begin(), p.from.end());
        ASSERT_NE(at, der.end()) << p.what;
        std::copy(p.to.begin(), p.to.end(), at);
        EXPECT_EQ(static_cast<bool>(Decode(der)), p.decodes) << p.what;
    }
}

// Every byte replaced in turn decodes or fails, never more; no prefix decodes.
TEST(X509Decode, SurvivesCorruptionAndTruncation) {
    for (const char* name : {"user_utf8", "user_kcdsa", "user_strings"}) {
        const Bytes original = ReadCert(name);
        const long live = MEM_LiveBlocks();
        for (size_t i = 0; i < original.size(); ++i) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(original[i] ^ 0x80)}) {
                Bytes der = original;
                der[i] = value;
                Decode(der);
            }
        }
        for (size_t n = 0; n < original.size(); ++n) EXPECT_FALSE(Decode(original, n)) << name << " cut at " << n;
        EXPECT_EQ(MEM_LiveBlocks(), live);
    }
}

TEST(X509Decode, RefillsAnExistingObjectOnlyOnSuccess) {
    Cert cert = Decode(ReadCert("user_utf8"));
    const Bytes ca = ReadCert("ca"), v1 = ReadCert("user_v1");
    Element element(DER_Parse(ca.data(), ca.size())), bad(DER_Parse(v1.data(), v1.size()));
    X509Cert* same = cert.get();
    ASSERT_EQ(X509_Decode(element.get(), &same), 1);
    EXPECT_EQ(same, cert.get());
    EXPECT_EQ(X509_ListCount(cert->tbs->extensions), 4);
    EXPECT_FALSE(X509_Decode(bad.get(), &same) || X509_Decode(nullptr, &same) || X509_Decode(element.get(), nullptr));
    EXPECT_EQ(X509_ListCount(cert->tbs->extensions), 4) << "a failed decode leaves the object alone";
}

TEST(X509Extensions, FindByNidAndListBounds) {
    Cert cert = Decode(ReadCert("user_utf8"));
    ASSERT_TRUE(cert);
    // keyUsage, basicConstraints, certificatePolicies, extKeyUsage, subjectAltName, AKID, SKID, CRLDP
    const PointerList* list = cert->tbs->extensions;
    struct Find { int nid, last, expected; };
    for (const Find& f : {Find{NID_KEY_USAGE, -1, 0}, Find{NID_BASIC_CONSTRAINTS, 1, -1}, Find{NID_BASIC_CONSTRAINTS, -7, 1},
                          Find{NID_CRL_DISTRIBUTION_POINTS, 6, 7}, Find{NID_CRL_DISTRIBUTION_POINTS, 0x7FFFFFFF, -1},
                          Find{NID_ISSUER_ALT_NAME, -1, -1}, Find{NID_UNDEF, -1, -2}, Find{NID_PLACEHOLDER, -1, -2},
                          Find{kObjectCount, -1, -2}, Find{-4, -1, -2}})
        EXPECT_EQ(X509Ext_FindByNid(list, f.nid, f.last), f.expected) << f.nid << " after " << f.last;
    EXPECT_EQ(X509Ext_FindByNid(nullptr, NID_KEY_USAGE, -1), -1);
    EXPECT_EQ(X509_ListCount(nullptr), 0);
    EXPECT_FALSE(X509_ListGet(nullptr, 0) || X509_ListGet(list, 8) || X509_ListGet(list, -1));
}

// C, O, then the SET {OU=Unit, CN=Multi Value}, which DER orders by encoding: the shorter OU
// attribute comes first and is the one kept.
TEST(X509Name, MultiValuedRdnKeepsTheFirstEncodedValue) {
    Cert cert = Decode(ReadCert("user_sha1"));
    ASSERT_TRUE(cert);
    ASSERT_EQ(X509_ListCount(cert->tbs->subject), 3);
    const auto* last = static_cast<const X509NameEntry*>(X509_ListGet(cert->tbs->subject, 2));
    EXPECT_EQ(Text(last->object) + "=" + Text(last->value), "2.5.4.11=Unit");
    EXPECT_FALSE(X509Name_Decode(nullptr, nullptr) || X509Name_Encode(nullptr));
}

}  // namespace
