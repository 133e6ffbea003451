// Opening PKCS#7 / CMS enveloped data addressed to one's own certificate: the recipient found by
// issuer and serial or by subject key identifier, the content key recovered with the RSA private
// key (PKCS#1 v1.5 or OAEP), the content decrypted with SEED, ARIA, AES or DES-EDE3 in CBC mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

enum class OpenError {
    kNone,
    kCertificate,   // the certificate does not decode
    kKey,           // not a PrivateKeyInfo of an RSA key
    kMalformed,     // not EnvelopedData (bare or in a ContentInfo), or an algorithm not supported
    kNotRecipient,  // no recipient entry names the certificate
    kDecrypt,       // the key does not open it, or the envelope was changed: one outcome for both
    kRandom,        // no stand-in key could be drawn
    kMemory,
};

// Content keys come out of the RSA block without revealing whether its padding held: a block
// that does not unpad to a key of the cipher's size is replaced by a random key, so a wrong key
// and a tampered envelope both fail at the content's padding, after the same work. Enveloped data
// carries no integrity check; a changed ciphertext may still decrypt to other bytes.
OpenError PKCS7_OpenEnvelopeDer(const uint8_t* key, size_t key_length, const uint8_t* certificate,
                                size_t certificate_length, const uint8_t* enveloped, size_t enveloped_length,
                                MemBytes* out);

}  // namespace quillon
