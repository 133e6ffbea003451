// The PKCS#12 form of the certificate exchange: the certificate and private key in one
// secret bag, SEED-CBC under the session key with the fixed IV, and an HMAC-SHA1 keyed from
// the session key and a random salt over the whole authSafe ContentInfo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exchange/cert_exchange.h"  // CertKeyPair

namespace quillon {

inline constexpr size_t kPfxKeySize = 16;    // bytes of the session key used
inline constexpr size_t kPfxMacSize = 20;    // HMAC-SHA1
inline constexpr size_t kPfxSaltSize = 8;

// The PFX for a certificate and key under `key`, in a new MEM_ buffer; its length, or 0.
int32_t PFX_Seal(const uint8_t key[kPfxKeySize], const uint8_t* certificate, uint32_t certificate_length,
                 const uint8_t* private_key, uint32_t private_key_length, uint8_t** out);
// Opens the PFX at `bytes` (no length: the element's own header bounds it, up to
// kDerUnsizedMax). The MAC must be exactly 20 bytes and match, compared in constant time,
// before anything is decrypted. 1 with the pair in *out; -1 when the MAC does not hold; 0 for
// anything else.
int PFX_Open(const uint8_t key[kPfxKeySize], const uint8_t* bytes, CertKeyPair** out);

}  // namespace quillon
