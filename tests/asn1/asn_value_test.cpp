#include <gtest/gtest.h>

#include <cstring>

#include "api/mem.h"
#include "asn1/asn_value.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using Value = Owned<AsnValue, ASNVALUE_Free>;

const uint8_t* U(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(AsnValue, CopiesAreTerminatedAndKeepTheirFields) {
    Value v(ASNVALUE_FromOctets(U("abc"), 3));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, 4u);
    EXPECT_EQ(v->length, 3u);
    EXPECT_EQ(v->data[3], 0);

    v->type = 3;
    v->unused_bits = 5;
    Value dup(ASNVALUE_Dup(v.get()));
    ASSERT_TRUE(dup);
    EXPECT_EQ(dup->type, 3u);
    EXPECT_EQ(dup->unused_bits, 5u);
    EXPECT_EQ(std::memcmp(dup->data, "abc", 4), 0);
    EXPECT_NE(dup->data, v->data);

    Value text(ASNVALUE_DupText(v.get()));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->type, 0u) << "the text copy does not carry the type";
    EXPECT_EQ(text->length, 3u);
    EXPECT_EQ(text->data[3], 0);
}

TEST(AsnValue, NullValuesAndRefusals) {
    AsnValue null_value{5, nullptr, 0, 0};
    Value dup(ASNVALUE_Dup(&null_value));
    ASSERT_TRUE(dup);
    EXPECT_EQ(dup->type, 5u);
    EXPECT_EQ(dup->data, nullptr);

    AsnValue no_data{4, nullptr, 3, 0};
    EXPECT_EQ(ASNVALUE_Dup(&no_data), nullptr);
    EXPECT_EQ(ASNVALUE_Dup(nullptr), nullptr);
    EXPECT_EQ(ASNVALUE_FromOctets(nullptr, 1), nullptr);
    EXPECT_EQ(ASNVALUE_FromIa5(U("caf\xc3\xa9"), 5), nullptr);
    Value ia5(ASNVALUE_FromIa5(U("cafe"), 4));
    ASSERT_TRUE(ia5);
    EXPECT_EQ(ia5->type, 22u);
    AsnValue empty{4, const_cast<uint8_t*>(U("")), 0, 0};
    EXPECT_EQ(ASNVALUE_DupText(&empty), nullptr);
    EXPECT_EQ(ASNVALUE_Set(nullptr, 4, U("a"), 1), 0);
}

TEST(AsnValue, CompareOrdersByLengthThenUnsignedBytes) {
    AsnValue a{4, const_cast<uint8_t*>(U("ab")), 2, 0}, b{4, const_cast<uint8_t*>(U("abcd")), 4, 0};
    AsnValue hi{4, const_cast<uint8_t*>(U("a\x90")), 2, 0}, lo{4, const_cast<uint8_t*>(U("a\x10")), 2, 0};
    EXPECT_EQ(ASNVALUE_Compare(&a, &b), -2);
    EXPECT_EQ(ASNVALUE_Compare(&b, &a), 2);
    EXPECT_EQ(ASNVALUE_Compare(&a, &a), 0);
    EXPECT_EQ(ASNVALUE_Compare(&lo, &hi), -1);
    EXPECT_EQ(ASNVALUE_Compare(&hi, &lo), 1);
}

TEST(AsnValue, AllocationFailuresReturnNullWithoutLeaks) {
    test::WalkAllocationFailures([] { return Value(ASNVALUE_FromOctets(U("xyz"), 3)) != nullptr; },
                                 [](bool fired, bool made) { EXPECT_NE(fired, made); });
}

}  // namespace
