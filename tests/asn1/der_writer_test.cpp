#include "asn1/der_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bignum/bignum.h"
#include "support/alloc_fault.h"
#include "support/der_bytes.h"
#include "support/tlv.h"

namespace {

using namespace quillon;
using test::ByteVec;
using test::Concat;
using test::Tlv;  // independent of the writer

ByteVec Written(DerWriter& w, DerNode* node) {
    MemBlock out;
    const int32_t n = DERW_Write(&w, node, &out);
    return n > 0 ? ByteVec(out.get(), out.get() + n) : ByteVec{};
}

AsnValue View(uint32_t type, const char* text) {
    return AsnValue{type, reinterpret_cast<uint8_t*>(const_cast<char*>(text)), static_cast<uint32_t>(std::strlen(text)), 0};
}

// Lengths either side of each change of form, two levels deep, to a buffer and to an element.
TEST(DerWriter, LengthFormsAtEveryBoundary) {
    for (uint32_t n : {0u, 1u, 127u, 128u, 255u, 256u, 65535u, 65536u}) {
        const ByteVec contents(n, 0x5A);
        DerWriter w;
        DerNode* root = DERW_Sequence(&w, nullptr);
        DERW_Primitive(&w, DERW_Constructed(&w, root, kDerExplicit0Id), DER_OCTET_STRING, contents.data(), n);
        DERW_Primitive(&w, root, DER_NULL, nullptr, 0);
        const ByteVec expected = Tlv(0x30, Concat({Tlv(0xA0, Tlv(0x04, contents)), {0x05, 0x00}}));
        EXPECT_EQ(Written(w, root), expected) << n;
        DerElementPtr element(DER_New());
        ASSERT_EQ(DERW_WriteElement(&w, root, element.get()), 1);
        EXPECT_EQ(test::DerBytes(element.get()), expected) << n;
    }
}

TEST(DerWriter, EveryKindOfNode) {
    const uint8_t top_bit[] = {0x80}, wide[] = {0x01, 0x00, 0x00, 0x00, 0x00};
    BigNumPtr zero(BIGNUM_FromBytes(nullptr, 0, nullptr)), high(BIGNUM_FromBytes(top_bit, 1, nullptr)),
        big(BIGNUM_FromBytes(wide, 5, nullptr));
    AsnValue oid = View(6, "1.2.840.113549.1.7.1"), octets = View(4, "hi"), null{5, nullptr, 0, 0};
    AsnValue any_set = View(17, "\x02\x01\x07");
    // An element as parsed keeps a non-minimal length octet; written exactly as held.
    const ByteVec loose = {0x04, 0x81, 0x01, 0x33}, encoded = Tlv(0x02, {0x09});
    DerElementPtr element(DER_Parse(loose.data(), loose.size()));
    ASSERT_TRUE(element && zero && high && big);

    DerWriter w;
    DerNode* root = DERW_Sequence(&w, nullptr);
    DERW_Integer(&w, root, zero.get());
    DERW_Integer(&w, root, high.get());
    DERW_Integer(&w, root, big.get());
    DERW_Oid(&w, root, &oid);
    DERW_String(&w, root, 0x80, &octets);
    DERW_Any(&w, root, &null);
    DERW_Any(&w, root, &any_set);
    DERW_Element(&w, root, element.get());
    DERW_ElementCopy(&w, root, element.get());
    DERW_Encoded(&w, root, encoded.data(), static_cast<uint32_t>(encoded.size()));
    const ByteVec oid_der = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
    EXPECT_EQ(Written(w, root), Tlv(0x30, Concat({{0x02, 0x01, 0x00}, {0x02, 0x02, 0x00, 0x80},
                                                 {0x02, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00}, oid_der,
                                                 {0x80, 0x02, 'h', 'i'}, {0x05, 0x00}, Tlv(0x31, {0x02, 0x01, 0x07}),
                                                 loose, loose, encoded})));
}

// Members in DER order whatever order they came in; a plain 0x31 keeps its order.
TEST(DerWriter, SetOfIsWrittenInDerOrder) {
    const ByteVec a = Tlv(0x04, {0x01}), b = Tlv(0x04, {0x01, 0x00}), c = Tlv(0x02, {0x7F}), d = Tlv(0x30, {});
    DerWriter w;
    DerNode* root = DERW_Sequence(&w, nullptr);
    DerNode* sorted = DERW_SetOf(&w, root);
    DerNode* kept = DERW_Constructed(&w, root, kDerSetId);
    for (DerNode* set : {sorted, kept})
        for (const ByteVec* m : {&d, &b, &a, &c})
            DERW_Encoded(&w, set, m->data(), static_cast<uint32_t>(m->size()));
    DerNode* nested = DERW_SetOf(&w, sorted);  // sorted within, then placed among its siblings
    DERW_Encoded(&w, nested, b.data(), static_cast<uint32_t>(b.size()));
    DERW_Encoded(&w, nested, a.data(), static_cast<uint32_t>(a.size()));
    const ByteVec expected = Tlv(0x30, Concat({Tlv(0x31, Concat({c, a, b, d, Tlv(0x31, Concat({a, b}))})),
                                               Tlv(0x31, Concat({d, b, a, c}))}));
    EXPECT_EQ(Written(w, root), expected);
    EXPECT_EQ(Written(w, root), expected) << "a second write finds the same order";
}

// Signed attributes: hashed on their own as SET (0x31), written in place as [0] (0xA0); and a
// value filled in after the write, where it was placed.
TEST(DerWriter, SubElementBytesAndPlacement) {
    const ByteVec late = Tlv(0x06, {0x2A, 0x03}), early = Tlv(0x06, {0x2A, 0x02});
    uint8_t zeros[4] = {};
    DerWriter w;
    DerNode* root = DERW_Sequence(&w, nullptr);
    DerNode* attributes = DERW_SetOf(&w, root);
    DERW_Encoded(&w, attributes, late.data(), static_cast<uint32_t>(late.size()));
    DERW_Encoded(&w, attributes, early.data(), static_cast<uint32_t>(early.size()));
    DerNode* signature = DERW_Primitive(&w, root, DER_OCTET_STRING, zeros, sizeof zeros);
    EXPECT_EQ(DERW_Placed(signature).element, nullptr) << "nothing placed before a write";

    const ByteVec hashed = Written(w, attributes);
    EXPECT_EQ(hashed, Tlv(0x31, Concat({early, late})));
    DERW_SetIdentifier(attributes, 0xA0);
    MemBlock out;
    const int32_t n = DERW_Write(&w, root, &out);
    ASSERT_GT(n, 0);
    const DerPlacement placed = DERW_Placed(attributes), filled = DERW_Placed(signature);
    ASSERT_EQ(placed.size, hashed.size());
    EXPECT_EQ(placed.element[0], 0xA0);
    EXPECT_EQ(ByteVec(placed.element + 1, placed.element + placed.size), ByteVec(hashed.begin() + 1, hashed.end()));
    ASSERT_EQ(filled.content_length, 4u);
    std::memset(filled.contents, 0xEE, filled.content_length);
    EXPECT_EQ(ByteVec(out.get(), out.get() + n),
              Tlv(0x30, Concat({Tlv(0xA0, Concat({early, late})), Tlv(0x04, ByteVec(4, 0xEE))})));
}

// Any refused value fails the writer for good; nothing is written and *out is left alone.
TEST(DerWriter, RefusalsAreSticky) {
    static const uint8_t byte = 0;
    const ByteVec short_claim = {0x04, 0x05, 0x00}, trailing = {0x04, 0x00, 0x00};
    AsnValue bad_oid = View(6, "1..2"), no_data{4, nullptr, 3, 0};
    DerElementPtr empty(DER_New());
    const std::vector<DerNode* (*)(DerWriter*, DerNode*)> refusals = {
        [](DerWriter* w, DerNode* p) { return DERW_Constructed(w, p, 0x3F); },  // high tag number
        [](DerWriter* w, DerNode* p) { return DERW_Primitive(w, p, 0x04, nullptr, 1); },
        [](DerWriter* w, DerNode* p) { return DERW_Primitive(w, p, 0x04, &byte, kDerMaxLength + 1); },
        [](DerWriter* w, DerNode* p) { return DERW_Integer(w, p, nullptr); },
        [](DerWriter* w, DerNode* p) { return DERW_String(w, p, 0x04, nullptr); },
        [](DerWriter* w, DerNode* p) { return DERW_Element(w, p, nullptr); },
        [](DerWriter* w, DerNode* p) { return DERW_Any(w, p, nullptr); },
        [](DerWriter* w, DerNode* p) { return DERW_Sequence(w, DERW_Primitive(w, p, 0x05, nullptr, 0)); },
    };
    auto check = [](auto make) {
        DerWriter w;
        DerNode* root = DERW_Sequence(&w, nullptr);
        EXPECT_EQ(make(&w, root), nullptr);
        EXPECT_EQ(DERW_Sequence(&w, root), nullptr) << "sticky";
        MemBlock out(static_cast<uint8_t*>(MEM_Alloc(1)));
        uint8_t* before = out.get();
        EXPECT_EQ(DERW_Write(&w, root, &out), 0);
        EXPECT_EQ(out.get(), before);
    };
    for (auto make : refusals) check(make);
    check([&](DerWriter* w, DerNode* p) { return DERW_Oid(w, p, &bad_oid); });
    check([&](DerWriter* w, DerNode* p) { return DERW_String(w, p, 0x04, &no_data); });
    check([&](DerWriter* w, DerNode* p) { return DERW_ElementCopy(w, p, empty.get()); });
    for (const ByteVec* der : {&short_claim, &trailing})
        check([&](DerWriter* w, DerNode* p) { return DERW_Encoded(w, p, der->data(), static_cast<uint32_t>(der->size())); });
}

// Sizes are checked before anything is read or allocated.
TEST(DerWriter, OversizeIsRefused) {
    const uint8_t byte = 0;
    DerWriter w;
    DerNode* one = DERW_Sequence(&w, nullptr);
    DERW_Primitive(&w, one, 0x04, &byte, kDerMaxLength - 5);  // fits alone, not with both headers
    DerNode* two = DERW_Sequence(&w, nullptr);
    DERW_Primitive(&w, two, 0x04, &byte, kDerMaxLength / 2);
    DERW_Primitive(&w, two, 0x04, &byte, kDerMaxLength / 2);
    MemBlock out;
    DerElementPtr element(DER_New());
    const long live = MEM_LiveBlocks();
    for (DerNode* root : {one, two}) {
        EXPECT_EQ(DERW_Write(&w, root, &out), 0);
        EXPECT_EQ(DERW_WriteElement(&w, root, element.get()), 0);
    }
    EXPECT_EQ(MEM_LiveBlocks(), live);
    EXPECT_EQ(out.get(), nullptr);
}

// Enough nodes for several chunks, a sorted SET and both outputs: every allocation may fail.
TEST(DerWriter, AllocationFailuresLeakNothing) {
    const ByteVec member = Tlv(0x04, {0x01});
    AsnValue params = View(4, "iv"), oid = View(6, "1.2.3.4");
    auto write = [&](bool to_element) {
        DerWriter w;
        DerNode* root = DERW_Sequence(&w, nullptr);
        for (int i = 0; i < 60; ++i) {
            DerNode* set = DERW_SetOf(&w, root);
            DERW_Oid(&w, set, &oid);
            DERW_Encoded(&w, set, member.data(), static_cast<uint32_t>(member.size()));
            DERW_Any(&w, set, &params);
        }
        if (to_element) {
            DerElementPtr element(DER_New());
            return element && DERW_WriteElement(&w, root, element.get()) == 1;
        }
        MemBlock out;
        return DERW_Write(&w, root, &out) > 0;
    };
    for (bool to_element : {false, true})
        test::WalkAllocationFailures([&] { return write(to_element); },
                                     [](bool fired, bool written) { EXPECT_NE(fired, written); });
}

}  // namespace
