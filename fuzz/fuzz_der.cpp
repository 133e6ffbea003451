// DER_Parse on arbitrary bytes, then a recursive walk that asks every item for every tag:
// never out of bounds, never leaks, and every value that decodes encodes again to an item
// that decodes to the same value.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/mem.h"
#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "bignum/bignum.h"

using namespace quillon;

namespace {

constexpr int kTags[] = {0, 1, 2, 3, 4, 5, 6, 7, 10, 12, 16, 17, 19, 20, 22, 23, 24, 26, 30, 31, 32, 48, 49, 0x84, 0xA0};
constexpr int kMaxDepth = 64;
constexpr int kMaxItems = 128;

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameValue(const AsnValue* a, const AsnValue* b) {
    return a->type == b->type && a->length == b->length && a->unused_bits == b->unused_bits &&
           (a->length == 0 || std::memcmp(a->data, b->data, a->length) == 0);
}

// Encodes `value` as the only item of a fresh SEQUENCE, serialises and parses that, and
// reads the item back as `tag`; null when the value is not encodable.
AsnValue* RoundTrip(const AsnValue* value, int tag) {
    DerElement* sequence = DER_New();
    AsnValue* again = nullptr;
    if (DER_Append(sequence, tag, value, static_cast<int32_t>(value->length))) {
        uint8_t* bytes = nullptr;
        const int32_t size = DER_ToBytes(sequence, &bytes);
        Check(size > 0);
        DerElement* parsed = DER_Parse(bytes, static_cast<size_t>(size));
        Check(parsed && DER_ItemCount(parsed) <= 1 && DER_ItemTag(parsed, 0) >= 0 && DER_ItemTag(parsed, 1) == -1);
        again = static_cast<AsnValue*>(DER_GetItem(parsed, 0, tag));
        Check(again != nullptr);
        DER_Free(parsed);
        MEM_Free(bytes);
    } else {
        Check(sequence->identifier == nullptr);
    }
    DER_Free(sequence);
    return again;
}

// Values come back unchanged, except those the encoder canonicalises (INTEGER magnitudes,
// NULL contents, constructed forms); a second round trip changes nothing at all.
void CheckReencodes(const AsnValue* value, int tag) {
    const int low = tag & 0x1F;
    if (tag != 32 && (low == 20 || low == 26)) tag = 32;  // read by the any-type decoder
    else if (tag != 32) tag = static_cast<int>(value->type);
    AsnValue* once = RoundTrip(value, tag);
    if (!once) return;
    const uint32_t type = value->type & 0x1F;
    if (type != 2 && type != 5 && type != 10 && type != 16 && type != 17) Check(SameValue(once, value));
    AsnValue* twice = RoundTrip(once, tag);
    Check(twice && SameValue(twice, once));
    ASNVALUE_Free(twice);
    ASNVALUE_Free(once);
}

// An INTEGER re-encodes in its minimal form and reads back as the same number.
void CheckNumber(const BigNum* number, int tag) {
    const int bits = BIGNUM_NumBits(number);
    DerElement* sequence = DER_New();
    Check(DER_Append(sequence, tag, number, bits ? (bits + 7) / 8 : 1) == 1);
    uint8_t* bytes = nullptr;
    const int32_t size = DER_ToBytes(sequence, &bytes);
    DerElement* parsed = DER_Parse(bytes, static_cast<size_t>(size));
    Check(parsed != nullptr);
    auto* again = static_cast<BigNum*>(DER_GetItem(parsed, 0, tag));
    Check(again && BIGNUM_Cmp(again, number) == 0);
    // Minimal: one leading zero octet at most, and only before a set top bit.
    Check(size >= 3 + (bits % 8 == 0 && bits ? 1 : 0));
    BIGNUM_Free(again);
    DER_Free(parsed);
    MEM_Free(bytes);
    DER_Free(sequence);
}

void Walk(const DerElement* element, int depth) {
    const int count = DER_ItemCount(element);
    Check(count >= 0);
    for (int index = 0; index < kMaxItems; ++index) {
        const int identifier = DER_ItemTag(element, index);
        Check(identifier >= -1 && identifier <= 0xFF);
        if (index < count) Check(identifier >= 0);
        bool walked = false;  // one recursion per item, or nesting costs 2^depth
        for (int tag : kTags) {
            void* item = DER_GetItem(element, index, tag);
            if (!item) continue;
            Check(identifier >= 0);
            switch (tag == 32 ? 32 : tag & 0x1F) {
                case 1:
                case 5:
                    MEM_Free(item);
                    break;
                case 2:
                case 10:
                    CheckNumber(static_cast<BigNum*>(item), tag);
                    BIGNUM_Free(static_cast<BigNum*>(item));
                    break;
                case 16:
                case 17: {
                    auto* child = static_cast<DerElement*>(item);
                    Check(*child->identifier == identifier);
                    if (!walked && depth < kMaxDepth) Walk(child, depth + 1);
                    walked = true;
                    // A parsed child appends whole and comes back equal.
                    DerElement* parent = DER_New();
                    Check(DER_Append(parent, tag, child, 0) == 1);
                    auto* back = static_cast<DerElement*>(DER_GetItem(parent, 0, tag));
                    Check(back && DER_ContentLength(back) == DER_ContentLength(child) &&
                          (DER_ContentLength(back) == 0 ||
                           std::memcmp(back->contents, child->contents, DER_ContentLength(back)) == 0));
                    DER_Free(back);
                    DER_Free(parent);
                    DER_Free(child);
                    break;
                }
                default: {
                    auto* value = static_cast<AsnValue*>(item);
                    CheckReencodes(value, tag);
                    ASNVALUE_Free(value);
                    break;
                }
            }
        }
        if (identifier < 0) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copy so that any read past the end is caught.
    auto* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    DerElement* element = DER_Parse(bytes, size);
    if (element) {
        Walk(element, 0);
        uint8_t* out = nullptr;
        const int32_t n = DER_ToBytes(element, &out);
        Check(n > 0 && static_cast<size_t>(n) <= size && std::memcmp(out, bytes, static_cast<size_t>(n)) == 0);
        MEM_Free(out);
        DER_Free(element);
    }
    std::free(bytes);
    Check(MEM_LiveBlocks() == 0);
    return 0;
}
