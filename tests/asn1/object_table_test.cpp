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

}  // namespace
