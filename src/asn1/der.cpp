#include "asn1/der.h"

#include <cstring>

#include "core/mem.h"
#include "asn1/oid_text.h"
#include "bignum/bignum.h"

namespace quillon {
namespace {

// Where one element sits inside a byte range, after its header has been checked.
struct Header {
    uint8_t identifier;
    size_t length_count;      // number of length octets
    uint32_t content_length;
    size_t size() const { return 1 + length_count + content_length; }
};

// Reads the header at `p` and checks that the whole element fits in `available` bytes.
bool ReadHeader(const uint8_t* p, size_t available, Header& h) {
    if (available < 2 || (p[0] & kDerTagNumberMask) == kDerTagNumberMask) return false;
    h.identifier = p[0];
    const uint8_t first = p[1];
    if (first < 0x80) {
        h.length_count = 1;
        h.content_length = first;
    } else {
        const size_t n = first & 0x7F;
        if (n == 0 || n > 4 || available - 2 < n) return false;  // indefinite, or too wide
        uint32_t length = 0;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | p[2 + i];
        if (length > kDerMaxLength) return false;
        h.length_count = 1 + n;
        h.content_length = length;
    }
    return available - 1 - h.length_count >= h.content_length;
}

uint8_t* Copy(const uint8_t* bytes, size_t n) {
    auto* copy = static_cast<uint8_t*>(MEM_Alloc(n ? n : 1));
    if (copy && n) std::memcpy(copy, bytes, n);
    return copy;
}

// Gives an empty element `identifier`, length octets for `total` and room for the contents
// in *contents (null when total is 0). On failure the element stays empty.
bool Reserve(DerElement* e, uint8_t identifier, uint32_t total, uint8_t** contents) {
    uint8_t length_octets[5];
    const size_t count = DER_PutLength(total, length_octets);
    e->identifier = Copy(&identifier, 1);
    e->length_octets = Copy(length_octets, count);
    e->contents = total ? static_cast<uint8_t*>(MEM_Alloc(total)) : nullptr;
    if (!e->identifier || !e->length_octets || (total && !e->contents)) {
        DER_Reset(e);
        return false;
    }
    *contents = e->contents;
    return true;
}

// Fills an empty element with `identifier` and the contents prefix + body.
int Fill(DerElement* e, uint8_t identifier, const uint8_t* prefix, size_t prefix_length, const uint8_t* body,
         size_t body_length) {
    if (body_length > kDerMaxLength - prefix_length) return 0;
    uint8_t* contents;
    if (!Reserve(e, identifier, static_cast<uint32_t>(prefix_length + body_length), &contents)) return 0;
    if (prefix_length) std::memcpy(contents, prefix, prefix_length);
    if (body_length) std::memcpy(contents + prefix_length, body, body_length);
    return 1;
}

// 1 when the magnitude's top bit is set: a 0x00 keeps it from reading as a sign.
uint32_t IntegerLead(const BigNum* value) {
    const int bits = BIGNUM_NumBits(value);
    return bits > 0 && bits % 8 == 0 ? 1 : 0;
}

bool ValidTag(int tag) { return tag >= 0 && tag <= 0xFF && (tag & kDerTagNumberMask) != kDerTagNumberMask; }

bool IsConstructedTag(int tag) { return tag == 16 || tag == 48 || tag == 17 || tag == 49; }

bool ValidContext(int context) { return context >= 0 && context < kDerTagNumberMask; }

// An AsnValue can supply `length` bytes (data may be null only when none are wanted).
bool Supplies(const AsnValue* v, int32_t length) {
    return v && length >= 0 && static_cast<uint32_t>(length) <= v->length && (length == 0 || v->data);
}

// Starts an encode: the target must exist and is emptied, the tag must fit one octet.
bool Begin(DerElement* target, int tag) {
    if (!target) return false;
    DER_Reset(target);
    return ValidTag(tag);
}

// ---- walking ------------------------------------------------------------------------------

bool AcceptedIdentifier(uint8_t id) {
    if ((id & kDerClassMask) == kDerContextClass) return true;
    switch (id & kDerTagNumberMask) {
        case 1: case 2: case 3: case 4: case 5: case 6: case 10: case 12:
        case 16: case 17: case 19: case 20: case 22: case 23: case 26: case 30:
            return true;
        default:
            return false;
    }
}

struct Contents {
    const uint8_t* bytes;
    uint32_t length;
};

bool ContentsOf(const DerElement* e, Contents& c) {
    if (!e || !e->identifier) return false;
    const int32_t length = DER_ContentLength(e);
    if (length < 0 || (length > 0 && !e->contents)) return false;
    c = {e->contents, static_cast<uint32_t>(length)};
    return true;
}

// Finds item `index`; its header is in `h` and its first octet at `*at`.
bool FindItem(const DerElement* e, int index, Header& h, const uint8_t** at) {
    Contents c;
    if (index < 0 || !ContentsOf(e, c)) return false;
    size_t offset = 0;
    for (int i = 0;; ++i) {
        if (offset >= c.length || !ReadHeader(c.bytes + offset, c.length - offset, h)) return false;
        if (i == index) {
            *at = c.bytes + offset;
            return true;
        }
        offset += h.size();
    }
}

// ---- decoders -----------------------------------------------------------------------------

void* NewValue(uint32_t type, const uint8_t* bytes, uint32_t length, uint32_t unused_bits = 0) {
    AsnValue* v = ASNVALUE_New();
    if (!v) return nullptr;
    if (!ASNVALUE_Set(v, type, bytes, length)) {
        ASNVALUE_Free(v);
        return nullptr;
    }
    v->unused_bits = unused_bits;
    return v;
}

void* DecodeBitString(uint32_t type, const uint8_t* c, uint32_t n) {
    if (n == 0) return nullptr;  // not even the unused-bits octet
    return NewValue(type, c + 1, n - 1, c[0]);
}

void* DecodeOid(uint32_t type, const uint8_t* c, uint32_t n) {
    char text[kOidTextMax + 1];
    const size_t length = OID_ContentsToText(c, n, text, sizeof text);
    if (length == 0) return nullptr;
    return NewValue(type, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(length));
}

// Unsigned magnitude: a leading 0x00 is harmless and no sign is read.
void* DecodeInteger(const uint8_t* c, uint32_t n) { return BIGNUM_FromBytes(c, n, nullptr); }

void* DecodeAny(const Header& h, const uint8_t* c) {
    const uint8_t id = h.identifier;
    const uint32_t n = h.content_length;
    if ((id & kDerClassMask) == kDerContextClass) return NewValue(id, c, n);
    switch (id & kDerTagNumberMask) {
        case 3:
            return DecodeBitString(id, c, n);
        case 6:
            return DecodeOid(id, c, n);
        case 1: case 2: case 4: case 5: case 10: case 12: case 16: case 17:
        case 19: case 20: case 22: case 23: case 26: case 30:
            return NewValue(id, c, n);
        default:
            return nullptr;
    }
}

void* DecodeItem(const Header& h, const uint8_t* item, int tag) {
    const uint8_t* c = item + 1 + h.length_count;
    const uint32_t n = h.content_length;
    if (tag == DER_ANY) return DecodeAny(h, c);
    switch (tag & kDerTagNumberMask) {
        case DER_BOOLEAN: {
            if (n != 1) return nullptr;
            return Copy(c, 1);
        }
        case DER_INTEGER:
        case DER_ENUMERATED:
            return n ? DecodeInteger(c, n) : nullptr;
        case DER_BIT_STRING:
            return DecodeBitString(DER_BIT_STRING, c, n);
        case DER_OCTET_STRING:
        case DER_UTF8_STRING:
        case DER_BMP_STRING:
        case DER_PRINTABLE_STRING:
        case DER_IA5_STRING:
            return NewValue(static_cast<uint32_t>(tag & kDerTagNumberMask), c, n);
        case DER_UTC_TIME:
            return n == 13 ? NewValue(DER_UTC_TIME, c, n) : nullptr;
        case DER_NULL:
            return MEM_Calloc(1, 4);
        case DER_OID:
            return DecodeOid(DER_OID, c, n);
        case DER_SEQUENCE:
        case DER_SET:
            return DER_Parse(item, h.size());
        case DER_T61_STRING:
        case DER_VISIBLE_STRING:
            return DecodeAny(h, c);
        default:
            return nullptr;
    }
}

}  // namespace

// ---- life cycle and length octets ---------------------------------------------------------

DerElement* DER_New() { return MEM_New<DerElement>(); }

void DER_Reset(DerElement* element) {
    if (!element) return;
    MEM_Free(element->identifier);
    MEM_Free(element->length_octets);
    MEM_Free(element->contents);
    *element = DerElement{};
}

void DER_Free(DerElement* element) {
    if (!element) return;
    DER_Reset(element);
    MEM_Free(element);
}

int DER_LengthOctetCount(const uint8_t* first) {
    if (!first) return 0;
    return *first < 0x80 ? 1 : (*first & 0x7F) + 1;
}

int32_t DER_ReadLength(const uint8_t* octets) {
    if (!octets) return -1;
    if (octets[0] < 0x80) return octets[0];
    const int n = octets[0] & 0x7F;
    if (n == 0 || n > 4) return -1;
    uint32_t length = 0;
    for (int i = 1; i <= n; ++i) length = (length << 8) | octets[i];
    return length > kDerMaxLength ? -1 : static_cast<int32_t>(length);
}

int32_t DER_ContentLength(const DerElement* element) {
    return element ? DER_ReadLength(element->length_octets) : -1;
}

size_t DER_PutLength(uint32_t length, uint8_t* out) {
    if (length < 0x80) {
        out[0] = static_cast<uint8_t>(length);
        return 1;
    }
    size_t n = 0;
    for (uint32_t rest = length; rest; rest >>= 8) ++n;
    out[0] = static_cast<uint8_t>(0x80 | n);
    for (size_t i = 0; i < n; ++i) out[n - i] = static_cast<uint8_t>(length >> (8 * i));
    return n + 1;
}

int DER_NeedsLongForm(int tag, int64_t length) {
    const int64_t content = length + (tag == DER_BIT_STRING ? 1 : 0);
    return content < 0 || content > 127 ? 1 : 0;
}

// ---- primitive encoders -------------------------------------------------------------------

int DER_EncodeBoolean(DerElement* target, int tag, const uint8_t* value, int32_t length) {
    if (!Begin(target, tag) || !value || length != 1) return 0;
    const uint8_t octet = value[0] ? 0xFF : 0x00;
    return Fill(target, static_cast<uint8_t>(tag), nullptr, 0, &octet, 1);
}

int DER_EncodeInteger(DerElement* target, int tag, const BigNum* value, int32_t length) {
    // The length must be the magnitude's own: anything else would misstate the contents.
    if (!Begin(target, tag) || !value || length <= 0 || length != DER_IntegerLength(value)) return 0;
    uint8_t* contents;
    if (!Reserve(target, static_cast<uint8_t>(tag), DER_IntegerContentLength(value), &contents)) return 0;
    DER_PutIntegerContents(value, contents);
    return 1;
}

int DER_EncodeBitString(DerElement* target, int tag, const AsnValue* value, int32_t length) {
    if (!Begin(target, tag) || !Supplies(value, length) || value->unused_bits > 7) return 0;
    const auto unused = static_cast<uint8_t>(value->unused_bits);
    return Fill(target, static_cast<uint8_t>(tag), &unused, 1, value->data, static_cast<size_t>(length));
}

int DER_EncodeString(DerElement* target, int tag, const AsnValue* value, int32_t length) {
    if (!Begin(target, tag) || !Supplies(value, length)) return 0;
    return Fill(target, static_cast<uint8_t>(tag), nullptr, 0, value->data, static_cast<size_t>(length));
}

int DER_EncodeNull(DerElement* target, int tag, const void*, int32_t length) {
    if (!Begin(target, tag) || length != 0) return 0;
    return Fill(target, static_cast<uint8_t>(tag), nullptr, 0, nullptr, 0);
}

int DER_EncodeOid(DerElement* target, int tag, const AsnValue* value, int32_t length) {
    if (!Begin(target, tag) || !Supplies(value, length) || length == 0) return 0;
    uint8_t contents[kOidTextMax];
    const size_t n = OID_TextToContents(reinterpret_cast<const char*>(value->data), static_cast<size_t>(length),
                                        contents, sizeof contents);
    if (n == 0) return 0;
    return Fill(target, static_cast<uint8_t>(tag), nullptr, 0, contents, n);
}

int DER_EncodeTime(DerElement* target, int tag, const AsnValue* value, int32_t length) {
    if (length == 0) {
        DER_Reset(target);
        return 0;
    }
    return DER_EncodeString(target, tag, value, length);
}

// ---- builders -----------------------------------------------------------------------------

namespace {

// The inverse of DecodeAny for every identifier it accepts: whatever was read with its tag
// and contents is written back with the same identifier and contents.
int EncodeAsDecoded(DerElement* target, const AsnValue* v) {
    if (v->type > 0xFF || !ValidTag(static_cast<int>(v->type))) return 0;
    auto id = static_cast<uint8_t>(v->type);
    if (!AcceptedIdentifier(id)) return 0;
    const auto n = static_cast<int32_t>(v->length);
    if ((id & kDerClassMask) != kDerContextClass) {
        if (IsConstructedTag(id & kDerTagNumberMask)) id |= kDerConstructed;  // 16 and 17 name SEQUENCE and SET
        switch (id & kDerTagNumberMask) {
            case DER_BIT_STRING:
                return DER_EncodeBitString(target, id, v, n);
            case DER_OID:
                return DER_EncodeOid(target, id, v, n);
            default:
                break;
        }
    }
    return DER_EncodeString(target, id, v, n);
}

// Tag 32: the value says its own type and carries its own length.
int EncodeAny(DerElement* target, const AsnValue* v, int32_t length) {
    if (!v || length < 0 || v->length > kDerMaxLength) return 0;
    const auto n = static_cast<int32_t>(v->length);
    switch (v->type) {
        case DER_INTEGER: {
            if (n > 0 && !v->data) return 0;
            BigNum* number = BIGNUM_FromBytes(v->data, v->length, nullptr);
            if (!number) return 0;
            const int ok = DER_EncodeInteger(target, DER_INTEGER, number, DER_IntegerLength(number));
            BIGNUM_Free(number);
            return ok;
        }
        case DER_BIT_STRING:
            return DER_EncodeBitString(target, DER_BIT_STRING, v, n);
        case DER_OCTET_STRING:
        case DER_UTF8_STRING:
        case DER_PRINTABLE_STRING:
        case DER_IA5_STRING:
        case DER_BMP_STRING:
            return DER_EncodeString(target, static_cast<int>(v->type), v, n);
        case DER_NULL:
            return DER_EncodeNull(target, DER_NULL, nullptr, 0);
        case DER_OID:
            return DER_EncodeOid(target, DER_OID, v, n);
        case DER_UTC_TIME:
            return DER_EncodeTime(target, DER_UTC_TIME, v, n);
        default:
            return EncodeAsDecoded(target, v);
    }
}

}  // namespace

int DER_EncodeValue(DerElement* target, int tag, const void* value, int32_t length) {
    if (!target) return 0;
    DER_Reset(target);
    if (tag == DER_ANY) return EncodeAny(target, static_cast<const AsnValue*>(value), length);
    if (!ValidTag(tag) || length < 0) return 0;
    if (!value && (tag & kDerTagNumberMask) != DER_NULL) return 0;
    const auto* v = static_cast<const AsnValue*>(value);
    switch (tag & kDerTagNumberMask) {
        case DER_BOOLEAN:
            return DER_EncodeBoolean(target, tag, static_cast<const uint8_t*>(value), length);
        case DER_INTEGER:
        case DER_ENUMERATED:
            return DER_EncodeInteger(target, tag, static_cast<const BigNum*>(value), length);
        case DER_BIT_STRING:
            return DER_EncodeBitString(target, tag, v, length);
        case DER_OCTET_STRING:
        case DER_UTF8_STRING:
        case DER_PRINTABLE_STRING:
        case DER_IA5_STRING:
        case DER_BMP_STRING:
            return DER_EncodeString(target, tag, v, length);
        case DER_NULL:
            return DER_EncodeNull(target, tag, value, length);
        case DER_OID:
            return DER_EncodeOid(target, tag, v, length);
        case DER_UTC_TIME:
            return DER_EncodeTime(target, tag, v, length);
        default:
            return 0;
    }
}

int DER_EncodeImplicit(DerElement* target, int context, int tag, const void* value, int32_t length) {
    if (!ValidContext(context)) {
        DER_Reset(target);
        return 0;
    }
    if (!DER_EncodeValue(target, tag, value, length)) return 0;
    *target->identifier = static_cast<uint8_t>(kDerContextClass | context);
    return 1;
}

int DER_Append(DerElement* element, int tag, const void* value, int32_t length) {
    if (!element) return 0;

    // The item: a caller's finished element, or one made here and released at the end.
    DerElementPtr made;
    const DerElement* item = nullptr;
    if (IsConstructedTag(tag)) {
        item = static_cast<const DerElement*>(value);
        if (!item || !item->identifier) return 0;
        if (item == element) {
            // Appending an element to itself: work from a copy of its current state.
            uint8_t* bytes = nullptr;
            const int32_t size = DER_ToBytes(item, &bytes);
            made.reset(size ? DER_Parse(bytes, static_cast<size_t>(size)) : nullptr);
            MEM_Free(bytes);
            if (!made) return 0;
            item = made.get();
        }
    } else {
        made.reset(DER_New());
        if (!made) return 0;
        const auto* v = static_cast<const AsnValue*>(value);
        if (tag == DER_ANY && v && IsConstructedTag(static_cast<int>(v->type))) {
            // Always constructed, whichever of the two tag numbers the type gives.
            if (!Supplies(v, length) ||
                !Fill(made.get(), static_cast<uint8_t>(v->type | kDerConstructed), nullptr, 0, v->data,
                      static_cast<size_t>(length)))
                return 0;
        } else if (!DER_EncodeValue(made.get(), tag, value, length)) {
            return 0;
        }
        item = made.get();
    }

    const int32_t item_length = DER_ContentLength(item);
    const int item_count = DER_LengthOctetCount(item->length_octets);
    if (item_length < 0) return 0;

    int32_t old_length = 0;
    if (!element->identifier) {
        element->identifier = Copy(&kDerSequenceId, 1);
        if (!element->identifier) return 0;
    } else if ((old_length = DER_ContentLength(element)) < 0) {
        DER_Reset(element);
        return 0;
    }

    const uint64_t item_size = 1 + static_cast<uint64_t>(item_count) + static_cast<uint64_t>(item_length);
    const uint64_t new_length = static_cast<uint64_t>(old_length) + item_size;
    if (new_length > kDerMaxLength) {
        DER_Reset(element);
        return 0;
    }

    // Contents may hold key material: MEM_Realloc wipes the old copy as it releases it.
    auto* contents = static_cast<uint8_t*>(MEM_Realloc(element->contents, static_cast<size_t>(new_length)));
    if (!contents) {
        DER_Reset(element);
        return 0;
    }
    element->contents = contents;

    uint8_t length_octets[5];
    const size_t count = DER_PutLength(static_cast<uint32_t>(new_length), length_octets);
    auto* octets = static_cast<uint8_t*>(MEM_Realloc(element->length_octets, count));
    if (!octets) {
        DER_Reset(element);
        return 0;
    }
    element->length_octets = octets;
    std::memcpy(octets, length_octets, count);

    uint8_t* out = contents + old_length;
    *out++ = *item->identifier;
    std::memcpy(out, item->length_octets, static_cast<size_t>(item_count));
    out += item_count;
    if (item_length) std::memcpy(out, item->contents, static_cast<size_t>(item_length));
    return 1;
}

int DER_AppendToSet(DerElement* element, int tag, const void* value, int32_t length) {
    if (!DER_Append(element, tag, value, length)) {
        DER_Reset(element);
        return 0;
    }
    *element->identifier = kDerSetId;
    return 1;
}

int DER_AppendToSetOrEmpty(DerElement* element, int tag, const void* value, int32_t length) {
    if (!element) return 0;
    if (IsConstructedTag(tag) || length != 0) return DER_AppendToSet(element, tag, value, length);
    DER_Reset(element);
    return Fill(element, kDerSetId, nullptr, 0, nullptr, 0);
}

int DER_AppendExplicit(DerElement* element, int context, int tag, const void* value, int32_t length) {
    if (!ValidContext(context) || !DER_Append(element, tag, value, length)) return 0;
    *element->identifier = static_cast<uint8_t>(kDerContextClass | kDerConstructed | context);
    return 1;
}

int32_t DER_IntegerLength(const BigNum* value) {
    const int bits = BIGNUM_NumBits(value);
    return bits ? (bits + 7) / 8 : 1;
}

uint32_t DER_IntegerContentLength(const BigNum* value) {
    return IntegerLead(value) + static_cast<uint32_t>(DER_IntegerLength(value));
}

void DER_PutIntegerContents(const BigNum* value, uint8_t* out) {
    out[0] = 0;
    if (BIGNUM_NumBits(value)) BIGNUM_ToBytes(value, out + IntegerLead(value));
}

int DER_AppendInteger(DerElement* element, const BigNum* value) {
    return value && DER_Append(element, DER_INTEGER, value, DER_IntegerLength(value)) ? 1 : 0;
}

int DER_WrapConstructed(const AsnValue* value, DerElement** out) {
    if (!value || !out || !IsConstructedTag(static_cast<int>(value->type))) return 0;
    if ((value->type == DER_SEQUENCE || value->type == DER_SET) && value->length == 0) return 0;
    if (value->length > kDerMaxLength || (value->length && !value->data)) return 0;
    DerElementPtr element(DER_New());
    if (!element || !Fill(element.get(), static_cast<uint8_t>(value->type | kDerConstructed), nullptr, 0, value->data,
                          value->length))
        return 0;
    *out = element.release();
    return 1;
}

// ---- reading ------------------------------------------------------------------------------

DerElement* DER_Parse(const uint8_t* bytes, size_t available) {
    Header h;
    if (!bytes || !ReadHeader(bytes, available, h)) return nullptr;
    DerElement* element = DER_New();
    if (!element) return nullptr;
    element->identifier = Copy(bytes, 1);
    element->length_octets = Copy(bytes + 1, h.length_count);
    element->contents = h.content_length ? Copy(bytes + 1 + h.length_count, h.content_length) : nullptr;
    if (!element->identifier || !element->length_octets || (h.content_length && !element->contents)) {
        DER_Free(element);
        return nullptr;
    }
    return element;
}

int DER_ItemCount(const DerElement* element) {
    Contents c;
    if (!ContentsOf(element, c)) return 0;
    int count = 0;
    for (size_t offset = 0; offset < c.length; ++count) {
        Header h;
        if (!ReadHeader(c.bytes + offset, c.length - offset, h) || !AcceptedIdentifier(h.identifier)) return 0;
        offset += h.size();
    }
    return count;
}

int DER_ItemTag(const DerElement* element, int index) {
    Header h;
    const uint8_t* at;
    return FindItem(element, index, h, &at) ? h.identifier : -1;
}

void* DER_GetItem(const DerElement* element, int index, int tag) {
    Header h;
    const uint8_t* at;
    if (tag < 0 || tag > 0xFF || !FindItem(element, index, h, &at)) return nullptr;
    const bool context = (h.identifier & kDerClassMask) == kDerContextClass;
    if (tag != DER_ANY && !context && (h.identifier & kDerTagNumberMask) != (tag & kDerTagNumberMask)) return nullptr;
    return DecodeItem(h, at, tag);
}

DerElement* DER_GetItemElement(const DerElement* element, int index) {
    Header h;
    const uint8_t* at;
    return FindItem(element, index, h, &at) ? DER_Parse(at, h.size()) : nullptr;
}

void* DER_GetExactItem(const DerElement* element, int index, int identifier) {
    return DER_ItemTag(element, index) == identifier ? DER_GetItem(element, index, identifier) : nullptr;
}

DerElement* DER_GetExactElement(const DerElement* element, int index, int identifier) {
    return DER_ItemTag(element, index) == identifier ? DER_GetItemElement(element, index) : nullptr;
}

bool DER_Equal(const DerElement* a, const DerElement* b) {
    if (!a || !b || !a->identifier || !b->identifier || *a->identifier != *b->identifier) return false;
    const int32_t length = DER_ContentLength(a);
    return length >= 0 && length == DER_ContentLength(b) &&
           (length == 0 || std::memcmp(a->contents, b->contents, static_cast<size_t>(length)) == 0);
}

// ---- serialising --------------------------------------------------------------------------

int32_t DER_ToBytes(const DerElement* element, uint8_t** out) {
    if (!out || !element || !element->identifier) return 0;
    const int32_t length = DER_ContentLength(element);
    if (length < 0 || (length > 0 && !element->contents)) return 0;
    const auto count = static_cast<size_t>(DER_LengthOctetCount(element->length_octets));
    const size_t total = 1 + count + static_cast<size_t>(length);
    if (total > kDerMaxLength) return 0;
    auto* bytes = static_cast<uint8_t*>(MEM_Alloc(total));
    if (!bytes) return 0;
    bytes[0] = *element->identifier;
    std::memcpy(bytes + 1, element->length_octets, count);
    if (length) std::memcpy(bytes + 1 + count, element->contents, static_cast<size_t>(length));
    *out = bytes;
    return static_cast<int32_t>(total);
}

int32_t DER_EncodeWith(const void* object, DerBuildFn build, uint8_t** out) {
    if (!out || !build) return 0;
    DerElement* element = DER_New();
    if (!element) return 0;
    const int result = build(object, element);
    const int32_t encoded = result == 1 ? DER_ToBytes(element, out) : result;
    DER_Free(element);
    return encoded;
}

int DER_DecodeWith(void* out, DerReadFn read, const uint8_t* bytes, size_t available) {
    if (!read || !bytes) return 0;
    DerElement* element = DER_Parse(bytes, available);
    if (!element) return 0;
    const int result = read(element, out);
    DER_Free(element);
    return result;
}

// ---- elements that arrive without a length ------------------------------------------------

size_t DER_UnsizedLength(const uint8_t* bytes) {
    if (!bytes || (bytes[0] & kDerTagNumberMask) == kDerTagNumberMask) return 0;
    const uint8_t first = bytes[1];
    size_t header = 2;
    uint64_t length = first;
    if (first >= 0x80) {
        const size_t n = first & 0x7F;
        if (n == 0 || n > 4) return 0;  // indefinite, or wider than any length we take
        length = 0;
        for (size_t i = 0; i < n; ++i) length = (length << 8) | bytes[2 + i];
        header += n;
    }
    return length > kDerUnsizedMax - header ? 0 : header + static_cast<size_t>(length);
}

DerElement* DER_ParseUnsized(const uint8_t* bytes) {
    const size_t size = DER_UnsizedLength(bytes);
    return size ? DER_Parse(bytes, size) : nullptr;
}

}  // namespace quillon
