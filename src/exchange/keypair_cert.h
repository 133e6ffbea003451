// A fresh RSA-2048 key (e = 3) patched into a caller's certificate template, as PEM text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

struct RsaKey;

// Where the template's modulus magnitude sits: the INTEGER's leading zero at 303, then 256 bytes.
constexpr size_t kTemplateModulusOffset = 304;
constexpr size_t kTemplateModulusLength = 256;
constexpr size_t kTemplateMinLength = kTemplateModulusOffset + kTemplateModulusLength;

// 1 when the DER path Certificate > tbsCertificate > subjectPublicKeyInfo (rsaEncryption) >
// BIT STRING > RSAPublicKey > modulus leads to a 2048-bit INTEGER whose leading zero is byte
// 303, followed by the exponent 3; every header is read within `length`.
int KEYPAIR_TemplateFits(const uint8_t* cert, size_t length);
// Bytes of the PEM text for a template of `length` bytes, terminating zero included.
size_t KEYPAIR_PemSize(size_t length);
// Generates the key, patches the template and writes the PEM text (at most KEYPAIR_PemSize
// bytes). Returns the text's length and stores the key, or 0 with the template unchanged and
// *key_out null.
int32_t KEYPAIR_GenerateIntoTemplate(RsaKey** key_out, uint8_t* cert, size_t length, char* pem_out);

}  // namespace quillon
