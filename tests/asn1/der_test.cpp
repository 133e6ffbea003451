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

}  // namespace
