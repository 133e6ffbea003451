#include "pkcs/pkcs8_crypt.h"

#include <cstring>
#include <utility>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/kdf.h"
#include "cipher/pbe.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "core/mem.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"

namespace quillon {
namespace {

constexpr size_t kKeySize = 16;
constexpr size_t kSaltSize = 8;
constexpr int kPkcs12KeyId = 1, kPkcs12IvId = 2;

// Key and IV of scheme 89.
bool Pkcs12KeyAndIv(const uint8_t* password, size_t password_length, const AsnValue* salt, uint32_t iterations,
                    uint8_t* key, uint8_t* iv) {
    return PKCS12_DeriveKey(password, password_length, salt->data, salt->length, kPkcs12KeyId, iterations, kKeySize,
                            key) &&
           PKCS12_DeriveKey(password, password_length, salt->data, salt->length, kPkcs12IvId, iterations, kKeySize,
                            iv);
}

// Counts a caller may write or read: 1 to the cap.
bool CountAllowed(uint32_t iterations) { return iterations >= 1 && iterations <= kPkcs8MaxIterations; }

// The PBES2 cipher's IV: an OCTET STRING of one block.
const uint8_t* Pbes2Iv(const PbeParameters* params) {
    const AlgorithmId* scheme = params->encryptionScheme;
    if (!scheme || !scheme->parameters) return nullptr;
    const AsnValue* iv = scheme->parameters;
    return iv->type == DER_OCTET_STRING && iv->length == kKeySize && iv->data ? iv->data : nullptr;
}

// The table's ARIA-CBC identifier, or the standard one for ARIA-128-CBC that other tools write.
int CipherNid(const PbeParameters* params) {
    if (!params->encryptionScheme) return 0;
    const AsnValue* oid = params->encryptionScheme->algorithm;
    const int nid = OBJ_NidFromValue(oid);
    if (nid != NID_UNDEF || !oid || !oid->data) return nid;
    const bool aria = oid->length == sizeof kAria128CbcOid - 1 && std::memcmp(oid->data, kAria128CbcOid, oid->length) == 0;
    return aria ? NID_OID_ARIA_CBC : NID_UNDEF;
}

bool DerivationReadable(const PbeParameters* params, int scheme) {
    if (!params->salt || !params->iterations) return false;
    if (scheme != NID_PBES2) return true;
    return params->kdf_nid == NID_PBKDF2 && params->prf_nid == NID_HMAC_WITH_SHA1 &&
           (params->key_length == -1 || params->key_length == static_cast<int32_t>(kKeySize));
}

}  // namespace

bool PKCS8_SchemeReadable(const EncryptedPrivateKeyInfo* epki, bool need_cipher) {
    const int scheme = EPKI_SchemeNid(epki);
    if (scheme != NID_PBE_WITH_SHA1_AND_SEED_CBC && scheme != NID_SEED_CBC &&
        scheme != NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC && scheme != NID_PBES2)
        return false;
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params || !DerivationReadable(params.get(), scheme)) return false;
    if (scheme != NID_PBES2 || !need_cipher) return true;
    const int cipher = CipherNid(params.get());
    return (cipher == NID_SEED_CBC || cipher == NID_OID_ARIA_CBC) && Pbes2Iv(params.get()) != nullptr;
}

int PKCS8_CipherIndex(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length) {
    if (!epki || !password || password_length == 0) return 0;
    switch (EPKI_SchemeNid(epki)) {
        case NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC:
            return NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC;
        case NID_PBES2: {
            PbeParametersPtr params(EPKI_GetPbeParams(epki));
            return params ? CipherNid(params.get()) : 0;
        }
        default:
            return 0;
    }
}

