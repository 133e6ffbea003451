// Enveloping data for the holder of a certificate: SEED-CBC under a fresh content key, the
// key RSA-encrypted to the certificate's public key, as a PKCS#7 EnvelopedData.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quilloncrypto.h"  // BINSTR and the result codes

namespace quillon {

// Output forms: the EnvelopedData wrapped in a ContentInfo, or (any other mode) alone.
inline constexpr int32_t kPkcs7ContentInfo = 1;

// The certificate is read within `certificate_length`; `data` may be null when `data_length`
// is 0. `out` is replaced only on success. 1, -50, -71, -72, -78, -79 or -52 (an allocation
// failure anywhere is -71).
int32_t PKCS7_EnvelopeDer(int32_t mode, const uint8_t* certificate, size_t certificate_length, const uint8_t* data,
                          size_t data_length, BINSTR* out);

}  // namespace quillon
