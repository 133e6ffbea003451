// MEDIA_DISK_*: code shape. Files are read whole through the platform's file API; key files
// are secrets at rest, and the allocator wipes their bytes when they are released.
#include <cstring>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "core/mem.h"
#include "pkcs/prikey.h"
#include "platform/file.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

bool ReadFile(const char* path, MemBytes& file) {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (FILE_ReadAll(path, &data, &length) != 1) return false;
    file.Reset(data, length);
    return true;
}

}  // namespace

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadCert(const char* path, BINSTR* out) {
    if (!path || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        BINSTR_Delete(out);
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const uint32_t length = file.length;
        BINSTR_Adopt(out, file.Release(), length);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey(const char* path, const char* password, BINSTR* out) {
    if (!path || !password || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const size_t password_length = std::strlen(password);
        if (password_length == 0) return QC_ERR_DECRYPT_KEY;
        MemBytes plain;
        const KeyError result =
            PRIKEY_DecryptDer(PasswordBytes(password), password_length, file.data, file.length, &plain);
        return KEY_Deliver(result, &plain, out);
    });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(const char* path, const char* password) {
    if (!path || !password) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBytes file;
        if (!ReadFile(path, file)) return QC_ERR_FILE_READ;
        const size_t password_length = std::strlen(password);
        if (password_length == 0) return QC_ERR_DECRYPT_KEY;
        int32_t index = 0;
        if (!PRIKEY_CipherIndexDer(PasswordBytes(password), password_length, file.data, file.length, &index))
            return QC_ERR_MALFORMED_DER;
        return index;
    });
}
