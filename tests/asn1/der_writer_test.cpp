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

}  // namespace
