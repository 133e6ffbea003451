#include "asn1/asn_value.h"

#include <cstring>

#include "core/mem.h"
#include "asn1/oid_text.h"

namespace quillon {
namespace {

constexpr uint32_t kNullType = 5;

// A copy of `length` bytes followed by a zero byte, so that text values stay terminated.
uint8_t* CopyWithTerminator(const uint8_t* bytes, uint32_t length) {
    auto* copy = static_cast<uint8_t*>(MEM_Alloc(size_t{length} + 1));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, bytes, length);
    copy[length] = 0;
    return copy;
}

AsnValue* NewHolding(uint32_t type, const uint8_t* bytes, uint32_t length) {
    AsnValue* value = ASNVALUE_New();
    if (!value) return nullptr;
    if (!ASNVALUE_Set(value, type, bytes, length)) {
        ASNVALUE_Free(value);
        return nullptr;
    }
    return value;
}

}  // namespace

AsnValue* ASNVALUE_New() { return MEM_New<AsnValue>(); }

// Values carry decoded key material too (the OCTET STRING of a PKCS#8 key): the allocator
// wipes the bytes as it releases them.
void ASNVALUE_Clear(AsnValue* value) {
    if (!value) return;
    MEM_Free(value->data);
    *value = AsnValue{};
}

void ASNVALUE_Free(AsnValue* value) {
    if (!value) return;
    ASNVALUE_Clear(value);
    MEM_Free(value);
}

int ASNVALUE_Set(AsnValue* value, uint32_t type, const uint8_t* bytes, uint32_t length) {
    if (!value) return 0;
    ASNVALUE_Clear(value);
    uint8_t* copy = CopyWithTerminator(bytes, bytes ? length : 0);
    if (!copy) return 0;
    value->type = type;
    value->data = copy;
    value->length = bytes ? length : 0;
    return 1;
}

AsnValue* ASNVALUE_Dup(const AsnValue* value) {
    if (!value) return nullptr;
    if (value->type == kNullType) {
        AsnValue* copy = ASNVALUE_New();
        if (copy) copy->type = kNullType;
        return copy;
    }
    if (!value->data) return nullptr;
    AsnValue* copy = NewHolding(value->type, value->data, value->length);
    if (copy) copy->unused_bits = value->unused_bits;
    return copy;
}

AsnValue* ASNVALUE_FromOctets(const uint8_t* bytes, uint32_t length) {
    if (!bytes) return nullptr;
    return NewHolding(4, bytes, length);
}

AsnValue* ASNVALUE_FromIa5(const uint8_t* bytes, uint32_t length) {
    if (!bytes) return nullptr;
    for (uint32_t i = 0; i < length; ++i)
        if (bytes[i] >= 0x80) return nullptr;
    return NewHolding(22, bytes, length);
}

// The copy keeps the length but not the type.
AsnValue* ASNVALUE_DupText(const AsnValue* value) {
    if (!value || value->length == 0 || !value->data) return nullptr;
    AsnValue* copy = NewHolding(0, value->data, value->length);
    return copy;
}

// Takes only what the DER layer can encode and read back, so a bad identifier is refused
// here rather than when a structure is being written.
AsnValue* ASNVALUE_FromOidText(const char* text) {
    if (!text) return nullptr;
    size_t length = 0;
    while (length <= kOidTextMax && text[length]) ++length;
    uint8_t contents[kOidTextMax];
    if (OID_TextToContents(text, length, contents, sizeof contents) == 0) return nullptr;
    return NewHolding(6, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(length));
}

int ASNVALUE_Compare(const AsnValue* a, const AsnValue* b) {
    if (a->length != b->length) return static_cast<int>(a->length) - static_cast<int>(b->length);
    const int c = a->length ? std::memcmp(a->data, b->data, a->length) : 0;
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

}  // namespace quillon
