#include "pkcs/pkcs8.h"

#include <cstring>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "rsa/rsa_der.h"
#include "rsa/rsa_key.h"

namespace quillon {
namespace {

constexpr int kKcdsaMaxPBits = 8192, kKcdsaMaxQBits = 1024;

using AttributePtr = Owned<Pkcs8Attribute, PKCS8_FreeAttribute>;

void FreeValueList(PointerList* list) {
    PLIST_FreeAll(list, [](void* v) { ASNVALUE_Free(static_cast<AsnValue*>(v)); });
}
using AttributeList = Pkcs8AttributesPtr;
using ValueList = Owned<PointerList, FreeValueList>;

void FreeKcdsa(BigNum** slots) {
    if (!slots) return;
    for (int i = 0; i < kKcdsaKeySlots; ++i) BIGNUM_Free(slots[i]);  // BIGNUM_Free wipes
    MEM_Free(slots);
}
using KcdsaSlots = Owned<BigNum*, FreeKcdsa>;

DerElementPtr GetElement(const DerElement* parent, int index, int tag) {
    return DerElementPtr(static_cast<DerElement*>(DER_GetItem(parent, index, tag)));
}

// Each item of `parent`, parsed as it stands (any identifier); false when its contents do
// not split into whole elements or `visit` refuses one.
template <class Visit>
bool ForEachItem(const DerElement* parent, Visit visit) {
    const int32_t length = DER_ContentLength(parent);
    if (length < 0 || (length > 0 && !parent->contents)) return false;
    size_t offset = 0;
    while (offset < static_cast<size_t>(length)) {
        DerElementPtr item(DER_Parse(parent->contents + offset, static_cast<size_t>(length) - offset));
        if (!item) return false;
        offset += 1 + static_cast<size_t>(DER_LengthOctetCount(item->length_octets)) +
                  static_cast<size_t>(DER_ContentLength(item.get()));
        if (!visit(item.get())) return false;
    }
    return true;
}

// A value held undecoded back into an element: its identifier and its contents.
DerElementPtr RawElement(const AsnValue* value) {
    if (!value || value->type > 0xFF || (value->type & kDerTagNumberMask) == kDerTagNumberMask || (value->length && !value->data)) return nullptr;
    if (value->length > kDerMaxLength - 6) return nullptr;
    uint8_t header[6];
    size_t header_length = 2;
    header[0] = static_cast<uint8_t>(value->type);
    if (value->length < 0x80) {
        header[1] = static_cast<uint8_t>(value->length);
    } else {
        size_t n = 0;
        for (uint32_t rest = value->length; rest; rest >>= 8) ++n;
        header[1] = static_cast<uint8_t>(0x80 | n);
        for (size_t i = 0; i < n; ++i) header[1 + n - i] = static_cast<uint8_t>(value->length >> (8 * i));
        header_length += n;
    }
    const size_t size = header_length + value->length;
    MemBlock bytes(static_cast<uint8_t*>(MEM_Alloc(size)));
    if (!bytes) return nullptr;
    std::memcpy(bytes.get(), header, header_length);
    if (value->length) std::memcpy(bytes.get() + header_length, value->data, value->length);
    return DerElementPtr(DER_Parse(bytes.get(), size));
}

Pkcs8Attribute* DecodeAttribute(const DerElement* item) {
    if (*item->identifier != kDerSequenceId || DER_ItemCount(item) != 2) return nullptr;
    AttributePtr attribute(MEM_New<Pkcs8Attribute>());
    if (!attribute) return nullptr;
    attribute->type = static_cast<AsnValue*>(DER_GetItem(item, 0, DER_OID));
    DerElementPtr set = GetElement(item, 1, DER_SET);
    if (!attribute->type || !set || *set->identifier != kDerSetId) return nullptr;
    ValueList values(PLIST_New());
    if (!values) return nullptr;
    const bool ok = ForEachItem(set.get(), [&](const DerElement* value_element) {
        const int32_t length = DER_ContentLength(value_element);
        AsnValuePtr value(ASNVALUE_New());
        if (!value || !ASNVALUE_Set(value.get(), *value_element->identifier,
                                    length ? value_element->contents : reinterpret_cast<const uint8_t*>(""),
                                    static_cast<uint32_t>(length)))
            return false;
        if (PLIST_Push(values.get(), value.get()) == 0) return false;
        value.release();
        return true;
    });
    if (!ok || PLIST_Count(values.get()) == 0) return nullptr;
    attribute->single = 0;
    attribute->values = values.release();
    return attribute.release();
}

// The RSAPrivateKey inside the OCTET STRING.
bool DecodeRsa(const AsnValue* octets, PrivateKeyInfo* key) {
    key->rsaKey = RSA_DecodePrivateKey(octets->data, octets->length);
    return key->rsaKey != nullptr;
}

// p, q, g from the algorithm parameters, x from the OCTET STRING, and y = g^(x^-1 mod q) mod p.
bool DecodeKcdsa(const DerElement* algorithm, const AsnValue* octets, PrivateKeyInfo* key) {
    DerElementPtr params = GetElement(algorithm, 1, DER_SEQUENCE);
    if (!params || *params->identifier != kDerSequenceId || DER_ItemCount(params.get()) < 3) return false;
    KcdsaSlots slots(static_cast<BigNum**>(MEM_Calloc(kKcdsaKeySlots, sizeof(BigNum*))));
    if (!slots) return false;
    BigNum** s = slots.get();
    for (int slot : {kKcdsaKeyP, kKcdsaKeyQ, kKcdsaKeyG})
        if (!(s[slot] = static_cast<BigNum*>(DER_GetItem(params.get(), slot, DER_INTEGER)))) return false;
    if (!octets->data || octets->length == 0) return false;
    DerElementPtr integer(DER_Parse(octets->data, octets->length));
    const int32_t length = integer ? DER_ContentLength(integer.get()) : -1;
    if (!integer || *integer->identifier != DER_INTEGER || length <= 0) return false;
    if (!(s[kKcdsaKeyX] = BIGNUM_FromBytes(integer->contents, static_cast<uint32_t>(length), nullptr))) return false;
    // Bounded so that a hostile key cannot make computing y take minutes.
    const int p_bits = BIGNUM_NumBits(s[kKcdsaKeyP]), q_bits = BIGNUM_NumBits(s[kKcdsaKeyQ]);
    if (p_bits == 0 || p_bits > kKcdsaMaxPBits || q_bits == 0 || q_bits > kKcdsaMaxQBits) return false;
    BigNumPtr inverse(BIGNUM_ModInverse(nullptr, s[kKcdsaKeyX], s[kKcdsaKeyQ]));
    if (!inverse || !(s[kKcdsaKeyY] = BIGNUM_New())) return false;
    if (!BIGNUM_ModExp(s[kKcdsaKeyY], s[kKcdsaKeyG], inverse.get(), s[kKcdsaKeyP], nullptr)) return false;
    key->kcdsaKey = slots.release();
    return true;
}

PrivateKeyInfo* DecodeFresh(const DerElement* element) {
    if (!element || !element->identifier || *element->identifier != kDerSequenceId) return nullptr;
    const int count = DER_ItemCount(element);
    if (count < 3) return nullptr;
    BigNumPtr version(static_cast<BigNum*>(DER_GetItem(element, 0, DER_INTEGER)));
    if (!version || DER_ItemTag(element, 0) != DER_INTEGER) return nullptr;
    DerElementPtr algorithm = GetElement(element, 1, DER_SEQUENCE);
    if (!algorithm || *algorithm->identifier != kDerSequenceId) return nullptr;
    PrivateKeyInfoPtr key(PKCS8_New());
    if (!key) return nullptr;
    key->algorithm = static_cast<AsnValue*>(DER_GetItem(algorithm.get(), 0, DER_OID));
    AsnValuePtr octets(static_cast<AsnValue*>(DER_GetItem(element, 2, DER_OCTET_STRING)));
    if (!key->algorithm || !octets || DER_ItemTag(element, 2) != DER_OCTET_STRING) return nullptr;
    switch (OBJ_NidFromValue(key->algorithm)) {
        case NID_RSA_ENCRYPTION:
            if (!DecodeRsa(octets.get(), key.get())) return nullptr;
            break;
        case NID_KCDSA1:
            if (!DecodeKcdsa(algorithm.get(), octets.get(), key.get())) return nullptr;
            break;
        default:
            return nullptr;
    }
    if (count >= 4) {
        if (DER_ItemTag(element, 3) != kDerExplicit0Id) return nullptr;
        DerElementPtr attributes = GetElement(element, 3, DER_SET);
        PointerList* list = nullptr;
        if (!attributes || !ATTRS_Decode(attributes.get(), &list)) return nullptr;
        PLIST_Free(key->attributes);
        key->attributes = list;
    }
    return key.release();
}

// Appends the AlgorithmIdentifier to `outer`; the private key's own encoding goes to
// *private_key (a MEM_ block of *private_length bytes).
int EncodeAlgorithm(const PrivateKeyInfo* key, int nid, DerElement* outer, MemBlock* private_key,
                    uint32_t* private_length) {
    DerElementPtr algorithm(DER_New()), inner(DER_New());
    if (!algorithm || !inner) return 0;
    if (!DER_Append(algorithm.get(), DER_OID, key->algorithm, static_cast<int32_t>(key->algorithm->length))) return 0;
    if (nid == NID_RSA_ENCRYPTION) {
        if (!key->rsaKey || !DER_Append(algorithm.get(), DER_NULL, nullptr, 0)) return 0;
        if (!RSA_EncodePrivateKey(key->rsaKey, inner.get())) return 0;
    } else {
        BigNum* const* s = key->kcdsaKey;
        if (!s) return 0;
        DerElementPtr params(DER_New());
        if (!params || !DER_AppendInteger(params.get(), s[kKcdsaKeyP]) || !DER_AppendInteger(params.get(), s[kKcdsaKeyQ]) ||
            !DER_AppendInteger(params.get(), s[kKcdsaKeyG]) || !DER_Append(algorithm.get(), DER_SEQUENCE, params.get(), 0))
            return 0;
        if (!s[kKcdsaKeyX] ||
            !DER_EncodeValue(inner.get(), DER_INTEGER, s[kKcdsaKeyX], DER_IntegerLength(s[kKcdsaKeyX])))
            return 0;
    }
    uint8_t* bytes = nullptr;
    const int32_t length = DER_ToBytes(inner.get(), &bytes);
    if (length <= 0) return 0;
    private_key->reset(bytes);
    *private_length = static_cast<uint32_t>(length);
    return DER_Append(outer, DER_SEQUENCE, algorithm.get(), 0);
}

}  // namespace

PrivateKeyInfo* PKCS8_New() {
    PrivateKeyInfoPtr key(MEM_New<PrivateKeyInfo>());
    if (!key) return nullptr;
    key->version = BIGNUM_New();
    key->attributes = PLIST_New();
    if (!key->version || !key->attributes) return nullptr;
    return key.release();
}

void PKCS8_Clear(PrivateKeyInfo* key) {
    if (!key) return;
    BIGNUM_Free(key->version);
    ASNVALUE_Free(key->algorithm);
    RSAKEY_Free(key->rsaKey);
    FreeKcdsa(key->kcdsaKey);
    PKCS8_FreeAttributes(key->attributes);
    *key = PrivateKeyInfo{};
}

void PKCS8_Free(PrivateKeyInfo* key) {
    if (!key) return;
    PKCS8_Clear(key);
    MEM_Free(key);
}

int PKCS8_AttributeValueCount(const Pkcs8Attribute* attribute) {
    if (!attribute || !attribute->values) return 0;
    return attribute->single ? 1 : PLIST_Count(static_cast<const PointerList*>(attribute->values));
}

const AsnValue* PKCS8_AttributeValue(const Pkcs8Attribute* attribute, int index) {
    if (index < 0 || index >= PKCS8_AttributeValueCount(attribute)) return nullptr;
    if (attribute->single) return static_cast<const AsnValue*>(attribute->values);
    return static_cast<const AsnValue*>(PLIST_Get(static_cast<const PointerList*>(attribute->values), index));
}

void PKCS8_FreeAttributes(PointerList* list) { PLIST_FreeAll(list, PKCS8_FreeAttribute); }

void PKCS8_FreeAttribute(void* attribute) {
    auto* a = static_cast<Pkcs8Attribute*>(attribute);
    if (!a) return;
    ASNVALUE_Free(a->type);
    if (a->single)
        ASNVALUE_Free(static_cast<AsnValue*>(a->values));
    else
        FreeValueList(static_cast<PointerList*>(a->values));
    MEM_Free(a);
}

int PKCS8_AlgorithmNid(const PrivateKeyInfo* key) { return key ? OBJ_NidFromValue(key->algorithm) : 0; }

int PKCS8_Decode(const DerElement* element, PrivateKeyInfo** out) {
    if (!out) return 0;
    PrivateKeyInfo* fresh = DecodeFresh(element);
    if (!fresh) return 0;
    if (*out) {
        PKCS8_Clear(*out);
        **out = *fresh;
        MEM_Free(fresh);
    } else {
        *out = fresh;
    }
    return 1;
}

int PKCS8_Encode(const PrivateKeyInfo* key, DerElement* element) {
    if (!key || !element || !key->version || !key->algorithm) return 0;
    const int nid = OBJ_NidFromValue(key->algorithm);
    if (nid != NID_RSA_ENCRYPTION && nid != NID_KCDSA1) return 0;
    DER_Reset(element);
    MemBlock private_key;
    uint32_t private_length = 0;
    bool ok = DER_AppendInteger(element, key->version) &&
              EncodeAlgorithm(key, nid, element, &private_key, &private_length);
    if (ok) {
        AsnValuePtr octets(ASNVALUE_FromOctets(private_key.get(), private_length));
        ok = octets && DER_Append(element, DER_OCTET_STRING, octets.get(), static_cast<int32_t>(octets->length));
    }
    if (ok && PLIST_Count(key->attributes) > 0) {
        DerElementPtr attributes(DER_New());
        ok = attributes && ATTRS_Encode(key->attributes, attributes.get());
        if (ok) {
            *attributes->identifier = kDerExplicit0Id;
            ok = DER_Append(element, DER_SEQUENCE, attributes.get(), 0);
        }
    }
    if (!ok) DER_Reset(element);
    return ok ? 1 : 0;
}

int ATTRS_Decode(const DerElement* element, PointerList** out) {
    if (!element || !out) return 0;
    AttributeList list(PLIST_New());
    if (!list) return 0;
    const bool ok = ForEachItem(element, [&](const DerElement* item) {
        AttributePtr attribute(DecodeAttribute(item));
        if (!attribute || PLIST_Push(list.get(), attribute.get()) == 0) return false;
        attribute.release();
        return true;
    });
    if (!ok || PLIST_Count(list.get()) == 0) return 0;
    *out = list.release();
    return 1;
}

int ATTRS_Encode(const PointerList* attributes, DerElement* element) {
    if (!attributes || !element || PLIST_Count(attributes) <= 0) return 0;
    DER_Reset(element);
    for (int32_t i = 0; i < PLIST_Count(attributes); ++i) {
        const auto* attribute = static_cast<const Pkcs8Attribute*>(PLIST_Get(attributes, i));
        DerElementPtr sequence(DER_New()), values(DER_New());
        if (!attribute || !attribute->type || !attribute->values || !sequence || !values ||
            !DER_Append(sequence.get(), DER_OID, attribute->type, static_cast<int32_t>(attribute->type->length))) {
            DER_Reset(element);
            return 0;
        }
        // A single value is written as a set of one.
        const auto* list = static_cast<const PointerList*>(attribute->values);
        const int32_t count = attribute->single ? 1 : PLIST_Count(list);
        bool ok = count > 0;
        for (int32_t v = 0; ok && v < count; ++v) {
            const auto* value = attribute->single ? static_cast<const AsnValue*>(attribute->values)
                                                  : static_cast<const AsnValue*>(PLIST_Get(list, v));
            DerElementPtr raw = RawElement(value);
            ok = raw && DER_AppendToSet(values.get(), DER_SEQUENCE, raw.get(), 0);
        }
        if (!ok || !DER_Append(sequence.get(), DER_SET, values.get(), 0) ||
            !DER_AppendToSet(element, DER_SEQUENCE, sequence.get(), 0)) {
            DER_Reset(element);
            return 0;
        }
    }
    return 1;
}

PrivateKeyInfoPtr PKCS8_DecodeOwned(const uint8_t* der, size_t available) {
    PrivateKeyInfo* raw = nullptr;
    return PrivateKeyInfoPtr(PKCS8_DecodeBytes(der, available, &raw) ? raw : nullptr);
}

int PKCS8_DecodeBytes(const uint8_t* der, size_t available, PrivateKeyInfo** out) {
    if (!der || !out) return 0;
    DerElementPtr element(DER_Parse(der, available));
    return element ? PKCS8_Decode(element.get(), out) : 0;
}

int32_t PKCS8_EncodeBytes(const PrivateKeyInfo* key, uint8_t** out) {
    if (!out) return 0;
    DerElementPtr element(DER_New());
    if (!element || !PKCS8_Encode(key, element.get())) return 0;
    return DER_ToBytes(element.get(), out);
}

}  // namespace quillon