int PKCS8_Decrypt(const EncryptedPrivateKeyInfo* epki, PrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length) {
    if (!epki || !out || !password || password_length == 0 || !epki->encryptedData) return 0;
    const int scheme = EPKI_SchemeNid(epki);
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params || !DerivationReadable(params.get(), scheme)) return 0;
    const uint32_t iterations = BIGNUM_GetWord(params->iterations);
    if (!CountAllowed(iterations)) return 0;
    const AsnValue* salt = params->salt;
    const AsnValue* cipher = epki->encryptedData;
    if (!cipher->data || cipher->length == 0) return 0;
    MemArray<uint8_t> plain(cipher->length);  // the plaintext key
    if (!plain) return 0;
    size_t plain_length = 0;
    const auto count = static_cast<int32_t>(iterations);
    int decrypted = 0;
    switch (scheme) {
        case NID_PBE_WITH_SHA1_AND_SEED_CBC:
        case NID_SEED_CBC:
            decrypted = PBE_SEED_Decrypt(cipher->data, cipher->length, password, password_length, salt->data,
                                         salt->length, count, plain.get(), &plain_length,
                                         scheme == NID_SEED_CBC ? kPbeIvFixed : kPbeIvDerived);
            break;
        case NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC: {
            SecretArray<uint8_t, kKeySize> key, iv;
            decrypted = Pkcs12KeyAndIv(password, password_length, salt, iterations, key.data, iv.data) &&
                        SEED_CBC_Crypt(kDecrypt, key.data, iv.data, cipher->data, cipher->length, plain.get(),
                                       &plain_length) == 1;
            break;
        }
        case NID_PBES2: {
            const uint8_t* iv = Pbes2Iv(params.get());
            decrypted = iv && PBES2_Decrypt(cipher->data, cipher->length, password, password_length, salt->data,
                                            salt->length, count, plain.get(), &plain_length, iv,
                                            CipherNid(params.get()));
            break;
        }
        default:
            return 0;
    }
    // The unpadding checks little, so a wrong password shows as plaintext that is not a
    // PrivateKeyInfo SEQUENCE.
    if (decrypted != 1 || plain_length < 2 || plain.get()[0] != kDerSequenceId) return 0;
    return PKCS8_DecodeBytes(plain.get(), plain_length, out);
}

int PKCS8_Encrypt(const PrivateKeyInfo* key, EncryptedPrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length, const uint8_t* salt, size_t salt_length, uint32_t iterations, int scheme) {
    if (!key || !out || !password || password_length == 0 || !CountAllowed(iterations)) return 0;
    if (scheme != NID_PBE_WITH_SHA1_AND_SEED_CBC && scheme != NID_SEED_CBC &&
        scheme != NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC)
        return 0;
    uint8_t random_salt[kSaltSize];
    if (!salt || salt_length == 0) {
        if (RANDOM_Bytes(random_salt, sizeof random_salt) != 1) return 0;
        salt = random_salt;
        salt_length = sizeof random_salt;
    }
    if (salt_length > kDerMaxLength) return 0;
    uint8_t* encoded = nullptr;
    const int32_t encoded_length = PKCS8_EncodeBytes(key, &encoded);
    const MemBlock plain(encoded);  // the plaintext key
    if (encoded_length <= 0) return 0;
    const auto plain_length = static_cast<size_t>(encoded_length);
    MemArray<uint8_t> cipher(plain_length + 32);
    if (!cipher) return 0;
    size_t cipher_length = 0;
    int encrypted = 0;
    if (scheme == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC) {
        const AsnValue salt_value{DER_OCTET_STRING, const_cast<uint8_t*>(salt), static_cast<uint32_t>(salt_length), 0};
        SecretArray<uint8_t, kKeySize> k, iv;
        encrypted = Pkcs12KeyAndIv(password, password_length, &salt_value, iterations, k.data, iv.data) &&
                    SEED_CBC_Crypt(kEncrypt, k.data, iv.data, plain.get(), plain_length, cipher.get(),
                                   &cipher_length) == 1;
    } else {
        encrypted = PBE_SEED_Encrypt(plain.get(), plain_length, password, password_length, salt, salt_length,
                                     static_cast<int32_t>(iterations), cipher.get(), &cipher_length,
                                     scheme == NID_SEED_CBC ? kPbeIvFixed : kPbeIvDerived);
    }
    if (encrypted != 1 || cipher_length > kDerMaxLength) return 0;

    EncryptedPrivateKeyInfoPtr epki(EPKI_New());
    AsnValuePtr oid(OBJ_ValueFromNid(scheme));
    PbeParametersPtr params(PBEPARAM_New());
    const uint8_t count[4] = {static_cast<uint8_t>(iterations >> 24), static_cast<uint8_t>(iterations >> 16),
                              static_cast<uint8_t>(iterations >> 8), static_cast<uint8_t>(iterations)};
    if (!epki || !oid || !params || !EPKI_SetAlgorithm(epki.get(), oid.get()) ||
        !EPKI_SetData(epki.get(), cipher.get(), static_cast<uint32_t>(cipher_length)) ||
        !PBEPARAM_Set(params.get(), salt, static_cast<uint32_t>(salt_length), count, sizeof count) ||
        !EPKI_StorePbeParams(epki.get(), params.get()))
        return 0;
    EPKI_Store(std::move(epki), out);
    return 1;
}

}  // namespace quillon
