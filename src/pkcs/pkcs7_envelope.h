// Enveloping data for the holder of a certificate: SEED-CBC under a fresh content key, the
// key RSA-encrypted to the certificate's public key, as a PKCS#7 EnvelopedData.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// Output forms: the EnvelopedData wrapped in a ContentInfo, or (any other mode) alone.
inline constexpr int32_t kPkcs7ContentInfo = 1;

// The step at which enveloping stopped.
enum class EnvelopeError {
    kNone,
    kCertificate,        // the certificate does not decode
    kRandom,             // no content key could be drawn
    kKeyEncryption,      // the content key could not be encrypted (also a key that is not RSA)
    kContentEncryption,
    kEncoding,           // encoding the result gave nothing
    kMemory,             // an allocation failed, wherever it happened
};

// The certificate is read within `certificate_length`; `data` may be null when `data_length`
// is 0. The DER goes to *out and *out_length, written only on success.
EnvelopeError PKCS7_EnvelopeDer(int32_t mode, const uint8_t* certificate, size_t certificate_length,
                                const uint8_t* data, size_t data_length, MemBlock* out, uint32_t* out_length);

}  // namespace quillon
