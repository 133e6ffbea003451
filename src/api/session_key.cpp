// Session-key and keyboard exports. The RSA ones are count-shaped (1 or 0, and the key's codes
// when a key given as text does not load); the keyboard ones code-shaped.
#include <span>

#include "api/export_guard.h"
#include "api/key_codes.h"
#include "exchange/session_key.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"

using namespace quillon;

namespace {

std::span<const uint8_t> RecordAt(const void* records, int32_t index) {
    const BINSTR& record = static_cast<const BINSTR*>(records)[index];
    return record.data ? std::span<const uint8_t>(record.data, record.length) : std::span<const uint8_t>();
}

}  // namespace

extern "C" QUILLON_API int32_t DecryptSessionKey(::RsaKey* key, const unsigned char* encrypted, uint32_t length,
                                                 unsigned char* out) {
    // The handle is consumed on every path, the refused ones included.
    RsaKeyPtr owned(reinterpret_cast<quillon::RsaKey*>(key));
    if (!owned || !encrypted || !out) return 0;
    return GuardCount([&] { return SESSIONKEY_DecryptOaep(owned.get(), encrypted, length, out); });
}

extern "C" QUILLON_API int32_t DecryptSessionKeyWithPEMKey(const char* key_text, uint32_t key_text_length,
                                                           const char* password, const unsigned char* encrypted,
                                                           uint32_t length, unsigned char* out) {
    if (!password || !key_text || !encrypted || !out) return 0;
    return GuardCount([&] {
        KeyError key_error = KeyError::kNone;
        if (SESSIONKEY_DecryptWithPemKey(reinterpret_cast<const uint8_t*>(key_text), key_text_length, password,
                                         encrypted, length, out, &key_error))
            return 1;
        return key_error == KeyError::kNone ? 0 : KEY_Code(key_error);
    });
}

extern "C" QUILLON_API int32_t DecodeCertKeyboard(const BINSTR* blocks, int32_t count, const BINSTR* key,
                                                  const BINSTR* iv, unsigned char* out) {
    if (!blocks || !key || !iv || !out) return QC_ERR_NULL_ARGUMENT;
    // Sixteen bytes are read from each; shorter records are refused rather than overread.
    if (!key->data || key->length < 16 || !iv->data || iv->length < 16) return QC_ERR_NULL_ARGUMENT;
    if (count < 1) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        return SESSIONKEY_DecodeKeyboard(RecordAt, blocks, count, key->data, iv->data, out) ? QC_OK : QC_ERR_DECRYPT;
    });
}

extern "C" QUILLON_API int32_t DecryptCBCKeyWithSessionKey(const unsigned char* key_and_iv, const unsigned char* blocks,
                                                           int32_t /*unused*/, unsigned char* out, int32_t count) {
    if (!blocks || !key_and_iv || !out || count < 1) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        return SESSIONKEY_DecodeKeyboardBlocks(blocks, count, key_and_iv, key_and_iv + 16, out) ? QC_OK
                                                                                                 : QC_ERR_DECRYPT;
    });
}
