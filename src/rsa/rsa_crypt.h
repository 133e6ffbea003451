// RSA encryption with PKCS#1 v1.5 type 2 padding, and decryption with PKCS#1 v1.5 or OAEP
// (SHA-1, MGF1-SHA-1) unpadding.
#pragma once

#include <cstdint>

namespace quillon {

struct RsaKey;

constexpr int kRsaPkcs1Padding = 1;
constexpr int kRsaOaepPadding = 2;

// out must hold the modulus size in bytes. Returns the ciphertext length (minimal big-endian
// form, so one byte shorter when its top byte is zero), also stored in *out_len; 0 on failure.
int RSA_PublicEncrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len);
// out must hold the modulus size in bytes. Returns the plaintext length, also stored in
// *out_len; 0 on failure.
int RSA_PrivateDecrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len,
                       int mode);
// MGF1 with SHA-1: mask_len bytes of SHA-1(seed || counter) for counter 0, 1, ...
void RSA_Mgf1(const uint8_t* seed, uint32_t seed_len, uint8_t* mask, uint32_t mask_len);

}  // namespace quillon
