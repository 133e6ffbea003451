#include "pkcs/prikey.h"

#include <cstring>

#include "asn1/der.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "container/pointer_list.h"
#include "core/mem.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_sign.h"
#include "x509/x509_cert.h"

namespace quillon {
namespace {

// Hands a finished encoding to the caller's owner, replacing what it held.
void Hand(MemBytes& encoded, MemBytes* out) {
    const uint32_t length = encoded.length;
    out->Reset(encoded.Release(), length);
}

// An encrypted key's DER handed to the caller: kEncode when encoding gives nothing.
KeyError HandEncrypted(EncryptedPrivateKeyInfoPtr epki, MemBytes* out) {
    DerElementPtr element(DER_New());
    MemBytes encoded;
    const int32_t length =
        element && EPKI_Encode(epki.get(), element.get()) ? DER_ToBytes(element.get(), &encoded.data) : 0;
    if (length <= 0) return KeyError::kEncode;
    encoded.length = static_cast<uint32_t>(length);
    Hand(encoded, out);
    return KeyError::kNone;
}

bool Equal(const BigNum* a, const BigNum* b) { return a && b && BIGNUM_Cmp(a, b) == 0; }

KeyError Decrypt(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                 PrivateKeyInfoPtr* key) {
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(der, available, &raw)) return KeyError::kMalformed;
    EncryptedPrivateKeyInfoPtr epki(raw);
    // A kind of file we do not read is not a wrong password.
    if (!PKCS8_SchemeReadable(epki.get(), true)) return KeyError::kMalformed;
    PrivateKeyInfo* plain = nullptr;
    bool other_key = false;
    if (!PKCS8_Decrypt(epki.get(), &plain, password, password_length, &other_key))
        return other_key ? KeyError::kAlgorithm : KeyError::kDecrypt;
    key->reset(plain);
    return KeyError::kNone;
}

KeyError SignDigest(const uint8_t* key_der, size_t key_length, const RsaSignScheme& scheme, const uint8_t* digest,
                    MemBytes* out) {
    const PrivateKeyInfoPtr key = PKCS8_DecodeOwned(key_der, key_length);
    if (!key) return KeyError::kUndecodable;
    if (PKCS8_AlgorithmNid(key.get()) != NID_RSA_ENCRYPTION || !key->rsaKey) return KeyError::kAlgorithm;
    const uint32_t k = RSA_ModulusBytes(key->rsaKey);
    MemBytes signature;
    signature.Reset(static_cast<uint8_t*>(MEM_Alloc(k)), k);
    if (!signature.data) return KeyError::kMemory;
    switch (RSA_SignDigest(key->rsaKey, scheme, digest, signature.data, k)) {
        case RsaSignError::kNone: break;
        case RsaSignError::kKeySize: return KeyError::kAlgorithm;
        case RsaSignError::kRandom: return KeyError::kRandom;
        case RsaSignError::kMemory: return KeyError::kMemory;
    }
    Hand(signature, out);
    return KeyError::kNone;
}

}  // namespace

KeyError PRIKEY_DecryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                           MemBytes* out) {
    PrivateKeyInfoPtr key;
    const KeyError result = Decrypt(password, password_length, der, available, &key);
    if (result != KeyError::kNone) return result;
    MemBytes encoded;
    if (!PKCS8_EncodeBytes(key.get(), &encoded)) return KeyError::kEncode;
    Hand(encoded, out);
    return KeyError::kNone;
}

KeyError PRIKEY_EncryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                           MemBytes* out) {
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(der, available, &raw)) return KeyError::kUndecodable;
    PrivateKeyInfoPtr key(raw);
    int scheme = 0;
    switch (PKCS8_AlgorithmNid(key.get())) {
        case NID_RSA_ENCRYPTION: scheme = NID_PBE_WITH_SHA1_AND_SEED_CBC; break;
        case NID_KCDSA1: scheme = NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC; break;
        default: return KeyError::kAlgorithm;
    }
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    if (!PKCS8_Encrypt(key.get(), &encrypted, password, password_length, nullptr, 0, kPrikeyIterations, scheme))
        return KeyError::kEncrypt;
    return HandEncrypted(EncryptedPrivateKeyInfoPtr(encrypted), out);
}

KeyError PRIKEY_EncryptPbes2Der(const uint8_t* password, size_t password_length, const uint8_t* der,
                               size_t available, uint32_t iterations, int prf_nid, int cipher_nid, MemBytes* out) {
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(der, available, &raw)) return KeyError::kUndecodable;
    PKCS8_Free(raw);
    // The caller's encoding as given (its attributes and their order untouched), without
    // whatever followed the element.
    const size_t length = DER_UnsizedLength(der);
    if (length == 0 || length > available) return KeyError::kUndecodable;
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    if (!PKCS8_EncryptPbes2(der, length, &encrypted, password, password_length, iterations, prf_nid, cipher_nid))
        return KeyError::kEncrypt;
    return HandEncrypted(EncryptedPrivateKeyInfoPtr(encrypted), out);
}

