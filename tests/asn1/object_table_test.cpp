#include <gtest/gtest.h>

#include <cstring>

#include "api/mem.h"
#include "asn1/object_table.h"
#include "asn1/oid_text.h"

namespace {

using namespace quillon;
using Value = Owned<AsnValue, ASNVALUE_Free>;

TEST(ObjectTable, EveryIdentifierIsFoundAtItsOwnRowAndRoundTrips) {
    for (int nid = 1; nid < kObjectCount; ++nid) {
        SCOPED_TRACE(nid);
        const ObjectRow* row = OBJ_Row(nid);
        if (nid == NID_PLACEHOLDER) {
            EXPECT_STREQ(row->short_name, "(null)");
            EXPECT_EQ(OBJ_ValueFromNid(nid), nullptr);
            continue;
        }
        EXPECT_EQ(OBJ_NidFromText(row->oid, std::strlen(row->oid)), nid) << "duplicate identifier " << row->oid;
        Value v(OBJ_ValueFromNid(nid));
        ASSERT_TRUE(v);
        EXPECT_EQ(v->type, 6u);
        EXPECT_STREQ(reinterpret_cast<char*>(v->data), row->oid);
        EXPECT_EQ(OBJ_NidFromValue(v.get()), nid);
    }
}

TEST(ObjectTable, RowsThatOtherModulesDependOn) {
    struct Case { int nid; const char* short_name; const char* long_name; const char* oid; };
    const Case cases[] = {
        {0, "UNDEF", "undefined", "0.0"},
        {NID_RSA_ENCRYPTION, "rsaEncryption", "rsaEncryption", "1.2.840.113549.1.1.1"},
        {NID_HMAC_WITH_SHA1, "hmacWithSHA1", "hmacWithSHA1", "1.2.840.113549.2.7"},
        {NID_ISSUING_DISTRIBUTION_POINT, "issuingDistributionPoint", "X509v3 Issuing Distrubution Point", "2.5.29.28"},
        {NID_SEED_CBC, "SEED-CBC", "seed-cbc", "1.2.410.200004.1.4"},
        {NID_PBE_WITH_SHA1_AND_SEED_CBC, "pbeWithSHA1AndSEED-CBC", "pbeWithSHA1AndSEED-CBC", "1.2.410.200004.1.15"},
        {NID_KCDSA1, "KCDSA1", "kcdsa1", "1.2.410.200004.1.21"},
        {NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC, "GPKIpbeWithSHA1AndSEED-CBC", "GPKIpbeWithSHA1AndSEED-CBC", "1.2.410.200004.1.4.2"},
        {NID_PBES2, "PBES2", "PBES2", "1.2.840.113549.1.5.13"},
        {NID_PBKDF2, "PBKDF2", "PBKDF2", "1.2.840.113549.1.5.12"},
        {NID_OID_ARIA_CBC, "OID-ariaCBC", "OID-ariaCBC", "1.2.410.100001.1.20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nid);
        EXPECT_STREQ(OBJ_Row(c.nid)->short_name, c.short_name);
        EXPECT_STREQ(OBJ_Row(c.nid)->long_name, c.long_name);
        EXPECT_STREQ(OBJ_Row(c.nid)->oid, c.oid);
    }
}

TEST(ObjectTable, LookupsOutsideTheTable) {
    EXPECT_EQ(OBJ_NidFromText("1.2.410.200004.1.4", 18), NID_SEED_CBC);
    EXPECT_EQ(OBJ_NidFromText("1.2.410.200004.1.4", 17), 0) << "a prefix is not a match";
    EXPECT_EQ(OBJ_NidFromText("1.2.410.200004.1.4.2", 18), NID_SEED_CBC);
    EXPECT_EQ(OBJ_NidFromText("0.0", 3), 0);
    EXPECT_EQ(OBJ_NidFromText("", 0), 0) << "the placeholder row is never found";
    EXPECT_EQ(OBJ_NidFromText(nullptr, 3), 0);
    EXPECT_EQ(OBJ_NidFromText("1.2.3.4", 7), 0);
    EXPECT_EQ(OBJ_NidFromValue(nullptr), 0);
    AsnValue no_data{6, nullptr, 5, 0};
    EXPECT_EQ(OBJ_NidFromValue(&no_data), 0);

    for (int nid : {0, 43, 93, 200, -1}) EXPECT_EQ(OBJ_ValueFromNid(nid), nullptr) << nid;
    for (int nid : {93, 200, -5}) EXPECT_STREQ(OBJ_Row(nid)->short_name, "UNDEF") << nid;
}

}  // namespace
