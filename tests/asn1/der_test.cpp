#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/bn.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "api/mem.h"
#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "bignum/bignum.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace {

using namespace quillon;
using Element = Owned<DerElement, DER_Free>;
using Value = Owned<AsnValue, ASNVALUE_Free>;
using Number = Owned<BigNum, BIGNUM_Free>;
using Octets = std::vector<uint8_t>;

Octets Serialise(const DerElement* e) {
    uint8_t* bytes = nullptr;
    const int32_t n = DER_ToBytes(e, &bytes);
    Octets out(bytes, bytes + (n > 0 ? n : 0));
    MEM_Free(bytes);
    return out;
}

Element Parse(const Octets& bytes) { return Element(DER_Parse(bytes.data(), bytes.size())); }

Octets ReadFixture(const std::string& name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/der/" + name, std::ios::binary);
    return Octets(std::istreambuf_iterator<char>(in), {});
}

// Reference encoding of one element, written independently of the codec.
Octets Tlv(uint8_t id, const Octets& contents) {
    Octets out{id};
    const size_t n = contents.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        Octets be;
        for (size_t rest = n; rest; rest >>= 8) be.insert(be.begin(), static_cast<uint8_t>(rest));
        out.push_back(static_cast<uint8_t>(0x80 | be.size()));
        out.insert(out.end(), be.begin(), be.end());
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

Octets Cat(std::initializer_list<Octets> parts) {
    Octets out;
    for (const Octets& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

AsnValue View(uint32_t type, const Octets& bytes, uint32_t unused_bits = 0) {
    return AsnValue{type, const_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()), unused_bits};
}

Octets Text(const char* s) { return Octets(s, s + std::strlen(s)); }

Octets ValueBytes(const AsnValue* v) { return Octets(v->data, v->data + v->length); }

Number NumberOf(const Octets& magnitude) {
    return Number(BIGNUM_FromBytes(magnitude.data(), static_cast<uint32_t>(magnitude.size()), nullptr));
}

Octets Magnitude(const BigNum* n) {
    Octets out(static_cast<size_t>(BIGNUM_NumBits(n) + 7) / 8);
    BIGNUM_ToBytes(n, out.data());
    return out;
}

int32_t ByteLength(const BigNum* n) { return BIGNUM_NumBits(n) ? (BIGNUM_NumBits(n) + 7) / 8 : 1; }

// ---- length octets ----------------------------------------------------------------------------

TEST(DerLength, ReadingAndCountingLengthOctets) {
    struct Case { Octets octets; int count; int32_t length; };
    const Case cases[] = {
        {{0x00}, 1, 0},
        {{0x7F}, 1, 127},
        {{0x81, 0x80}, 2, 128},
        {{0x82, 0x01, 0x00}, 3, 256},
        {{0x83, 0x01, 0x11, 0x70}, 4, 70000},
        {{0x84, 0x7F, 0xFF, 0xFF, 0xFF}, 5, 0x7FFFFFFF},
        {{0x84, 0x80, 0x00, 0x00, 0x00}, 5, -1},  // 2^31
        {{0x80}, 1, -1},                          // indefinite
        {{0x85, 0, 0, 0, 0, 1}, 6, -1},           // more than four octets
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.octets));
        EXPECT_EQ(DER_LengthOctetCount(c.octets.data()), c.count);
        EXPECT_EQ(DER_ReadLength(c.octets.data()), c.length);
    }
    EXPECT_EQ(DER_LengthOctetCount(nullptr), 0);
    EXPECT_EQ(DER_ReadLength(nullptr), -1);
    EXPECT_EQ(DER_ContentLength(nullptr), -1);

    EXPECT_EQ(DER_NeedsLongForm(4, 127), 0);
    EXPECT_EQ(DER_NeedsLongForm(4, 128), 1);
    EXPECT_EQ(DER_NeedsLongForm(3, 126), 0);
    EXPECT_EQ(DER_NeedsLongForm(3, 127), 1) << "the unused-bits octet counts";
    EXPECT_EQ(DER_NeedsLongForm(4, -1), 1);
}

// ---- encoders ---------------------------------------------------------------------------------

TEST(DerEncode, PrimitiveEncodings) {
    const uint8_t yes = 7, no = 0;
    const Octets hello = Text("hello"), time = Text("261206081500Z"), oid = Text("1.2.840.113549.1.1.1");
    const Octets bits = {0xA5, 0xC0}, big(200, 0x5A);
    AsnValue str = View(4, hello), t = View(23, time), o = View(6, oid), b = View(3, bits, 6), large = View(4, big);
    AsnValue empty{4, nullptr, 0, 0};

    struct Case { const char* name; int tag; const void* value; int32_t length; Octets expected; };
    const Case cases[] = {
        {"true", 1, &yes, 1, {0x01, 0x01, 0xFF}},
        {"false", 1, &no, 1, {0x01, 0x01, 0x00}},
        {"null", 5, nullptr, 0, {0x05, 0x00}},
        {"octets", 4, &str, 5, Tlv(0x04, hello)},
        {"empty octets", 4, &empty, 0, {0x04, 0x00}},
        {"prefix only", 4, &str, 2, Tlv(0x04, Text("he"))},
        {"utf8", 12, &str, 5, Tlv(0x0C, hello)},
        {"printable", 19, &str, 5, Tlv(0x13, hello)},
        {"ia5", 22, &str, 5, Tlv(0x16, hello)},
        {"bmp", 30, &str, 4, Tlv(0x1E, Text("hell"))},
        {"utc", 23, &t, 13, Tlv(0x17, time)},
        {"oid", 6, &o, 20, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}},
        {"bits", 3, &b, 2, {0x03, 0x03, 0x06, 0xA5, 0xC0}},
        {"long form", 4, &large, 200, Tlv(0x04, big)},
        {"application class keeps its octet", 0x44, &str, 5, Tlv(0x44, hello)},
        {"any: octets", 32, &str, 0, Tlv(0x04, hello)},
        {"any: bits", 32, &b, 0, {0x03, 0x03, 0x06, 0xA5, 0xC0}},
        {"any: oid", 32, &o, 0, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}},
        {"any: time", 32, &t, 0, Tlv(0x17, time)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Element e(DER_New());
        ASSERT_EQ(DER_EncodeValue(e.get(), c.tag, c.value, c.length), 1);
        EXPECT_EQ(Serialise(e.get()), c.expected);
    }

    Element e(DER_New());
    ASSERT_EQ(DER_EncodeImplicit(e.get(), 3, 4, &str, 5), 1);
    EXPECT_EQ(Serialise(e.get()), Tlv(0x83, hello));
}

