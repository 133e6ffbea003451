#include <gtest/gtest.h>

#include <cstring>

#include "asn1/asn_value.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using Value = Owned<AsnValue, ASNVALUE_Free>;

uint8_t* U(const char* s) { return reinterpret_cast<uint8_t*>(const_cast<char*>(s)); }
AsnValue Of(const char* s, uint32_t type = 4, uint32_t unused = 0) { return {type, U(s), uint32_t(std::strlen(s)), unused}; }

TEST(AsnValue, CopiesRefusalsAndOrder) {
    AsnValue bits = Of("abc", 3, 5), null_value{5, nullptr, 0, 0}, no_data{4, nullptr, 3, 0}, empty = Of("");
    Value dup(ASNVALUE_Dup(&bits)), text(ASNVALUE_DupText(&bits)), null_dup(ASNVALUE_Dup(&null_value));
    ASSERT_TRUE(dup && text && null_dup);
    EXPECT_TRUE(dup->type == 3 && dup->unused_bits == 5 && dup->data != bits.data && !std::memcmp(dup->data, "abc", 4));
    EXPECT_TRUE(text->type == 0 && text->length == 3 && text->data[3] == 0) << "the text copy does not carry the type";
    EXPECT_TRUE(null_dup->type == 5 && !null_dup->data);
    EXPECT_FALSE(ASNVALUE_Dup(&no_data) || ASNVALUE_Dup(nullptr) || ASNVALUE_DupText(&empty) || ASNVALUE_FromOctets(nullptr, 1));
    EXPECT_FALSE(ASNVALUE_Set(nullptr, 4, U("a"), 1) || ASNVALUE_FromIa5(U("caf\xc3\xa9"), 5));
    AsnValue ab = Of("ab"), abcd = Of("abcd"), hi = Of("a\x90"), lo = Of("a\x10");  // shorter first, then unsigned bytes
    EXPECT_EQ(ASNVALUE_Compare(&ab, &abcd), -2);
    EXPECT_EQ(ASNVALUE_Compare(&abcd, &ab), 2);
    EXPECT_EQ(ASNVALUE_Compare(&ab, &ab), 0);
    EXPECT_EQ(ASNVALUE_Compare(&lo, &hi), -1);
}

TEST(AsnValue, AllocationFailuresReturnNullWithoutLeaks) {
    test::WalkAllocationFailures([] {
        Value v(ASNVALUE_FromIa5(U("xyz"), 3));
        return v ? v->type == 22 && v->length == 3 && v->data[3] == 0 ? 1 : -1 : 0;
    }, [](bool fired, int made) { EXPECT_EQ(made, fired ? 0 : 1); });
}

}  // namespace
