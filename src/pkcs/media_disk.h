// Certificate and private-key files read whole from disk, behind the MEDIA_DISK_* exports;
// each returns the export's result code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quilloncrypto.h"

namespace quillon {

// The whole file into `out` (its old bytes released first, on every path): 1 or -54.
int32_t MEDIA_ReadCert(const char* path, BINSTR* out);
// File read (-54), then PRIKEY_DecryptDer's codes; the file's bytes are wiped after use.
int32_t MEDIA_ReadPriKey(const char* path, const uint8_t* password, size_t password_length, BINSTR* out);
// File read (-54), -13 for an empty password, then PRIKEY_CipherIndexDer's result.
int32_t MEDIA_ReadCipherIndex(const char* path, const uint8_t* password, size_t password_length);

}  // namespace quillon