TEST(DerEncode, RefusalsLeaveTheTargetEmpty) {
    const uint8_t byte = 1;
    const Octets hello = Text("hello"), dots = Text("1..2");
    AsnValue str = View(4, hello), bad_oid = View(6, dots), bits = View(3, hello, 8), other = View(7, hello);
    AsnValue no_data{4, nullptr, 3, 0}, empty_time{23, nullptr, 0, 0};
    DerElement* child = DER_New();

    struct Case { const char* name; int tag; const void* value; int32_t length; };
    const Case cases[] = {
        {"null value", 4, nullptr, 0},
        {"negative length", 4, &str, -1},
        {"length past the value", 4, &str, 6},
        {"data missing", 4, &no_data, 3},
        {"boolean of two", 1, &byte, 2},
        {"null with contents", 5, nullptr, 1},
        {"bad oid text", 6, &bad_oid, 4},
        {"empty oid", 6, &str, 0},
        {"empty time", 23, &empty_time, 0},
        {"more than 7 unused bits", 3, &bits, 5},
        {"no encoder", 7, &str, 5},
        {"generalized time", 24, &str, 5},
        {"sequence is not primitive", 16, child, 0},
        {"high tag form", 0x1F, &str, 5},
        {"two-octet tag", 0x104, &str, 5},
        {"any: unknown type", 32, &other, 0},
        {"any: null value", 32, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Element e(DER_New());
        ASSERT_EQ(DER_EncodeValue(e.get(), 4, &str, 5), 1);  // a previous value must not survive
        EXPECT_EQ(DER_EncodeValue(e.get(), c.tag, c.value, c.length), 0);
        EXPECT_EQ(e->identifier, nullptr);
        EXPECT_EQ(e->length_octets, nullptr);
        EXPECT_EQ(e->contents, nullptr);
    }
    EXPECT_EQ(DER_EncodeValue(nullptr, 4, &str, 5), 0);
    Element e(DER_New());
    EXPECT_EQ(DER_EncodeImplicit(e.get(), 31, 4, &str, 5), 0) << "[31] needs the high tag form";
    EXPECT_EQ(e->identifier, nullptr);
    DER_Free(child);
}

TEST(DerInteger, EncodingsAddTheZeroOctetExactlyWhenTheTopBitIsSet) {
    struct Case { Octets magnitude; int tag; Octets expected; };
    Octets top127(127, 0xFF), top126(126, 0xFF);
    const Case cases[] = {
        {{}, 2, {0x02, 0x01, 0x00}},
        {{0x7F}, 2, {0x02, 0x01, 0x7F}},
        {{0x80}, 2, {0x02, 0x02, 0x00, 0x80}},
        {{0x01, 0x00}, 2, {0x02, 0x02, 0x01, 0x00}},
        {{0xFF, 0xFF}, 2, {0x02, 0x03, 0x00, 0xFF, 0xFF}},
        {{0x03}, 10, {0x0A, 0x01, 0x03}},
        {top126, 2, Tlv(0x02, Cat({{0x00}, top126}))},  // 127 octets: still the short form
        {top127, 2, Tlv(0x02, Cat({{0x00}, top127}))},  // 128 octets: long form
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.magnitude));
        Number n = NumberOf(c.magnitude);
        Element e(DER_New());
        ASSERT_EQ(DER_EncodeValue(e.get(), c.tag, n.get(), ByteLength(n.get())), 1);
        EXPECT_EQ(Serialise(e.get()), c.expected);
        EXPECT_EQ(DER_EncodeValue(e.get(), c.tag, n.get(), ByteLength(n.get()) + 1), 0) << "length must match";
        EXPECT_EQ(e->identifier, nullptr);
    }
    Number zero = NumberOf({});
    Element e(DER_New());
    EXPECT_EQ(DER_EncodeValue(e.get(), 2, zero.get(), 0), 0);

    // Any-type INTEGER values are re-encoded from their magnitude.
    const Octets padded = {0x00, 0x00, 0x80}, none;
    AsnValue any = View(2, padded), empty = View(2, none);
    ASSERT_EQ(DER_EncodeValue(e.get(), 32, &any, 0), 1);
    EXPECT_EQ(Serialise(e.get()), (Octets{0x02, 0x02, 0x00, 0x80}));
    ASSERT_EQ(DER_EncodeValue(e.get(), 32, &empty, 0), 1);
    EXPECT_EQ(Serialise(e.get()), (Octets{0x02, 0x01, 0x00}));
}