KeyError PRIKEY_CheckKeyPairDer(const uint8_t* certificate, size_t certificate_length, const uint8_t* key_der,
                                size_t key_length) {
    const X509CertPtr cert = X509_DecodeBytes(certificate, certificate_length);
    const PrivateKeyInfoPtr key = cert ? PKCS8_DecodeOwned(key_der, key_length) : nullptr;
    if (!key) return KeyError::kUndecodable;
    const X509PubKey* pub = cert->tbs->subjectPublicKeyInfo;
    const int nid = PKCS8_AlgorithmNid(key.get());
    if (!pub || OBJ_NidFromValue(pub->algorithm) != nid) return KeyError::kMismatch;
    if (nid == NID_RSA_ENCRYPTION) {
        if (!pub->rsaKey || !key->rsaKey) return KeyError::kUndecodable;
        return Equal(pub->rsaKey->n, key->rsaKey->n) && Equal(pub->rsaKey->e, key->rsaKey->e) ? KeyError::kNone
                                                                                               : KeyError::kMismatch;
    }
    // KCDSA1: the domain parameters, then y (which decoding the private key computed from x).
    if (!pub->kcdsaParams || !key->kcdsaKey) return KeyError::kUndecodable;
    const BigNum* const* c = pub->kcdsaParams;
    BigNum* const* k = key->kcdsaKey;
    return Equal(c[kKcdsaP], k[kKcdsaKeyP]) && Equal(c[kKcdsaQ], k[kKcdsaKeyQ]) && Equal(c[kKcdsaG], k[kKcdsaKeyG]) &&
                   Equal(c[kKcdsaY], k[kKcdsaKeyY])
               ? KeyError::kNone
               : KeyError::kMismatch;
}

int PRIKEY_CipherIndexDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          int32_t* index) {
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(der, available, &raw)) return 0;
    EncryptedPrivateKeyInfoPtr epki(raw);
    if (EPKI_SchemeNid(epki.get()) == NID_PBES2 && !PKCS8_SchemeReadable(epki.get(), false)) return 0;
    *index = PKCS8_CipherIndex(epki.get(), password, password_length);
    return 1;
}

int PRIKEY_DescribeDer(const uint8_t* der, size_t available, KeyFileInfo* out) {
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (EPKI_DecodeBytes(der, available, &raw)) {
        EncryptedPrivateKeyInfoPtr epki(raw);
        const int scheme = EPKI_SchemeNid(epki.get());
        if (scheme == NID_PBES2 && !PKCS8_SchemeReadable(epki.get(), false)) return 0;
        *out = KeyFileInfo{scheme, PKCS8_CipherIndexOf(epki.get()), -1};
        return 1;
    }
    MemBytes random;
    const KeyError plain = PRIKEY_RandomNumDer(der, available, &random);
    if (plain == KeyError::kUndecodable || plain == KeyError::kMemory) return 0;
    *out = KeyFileInfo{0, 0, plain == KeyError::kNone ? 1 : 0};
    return 1;
}

KeyError PRIKEY_SignDigestDer(const uint8_t* key_der, size_t key_length, const RsaSignScheme& scheme,
                              const uint8_t* digest, MemBytes* out) {
    return MEM_BlameExhaustion(KeyError::kMemory, {KeyError::kUndecodable, KeyError::kAlgorithm, KeyError::kRandom},
                               [&] { return SignDigest(key_der, key_length, scheme, digest, out); });
}

KeyError PRIKEY_RandomNumDer(const uint8_t* key_der, size_t key_length, MemBytes* out) {
    return MEM_BlameExhaustion(KeyError::kMemory, {KeyError::kUndecodable}, [&] {
        PrivateKeyInfoPtr key = PKCS8_DecodeOwned(key_der, key_length);
        if (!key) return KeyError::kUndecodable;
        const Pkcs8Attribute* found = nullptr;
        for (int i = 0; i < PLIST_Count(key->attributes); ++i) {
            const auto* attribute = static_cast<const Pkcs8Attribute*>(PLIST_Get(key->attributes, i));
            if (OBJ_NidFromValue(attribute->type) != NID_RANDOM_NUM) continue;
            if (found) return KeyError::kNoRandom;  // two random numbers: which one made the VID?
            found = attribute;
        }
        if (!found) return KeyError::kAbsent;
        // One BIT STRING of whole bytes; an empty one would leave the VID a hash of the number alone.
        const AsnValue* value = PKCS8_AttributeValueCount(found) == 1 ? PKCS8_AttributeValue(found, 0) : nullptr;
        if (!value || value->type != DER_BIT_STRING || value->length < 2 || value->data[0] != 0)
            return KeyError::kNoRandom;
        auto* bytes = static_cast<uint8_t*>(MEM_Alloc(value->length - 1));
        if (!bytes) return KeyError::kMemory;
        std::memcpy(bytes, value->data + 1, value->length - 1);
        out->Reset(bytes, value->length - 1);
        return KeyError::kNone;
    });
}

KeyError PRIKEY_DecryptToRsaKey(const uint8_t* password, size_t password_length, const uint8_t* der,
                                size_t available, MemBytes* out, RsaKey** key) {
    if (password_length == 0) return KeyError::kDecrypt;
    PrivateKeyInfoPtr plain;
    const KeyError result = Decrypt(password, password_length, der, available, &plain);
    if (result != KeyError::kNone) return result;
    if (PKCS8_AlgorithmNid(plain.get()) != NID_RSA_ENCRYPTION || !plain->rsaKey) return KeyError::kAlgorithm;
    const RsaKey* r = plain->rsaKey;
    RsaKeyPtr fresh(*key ? nullptr : RSAKEY_New());
    RsaKey* target = *key ? *key : fresh.get();
    if (!target) return KeyError::kMemory;
    MemBytes encoded;
    if (!PKCS8_EncodeBytes(plain.get(), &encoded)) return KeyError::kEncode;
    if (!RSAKEY_SetComponents(target, r->n, r->e, r->d, r->p, r->q, r->dP, r->dQ, r->qInv)) return KeyError::kMemory;
    target->is_private = 1;
    if (fresh) *key = fresh.release();
    Hand(encoded, out);
    return KeyError::kNone;
}

}  // namespace quillon
