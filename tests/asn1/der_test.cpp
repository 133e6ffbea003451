#include <gtest/gtest.h>
#include <openssl/asn1.h>

#include <cstring>
#include <memory>
#include <random>

#include "asn1/der.h"
#include "bignum/bignum.h"
#include "support/alloc_fault.h"
#include "support/der_bytes.h"
#include "support/fixture_file.h"
#include "support/openssl_peer.h"
#include "support/random_bytes.h"

namespace {

using namespace quillon;
using test::Concat;
using test::Tlv;  // independent of the codec
using Element = Owned<DerElement, DER_Free>;
using Number = Owned<BigNum, BIGNUM_Free>;
using Octets = std::vector<uint8_t>;
using quillon::test::DerBytes;

Element Parse(const Octets& b) { return Element(DER_Parse(b.data(), b.size())); }
Octets Text(const char* s) { return Octets(s, s + std::strlen(s)); }
AsnValue View(uint32_t type, const Octets& b, uint32_t unused = 0) {
    return AsnValue{type, const_cast<uint8_t*>(b.data()), static_cast<uint32_t>(b.size()), unused};
}
Number NumberOf(const Octets& m) { return Number(BIGNUM_FromBytes(m.data(), static_cast<uint32_t>(m.size()), nullptr)); }
int32_t ByteLength(const BigNum* n) { return BIGNUM_NumBits(n) ? (BIGNUM_NumBits(n) + 7) / 8 : 1; }

// One item read with the decoder of `tag`, reduced to bytes: the magnitude of an INTEGER, the
// byte of a BOOLEAN, the encoding of a constructed item, the value of the rest.
struct Decoded {
    bool ok = false;
    Octets data;
    uint32_t type = 0, unused = 0;
};
Decoded GetItem(const DerElement* e, int index, int tag) {
    void* p = DER_GetItem(e, index, tag);
    const uint32_t t = static_cast<uint32_t>(tag);
    if (!p) return {};
    if (tag == 1 || tag == 5) {
        MemBlock block(static_cast<uint8_t*>(p));
        return {true, tag == 1 ? Octets{*block} : Octets{}, t};
    }
    if (tag == 2 || tag == 10) {
        Number n(static_cast<BigNum*>(p));
        Octets magnitude(static_cast<size_t>(BIGNUM_NumBits(n.get()) + 7) / 8);
        BIGNUM_ToBytes(n.get(), magnitude.data());
        return {true, magnitude, t};
    }
    if (tag == 16 || tag == 17 || tag == 48 || tag == 49) return {true, DerBytes(Element(static_cast<DerElement*>(p)).get()), t};
    Owned<AsnValue, ASNVALUE_Free> v(static_cast<AsnValue*>(p));
    if (v->type == 6 || v->type == 19 || v->type == 22 || v->type == 23) {
        EXPECT_EQ(v->data[v->length], 0);
    }
    return {true, Octets(v->data, v->data + v->length), v->type, v->unused_bits};
}

// Encoders, the any-type one (32) included; an empty expectation is a refusal, which must
// leave the target empty whatever it held.
TEST(DerEncode, EncodingsAndRefusals) {
    const Octets hello = Text("hello"), oid = Text("1.2.840.113549.1.1.1"), bits = {0xA5, 0xC0};
    const Octets bits_der = {0x03, 0x03, 0x06, 0xA5, 0xC0}, rsa = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const Octets dots = Text("1..2"), padded = {0x00, 0x00, 0x80};
    AsnValue str = View(4, hello), o = View(6, oid), b = View(3, bits, 6), bad_oid = View(6, dots);
    AsnValue bits8 = View(3, hello, 8), other = View(7, hello), any_int = View(2, padded), no_data{4, nullptr, 3, 0};
    AsnValue empty_time{23, nullptr, 0, 0};
    Number zero = NumberOf({}), big = NumberOf({0x80});
    Element child(DER_New());
    const uint8_t seven = 7;
    struct Case { int tag; const void* value; int32_t length; Octets expected; };
    const Case cases[] = {
        {1, &seven, 1, {0x01, 0x01, 0xFF}}, {4, &str, 2, Tlv(0x04, Text("he"))}, {6, &o, 20, rsa}, {3, &b, 2, bits_der},
        {0x44, &str, 5, Tlv(0x44, hello)}, {32, &any_int, 0, {0x02, 0x02, 0x00, 0x80}}, {2, big.get(), 1, {0x02, 0x02, 0x00, 0x80}},
        {2, big.get(), 2, {}}, {2, zero.get(), 0, {}},  // the length must match the magnitude
        {4, nullptr, 0, {}}, {4, &str, -1, {}}, {4, &str, 6, {}}, {4, &no_data, 3, {}}, {1, &seven, 2, {}}, {5, nullptr, 1, {}},
        {6, &bad_oid, 4, {}}, {6, &str, 0, {}}, {23, &empty_time, 0, {}}, {3, &bits8, 5, {}}, {7, &str, 5, {}},
        {24, &str, 5, {}}, {16, child.get(), 0, {}}, {0x1F, &str, 5, {}}, {0x104, &str, 5, {}}, {32, &other, 0, {}},
        {32, nullptr, 0, {}},
    };
    for (const Case& c : cases) {
        Element e(DER_New());
        ASSERT_EQ(DER_EncodeValue(e.get(), 4, &str, 5), 1);
        EXPECT_EQ(DER_EncodeValue(e.get(), c.tag, c.value, c.length), c.expected.empty() ? 0 : 1) << &c - cases;
        EXPECT_EQ(DerBytes(e.get()), c.expected) << &c - cases;
        EXPECT_TRUE(c.expected.size() || (!e->identifier && !e->length_octets && !e->contents)) << &c - cases;
    }
    EXPECT_EQ(DER_EncodeValue(nullptr, 4, &str, 5), 0);
    Element e(DER_New());
    ASSERT_EQ(DER_EncodeImplicit(e.get(), 3, 4, &str, 5), 1);
    EXPECT_EQ(DerBytes(e.get()), Tlv(0x83, hello));
    EXPECT_EQ(DER_EncodeImplicit(e.get(), 31, 4, &str, 5), 0) << "[31] needs the high tag form";
    EXPECT_EQ(e->identifier, nullptr);
}

TEST(DerAppend, Builders) {
    const Octets hello = Text("hello"), item = Tlv(0x04, hello), seq = Tlv(0x30, item);
    AsnValue v = View(4, hello), any_set = View(17, item);
    auto twice = [&](auto append) {
        Element e(DER_New());
        return append(e.get()) && append(e.get()) ? DerBytes(e.get()) : Octets{};
    };
    EXPECT_EQ(twice([&](DerElement* e) { return DER_AppendToSet(e, 4, &v, 5); }), Tlv(0x31, Concat({item, item})));
    EXPECT_EQ(twice([&](DerElement* e) { return DER_AppendToSetOrEmpty(e, 4, &v, 5); }), Tlv(0x31, Concat({item, item})));
    EXPECT_EQ(twice([&](DerElement* e) { return DER_AppendExplicit(e, 2, 4, &v, 5); }), Tlv(0xA2, Concat({item, item})));
    EXPECT_EQ(twice([&](DerElement* e) { return DER_AppendToSetOrEmpty(e, 22, &v, 0); }), (Octets{0x31, 0x00}));
    EXPECT_EQ(twice([&](DerElement* e) { return DER_Append(e, 32, &any_set, 7); }), Tlv(0x30, Concat({Tlv(0x31, item), Tlv(0x31, item)})));
    // Nested elements are copied, a plain append keeps the identifier, and appending an
    // element to itself appends its prior state.
    Element inner(DER_New()), outer(DER_New());
    ASSERT_EQ(DER_Append(inner.get(), 4, &v, 5), 1);
    ASSERT_EQ(DER_AppendToSet(outer.get(), 16, inner.get(), 0), 1);
    ASSERT_EQ(DER_Append(outer.get(), 49, inner.get(), 0), 1);
    EXPECT_EQ(DerBytes(outer.get()), Tlv(0x31, Concat({seq, seq})));
    ASSERT_EQ(DER_Append(inner.get(), 16, inner.get(), 0), 1);
    EXPECT_EQ(DerBytes(inner.get()), Tlv(0x30, Concat({item, seq})));
}

TEST(DerAppend, FailuresLeaveOrResetTheTarget) {
    const Octets hello = Text("hello"), raw = Tlv(0x02, {0x05});
    AsnValue v = View(4, hello);
    Element empty_child(DER_New()), e(DER_New());
    ASSERT_EQ(DER_Append(e.get(), 4, &v, 5), 1);
    EXPECT_FALSE(DER_Append(e.get(), 4, &v, 99) || DER_Append(e.get(), 16, nullptr, 0) || DER_Append(nullptr, 4, &v, 5) ||
                 DER_Append(e.get(), 16, empty_child.get(), 0) || DER_AppendExplicit(e.get(), 31, 4, &v, 5));
    EXPECT_EQ(DerBytes(e.get()), Tlv(0x30, Tlv(0x04, hello))) << "the item could not be built: untouched";
    EXPECT_EQ(DER_AppendToSet(e.get(), 4, &v, 99), 0);
    EXPECT_EQ(e->identifier, nullptr) << "through the SET builder any failure resets";
    // The builders wrap non-empty values and the random trees empty SEQUENCE and SET.
    DerElement* out = nullptr;
    for (AsnValue w : {AsnValue{16, nullptr, 0, 0}, AsnValue{17, nullptr, 0, 0}, View(4, raw), View(0xA0, raw)})
        EXPECT_EQ(DER_WrapConstructed(&w, &out), 0) << w.type;
    EXPECT_EQ(DER_WrapConstructed(nullptr, &out), 0);
    EXPECT_EQ(out, nullptr);
}

TEST(DerParse, HostileInputFailsCleanly) {
    struct Case { const char* name; Octets bytes; size_t available; };
    const Case cases[] = {
        {"nothing", {}, 0}, {"identifier only", {0x30}, 1}, {"contents cut short", {0x04, 0x03, 0x01, 0x02}, 4},
        {"long form cut short", {0x04, 0x82, 0x01}, 3}, {"available below the buffer", {0x04, 0x02, 0x01, 0x02}, 3},
        {"indefinite length", {0x30, 0x80, 0x04, 0x00, 0x00, 0x00}, 6}, {"5 length octets", {0x04, 0x85, 0, 0, 0, 0, 1, 0xAA}, 8},
        {"length 2^31", {0x04, 0x84, 0x80, 0x00, 0x00, 0x00}, 6}, {"length 2^32 - 1", {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, 6},
        {"high tag number", {0x1F, 0x81, 0x00, 0x00}, 4}, {"high tag, context class", {0xBF, 0x01, 0x00}, 3},
    };
    for (const Case& c : cases) EXPECT_EQ(DER_Parse(c.bytes.data(), c.available), nullptr) << c.name;
    EXPECT_EQ(DER_Parse(nullptr, 10), nullptr);
    // Trailing bytes are left alone; non-minimal long forms are kept as given.
    EXPECT_EQ(DerBytes(Parse({0x04, 0x01, 0xAA, 0xBB, 0xCC}).get()), (Octets{0x04, 0x01, 0xAA}));
    EXPECT_EQ(DerBytes(Parse({0x04, 0x81, 0x01, 0xAA}).get()), (Octets{0x04, 0x81, 0x01, 0xAA}));
}

// Bytes that come without a length: each case sits in a heap block of exactly its size, so under
// ASan a read past the declared element, or past the octet that disqualifies a header, fails.
TEST(DerParseUnsized, TakesExactlyTheDeclaredElement) {
    const size_t cap = kDerUnsizedMax;
    struct Case { const char* name; Octets bytes; size_t expected; };
    const Case cases[] = {
        {"short form", {0x04, 0x01, 0xAA}, 3}, {"empty contents", {0x05, 0x00}, 2},
        {"long form", {0x30, 0x81, 0x03, 0x02, 0x01, 0x05}, 6},
        {"trailing bytes ignored", {0x04, 0x01, 0xAA, 0xBB, 0xCC}, 3},
        {"header declares less than the items hold", {0x30, 0x05, 0x02, 0x01, 0x05, 0x04, 0x02, 0xAA, 0xBB}, 7},
        {"high tag number", {0x1F}, 0}, {"high tag, context class", {0xBF}, 0},
        {"indefinite length", {0x30, 0x80}, 0}, {"5 length octets", {0x04, 0x85}, 0},
        {"one byte over the cap", {0x04, 0x83, 0x3F, 0xFF, 0xFC}, 0},
        {"length 2^32 - 1", {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[c.bytes.size()]);
        std::memcpy(exact.get(), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(DER_UnsizedLength(exact.get()), c.expected) << c.name;
        Element e(DER_ParseUnsized(exact.get()));
        EXPECT_EQ(DerBytes(e.get()), Octets(c.bytes.begin(), c.bytes.begin() + c.expected)) << c.name;
    }
    // A cut header leaves the items it no longer covers unread: the walk stops at its end.
    Element cut(DER_ParseUnsized(cases[4].bytes.data()));
    EXPECT_EQ(DER_ItemCount(cut.get()), 0);
    EXPECT_EQ(GetItem(cut.get(), 0, DER_INTEGER).data, Octets{5});
    EXPECT_FALSE(GetItem(cut.get(), 1, DER_OCTET_STRING).ok);
    EXPECT_EQ(DER_ParseUnsized(nullptr), nullptr);
    // The cap itself is accepted.
    std::unique_ptr<uint8_t[]> largest(new uint8_t[cap]());
    const uint32_t contents = static_cast<uint32_t>(cap - 5);
    const uint8_t header[] = {0x04, 0x83, uint8_t(contents >> 16), uint8_t(contents >> 8), uint8_t(contents)};
    std::memcpy(largest.get(), header, sizeof header);
    Element whole(DER_ParseUnsized(largest.get()));
    ASSERT_TRUE(whole);
    EXPECT_EQ(DER_ContentLength(whole.get()), static_cast<int32_t>(contents));
}

TEST(DerWalk, CountsTagsAndRefusals) {
    struct Case { const char* name; Octets contents; int count; std::vector<int> tags; };
    const Case cases[] = {
        {"empty", {}, 0, {}}, {"two primitives", {0x02, 0x01, 0x05, 0x04, 0x00}, 2, {0x02, 0x04}},
        {"context items count", {0xA0, 0x03, 0x02, 0x01, 0x01, 0x81, 0x00, 0x9E, 0x00}, 3, {0xA0, 0x81, 0x9E}},
        {"generalized time ends the count", {0x02, 0x01, 0x05, 0x18, 0x01, 0x30}, 0, {0x02, 0x18}},
        {"tag 0 ends the count", {0x00, 0x00}, 0, {0x00}}, {"t61 and visible count", {0x14, 0x00, 0x1A, 0x00}, 2, {0x14, 0x1A}},
        {"last item overruns", {0x04, 0x01, 0xAA, 0x04, 0x05, 0x01}, 0, {0x04}},
        {"high tag inside", {0x04, 0x00, 0x9F, 0x01, 0x00}, 0, {0x04}},
        {"indefinite inside", {0x04, 0x00, 0x30, 0x80, 0x00, 0x00}, 0, {0x04}}, {"header cut", {0x04, 0x00, 0x04}, 0, {0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Element e = Parse(Tlv(0x30, c.contents));
        ASSERT_TRUE(e);
        EXPECT_EQ(DER_ItemCount(e.get()), c.count);
        for (size_t i = 0; i < c.tags.size(); ++i) EXPECT_EQ(DER_ItemTag(e.get(), static_cast<int>(i)), c.tags[i]);
        EXPECT_EQ(DER_ItemTag(e.get(), static_cast<int>(c.tags.size())), -1);
        EXPECT_EQ(DER_GetItem(e.get(), static_cast<int>(c.tags.size()), 32), nullptr);
    }
    Element empty(DER_New()), one = Parse({0x30, 0x03, 0x04, 0x01, 0xAA});
    EXPECT_EQ(DER_ItemCount(nullptr) + DER_ItemCount(empty.get()) + DER_ItemTag(nullptr, 0) + DER_ItemTag(one.get(), -1), -2);
    EXPECT_FALSE(DER_GetItem(empty.get(), 0, 32) || DER_GetItem(one.get(), -1, 4));
}

TEST(DerGetItem, DecodersByTag) {
    const Octets hi = Text("hi"), set = Tlv(0x31, {0x05, 0x00});
    struct Case { Octets item; int tag; bool ok; Octets data; uint32_t type; uint32_t unused; };
    const Case cases[] = {
        {Tlv(0x04, hi), 32, true, hi, 4, 0},                    {Tlv(0x04, hi), 2, false, {}, 0, 0},
        {{0x02, 0x02, 0x00, 0x80}, 32, true, {0x00, 0x80}, 2, 0}, {{0x02, 0x01, 0x80}, 2, true, {0x80}, 2, 0},  // unsigned
        {{0x02, 0x00}, 2, false, {}, 0, 0},                     {{0x0A, 0x01, 0x03}, 2, false, {}, 0, 0},
        {{0x80, 0x02, 0x01, 0x02}, 2, true, {0x01, 0x02}, 2, 0},  // [0] IMPLICIT INTEGER
        {Tlv(0x17, Text("261206081500")), 23, false, {}, 0, 0}, {Tlv(0x17, Text("261206081500Zx")), 23, false, {}, 0, 0},
        {{0x03, 0x02, 0x01, 0xFE}, 32, true, {0xFE}, 3, 1},    {{0x03, 0x00}, 3, false, {}, 0, 0},  // empty BIT STRING
        {{0x03, 0x00}, 32, false, {}, 0, 0},
        {{0x06, 0x01, 0x55}, 32, true, Text("2.5"), 6, 0},      {{0x06, 0x00}, 6, false, {}, 0, 0},
        {{0x06, 0x06, 0x2A, 0x88, 0x80, 0x80, 0x80, 0x00}, 6, true, Text("1.2.2147483648"), 6, 0},  // arc of 2^31
        {Tlv(0x81, hi), 32, true, hi, 0x81, 0},                 {Tlv(0x81, hi), 23, false, {}, 0, 0},
        {set, 32, true, {0x05, 0x00}, 0x31, 0},                 {Tlv(0x18, Text("20261206081500Z")), 32, false, {}, 0, 0},
        {Tlv(0x04, hi), 7, false, {}, 0, 0},                    {Tlv(0x04, hi), -4, false, {}, 0, 0},
        {{0x01, 0x01, 0x00}, 1, true, {0x00}, 1, 0},            {{0x01, 0x02, 0xFF, 0xFF}, 1, false, {}, 0, 0},
        {{0x05, 0x02, 0xAB, 0xCD}, 5, true, {}, 5, 0},  // NULL contents are not examined
        {set, 49, true, set, 49, 0},                            {set, 16, false, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.item) + " as " + std::to_string(c.tag));
        Element e = Parse(Tlv(0x30, c.item));
        ASSERT_TRUE(e);
        const Decoded d = GetItem(e.get(), 0, c.tag);
        EXPECT_TRUE(d.ok == c.ok && d.data == c.data && d.type == c.type && d.unused == c.unused)
            << d.ok << " " << testing::PrintToString(d.data) << " " << d.type << " " << d.unused;
    }
}

// Whatever the any-type decoder reads (every accepted identifier, T61String and VisibleString
// included), the any-type encoder writes back unchanged, and the item itself can be taken out
// exactly as encoded.
TEST(DerGetItem, AnyTypeValuesWriteBackAsRead) {
    const Octets hi = Text("hi");
    const Octets items[] = {
        Tlv(0x14, Text("t61")), Tlv(0x1A, Text("visible")), Tlv(0x0C, hi), Tlv(0x13, hi), Tlv(0x16, hi), Tlv(0x1E, {0, 'h'}),
        Tlv(0x04, {}), Tlv(0x17, Text("980101000000Z")), {0x01, 0x01, 0x00}, {0x0A, 0x01, 0x03}, {0x02, 0x02, 0x00, 0x80},
        {0x05, 0x00}, {0x03, 0x02, 0x01, 0xFE}, {0x06, 0x03, 0x55, 0x04, 0x03}, Tlv(0x80, hi), Tlv(0x9E, {}),
        Tlv(0xA0, {0x02, 0x01, 0x05}), Tlv(0x30, {0x05, 0x00}), Tlv(0x31, {}), Tlv(0x43, {0x00, 0xAA}), Tlv(0x2C, hi),
        {0x06, 0x13, 0x83, 0xF0, 0x9D, 0xA7, 0xEB, 0xCF, 0xDE, 0xE0, 0xC7, 0xA1, 0xA7, 0xB2, 0xC0, 0x94, 0x8C, 0xC8, 0xF9, 0xD8, 0x46},  // 2.25.<UUID>
    };
    for (const Octets& item : items) {
        SCOPED_TRACE(testing::PrintToString(item));
        Element e = Parse(Tlv(0x30, item));
        Owned<AsnValue, ASNVALUE_Free> v(static_cast<AsnValue*>(DER_GetItem(e.get(), 0, 32)));
        ASSERT_TRUE(v);
        Element written(DER_New()), taken(DER_GetItemElement(e.get(), 0));
        ASSERT_EQ(DER_EncodeValue(written.get(), 32, v.get(), 0), 1);
        EXPECT_EQ(DerBytes(written.get()), item);
        EXPECT_EQ(DerBytes(taken.get()), item);
    }
    Element e = Parse({0x30, 0x04, 0x04, 0x81, 0x01, 0xAA}), taken(DER_GetItemElement(e.get(), 0));
    EXPECT_EQ(DerBytes(taken.get()), (Octets{0x04, 0x81, 0x01, 0xAA})) << "a long form is kept as it stands";
    EXPECT_FALSE(DER_GetItemElement(e.get(), 1) || DER_GetItemElement(e.get(), -1) || DER_GetItemElement(nullptr, 0));
}

TEST(DerFixture, OpenSslGeneratedStructuresReadBack) {
    Element e = Parse(test::FixtureBytes("der/mixed.der"));
    ASSERT_TRUE(e);
    ASSERT_EQ(DER_ItemCount(e.get()), 18);
    struct Item { uint8_t id; int tag; Octets data; };
    const Item items[] = {
        {0x01, 1, {0xFF}}, {0x02, 2, {0x80}}, {0x02, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {0x0A, 10, {0x03}}, {0x03, 3, {0xA5, 0xC3}}, {0x04, 4, {0x00, 0xFF, 0x10}}, {0x05, 5, {}},
        {0x06, 6, Text("1.2.410.200004.1.4")}, {0x0C, 12, Text("hello")}, {0x13, 19, Text("Quillon")},
        {0x14, 20, Text("t61")}, {0x16, 22, Text("a@b.c")}, {0x17, 23, Text("261206081500Z")}, {0x1A, 26, Text("vis")},
        {0x1E, 30, {0x00, 'h', 0x00, 'i'}}, {0x80, 4, Text("abc")}, {0xA1, 16, Tlv(0xA1, {0x02, 0x01, 0x05})},
        {0x31, 17, Tlv(0x31, {0x02, 0x01, 0x01, 0x06, 0x03, 0x55, 0x04, 0x03})},
    };
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(DER_ItemTag(e.get(), i), items[i].id) << i;
        const Decoded d = GetItem(e.get(), i, items[i].tag);
        EXPECT_TRUE(d.ok) << i;
        EXPECT_EQ(d.data, items[i].data) << i;
    }
    const Octets long_der = test::FixtureBytes("der/long.der");
    Element longer = Parse(long_der);
    ASSERT_TRUE(longer);
    EXPECT_EQ(DER_ContentLength(longer.get()), 70311);
    EXPECT_EQ(DER_ItemCount(longer.get()), 3);
    EXPECT_TRUE(GetItem(longer.get(), 1, 4).data == Octets(70000, 'B'));
    EXPECT_TRUE(DerBytes(longer.get()) == long_der);
}

// Random trees: primitives keep their value as decoded, constructed items their children.

struct Node {
    uint8_t id;
    Octets data;
    uint32_t unused = 0;
    std::vector<Node> kids;
};
bool IsConstructed(const Node& n) { return n.id == 0x30 || n.id == 0x31; }

class TreeMaker {
public:
    explicit TreeMaker(uint32_t seed) : rng_(seed) {}
    Node Make(int depth) {
        Node n{static_cast<uint8_t>(rng_() % 2 ? 0x30 : 0x31), {}, 0, {}};
        for (int i = static_cast<int>(rng_() % 6); i > 0; --i)
            n.kids.push_back(depth < 3 && rng_() % 4 == 0 ? Make(depth + 1) : Leaf());
        return n;
    }

private:
    size_t Size() {  // every length form, with at most two very large items a tree
        static const size_t edges[] = {0, 1, 126, 127, 128, 255, 256, 65535, 65536, 70000};
        const size_t size = rng_() % 4 ? rng_() % 40 : edges[rng_() % 10];
        return size < 1000 || big_left_-- > 0 ? size : 40;
    }
    Node Leaf() {
        static const uint8_t ids[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0A, 0x0C, 0x13, 0x16, 0x17, 0x1E};
        Node n{ids[rng_() % std::size(ids)], {}, 0, {}};
        switch (n.id) {
            case 0x01: n.data = {static_cast<uint8_t>(rng_() % 2 ? 0xFF : 0x00)}; break;
            case 0x02: case 0x0A:  // minimal magnitudes
                n.data = test::SeededBytes(rng_, Size() % 600);
                while (!n.data.empty() && n.data[0] == 0) n.data.erase(n.data.begin());
                break;
            case 0x03: case 0x04:
                n.data = test::SeededBytes(rng_, Size());
                if (n.id == 0x03 && !n.data.empty()) {
                    n.unused = rng_() % 8;
                    n.data.back() &= static_cast<uint8_t>(0xFF << n.unused);  // DER keeps unused bits zero
                }
                break;
            case 0x05: break;
            case 0x06: n.data = Text(rng_() % 2 ? "1.2.410.200004.1.15" : "2.5.29.31"); break;
            case 0x17: n.data = Text("261206081500Z"); break;
            default:  // letters; an even count for BMP
                n.data.resize(n.id == 0x1E ? Size() & ~size_t{1} : Size());
                for (auto& b : n.data) b = static_cast<uint8_t>('a' + rng_() % 26);
        }
        return n;
    }
    std::mt19937 rng_;
    int big_left_ = 2;
};

// Builds bottom-up; `ok` turns false at the first refusal (allocation walks rely on it).
Element Build(const Node& n, bool& ok) {
    Element e(DER_New());
    ok = ok && e;
    for (size_t i = 0; ok && i < n.kids.size(); ++i) {
        const Node& k = n.kids[i];
        if (IsConstructed(k)) {
            Element child = Build(k, ok);
            ok = ok && DER_Append(e.get(), k.id == 0x30 ? 16 : 49, child.get(), 0) == 1;
        } else if (k.id == 0x02 || k.id == 0x0A) {
            Number number = NumberOf(k.data);
            ok = number && DER_Append(e.get(), k.id, number.get(), ByteLength(number.get())) == 1;
        } else if (k.id == 0x01 || k.id == 0x05) {
            ok = DER_Append(e.get(), k.id, k.id == 0x01 ? k.data.data() : nullptr, k.id == 0x01 ? 1 : 0) == 1;
        } else {
            AsnValue v = View(k.id, k.data, k.unused);
            ok = DER_Append(e.get(), k.id, &v, static_cast<int32_t>(k.data.size())) == 1;
        }
    }
    if (ok && n.kids.empty()) {
        AsnValue none{static_cast<uint32_t>(n.id), nullptr, 0, 0};
        DerElement* wrapped = nullptr;
        ok = DER_WrapConstructed(&none, &wrapped) == 1;
        e.reset(wrapped);
    } else if (ok && n.id == 0x31) {
        *e->identifier = 0x31;  // what DER_AppendToSet leaves after its last append
    }
    return e;
}

void Check(const DerElement* e, const Node& n) {
    ASSERT_EQ(*e->identifier, n.id);
    ASSERT_EQ(DER_ItemCount(e), static_cast<int>(n.kids.size()));
    for (int i = 0; i < static_cast<int>(n.kids.size()); ++i) {
        const Node& k = n.kids[i];
        ASSERT_EQ(DER_ItemTag(e, i), k.id);
        if (IsConstructed(k)) {
            Element child(static_cast<DerElement*>(DER_GetItem(e, i, k.id)));
            ASSERT_TRUE(child);
            Check(child.get(), k);
            continue;
        }
        const Decoded d = GetItem(e, i, k.id);
        ASSERT_TRUE(d.ok && d.type == k.id && d.unused == k.unused) << int(k.id);
        EXPECT_TRUE(d.data == k.data) << int(k.id);
    }
}

TEST(DerRoundTrip, RandomTreesSerialiseParseAndWalkBack) {
    size_t largest = 0;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        Node root = TreeMaker(seed).Make(0);
        root.id = 0x30;
        bool ok = true;
        Element built = Build(root, ok);
        ASSERT_TRUE(ok);
        const Octets bytes = DerBytes(built.get());
        largest = std::max(largest, bytes.size());
        Element parsed = Parse(bytes);
        ASSERT_TRUE(parsed);
        Check(parsed.get(), root);
        // The independent parser accepts the encoding as DER: it writes it back unchanged.
        const uint8_t* p = bytes.data();
        ASN1_SEQUENCE_ANY* any = d2i_ASN1_SEQUENCE_ANY(nullptr, &p, static_cast<long>(bytes.size()));
        ASSERT_TRUE(any && p == bytes.data() + bytes.size());
        unsigned char* again = nullptr;
        const int n = i2d_ASN1_SEQUENCE_ANY(any, &again);
        EXPECT_TRUE(Octets(again, again + (n > 0 ? n : 0)) == bytes);
        OPENSSL_free(again);
        sk_ASN1_TYPE_pop_free(any, ASN1_TYPE_free);
    }
    EXPECT_GT(largest, 65540u) << "three-octet lengths are reached";
}

TEST(DerEncodeWith, CallbacksAndResults) {
    const Octets hi = Text("hi"), none, encoded = Tlv(0x30, Tlv(0x0C, hi));
    auto build = [](const void* object, DerElement* e) {
        AsnValue v = View(12, *static_cast<const Octets*>(object));
        return v.length ? DER_Append(e, 12, &v, static_cast<int32_t>(v.length)) : -5;
    };
    auto read = [](const DerElement* e, void* out) { return (*static_cast<Decoded*>(out) = GetItem(e, 0, 12)).ok ? 1 : 0; };
    uint8_t* bytes = nullptr;
    EXPECT_EQ(DER_EncodeWith(&none, build, &bytes), -5) << "the callback's own result";
    ASSERT_EQ(DER_EncodeWith(&hi, build, &bytes), 6);
    EXPECT_EQ(Octets(bytes, bytes + 6), encoded);
    MEM_Free(bytes);
    Decoded got;
    EXPECT_EQ(DER_DecodeWith(&got, read, encoded.data(), encoded.size()), 1);
    EXPECT_EQ(got.data, hi);
    EXPECT_EQ(DER_DecodeWith(&got, read, encoded.data(), encoded.size() - 1), 0) << "bounded by the length";
}

TEST(DerAllocation, EveryFailureIsReportedWithoutLeaks) {
    Node root = TreeMaker(7).Make(0);
    root.id = 0x30;
    root.kids.push_back(Node{0x04, Text("x"), 0, {}});
    bool built = true;
    const Octets expected = DerBytes(Build(root, built).get());
    auto check = [](bool fired, bool made) { EXPECT_NE(fired, made); };
    test::WalkAllocationFailures([&] {
        bool ok = true;
        Element e = Build(root, ok);
        return ok && DerBytes(e.get()) == expected;
    }, check);
    test::WalkAllocationFailures([&] {
        Element e = Parse(expected);
        return e && GetItem(e.get(), 0, 32).ok && GetItem(e.get(), DER_ItemCount(e.get()) - 1, 4).ok;
    }, check);
}

}  // namespace
