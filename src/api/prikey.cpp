// PRIKEY_*: code shape. Input BINSTRs are read within their length; outputs are replaced
// only once the decryption or encryption has succeeded.
#include <cstring>

#include "api/export_guard.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

}  // namespace

extern "C" QUILLON_API int32_t PRIKEY_Decrypt(const char* password, const BINSTR* encrypted, BINSTR* out) {
    if (!password || !encrypted || !out) return QC_ERR_NULL_ARGUMENT;
    const size_t password_length = std::strlen(password);
    if (password_length == 0) return QC_ERR_DECRYPT_KEY;
    if (!encrypted->data) return QC_ERR_MALFORMED_DER;
    return GuardCode([&] {
        return PRIKEY_DecryptDer(Bytes(password), password_length, encrypted->data, encrypted->length, out);
    });
}

extern "C" QUILLON_API int32_t PRIKEY_Encrypt(const char* password, const BINSTR* plain, BINSTR* out) {
    if (!password || !plain || !out) return QC_ERR_NULL_ARGUMENT;
    if (!plain->data) return QC_ERR_KEY_INVALID;
    return GuardCode([&] {
        return PRIKEY_EncryptDer(Bytes(password), std::strlen(password), plain->data, plain->length, out);
    });
}

extern "C" QUILLON_API int32_t PRIKEY_CheckKeyPair(const BINSTR* certificate, const BINSTR* plain) {
    if (!certificate || !plain) return QC_ERR_NULL_ARGUMENT;
    if (!certificate->data || !plain->data) return QC_ERR_KEY_INVALID;
    return GuardCode([&] {
        return PRIKEY_CheckKeyPairDer(certificate->data, certificate->length, plain->data, plain->length);
    });
}
