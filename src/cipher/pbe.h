// Password-based key derivation (PBKDF1 with SHA-1, PBKDF2 with HMAC-SHA1) and the
// password-based encryption of private keys built on them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// The fixed IV of the SEED schemes (and of the exchange's PKCS#12 form): ASCII "5820463917352804".
inline constexpr uint8_t kPbeFixedIv[16] = {'5', '8', '2', '0', '4', '6', '3', '9',
                                            '1', '7', '3', '5', '2', '8', '0', '4'};

// IV modes of PBE_SEED_*: derived from the key material, or the fixed IV.
constexpr int kPbeIvFixed = 0;
constexpr int kPbeIvDerived = 1;

// T1 = SHA-1(password || salt), Tk = SHA-1(Tk-1); 20 bytes out, *out_length = 20.
// Iteration counts of 1 or less give T1.
int PBKDF1_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, size_t* out_length);
// PBKDF2 with HMAC-SHA1; counts below 2 give U1 only. A negative length fails; 0 writes nothing.
int PBKDF2_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, int32_t derived_length);

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

}  // namespace quillon
