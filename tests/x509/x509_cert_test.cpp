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

template <class T, class I2d>
Bytes OsslDer(const T* object, I2d i2d) {
    unsigned char* der = nullptr;
    const int n = i2d(object, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
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

}  // namespace
