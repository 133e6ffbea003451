// Password-based encryption of PKCS#8 keys under the schemes by NID: 73
// pbeWithSHA1AndSEED-CBC, 70 SEED-CBC with the fixed IV, 89 the PKCS#12-derived SEED-CBC,
// PBES2 (90) with PBKDF2 over HMAC-SHA1/224/256/384/512 and any cipher of the CBC table, and
// the PKCS#12 schemes pbeWithSHAAnd3-KeyTripleDES-CBC, -128BitRC2-CBC and -40BitRC2-CBC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

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

// Salt drawn by PKCS8_EncryptPbes2.
inline constexpr size_t kPbes2SaltSize = 16;
// Encrypts the DER bytes as given (the caller has checked they are a PrivateKeyInfo) under
// PBES2: PBKDF2 with the PRF by its HMAC NID (the prf field left out for HMAC-SHA1, its
// default), 16 random salt bytes, the cipher by NID with a random IV; no keyLength field.
// Iterations 1..kPkcs8MaxIterations. New record in *out (a caller's record is refilled). 1 or 0.
int PKCS8_EncryptPbes2(const uint8_t* plain, size_t plain_length, EncryptedPrivateKeyInfo** out,
                       const uint8_t* password, size_t password_length, uint32_t iterations, int prf_nid,
                       int cipher_nid);

// Encrypts the DER bytes as given under a PKCS#12 scheme by NID, 8 random salt bytes.
// Iterations 1..kPkcs8MaxIterations. New record in *out (a caller's record is refilled). 1 or 0.
int PKCS8_EncryptPkcs12(const uint8_t* plain, size_t plain_length, EncryptedPrivateKeyInfo** out,
                        const uint8_t* password, size_t password_length, uint32_t iterations, int scheme);

// Decrypts the ciphertext under the record's scheme into *out (replacing what it held), the
// padding removed and nothing else examined: what a key, or any other content encrypted the
// same way (a PKCS#12 bag), decrypts to. 0 for an unreadable scheme, a count above the cap, an
// empty password or a failed unpadding.
int PKCS8_DecryptBytes(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length,
                       MemBytes* out);
// Decrypts and decodes; 0 for a wrong password, an unreadable scheme or any failure, leaving
// *out as it was. When the plaintext is a well-formed PrivateKeyInfo of an algorithm other
// than rsaEncryption and KCDSA1 (so the password was right), *other_key is set.
int PKCS8_Decrypt(const EncryptedPrivateKeyInfo* epki, PrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length, bool* other_key = nullptr);
// 0 for schemes 73 and 70, 89 for scheme 89, the PKCS#12 schemes' own NIDs, and for PBES2
// the cipher's NID (70, 92 for the table's ARIA-CBC and the standard ARIA-128-CBC alike, the
// NIDs of the later rows for AES, ARIA-192/256 and DES-EDE3; 0 when not in the table). 0 as
// well for a null key or an absent password. Nothing is decrypted.
int PKCS8_CipherIndex(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length);
// The same without the password check: what the file says, read before any password is asked for.
int PKCS8_CipherIndexOf(const EncryptedPrivateKeyInfo* epki);

// Whether the key's scheme parameters are ones this library reads: salt and count present,
// and for PBES2 a PBKDF2 derivation with an HMAC PRF of the digest table and, when
// `need_cipher`, a cipher of the CBC table with an IV of one block and no keyLength other
// than its key size (without `need_cipher`, no keyLength other than the cipher's key size or,
// for a cipher not in the table, 16). Lets callers tell "not a kind we read" from "wrong password".
bool PKCS8_SchemeReadable(const EncryptedPrivateKeyInfo* epki, bool need_cipher);

}  // namespace quillon
