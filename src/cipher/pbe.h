// Password-based encryption of private keys: the SEED schemes over PBKDF1, PBES2 over PBKDF2,
// and the PKCS#12 schemes (3DES and RC2) over the PKCS#12 derivation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/cbc_cipher.h"
#include "cipher/digest.h"

namespace quillon {

// The fixed IV of the SEED schemes (and of the exchange's PKCS#12 form): ASCII "5820463917352804".
inline constexpr uint8_t kPbeFixedIv[16] = {'5', '8', '2', '0', '4', '6', '3', '9',
                                            '1', '7', '3', '5', '2', '8', '0', '4'};

// IV modes of PBE_SEED_*: derived from the key material, or the fixed IV.
constexpr int kPbeIvFixed = 0;
constexpr int kPbeIvDerived = 1;

// SEED-CBC under PBKDF1 key material. Encrypting needs room for length + 16 bytes.
int PBE_SEED_Encrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                     const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                     int iv_mode);
int PBE_SEED_Decrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                     const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                     int iv_mode);
// PBES2 decryption with a PBKDF2 key of 16 bytes and the scheme's 16-byte IV; the cipher by
// NID: SEED-CBC or ARIA-128-CBC, anything else refused.
int PBES2_Decrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                  const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                  const uint8_t* iv, int scheme_nid);

// PBES2 with any PRF of the digest table and any cipher of the CBC table: the key is
// cipher->key_size bytes of PBKDF2, the IV cipher->block_size bytes. Encrypting needs room
// for length + block_size bytes. Iterations of at least 1. 1 or 0.
int PBES2_Crypt(uint32_t direction, const DigestAlgorithm* prf, const CbcCipher* cipher, const uint8_t* password,
                size_t password_length, const uint8_t* salt, size_t salt_length, uint32_t iterations,
                const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out, size_t* out_length);

// pbeWithSHAAnd3-KeyTripleDES-CBC, -128BitRC2-CBC and -40BitRC2-CBC by NID.
bool PBE_IsPkcs12Scheme(int scheme_nid);
// Key and 8-byte IV by the PKCS#12 derivation with SHA-1 (ids 1 and 2) over the password as
// PKCS12_PasswordToBmp gives it, then the scheme's cipher. Encrypting needs room for length + 8 bytes. 1 or 0 (0 for any other scheme).
int PBE_Pkcs12Crypt(uint32_t direction, int scheme_nid, const uint8_t* password, size_t password_length,
                    const uint8_t* salt, size_t salt_length, uint32_t iterations, const uint8_t* in, size_t length,
                    uint8_t* out, size_t* out_length);

}  // namespace quillon
