// RSAPublicKey and RSAPrivateKey (PKCS#1) DER codecs: the one place that reads and writes
// an RSA key, shared by the certificate decoder and the PKCS#8 codec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

struct DerElement;
struct RsaKey;

// SEQUENCE { n, e } (further items ignored) in the first `available` bytes; a new public key or null.
RsaKey* RSA_DecodePublicKey(const uint8_t* der, size_t available);
// SEQUENCE { version, n, e, d, p, q, dP, dQ, qInv }: all nine INTEGERs are required, so a
// key never comes back with numbers missing. The version is not examined. New key or null.
RsaKey* RSA_DecodePrivateKey(const uint8_t* der, size_t available);

// Fill an empty element; 1, or 0 when a component is missing or encoding fails.
int RSA_EncodePublicKey(const RsaKey* key, DerElement* out);
// Version 0 and all eight numbers; a key without its CRT numbers is refused.
int RSA_EncodePrivateKey(const RsaKey* key, DerElement* out);

}  // namespace quillon
