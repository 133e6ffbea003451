// MEDIA_DISK_*: code shape. Files are read whole through the platform's file API.
#include <cstring>

#include "api/export_guard.h"
#include "pkcs/media_disk.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

}  // namespace

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadCert(const char* path, BINSTR* out) {
    if (!path || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] { return MEDIA_ReadCert(path, out); });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey(const char* path, const char* password, BINSTR* out) {
    if (!path || !password || !out) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] { return MEDIA_ReadPriKey(path, Bytes(password), std::strlen(password), out); });
}

extern "C" QUILLON_API int32_t MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(const char* path, const char* password) {
    if (!path || !password) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] { return MEDIA_ReadCipherIndex(path, Bytes(password), std::strlen(password)); });
}