TEST(DerInteger, DecodingReadsAnUnsignedMagnitude) {
    struct Case { Octets item; int tag; bool decodes; Octets magnitude; };
    const Case cases[] = {
        {{0x02, 0x02, 0x00, 0x80}, 2, true, {0x80}},
        {{0x02, 0x01, 0x80}, 2, true, {0x80}},  // no sign is read
        {{0x02, 0x01, 0x00}, 2, true, {}},
        {{0x02, 0x00}, 2, false, {}},
        {{0x0A, 0x01, 0x03}, 10, true, {0x03}},
        {{0x0A, 0x01, 0x03}, 2, false, {}},
        {{0x80, 0x02, 0x01, 0x02}, 2, true, {0x01, 0x02}},  // [0] IMPLICIT INTEGER
        {{0x02, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05}, 2, true, {0x01, 0x02, 0x03, 0x04, 0x05}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.item));
        Element e = Parse(Tlv(0x30, c.item));
        Number n(static_cast<BigNum*>(DER_GetItem(e.get(), 0, c.tag)));
        ASSERT_EQ(n != nullptr, c.decodes);
        if (n) {
            EXPECT_EQ(Magnitude(n.get()), c.magnitude);
        }
    }
}

TEST(DerInteger, MatchesOpenSslOnRandomMagnitudes) {
    std::mt19937 rng(2);
    for (int round = 0; round < 500; ++round) {
        Octets magnitude = test::SeededBytes(rng, rng() % 300);
        while (!magnitude.empty() && magnitude[0] == 0) magnitude.erase(magnitude.begin());
        if (round % 3 == 0 && !magnitude.empty()) magnitude[0] |= 0x80;
        SCOPED_TRACE(round);
        Number n = NumberOf(magnitude);
        Element e(DER_New());
        ASSERT_EQ(DER_EncodeValue(e.get(), 2, n.get(), ByteLength(n.get())), 1);

        BIGNUM* bn = BN_bin2bn(magnitude.data(), static_cast<int>(magnitude.size()), nullptr);
        ASN1_INTEGER* ai = BN_to_ASN1_INTEGER(bn, nullptr);
        unsigned char* der = nullptr;
        const int len = i2d_ASN1_INTEGER(ai, &der);
        EXPECT_EQ(Serialise(e.get()), Octets(der, der + len));
        OPENSSL_free(der);
        ASN1_INTEGER_free(ai);
        BN_free(bn);
    }
}

// ---- builders ---------------------------------------------------------------------------------

TEST(DerAppend, ContainerLengthsCrossTheirFormsIndependentlyOfTheItem) {
    for (size_t n : {0, 1, 125, 126, 127, 128, 252, 253, 255, 256, 65531, 65532, 65536, 70000}) {
        SCOPED_TRACE(n);
        const Octets payload(n, 0xC3);
        AsnValue v = View(4, payload);
        Element e(DER_New());
        ASSERT_EQ(DER_Append(e.get(), 4, &v, static_cast<int32_t>(n)), 1);
        EXPECT_EQ(Serialise(e.get()), Tlv(0x30, Tlv(0x04, payload)));
    }
    // 127 bytes: the item stays short, its container of 129 bytes needs the long form.
    const Octets b127(127, 0x11);
    AsnValue v = View(4, b127);
    Element e(DER_New());
    ASSERT_EQ(DER_Append(e.get(), 4, &v, 127), 1);
    const Octets bytes = Serialise(e.get());
    EXPECT_EQ(Octets(bytes.begin(), bytes.begin() + 5), (Octets{0x30, 0x81, 0x81, 0x04, 0x7F}));
}

