#include "card/card_keys.h"

#include <cstring>

#include "asn1/object_table.h"
#include "card/card_storage.h"
#include "container/pointer_list.h"
#include "core/secret.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "pkcs/prikey.h"

namespace quillon {
namespace {

// The first 20 bytes of the first attribute's value, which must be a randomNum BIT STRING (its
// contents: the unused-bits octet, then the bytes).
bool TakeRandom(const PrivateKeyInfo* key, uint8_t random[kCardRandomSize]) {
    if (PLIST_Count(key->attributes) <= 0) return false;
    const auto* first = static_cast<const Pkcs8Attribute*>(PLIST_Get(key->attributes, 0));
    if (!first || OBJ_NidFromValue(first->type) != NID_RANDOM_NUM) return false;
    const AsnValue* value = PKCS8_AttributeValue(first, 0);
    if (!value || value->type != DER_BIT_STRING || value->length < 1 + kCardRandomSize || value->data[0] != 0)
        return false;
    std::memcpy(random, value->data + 1, kCardRandomSize);
    return true;
}

// Appends randomNum with one BIT STRING value holding the 20 bytes.
bool AddRandom(PrivateKeyInfo* key, const uint8_t random[kCardRandomSize]) {
    SecretArray<uint8_t, 1 + kCardRandomSize> contents;
    contents[0] = 0;
    std::memcpy(contents.data + 1, random, kCardRandomSize);
    AsnValuePtr value(ASNVALUE_New());
    if (!value || !ASNVALUE_Set(value.get(), DER_BIT_STRING, contents.data, contents.size())) return false;
    AsnValuePtr type(OBJ_ValueFromNid(NID_RANDOM_NUM));
    auto* attribute = MEM_New<Pkcs8Attribute>();
    if (!type || !attribute) {
        MEM_Free(attribute);
        return false;
    }
    attribute->type = type.release();
    attribute->single = 1;
    attribute->values = value.release();
    if (!key->attributes) key->attributes = PLIST_New();
    if (!key->attributes || PLIST_Push(key->attributes, attribute) <= 0) {
        PKCS8_FreeAttribute(attribute);
        return false;
    }
    return true;
}

CardKeyResult KeyStep(KeyError error) { return {CardError::kNone, error}; }
CardKeyResult CardStep(CardError error) { return {error, KeyError::kNone}; }

}  // namespace

CardKeyResult CARD_WritePriKey(CardConnection* connection, int32_t slot, const uint8_t* password,
                               size_t password_length, const uint8_t* key_der, size_t key_length) {
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(key_der, key_length, &raw)) return KeyStep(KeyError::kUndecodable);
    PrivateKeyInfoPtr key(raw);
    SecretArray<uint8_t, kCardRandomSize> random;
    if (!TakeRandom(key.get(), random.data)) return KeyStep(KeyError::kNoRandom);
    int scheme = 0;
    switch (PKCS8_AlgorithmNid(key.get())) {
        case NID_RSA_ENCRYPTION: scheme = NID_PBE_WITH_SHA1_AND_SEED_CBC; break;
        case NID_KCDSA1: scheme = NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC; break;
        default: return KeyStep(KeyError::kAlgorithm);
    }
    // The card keeps the key without attributes: the random number has a file of its own.
    PLIST_FreeAll(key->attributes, PKCS8_FreeAttribute);
    key->attributes = nullptr;
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    if (!PKCS8_Encrypt(key.get(), &encrypted, password, password_length, nullptr, 0, kPrikeyIterations, scheme))
        return KeyStep(KeyError::kEncrypt);
    EncryptedPrivateKeyInfoPtr epki(encrypted);
    DerElementPtr element(DER_New());
    uint8_t* bytes = nullptr;
    const int32_t length = element && EPKI_Encode(epki.get(), element.get()) ? DER_ToBytes(element.get(), &bytes) : 0;
    MemBlock der(bytes);
    if (length <= 0) return KeyStep(KeyError::kEncode);
    // Everything that can fail without the card has: only now is the card written.
    CardError result = CARD_WriteRandomNumber(connection, slot, random.data);
    if (result == CardError::kNone)
        result = CARD_WriteObject(connection, slot, kCardKeyFile, der.get(), static_cast<size_t>(length));
    return CardStep(result);
}

CardKeyResult CARD_ReadPriKey(CardConnection* connection, int32_t slot, const uint8_t* password,
                              size_t password_length, MemBytes* out) {
    Bytes der;
    CardError result = CARD_ReadObject(connection, slot, kCardKeyFile, &der);
    if (result != CardError::kNone) return CardStep(result);
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    if (!EPKI_DecodeBytes(der.data(), der.size(), &encrypted)) return KeyStep(KeyError::kMalformed);
    EncryptedPrivateKeyInfoPtr epki(encrypted);
    if (!PKCS8_SchemeReadable(epki.get(), true)) return KeyStep(KeyError::kMalformed);
    PrivateKeyInfo* plain = nullptr;
    if (!PKCS8_Decrypt(epki.get(), &plain, password, password_length)) return KeyStep(KeyError::kDecrypt);
    PrivateKeyInfoPtr key(plain);
    // Both slots keep their random number in file 5; a card without one gives the key without it.
    SecretArray<uint8_t, kCardRandomSize> random;
    bool found = false;
    result = CARD_ReadRandomNumber(connection, slot, random.data, &found);
    if (result != CardError::kNone) return CardStep(result);
    if (found && !AddRandom(key.get(), random.data)) return KeyStep(KeyError::kMemory);
    MemBytes encoded;
    if (!PKCS8_EncodeBytes(key.get(), &encoded)) return KeyStep(KeyError::kEncode);
    return KeyStep(PRIKEY_EncryptDer(password, password_length, encoded.data, encoded.length, out));
}

}  // namespace quillon
