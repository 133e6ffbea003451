// RSA encryption with PKCS#1 v1.5 type 2 padding, decryption with PKCS#1 v1.5 or OAEP
// (SHA-1, MGF1-SHA-1) unpadding, and the raw private and public operations.
#pragma once

#include <cstdint>

namespace quillon {

struct RsaKey;
struct BigNum;
struct DigestAlgorithm;

constexpr int kRsaPkcs1Padding = 1;
constexpr int kRsaOaepPadding = 2;

// out must hold the modulus size in bytes. The ciphertext is always exactly that long, left-padded
// with zero bytes; returns its length, also stored in *out_len; 0 on failure.
int RSA_PublicEncrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len);
// out must hold the modulus size in bytes. The ciphertext may come in the modulus length or
// shorter (leading zero bytes dropped), as some peers send it. Returns the plaintext length,
// also stored in *out_len; 0 on failure.
int RSA_PrivateDecrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len,
                       int mode);
// The private operation without unpadding: out receives c^d mod n as exactly k bytes (k at
// least the modulus size), c below n. Blinded whenever the key has e; exponentiations and the
// CRT recombination have no branch or memory index that depends on a secret. 1 or 0.
int RSA_PrivateBlock(RsaKey* key, const BigNum* c, uint8_t* out, uint32_t k);
// Unpaddings of a decrypted block given at exactly the modulus length k, in constant time: no
// exit or memory index reveals which check failed. They return the message length, 0 on
// failure (out is then untouched); out must hold k - 11 bytes (PKCS#1) or k - 2 h - 2 (OAEP, h the
// hash size).
// PKCS#1 v1.5 type 2: 00 02, at least eight non-zero filler bytes, 00, the message.
uint32_t RSA_UnpadPkcs1Type2(const uint8_t* em, uint32_t k, uint8_t* out);
// OAEP with the hash, MGF1 over mgf_hash and the empty label (RSA_PrivateDecrypt's mode takes
// SHA-1 for both, with a 2048-bit modulus only).
uint32_t RSA_UnpadOaep(const uint8_t* em, uint32_t k, const DigestAlgorithm* hash, const DigestAlgorithm* mgf_hash,
                       uint8_t* out);
// The longest OAEP-SHA-1 message of a 2048-bit modulus.
constexpr uint32_t kRsaOaepMaxMessage = 214;

// MGF1: mask_len bytes of Hash(seed || counter) for counter 0, 1, ... (OAEP uses SHA-1).
void RSA_Mgf1(const DigestAlgorithm* hash, const uint8_t* seed, uint32_t seed_len, uint8_t* mask, uint32_t mask_len);

// The public operation without padding: out receives in^e mod n as exactly k bytes, k the
// modulus size. The input is taken at exactly k bytes and must lie below n. 1 or 0.
int RSA_PublicBlock(RsaKey* key, const uint8_t* in, uint8_t* out, uint32_t k);
// Bytes of the key's modulus; 0 when it has none.
uint32_t RSA_ModulusBytes(const RsaKey* key);

}  // namespace quillon