TEST(DerAppend, IdentifierRewritesAndSetOrEmpty) {
    const Octets hello = Text("hello");
    AsnValue v = View(4, hello);
    const Octets item = Tlv(0x04, hello);
    struct Case { const char* name; int (*append)(DerElement*, int, const void*, int32_t); uint8_t id; };
    const Case cases[] = {
        {"sequence", DER_Append, 0x30},
        {"set", DER_AppendToSet, 0x31},
        {"set or empty", DER_AppendToSetOrEmpty, 0x31},
        {"explicit [2]", [](DerElement* e, int t, const void* p, int32_t n) { return DER_AppendExplicit(e, 2, t, p, n); },
         0xA2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Element e(DER_New());
        ASSERT_EQ(c.append(e.get(), 4, &v, 5), 1);
        ASSERT_EQ(c.append(e.get(), 4, &v, 5), 1);
        EXPECT_EQ(Serialise(e.get()), Tlv(c.id, Cat({item, item})));
    }
    // A plain append keeps whatever identifier a non-empty element already has.
    Element e(DER_New());
    ASSERT_EQ(DER_AppendToSet(e.get(), 4, &v, 5), 1);
    ASSERT_EQ(DER_Append(e.get(), 4, &v, 5), 1);
    EXPECT_EQ(Serialise(e.get())[0], 0x31);

    for (int tag : {4, 5, 22}) {
        Element empty(DER_New());
        ASSERT_EQ(DER_AppendToSetOrEmpty(empty.get(), tag, &v, 0), 1);
        EXPECT_EQ(Serialise(empty.get()), (Octets{0x31, 0x00}));
    }
}

TEST(DerAppend, NestedElementsAreCopiedAndStayTheCallers) {
    const Octets hello = Text("hello");
    AsnValue v = View(4, hello);
    Element inner(DER_New()), outer(DER_New());
    ASSERT_EQ(DER_Append(inner.get(), 4, &v, 5), 1);
    ASSERT_EQ(DER_Append(outer.get(), 16, inner.get(), 0), 1);
    ASSERT_EQ(DER_AppendToSet(outer.get(), 49, inner.get(), 0), 1);
    const Octets expected = Tlv(0x31, Cat({Tlv(0x30, Tlv(0x04, hello)), Tlv(0x30, Tlv(0x04, hello))}));
    EXPECT_EQ(Serialise(outer.get()), expected);
    EXPECT_EQ(Serialise(inner.get()), Tlv(0x30, Tlv(0x04, hello))) << "the item is not consumed";

    // Appending an element to itself appends its state from before the call.
    const Octets before = Serialise(inner.get());
    ASSERT_EQ(DER_Append(inner.get(), 16, inner.get(), 0), 1);
    EXPECT_EQ(Serialise(inner.get()), Tlv(0x30, Cat({Tlv(0x04, hello), before})));

    // An any-type constructed value becomes a constructed item from its raw contents.
    const Octets raw = Tlv(0x04, hello);
    for (uint32_t type : {16u, 48u, 17u, 49u}) {
        AsnValue any = View(type, raw);
        Element e(DER_New());
        ASSERT_EQ(DER_Append(e.get(), 32, &any, static_cast<int32_t>(raw.size())), 1);
        EXPECT_EQ(Serialise(e.get()), Tlv(0x30, Tlv(static_cast<uint8_t>(type | 0x20), raw))) << type;
    }
}

TEST(DerAppend, FailuresResetOrLeaveTheTargetAsDocumented) {
    const Octets hello = Text("hello");
    AsnValue v = View(4, hello);
    const Octets built = Tlv(0x30, Tlv(0x04, hello));
    Element empty_child(DER_New());

    // The item cannot be built: the target is untouched.
    Element e(DER_New());
    ASSERT_EQ(DER_Append(e.get(), 4, &v, 5), 1);
    EXPECT_EQ(DER_Append(e.get(), 4, &v, 99), 0);
    EXPECT_EQ(DER_Append(e.get(), 16, nullptr, 0), 0);
    EXPECT_EQ(DER_Append(e.get(), 16, empty_child.get(), 0), 0);
    EXPECT_EQ(DER_AppendExplicit(e.get(), 31, 4, &v, 5), 0);
    EXPECT_EQ(Serialise(e.get()), built);
    EXPECT_EQ(DER_Append(nullptr, 4, &v, 5), 0);

    // Through the SET builder any failure resets.
    EXPECT_EQ(DER_AppendToSet(e.get(), 4, &v, 99), 0);
    EXPECT_EQ(e->identifier, nullptr);
}

TEST(DerWrapConstructed, TypesAndEmptyContents) {
    const Octets raw = Tlv(0x02, {0x05});
    struct Case { uint32_t type; bool empty; int result; uint8_t id; };
    const Case cases[] = {
        {16, false, 1, 0x30}, {17, false, 1, 0x31}, {48, false, 1, 0x30}, {49, false, 1, 0x31},
        {48, true, 1, 0x30},  {49, true, 1, 0x31},  {16, true, 0, 0},     {17, true, 0, 0},
        {4, false, 0, 0},     {0xA0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        AsnValue v = c.empty ? AsnValue{c.type, nullptr, 0, 0} : View(c.type, raw);
        DerElement* out = nullptr;
        ASSERT_EQ(DER_WrapConstructed(&v, &out), c.result);
        if (!c.result) {
            EXPECT_EQ(out, nullptr);
            continue;
        }
        EXPECT_EQ(Serialise(out), Tlv(c.id, c.empty ? Octets{} : raw));
        DER_Free(out);
    }
    DerElement* out = nullptr;
    EXPECT_EQ(DER_WrapConstructed(nullptr, &out), 0);
}

// ---- reading ----------------------------------------------------------------------------------

TEST(DerParse, HostileInputFailsCleanly) {
    struct Case { const char* name; Octets bytes; size_t available; };
    const Case cases[] = {
        {"nothing", {}, 0},
        {"identifier only", {0x30}, 1},
        {"contents cut short", {0x04, 0x03, 0x01, 0x02}, 4},
        {"long form cut short", {0x04, 0x82, 0x01}, 3},
        {"available smaller than the buffer", {0x04, 0x02, 0x01, 0x02}, 3},
        {"indefinite length", {0x30, 0x80, 0x04, 0x00, 0x00, 0x00}, 6},
        {"five length octets", {0x04, 0x85, 0, 0, 0, 0, 1, 0xAA}, 8},
        {"length with top bit set", {0x04, 0x84, 0x80, 0x00, 0x00, 0x00}, 6},
        {"length of 2^32 - 1", {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, 6},
        {"high tag number", {0x1F, 0x81, 0x00, 0x00}, 4},
        {"high tag, context class", {0xBF, 0x01, 0x00}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DER_Parse(c.bytes.data(), c.available), nullptr);
    }
    EXPECT_EQ(DER_Parse(nullptr, 10), nullptr);

    // Trailing bytes are left alone; non-minimal long forms are kept as given.
    const Octets trailing = {0x04, 0x01, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(Serialise(Parse(trailing).get()), (Octets{0x04, 0x01, 0xAA}));
    const Octets loose = {0x04, 0x81, 0x01, 0xAA};
    EXPECT_EQ(Serialise(Parse(loose).get()), loose);
}

TEST(DerWalk, CountsTagsAndRefusals) {
    struct Case { const char* name; Octets contents; int count; std::vector<int> tags; };
    const Case cases[] = {
        {"empty", {}, 0, {}},
        {"two primitives", {0x02, 0x01, 0x05, 0x04, 0x00}, 2, {0x02, 0x04}},
        {"context items count", {0xA0, 0x03, 0x02, 0x01, 0x01, 0x81, 0x00, 0x9E, 0x00}, 3, {0xA0, 0x81, 0x9E}},
        {"generalized time ends the count", {0x02, 0x01, 0x05, 0x18, 0x01, 0x30}, 0, {0x02, 0x18}},
        {"tag 0 ends the count", {0x00, 0x00}, 0, {0x00}},
        {"t61 and visible count", {0x14, 0x00, 0x1A, 0x00}, 2, {0x14, 0x1A}},
        {"last item overruns", {0x04, 0x01, 0xAA, 0x04, 0x05, 0x01}, 0, {0x04}},
        {"high tag inside", {0x04, 0x00, 0x9F, 0x01, 0x00}, 0, {0x04}},
        {"indefinite inside", {0x04, 0x00, 0x30, 0x80, 0x00, 0x00}, 0, {0x04}},
        {"header cut at the end", {0x04, 0x00, 0x04}, 0, {0x04}},
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
    EXPECT_EQ(DER_ItemCount(nullptr), 0);
    EXPECT_EQ(DER_ItemTag(nullptr, 0), -1);
    Element empty(DER_New());
    EXPECT_EQ(DER_ItemCount(empty.get()), 0);
    EXPECT_EQ(DER_GetItem(empty.get(), 0, 32), nullptr);
    Element one = Parse({0x30, 0x03, 0x04, 0x01, 0xAA});
    EXPECT_EQ(DER_ItemTag(one.get(), -1), -1);
    EXPECT_EQ(DER_GetItem(one.get(), -1, 4), nullptr);
}

TEST(DerGetItem, DecodersByTag) {
    struct Case { const char* name; Octets item; int tag; bool decodes; uint32_t type; Octets data; uint32_t unused; };
    const Octets hello = Text("hello"), time = Text("261206081500Z");
    const Case cases[] = {
        {"octets", Tlv(0x04, hello), 4, true, 4, hello, 0},
        {"octets as any", Tlv(0x04, hello), 32, true, 0x04, hello, 0},
        {"octets asked as integer", Tlv(0x04, hello), 2, false, 0, {}, 0},
        {"integer asked as octets", {0x02, 0x01, 0x05}, 4, false, 0, {}, 0},
        {"integer as any", {0x02, 0x02, 0x00, 0x80}, 32, true, 0x02, {0x00, 0x80}, 0},
        {"utf8", Tlv(0x0C, hello), 12, true, 12, hello, 0},
        {"printable", Tlv(0x13, hello), 19, true, 19, hello, 0},
        {"ia5", Tlv(0x16, hello), 22, true, 22, hello, 0},
        {"bmp", Tlv(0x1E, hello), 30, true, 30, hello, 0},
        {"utc", Tlv(0x17, time), 23, true, 23, time, 0},
        {"utc of 12", Tlv(0x17, Text("261206081500")), 23, false, 0, {}, 0},
        {"utc of 14", Tlv(0x17, Text("261206081500Zx")), 23, false, 0, {}, 0},
        {"bits", {0x03, 0x03, 0x04, 0xF0, 0x10}, 3, true, 3, {0xF0, 0x10}, 4},
        {"bits, unused octet only", {0x03, 0x01, 0x00}, 3, true, 3, {}, 0},
        {"bits, empty", {0x03, 0x00}, 3, false, 0, {}, 0},
        {"bits as any, empty", {0x03, 0x00}, 32, false, 0, {}, 0},
        {"bits as any", {0x03, 0x02, 0x01, 0xFE}, 32, true, 0x03, {0xFE}, 1},
        {"oid", {0x06, 0x03, 0x55, 0x04, 0x03}, 6, true, 6, Text("2.5.4.3"), 0},
        {"oid as any", {0x06, 0x01, 0x55}, 32, true, 0x06, Text("2.5"), 0},
        {"oid, empty", {0x06, 0x00}, 6, false, 0, {}, 0},
        {"oid over 2^31", {0x06, 0x06, 0x2A, 0x88, 0x80, 0x80, 0x80, 0x00}, 6, false, 0, {}, 0},
        {"t61 through the any decoder", Tlv(0x14, hello), 20, true, 0x14, hello, 0},
        {"visible through the any decoder", Tlv(0x1A, hello), 26, true, 0x1A, hello, 0},
        {"implicit [1] read as octets", Tlv(0x81, hello), 4, true, 4, hello, 0},
        {"implicit [1] read as any", Tlv(0x81, hello), 32, true, 0x81, hello, 0},
        {"implicit [1] read as utc", Tlv(0x81, hello), 23, false, 0, {}, 0},
        {"sequence as any", Tlv(0x30, Tlv(0x05, {})), 32, true, 0x30, {0x05, 0x00}, 0},
        {"generalized time as any", Tlv(0x18, time), 32, false, 0, {}, 0},
        {"tag with no decoder", Tlv(0x04, hello), 7, false, 0, {}, 0},
        {"negative tag", Tlv(0x04, hello), -4, false, 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Element e = Parse(Tlv(0x30, c.item));
        ASSERT_TRUE(e);
        Value v(static_cast<AsnValue*>(DER_GetItem(e.get(), 0, c.tag)));
        ASSERT_EQ(v != nullptr, c.decodes);
        if (!v) continue;
        EXPECT_EQ(v->type, c.type);
        EXPECT_EQ(ValueBytes(v.get()), c.data);
        EXPECT_EQ(v->unused_bits, c.unused);
        if (c.type == 19 || c.type == 22 || c.type == 23 || c.type == 6) {
            EXPECT_EQ(v->data[v->length], 0);
        }
    }
}

TEST(DerGetItem, BooleanNullAndConstructedItems) {
    Element e = Parse(Tlv(0x30, Cat({{0x01, 0x01, 0x00}, {0x05, 0x02, 0xAB, 0xCD}, {0x01, 0x02, 0xFF, 0xFF},
                                     Tlv(0x31, {0x05, 0x00}), Tlv(0xA3, {0x02, 0x01, 0x07})})));
    ASSERT_TRUE(e);
    auto* flag = static_cast<uint8_t*>(DER_GetItem(e.get(), 0, 1));
    ASSERT_TRUE(flag);
    EXPECT_EQ(*flag, 0x00);
    MEM_Free(flag);
    void* marker = DER_GetItem(e.get(), 1, 5);
    EXPECT_TRUE(marker) << "NULL contents are not examined";
    MEM_Free(marker);
    EXPECT_EQ(DER_GetItem(e.get(), 2, 1), nullptr) << "BOOLEAN of two octets";

    for (int tag : {17, 49}) {
        Element set(static_cast<DerElement*>(DER_GetItem(e.get(), 3, tag)));
        ASSERT_TRUE(set);
        EXPECT_EQ(Serialise(set.get()), Tlv(0x31, {0x05, 0x00}));
    }
    EXPECT_EQ(DER_GetItem(e.get(), 3, 16), nullptr) << "a SET is not a SEQUENCE";
    Element wrapper(static_cast<DerElement*>(DER_GetItem(e.get(), 4, 16)));
    ASSERT_TRUE(wrapper) << "[3] EXPLICIT is read as a constructed element";
    EXPECT_EQ(*wrapper->identifier, 0xA3);
    EXPECT_EQ(DER_ItemTag(wrapper.get(), 0), 0x02);
}

TEST(DerFixture, OpenSslGeneratedStructureReadsBack) {
    Element e = Parse(ReadFixture("mixed.der"));
    ASSERT_TRUE(e);
    EXPECT_EQ(DER_ItemCount(e.get()), 18);
    const std::vector<int> ids = {0x01, 0x02, 0x02, 0x0A, 0x03, 0x04, 0x05, 0x06, 0x0C,
                                  0x13, 0x14, 0x16, 0x17, 0x1A, 0x1E, 0x80, 0xA1, 0x31};
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(DER_ItemTag(e.get(), static_cast<int>(i)), ids[i]) << i;

    struct Expect { int index; int tag; Octets data; uint32_t unused; };
    const Expect strings[] = {
        {4, 3, {0xA5, 0xC3}, 0},
        {5, 4, {0x00, 0xFF, 0x10}, 0},
        {7, 6, Text("1.2.410.200004.1.4"), 0},
        {8, 12, Text("hello"), 0},
        {9, 19, Text("Quillon"), 0},
        {10, 20, Text("t61"), 0},
        {11, 22, Text("a@b.c"), 0},
        {12, 23, Text("261206081500Z"), 0},
        {13, 26, Text("vis"), 0},
        {14, 30, {0x00, 'h', 0x00, 'i'}, 0},
        {15, 4, Text("abc"), 0},
    };
    for (const Expect& x : strings) {
        SCOPED_TRACE(x.index);
        Value v(static_cast<AsnValue*>(DER_GetItem(e.get(), x.index, x.tag)));
        ASSERT_TRUE(v);
        EXPECT_EQ(ValueBytes(v.get()), x.data);
        EXPECT_EQ(v->unused_bits, x.unused);
    }
    struct Integer { int index; int tag; Octets magnitude; };
    const Integer integers[] = {
        {1, 2, {0x80}},
        {2, 2, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}},
        {3, 10, {0x03}},
    };
    for (const Integer& x : integers) {
        Number n(static_cast<BigNum*>(DER_GetItem(e.get(), x.index, x.tag)));
        ASSERT_TRUE(n) << x.index;
        EXPECT_EQ(Magnitude(n.get()), x.magnitude);
    }
    Element explicit_wrapper(static_cast<DerElement*>(DER_GetItem(e.get(), 16, 16)));
    ASSERT_TRUE(explicit_wrapper);
    Number five(static_cast<BigNum*>(DER_GetItem(explicit_wrapper.get(), 0, 2)));
    ASSERT_TRUE(five);
    EXPECT_EQ(BIGNUM_GetWord(five.get()), 5u);

    Element set(static_cast<DerElement*>(DER_GetItem(e.get(), 17, 17)));
    ASSERT_TRUE(set);
    EXPECT_EQ(DER_ItemCount(set.get()), 2);
    Value cn(static_cast<AsnValue*>(DER_GetItem(set.get(), 1, 6)));
    ASSERT_TRUE(cn);
    EXPECT_STREQ(reinterpret_cast<char*>(cn->data), "2.5.4.3");

    Element gentime = Parse(ReadFixture("gentime.der"));
    ASSERT_TRUE(gentime);
    EXPECT_EQ(DER_ItemCount(gentime.get()), 0);
    EXPECT_EQ(DER_ItemTag(gentime.get(), 1), 0x18);

    const Octets long_der = ReadFixture("long.der");
    Element longer = Parse(long_der);
    ASSERT_TRUE(longer);
    EXPECT_EQ(DER_ContentLength(longer.get()), 70311);
    EXPECT_EQ(DER_ItemCount(longer.get()), 3);
    Value big(static_cast<AsnValue*>(DER_GetItem(longer.get(), 1, 4)));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->length, 70000u);
    EXPECT_EQ(Serialise(longer.get()), long_der);
}

// ---- random trees -----------------------------------------------------------------------------

// A model of one item: primitives keep their value, constructed items their children.
struct Node {
    uint8_t id;
    Octets data;           // the value as the decoder gives it back
    uint32_t unused = 0;
    std::vector<Node> kids;
};

bool IsConstructed(const Node& n) { return n.id == 0x30 || n.id == 0x31; }

Octets Reference(const Node& n);

Octets ReferenceContents(const Node& n) {
    if (IsConstructed(n)) {
        Octets out;
        for (const Node& k : n.kids) {
            const Octets item = Reference(k);
            out.insert(out.end(), item.begin(), item.end());
        }
        return out;
    }
    if (n.id == 0x03) return Cat({{static_cast<uint8_t>(n.unused)}, n.data});
    if (n.id == 0x01) return {static_cast<uint8_t>(n.data[0] ? 0xFF : 0x00)};
    if (n.id == 0x02 || n.id == 0x0A) {
        if (n.data.empty()) return {0x00};
        return n.data[0] & 0x80 ? Cat({{0x00}, n.data}) : n.data;
    }
    if (n.id == 0x06) {
        return n.data == Text("2.5.29.31") ? Octets{0x55, 0x1D, 0x1F}
                                           : Octets{0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x0F};
    }
    return n.data;
}

Octets Reference(const Node& n) { return Tlv(n.id, ReferenceContents(n)); }

class TreeMaker {
public:
    explicit TreeMaker(uint32_t seed) : rng_(seed) {}

    Node Make(int depth) {
        Node n{static_cast<uint8_t>(rng_() % 2 ? 0x30 : 0x31), {}, 0, {}};
        const int kids = static_cast<int>(rng_() % 6);
        for (int i = 0; i < kids; ++i) n.kids.push_back(depth < 3 && rng_() % 4 == 0 ? Make(depth + 1) : Leaf());
        return n;
    }

private:
    size_t Size() {
        static const size_t edges[] = {0, 1, 126, 127, 128, 255, 256, 65535, 65536, 70000};
        const uint32_t pick = rng_() % 40;
        if (pick < 10 && (edges[pick] < 1000 || big_left_-- > 0)) return edges[pick];
        return rng_() % 40;
    }

    Octets Letters(size_t n) {
        Octets out(n);
        for (auto& b : out) b = static_cast<uint8_t>('a' + rng_() % 26);
        return out;
    }

    Node Leaf() {
        static const uint8_t ids[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0A, 0x0C, 0x13, 0x16, 0x17, 0x1E};
        Node n{ids[rng_() % std::size(ids)], {}, 0, {}};
        switch (n.id) {
            case 0x01: n.data = {static_cast<uint8_t>(rng_() % 2)}; break;
            case 0x03:
                n.data = test::SeededBytes(rng_, Size());
                if (!n.data.empty()) {
                    n.unused = rng_() % 8;
                    n.data.back() &= static_cast<uint8_t>(0xFF << n.unused);  // DER keeps unused bits zero
                }
                break;
            case 0x04: n.data = test::SeededBytes(rng_, Size()); break;
            case 0x05: break;
            case 0x02:
            case 0x0A:
                n.data = test::SeededBytes(rng_, Size() % 600);  // magnitudes stay minimal
                while (!n.data.empty() && n.data[0] == 0) n.data.erase(n.data.begin());
                break;
            case 0x06: n.data = Text(rng_() % 2 ? "1.2.410.200004.1.15" : "2.5.29.31"); break;
            case 0x17: n.data = Text("261206081500Z"); break;
            case 0x1E: n.data = Letters(Size() & ~size_t{1}); break;
            default: n.data = Letters(Size()); break;
        }
        return n;
    }

    std::mt19937 rng_;
    int big_left_ = 2;  // keeps a tree to a couple of very large items
};

// Builds the tree bottom-up; `ok` turns false at the first refusal (allocation walks rely on it).
Element Build(const Node& n, bool& ok) {
    Element e(DER_New());
    if (!e) ok = false;
    for (size_t i = 0; ok && i < n.kids.size(); ++i) {
        const Node& k = n.kids[i];
        if (IsConstructed(k)) {
            Element child = Build(k, ok);
            ok = ok && DER_Append(e.get(), k.id == 0x30 ? 16 : 49, child.get(), 0) == 1;
        } else if (k.id == 0x01) {
            ok = DER_Append(e.get(), 1, k.data.data(), 1) == 1;
        } else if (k.id == 0x05) {
            ok = DER_Append(e.get(), 5, nullptr, 0) == 1;
        } else if (k.id == 0x02 || k.id == 0x0A) {
            Number number = NumberOf(k.data);
            ok = number && DER_Append(e.get(), k.id, number.get(), ByteLength(number.get())) == 1;
        } else {
            AsnValue v = View(k.id, k.data, k.unused);
            ok = DER_Append(e.get(), k.id, &v, static_cast<int32_t>(k.data.size())) == 1;
        }
    }
    if (!ok) return e;
    if (n.kids.empty()) {
        AsnValue none{static_cast<uint32_t>(n.id), nullptr, 0, 0};
        DerElement* wrapped = nullptr;
        ok = DER_WrapConstructed(&none, &wrapped) == 1;
        e.reset(wrapped);
    } else if (n.id == 0x31) {
        *e->identifier = 0x31;  // what DER_AppendToSet leaves after its last append
    }
    return e;
}

void Check(const DerElement* e, const Node& n) {
    ASSERT_EQ(*e->identifier, n.id);
    ASSERT_EQ(DER_ItemCount(e), static_cast<int>(n.kids.size()));
    for (size_t i = 0; i < n.kids.size(); ++i) {
        const Node& k = n.kids[i];
        const int index = static_cast<int>(i);
        ASSERT_EQ(DER_ItemTag(e, index), k.id);
        if (IsConstructed(k)) {
            Element child(static_cast<DerElement*>(DER_GetItem(e, index, k.id)));
            ASSERT_TRUE(child);
            Check(child.get(), k);
        } else if (k.id == 0x02 || k.id == 0x0A) {
            Number number(static_cast<BigNum*>(DER_GetItem(e, index, k.id)));
            ASSERT_TRUE(number);
            EXPECT_EQ(Magnitude(number.get()), k.data);
        } else if (k.id == 0x01 || k.id == 0x05) {
            auto* block = static_cast<uint8_t*>(DER_GetItem(e, index, k.id));
            ASSERT_TRUE(block);
            if (k.id == 0x01) {
                EXPECT_EQ(*block, k.data[0] ? 0xFF : 0x00);
            }
            MEM_Free(block);
        } else {
            Value v(static_cast<AsnValue*>(DER_GetItem(e, index, k.id)));
            ASSERT_TRUE(v);
            EXPECT_EQ(v->type, k.id);
            EXPECT_EQ(ValueBytes(v.get()), k.data);
            EXPECT_EQ(v->unused_bits, k.unused);
        }
    }
}

TEST(DerRoundTrip, RandomTreesSerialiseParseAndWalkBack) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        TreeMaker maker(seed);
        Node root = maker.Make(0);
        root.id = 0x30;
        bool ok = true;
        Element built = Build(root, ok);
        ASSERT_TRUE(ok);
        const Octets bytes = Serialise(built.get());
        const Octets reference = Reference(root);
        ASSERT_EQ(bytes, reference) << "first difference at "
                                    << std::mismatch(bytes.begin(), bytes.end(), reference.begin(), reference.end()).first - bytes.begin();
        Element parsed = Parse(bytes);
        ASSERT_TRUE(parsed);
        Check(parsed.get(), root);

        // The independent parser accepts the encoding and writes it back unchanged.
        const uint8_t* p = bytes.data();
        ASN1_SEQUENCE_ANY* any = d2i_ASN1_SEQUENCE_ANY(nullptr, &p, static_cast<long>(bytes.size()));
        ASSERT_TRUE(any);
        EXPECT_EQ(p, bytes.data() + bytes.size());
        unsigned char* again = nullptr;
        const int n = i2d_ASN1_SEQUENCE_ANY(any, &again);
        EXPECT_EQ(Octets(again, again + (n > 0 ? n : 0)), bytes);
        OPENSSL_free(again);
        sk_ASN1_TYPE_pop_free(any, ASN1_TYPE_free);
    }
}

// ---- serialising helpers ----------------------------------------------------------------------

int BuildGreeting(const void* object, DerElement* e) {
    const auto* text = static_cast<const Octets*>(object);
    if (text->empty()) return -5;
    AsnValue v = View(12, *text);
    return DER_Append(e, 12, &v, static_cast<int32_t>(text->size()));
}

int ReadGreeting(const DerElement* e, void* out) {
    Value v(static_cast<AsnValue*>(DER_GetItem(e, 0, 12)));
    if (!v) return 0;
    *static_cast<Octets*>(out) = ValueBytes(v.get());
    return 1;
}

TEST(DerEncodeWith, CallbacksAndResults) {
    const Octets hi = Text("hi");
    uint8_t* bytes = nullptr;
    const int32_t n = DER_EncodeWith(&hi, BuildGreeting, &bytes);
    ASSERT_EQ(n, 6);
    const Octets encoded(bytes, bytes + n);
    EXPECT_EQ(encoded, Tlv(0x30, Tlv(0x0C, hi)));
    MEM_Free(bytes);

    const Octets none;
    bytes = nullptr;
    EXPECT_EQ(DER_EncodeWith(&none, BuildGreeting, &bytes), -5) << "the callback's own result";
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(DER_EncodeWith(&hi, BuildGreeting, nullptr), 0);

    Octets read;
    EXPECT_EQ(DER_DecodeWith(&read, ReadGreeting, encoded.data(), encoded.size()), 1);
    EXPECT_EQ(read, hi);
    EXPECT_EQ(DER_DecodeWith(&read, ReadGreeting, encoded.data(), encoded.size() - 1), 0) << "bounded by the length";
    EXPECT_EQ(DER_DecodeWith(&read, ReadGreeting, nullptr, 6), 0);

    Element empty(DER_New());
    EXPECT_EQ(DER_ToBytes(empty.get(), &bytes), 0);
}

TEST(DerAllocation, EveryFailureIsReportedWithoutLeaks) {
    TreeMaker maker(7);
    Node root = maker.Make(0);
    root.id = 0x30;
    root.kids.push_back(Node{0x04, Text("x"), 0, {}});
    const Octets expected = Reference(root);

    // Building: the first failing step reports it, and everything made so far is released.
    test::WalkAllocationFailures(
        [&] {
            bool ok = true;
            Element e = Build(root, ok);
            return ok && Serialise(e.get()) == expected;
        },
        [](bool fired, bool made) { EXPECT_NE(fired, made); });

    test::WalkAllocationFailures(
        [&] {
            Element e = Parse(expected);
            if (!e) return false;
            Value first(static_cast<AsnValue*>(DER_GetItem(e.get(), 0, 32)));
            Value last(static_cast<AsnValue*>(DER_GetItem(e.get(), DER_ItemCount(e.get()) - 1, 4)));
            return first && last;
        },
        [](bool fired, bool made) { EXPECT_NE(fired, made); });
}

}  // namespace
