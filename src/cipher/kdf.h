// Password-based key derivations: PBKDF1 with SHA-1, PBKDF2, and the PKCS#12 derivation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/digest.h"

namespace quillon {

// T1 = SHA-1(password || salt), Tk = SHA-1(Tk-1); 20 bytes out, *out_length = 20.
// Iteration counts of 1 or less give T1.
int PBKDF1_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, size_t* out_length);
// PBKDF2 with HMAC-SHA1; counts below 2 give U1 only. A negative length fails; 0 writes nothing.
int PBKDF2_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, int32_t derived_length);

inline constexpr size_t kPkcs12MaxOutput = 64;

// PKCS#12 key derivation with SHA-1 (u = 20, v = 64); the password is widened byte by byte
// (00 b) and closed with 00 00 (a BMPString for ASCII passwords); a null password contributes
// nothing. Outputs of 1 to kPkcs12MaxOutput bytes, 20 per block. id 1 gives key material,
// 2 an IV, 3 a MAC key. 1 or 0.
int PKCS12_DeriveKey(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                     int id, uint32_t iterations, size_t out_length, uint8_t* out);

// The same with any hash of the digest table (u its size, v its block size) over a password
// already in its final form (a BMPString with its closing zeros), as PKCS12_PasswordToBmp gives it.
int PKCS12_DeriveKeyBmp(const DigestAlgorithm* digest, const uint8_t* bmp, size_t bmp_length, const uint8_t* salt,
                        size_t salt_length, int id, uint32_t iterations, size_t out_length, uint8_t* out);
// A password as peers pass it to the PKCS#12 derivation: valid UTF-8 becomes UTF-16BE
// (surrogate pairs above U+FFFF), anything else is widened byte by byte (00 b); then 00 00.
// `out` needs 2 * length + 2 bytes; the bytes written come back.
size_t PKCS12_PasswordToBmp(const uint8_t* password, size_t length, uint8_t* out);

// PBKDF2 with HMAC over any hash of the digest table; counts below 2 give U1 only. The inner
// and outer states are computed once per password and each further iteration is two
// compressions. 1 or 0.
int PBKDF2(const DigestAlgorithm* digest, const uint8_t* password, size_t password_length, const uint8_t* salt,
           size_t salt_length, uint32_t iterations, uint8_t* out, size_t length);

}  // namespace quillon
