// Password-based encryption of PKCS#8 keys under the four schemes by NID: 73
// pbeWithSHA1AndSEED-CBC, 70 SEED-CBC with the fixed IV, 89 the PKCS#12-derived SEED-CBC,
// and PBES2 (90, read only) with PBKDF2-HMAC-SHA1 and SEED-CBC or ARIA-128-CBC.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

struct EncryptedPrivateKeyInfo;
struct PrivateKeyInfo;

// Iteration counts above this are refused both ways: real files use 2,048, and a hostile
// file must not hold the caller for long (PBKDF2 at this count takes about a second).
inline constexpr uint32_t kPkcs8MaxIterations = 4000000;

// Encrypts under scheme 73, 70 or 89 with the caller's salt (when salt and its length are
// both given) or 8 random bytes. Iterations 1..kPkcs8MaxIterations. A null *out gets a new
// record; a caller's record is refilled. 1 or 0.
int PKCS8_Encrypt(const PrivateKeyInfo* key, EncryptedPrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length, const uint8_t* salt, size_t salt_length, uint32_t iterations, int scheme);
// Decrypts and decodes; 0 for a wrong password, an unreadable scheme or any failure, leaving
// *out as it was.
int PKCS8_Decrypt(const EncryptedPrivateKeyInfo* epki, PrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length);
// 0 for schemes 73 and 70, 89 for scheme 89, the PBES2 cipher's NID (70, 92; 0 when not in
// the table). 0 as well for a null key or an absent password. Nothing is decrypted.
int PKCS8_CipherIndex(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length);

// Whether the key's scheme parameters are ones this library reads: salt and count present,
// and for PBES2 a PBKDF2 derivation with HMAC-SHA1, no keyLength other than 16 and, when
// `need_cipher`, SEED-CBC or ARIA-CBC with a 16-byte IV. Lets callers tell "not a kind we read"
// from "wrong password".
bool PKCS8_SchemeReadable(const EncryptedPrivateKeyInfo* epki, bool need_cipher);

}  // namespace quillon
