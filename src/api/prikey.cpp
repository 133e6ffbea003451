// PRIKEY_*: code shape. Input BINSTRs are read within their length; outputs are replaced
// only once the decryption or encryption has succeeded.
#include <cstring>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "asn1/object_table.h"
#include "pkcs/pkcs8_crypt.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"

namespace quillon {

int32_t KEY_Code(KeyError error) {
    switch (error) {
        case KeyError::kNone: return QC_OK;
        case KeyError::kMalformed:
        case KeyError::kNoRandom: return QC_ERR_MALFORMED_DER;
        case KeyError::kUndecodable:
        case KeyError::kAlgorithm: return QC_ERR_KEY_INVALID;
        case KeyError::kDecrypt: return QC_ERR_DECRYPT_KEY;
        case KeyError::kEncrypt: return QC_ERR_ENCRYPT_KEY;
        case KeyError::kEncode: return QC_ERR_ENCODE_EMPTY;
        case KeyError::kMismatch: return QC_ERR_KEY_MISMATCH;
        case KeyError::kAbsent: return QC_ERR_EXTENSION_ABSENT;
        case KeyError::kRandom: return QC_ERR_RANDOM;
        case KeyError::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

int32_t KEY_Deliver(KeyError error, MemBytes* der, BINSTR* out) {
    if (error == KeyError::kEncode) BINSTR_Delete(out);
    if (error != KeyError::kNone) return KEY_Code(error);
    const uint32_t length = der->length;
    BINSTR_Adopt(out, der->Release(), length);
    return QC_OK;
}

}  // namespace quillon

using namespace quillon;

namespace {

}  // namespace

extern "C" QUILLON_API int32_t PRIKEY_Decrypt(const char* password, const BINSTR* encrypted, BINSTR* out) {
    if (!password || !encrypted || !out) return QC_ERR_NULL_ARGUMENT;
    const size_t password_length = std::strlen(password);
    if (password_length == 0) return QC_ERR_DECRYPT_KEY;
    if (!encrypted->data) return QC_ERR_MALFORMED_DER;
    return GuardCode([&] {
        MemBytes plain;
        const KeyError result =
            PRIKEY_DecryptDer(PasswordBytes(password), password_length, encrypted->data, encrypted->length, &plain);
        return KEY_Deliver(result, &plain, out);
    });
}

extern "C" QUILLON_API int32_t PRIKEY_Encrypt(const char* password, const BINSTR* plain, BINSTR* out) {
    if (!password || !plain || !out) return QC_ERR_NULL_ARGUMENT;
    if (!plain->data) return QC_ERR_KEY_INVALID;
    return GuardCode([&] {
        MemBytes encrypted;
        const KeyError result =
            PRIKEY_EncryptDer(PasswordBytes(password), std::strlen(password), plain->data, plain->length, &encrypted);
        return KEY_Deliver(result, &encrypted, out);
    });
}

namespace {

static_assert(QC_PBES2_MAX_ITERATIONS == kPkcs8MaxIterations, "the documented cap is the reader's");
static_assert(QC_PRF_HMAC_SHA1 == NID_HMAC_WITH_SHA1 && QC_PRF_HMAC_SHA224 == NID_HMAC_WITH_SHA224 &&
                  QC_PRF_HMAC_SHA256 == NID_HMAC_WITH_SHA256 && QC_PRF_HMAC_SHA384 == NID_HMAC_WITH_SHA384 &&
                  QC_PRF_HMAC_SHA512 == NID_HMAC_WITH_SHA512,
              "the PRF numbers are the HMAC rows' NIDs");
static_assert(QC_CIPHER_SEED_CBC == NID_SEED_CBC && QC_CIPHER_ARIA128_CBC == NID_OID_ARIA_CBC &&
                  QC_CIPHER_AES128_CBC == NID_AES_128_CBC && QC_CIPHER_AES192_CBC == NID_AES_192_CBC &&
                  QC_CIPHER_AES256_CBC == NID_AES_256_CBC && QC_CIPHER_ARIA192_CBC == NID_ARIA_192_CBC &&
                  QC_CIPHER_ARIA256_CBC == NID_ARIA_256_CBC,
              "the cipher numbers are the key-file cipher index");

// The export's cipher numbers: the key-file cipher index, ARIA-128 written under its standard
// identifier.
int CipherNid(int32_t cipher) {
    switch (cipher) {
        case QC_CIPHER_SEED_CBC: return NID_SEED_CBC;
        case QC_CIPHER_ARIA128_CBC: return NID_ARIA_128_CBC;
        case QC_CIPHER_ARIA192_CBC: return NID_ARIA_192_CBC;
        case QC_CIPHER_ARIA256_CBC: return NID_ARIA_256_CBC;
        case QC_CIPHER_AES128_CBC: return NID_AES_128_CBC;
        case QC_CIPHER_AES192_CBC: return NID_AES_192_CBC;
        case QC_CIPHER_AES256_CBC: return NID_AES_256_CBC;
        default: return NID_UNDEF;
    }
}

bool PrfKnown(int32_t prf) {
    return prf == QC_PRF_HMAC_SHA1 || prf == QC_PRF_HMAC_SHA224 || prf == QC_PRF_HMAC_SHA256 ||
           prf == QC_PRF_HMAC_SHA384 || prf == QC_PRF_HMAC_SHA512;
}

}  // namespace

extern "C" QUILLON_API int32_t PRIKEY_EncryptPbes2(const char* password, const BINSTR* plain, int32_t prf,
                                                   int32_t cipher, int32_t iterations, BINSTR* out) {
    if (!password || !plain || !out) return QC_ERR_NULL_ARGUMENT;
    if (!PrfKnown(prf) || CipherNid(cipher) == NID_UNDEF || iterations < 1 || iterations > QC_PBES2_MAX_ITERATIONS)
        return QC_ERR_NULL_ARGUMENT;
    if (!plain->data) return QC_ERR_KEY_INVALID;
    return GuardCode([&] {
        MemBytes encrypted;
        const KeyError result =
            PRIKEY_EncryptPbes2Der(PasswordBytes(password), std::strlen(password), plain->data, plain->length,
                                   static_cast<uint32_t>(iterations), prf, CipherNid(cipher), &encrypted);
        return KEY_Deliver(result, &encrypted, out);
    });
}

extern "C" QUILLON_API int32_t PRIKEY_CheckKeyPair(const BINSTR* certificate, const BINSTR* plain) {
    if (!certificate || !plain) return QC_ERR_NULL_ARGUMENT;
    if (!certificate->data || !plain->data) return QC_ERR_KEY_INVALID;
    return GuardCode([&] {
        return KEY_Code(PRIKEY_CheckKeyPairDer(certificate->data, certificate->length, plain->data, plain->length));
    });
}
