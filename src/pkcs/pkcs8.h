// PKCS#8 PrivateKeyInfo: the record, its attributes and their DER codec, for rsaEncryption
// and KCDSA1 keys.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "container/pointer_list.h"
#include "core/mem.h"

namespace quillon {

struct BigNum;
struct RsaKey;

// Slots of PrivateKeyInfo::kcdsaKey: the certificate's layout (p, q, g, y) plus x.
inline constexpr int kKcdsaKeySlots = 8;
inline constexpr int kKcdsaKeyP = 0, kKcdsaKeyQ = 1, kKcdsaKeyG = 2, kKcdsaKeyX = 3, kKcdsaKeyY = 4;

// One attribute: `single` 1 holds one AsnValue* in `values`, 0 a PointerList of AsnValue*.
// Values are kept undecoded: `type` is the identifier octet, `data` the raw contents.
struct Pkcs8Attribute {
    AsnValue* type;  // OBJECT IDENTIFIER, dotted text
    uint32_t single;
    void* values;
};

struct PrivateKeyInfo {
    BigNum* version;          // zero; the version read is not kept
    AsnValue* algorithm;      // rsaEncryption or KCDSA1
    RsaKey* rsaKey;           // rsaEncryption: all nine numbers
    BigNum** kcdsaKey;        // KCDSA1: kKcdsaKeySlots slots, p q g x y filled
    PointerList* attributes;  // Pkcs8Attribute*, encoded order; empty when none
};

PrivateKeyInfo* PKCS8_New();
// Releases (and wipes) every field, leaving a zeroed record.
void PKCS8_Clear(PrivateKeyInfo* key);
void PKCS8_Free(PrivateKeyInfo* key);
using PrivateKeyInfoPtr = Owned<PrivateKeyInfo, PKCS8_Free>;
void PKCS8_FreeAttribute(void* attribute);
// Releases an attribute list with its attributes.
void PKCS8_FreeAttributes(PointerList* list);
using Pkcs8AttributesPtr = Owned<PointerList, PKCS8_FreeAttributes>;
// An attribute's values, whichever way it holds them: their number, and the one at `index`
// (null out of range).
int PKCS8_AttributeValueCount(const Pkcs8Attribute* attribute);
const AsnValue* PKCS8_AttributeValue(const Pkcs8Attribute* attribute, int index);
// NID of the key's algorithm (0 when unset).
int PKCS8_AlgorithmNid(const PrivateKeyInfo* key);

// PrivateKeyInfo SEQUENCE -> record. A null *out gets a new record; a caller's record is
// refilled only on success. On failure *out is left as it was. 1 or 0.
int PKCS8_Decode(const DerElement* element, PrivateKeyInfo** out);
// Record -> PrivateKeyInfo SEQUENCE in an empty element (version 0, NULL parameters for RSA).
int PKCS8_Encode(const PrivateKeyInfo* key, DerElement* element);

// The attribute set without its [0] identifier; an empty set or a malformed attribute fails.
int ATTRS_Decode(const DerElement* element, PointerList** out);
// The attribute SET; the caller gives it its identifier.
int ATTRS_Encode(const PointerList* attributes, DerElement* element);

// Bytes in, bytes out: the decoder reads one element within `available` bytes and ignores
// what follows it. The encoder gives the length and a new MEM_ block in *out (written only on
// success), or 0; the caller releases the block, and the allocator wipes it then.
int PKCS8_DecodeBytes(const uint8_t* der, size_t available, PrivateKeyInfo** out);
int32_t PKCS8_EncodeBytes(const PrivateKeyInfo* key, uint8_t** out);

// The PrivateKeyInfo in the first `available` bytes, owned; null when it does not decode.
PrivateKeyInfoPtr PKCS8_DecodeOwned(const uint8_t* der, size_t available);

// The same into an owner, replacing what it held.
inline int PKCS8_EncodeBytes(const PrivateKeyInfo* key, MemBytes* out) {
    if (!out) return 0;
    uint8_t* bytes = nullptr;
    const int32_t length = PKCS8_EncodeBytes(key, &bytes);
    if (length <= 0) return 0;
    out->Reset(bytes, static_cast<uint32_t>(length));
    return 1;
}

}  // namespace quillon
