// The private-key operations behind the PRIKEY_* and MEDIA_DISK_* exports, each returning
// the export's result code. Inputs are bounded by the lengths given; `out` records are
// emptied only once the work has succeeded (and stay empty if encoding then fails).
#pragma once

#include <cstddef>
#include <cstdint>

#include "quilloncrypto.h"  // BINSTR and the result codes

namespace quillon {

struct RsaKey;

// Iterations written by PRIKEY_Encrypt, and the salt it draws.
inline constexpr uint32_t kPrikeyIterations = 2048;

// EncryptedPrivateKeyInfo -> PrivateKeyInfo DER (the library's re-encoding): 1, -13, -51, -52.
int32_t PRIKEY_DecryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          BINSTR* out);
// PrivateKeyInfo -> EncryptedPrivateKeyInfo under scheme 73 (RSA) or 89 (KCDSA), 2,048
// iterations, 8 random salt bytes: 1, -12, -15, -52.
int32_t PRIKEY_EncryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          BINSTR* out);
// Certificate and PrivateKeyInfo: 1, -12, -14.
int32_t PRIKEY_CheckKeyPairDer(const uint8_t* certificate, size_t certificate_length, const uint8_t* key,
                               size_t key_length);
// Cipher index of an EncryptedPrivateKeyInfo (0, 89, 70, 92): the index, or -51.
int32_t PRIKEY_CipherIndexDer(const uint8_t* password, size_t password_length, const uint8_t* der,
                              size_t available);

// As PRIKEY_Decrypt, and on success also loads the RSA key (all numbers) into *key, creating
// it when *key is null. -11 for a null argument, -13 for an empty password or a failed
// decryption, -51, -52, and -12 for a key that is not rsaEncryption (out and *key untouched).
int32_t PRIKEY_DecryptToRsaKey(const char* password, const BINSTR* encrypted, BINSTR* out, RsaKey** key);

}  // namespace quillon
