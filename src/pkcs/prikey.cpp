#include "pkcs/prikey.h"

#include <cstring>

#include "asn1/der.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "core/mem.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "rsa/rsa_key.h"
#include "x509/x509_cert.h"

namespace quillon {
namespace {

using CertPtr = Owned<X509Cert, X509_Free>;

// Replaces what `out` held with library-allocated bytes.
void Store(BINSTR* out, uint8_t* bytes, uint32_t length) {
    MEM_Free(out->data);
    out->data = bytes;
    out->length = length;
}

void Empty(BINSTR* out) { Store(out, nullptr, 0); }

bool Equal(const BigNum* a, const BigNum* b) { return a && b && BIGNUM_Cmp(a, b) == 0; }

// Decrypts into a record; 1, -13 or -51.
int32_t Decrypt(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                PrivateKeyInfoPtr* key) {
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(der, available, &raw)) return QC_ERR_MALFORMED_DER;
    EncryptedPrivateKeyInfoPtr epki(raw);
    // A kind of file we do not read is not a wrong password.
    if (!PKCS8_SchemeReadable(epki.get(), true)) return QC_ERR_MALFORMED_DER;
    PrivateKeyInfo* plain = nullptr;
    if (!PKCS8_Decrypt(epki.get(), &plain, password, password_length)) return QC_ERR_DECRYPT_KEY;
    key->reset(plain);
    return QC_OK;
}

int32_t Encode(const PrivateKeyInfo* key, BINSTR* out) {
    Empty(out);
    SecretDer encoded;
    if (!PKCS8_EncodeBytes(key, &encoded)) return QC_ERR_ENCODE_EMPTY;
    const uint32_t length = encoded.length;
    Store(out, encoded.Release(), length);
    return QC_OK;
}

}  // namespace

int32_t PRIKEY_DecryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          BINSTR* out) {
    PrivateKeyInfoPtr key;
    const int32_t result = Decrypt(password, password_length, der, available, &key);
    return result == QC_OK ? Encode(key.get(), out) : result;
}

int32_t PRIKEY_EncryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          BINSTR* out) {
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(der, available, &raw)) return QC_ERR_KEY_INVALID;
    PrivateKeyInfoPtr key(raw);
    int scheme = 0;
    switch (PKCS8_AlgorithmNid(key.get())) {
        case NID_RSA_ENCRYPTION: scheme = NID_PBE_WITH_SHA1_AND_SEED_CBC; break;
        case NID_KCDSA1: scheme = NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC; break;
        default: return QC_ERR_KEY_INVALID;
    }
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    if (!PKCS8_Encrypt(key.get(), &encrypted, password, password_length, nullptr, 0, kPrikeyIterations, scheme))
        return QC_ERR_ENCRYPT_KEY;
    EncryptedPrivateKeyInfoPtr epki(encrypted);
    Empty(out);
    DerElementPtr element(DER_New());
    uint8_t* bytes = nullptr;
    const int32_t length = element && EPKI_Encode(epki.get(), element.get()) ? DER_ToBytes(element.get(), &bytes) : 0;
    if (length <= 0) return QC_ERR_ENCODE_EMPTY;
    Store(out, bytes, static_cast<uint32_t>(length));
    return QC_OK;
}

int32_t PRIKEY_CheckKeyPairDer(const uint8_t* certificate, size_t certificate_length, const uint8_t* key_der,
                               size_t key_length) {
    DerElementPtr element(certificate ? DER_Parse(certificate, certificate_length) : nullptr);
    X509Cert* decoded = nullptr;
    if (!element || !X509_Decode(element.get(), &decoded)) return QC_ERR_KEY_INVALID;
    CertPtr cert(decoded);
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(key_der, key_length, &raw)) return QC_ERR_KEY_INVALID;
    PrivateKeyInfoPtr key(raw);
    const X509PubKey* pub = cert->tbs->subjectPublicKeyInfo;
    const int nid = PKCS8_AlgorithmNid(key.get());
    if (!pub || OBJ_NidFromValue(pub->algorithm) != nid) return QC_ERR_KEY_MISMATCH;
    if (nid == NID_RSA_ENCRYPTION) {
        if (!pub->rsaKey || !key->rsaKey) return QC_ERR_KEY_INVALID;
        return Equal(pub->rsaKey->n, key->rsaKey->n) && Equal(pub->rsaKey->e, key->rsaKey->e) ? QC_OK
                                                                                               : QC_ERR_KEY_MISMATCH;
    }
    // KCDSA1: the domain parameters, then y (which decoding the private key computed from x).
    if (!pub->kcdsaParams || !key->kcdsaKey) return QC_ERR_KEY_INVALID;
    const BigNum* const* c = pub->kcdsaParams;
    BigNum* const* k = key->kcdsaKey;
    return Equal(c[kKcdsaP], k[kKcdsaKeyP]) && Equal(c[kKcdsaQ], k[kKcdsaKeyQ]) && Equal(c[kKcdsaG], k[kKcdsaKeyG]) &&
                   Equal(c[kKcdsaY], k[kKcdsaKeyY])
               ? QC_OK
               : QC_ERR_KEY_MISMATCH;
}

int32_t PRIKEY_CipherIndexDer(const uint8_t* password, size_t password_length, const uint8_t* der,
                              size_t available) {
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(der, available, &raw)) return QC_ERR_MALFORMED_DER;
    EncryptedPrivateKeyInfoPtr epki(raw);
    if (EPKI_SchemeNid(epki.get()) == NID_PBES2 && !PKCS8_SchemeReadable(epki.get(), false))
        return QC_ERR_MALFORMED_DER;
    return PKCS8_CipherIndex(epki.get(), password, password_length);
}

int32_t PRIKEY_DecryptToRsaKey(const char* password, const BINSTR* encrypted, BINSTR* out, RsaKey** key) {
    if (!password || !encrypted || !out || !key) return QC_ERR_NULL_ARGUMENT;
    const size_t password_length = std::strlen(password);
    if (password_length == 0) return QC_ERR_DECRYPT_KEY;
    if (!encrypted->data) return QC_ERR_MALFORMED_DER;
    PrivateKeyInfoPtr plain;
    const int32_t result = Decrypt(reinterpret_cast<const uint8_t*>(password), password_length, encrypted->data,
                                   encrypted->length, &plain);
    if (result != QC_OK) return result;
    if (PKCS8_AlgorithmNid(plain.get()) != NID_RSA_ENCRYPTION || !plain->rsaKey) return QC_ERR_KEY_INVALID;
    const RsaKey* r = plain->rsaKey;
    RsaKeyPtr fresh(*key ? nullptr : RSAKEY_New());
    RsaKey* target = *key ? *key : fresh.get();
    if (!target) return QC_ERR_ALLOC;
    const int32_t encoded = Encode(plain.get(), out);
    if (encoded != QC_OK) return encoded;
    if (!RSAKEY_SetComponents(target, r->n, r->e, r->d, r->p, r->q, r->dP, r->dQ, r->qInv)) return QC_ERR_ALLOC;
    target->is_private = 1;
    if (fresh) *key = fresh.release();
    return QC_OK;
}

}  // namespace quillon
