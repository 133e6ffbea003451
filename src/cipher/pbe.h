// Password-based encryption of private keys: the SEED schemes over PBKDF1 and PBES2 over PBKDF2.
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
