#include "pkcs/media_disk.h"

#include "core/mem.h"
#include "pkcs/prikey.h"
#include "platform/file.h"

namespace quillon {
namespace {

// A file's bytes, wiped and released with the owner: key files are secrets at rest.
struct FileBytes {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ~FileBytes() {
        if (data) {
            MEM_Wipe(data, length);
            MEM_Free(data);
        }
    }
    bool Read(const char* path) { return FILE_ReadAll(path, &data, &length) == 1; }
};

}  // namespace

int32_t MEDIA_ReadCert(const char* path, BINSTR* out) {
    MEM_Free(out->data);
    out->data = nullptr;
    out->length = 0;
    uint8_t* data = nullptr;
    uint32_t length = 0;
    if (FILE_ReadAll(path, &data, &length) != 1) return QC_ERR_FILE_READ;
    out->data = data;
    out->length = length;
    return QC_OK;
}

int32_t MEDIA_ReadPriKey(const char* path, const uint8_t* password, size_t password_length, BINSTR* out) {
    FileBytes file;
    if (!file.Read(path)) return QC_ERR_FILE_READ;
    if (password_length == 0) return QC_ERR_DECRYPT_KEY;
    return PRIKEY_DecryptDer(password, password_length, file.data, file.length, out);
}

int32_t MEDIA_ReadCipherIndex(const char* path, const uint8_t* password, size_t password_length) {
    FileBytes file;
    if (!file.Read(path)) return QC_ERR_FILE_READ;
    if (password_length == 0) return QC_ERR_DECRYPT_KEY;
    return PRIKEY_CipherIndexDer(password, password_length, file.data, file.length);
}

}  // namespace quillon
