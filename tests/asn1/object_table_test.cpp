#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <cstring>

#include "core/mem.h"
#include "asn1/object_table.h"
#include "asn1/oid_text.h"

namespace {

using namespace quillon;

// Every row is found by its own text and value, and converts as OpenSSL converts it.
TEST(ObjectTable, EveryRowRoundTripsAndMatchesOpenSsl) {
    for (int nid = 1; nid < kObjectCount; ++nid) {
        const char* oid = OBJ_Row(nid)->oid;
        SCOPED_TRACE(oid);
        Owned<AsnValue, ASNVALUE_Free> v(OBJ_ValueFromNid(nid));
        ASSERT_EQ(v && v->type == 6, nid != NID_PLACEHOLDER);
        if (!v) continue;
        EXPECT_STREQ(reinterpret_cast<char*>(v->data), oid);
        EXPECT_EQ(OBJ_NidFromText(oid, std::strlen(oid)), nid) << "duplicate identifier";
        EXPECT_EQ(OBJ_NidFromValue(v.get()), nid);
        uint8_t contents[kOidTextMax];
        char text[kOidTextMax + 1];
        const size_t n = OID_TextToContents(oid, std::strlen(oid), contents, sizeof contents);
        ASN1_OBJECT* obj = OBJ_txt2obj(oid, 1);
        ASSERT_TRUE(obj);
        EXPECT_EQ(std::string(contents, contents + n), std::string(OBJ_get0_data(obj), OBJ_get0_data(obj) + OBJ_length(obj)));
        OBJ_obj2txt(text, sizeof text, obj, 1);
        ASN1_OBJECT_free(obj);
        EXPECT_STREQ(text, oid);
        EXPECT_EQ(OID_ContentsToText(contents, n, text, sizeof text), std::strlen(oid)) << "and back";
        if (nid > NID_OID_ARIA_CBC) {  // rows added after the first 93 carry OpenSSL's names
            EXPECT_STREQ(OBJ_Row(nid)->short_name, OBJ_nid2sn(OBJ_txt2nid(oid)));
            EXPECT_STREQ(OBJ_Row(nid)->long_name, OBJ_nid2ln(OBJ_txt2nid(oid)));
        }
    }
    EXPECT_EQ(kObjectCount, NID_PBMAC1 + 1);
}

TEST(ObjectTable, LookupsOutsideTheTable) {
    EXPECT_STREQ(OBJ_Row(NID_ISSUING_DISTRIBUTION_POINT)->long_name, "X509v3 Issuing Distrubution Point");  // as given
    EXPECT_EQ(OBJ_NidFromText("1.2.410.200004.1.4.2", 18), NID_SEED_CBC) << "only `length` bytes are read";
    EXPECT_EQ(OBJ_NidFromText("1.2.410.200004.1.4", 17), 0) << "a prefix is not a match";
    EXPECT_EQ(OBJ_NidFromText("", 0), 0) << "the placeholder row is never found";
    AsnValue no_data{6, nullptr, 5, 0};
    EXPECT_EQ(OBJ_NidFromText(nullptr, 3) + OBJ_NidFromValue(nullptr) + OBJ_NidFromValue(&no_data), 0);
    for (int nid : {0, 43, kObjectCount, -1}) EXPECT_EQ(OBJ_ValueFromNid(nid), nullptr) << nid;
    for (int nid : {kObjectCount, -5}) EXPECT_STREQ(OBJ_Row(nid)->short_name, "UNDEF") << nid;
}

}  // namespace
