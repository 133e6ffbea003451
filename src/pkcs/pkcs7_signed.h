// PKCS#7 / CMS SignedData with RSA signers: made for one signer (the certificate included, signed
// attributes by default), and checked signer by signer against the certificates it carries.
// Paths and revocation are checked only when a trust store is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "core/mem.h"
#include "rsa/rsa_sign.h"
#include "trust/trust_store.h"

namespace quillon {

// Flags of PKCS7_SignDer.
inline constexpr uint32_t kSignedDetached = 1;      // the content is left out
inline constexpr uint32_t kSignedNoAttributes = 2;  // the signature is over the content itself
inline constexpr uint32_t kSignedBare = 4;          // SignedData alone, not in a ContentInfo

enum class SignedError {
    kNone,
    kCertificate,   // the certificate does not decode
    kKey,           // not an RSA PrivateKeyInfo, or a modulus too short for the algorithm
    kMismatch,      // the key does not belong to the certificate
    kRandom,
    kMalformed,     // not SignedData, or an algorithm or form not supported
    kSignature,     // a signature or the content's digest does not match
    kSignerUnknown, // a signer's certificate is not among those carried
    kTrust,         // a signer's certificate has no valid path in the store (SignerTrust::result)
    kMemory,
};

// Where PKCS7_VerifyDer checks each signer's certificate after its signature.
struct SignerTrust {
    TrustStore* store;
    int64_t at;
    uint32_t flags;
    TrustResult result;  // the first failing signer's verdict
};

// SignedData version 1 over `data`: digestAlgorithms the hash (parameters absent), the content
// as pkcs7-data unless detached, the certificate as given, one SignerInfo naming the signer by
// the certificate's issuer and serial exactly as encoded, with the signed attributes
// contentType, signingTime (`now`) and messageDigest unless kSignedNoAttributes; the signature
// algorithm rsaEncryption (NULL parameters) or RSASSA-PSS with its parameters.
SignedError PKCS7_SignDer(uint32_t flags, const uint8_t* certificate, size_t certificate_length, const uint8_t* key,
                          size_t key_length, const RsaSignScheme& scheme, const uint8_t* data, size_t data_length,
                          std::time_t now, MemBlock* out, uint32_t* out_length);

// Checks every signer of a SignedData (bare or in a ContentInfo) against the certificate the
// SignedData carries for it (by issuer and serial, or by subject key identifier). The content is
// the one inside, or `detached` when there is none (a non-null `detached` must equal the content
// inside when both are there). With signed attributes, contentType must name the content's type
// and messageDigest hold its digest. On success *content gets the content and *signer the first
// signer's certificate (either may be null).
// With `trust`, every signer's certificate is then verified in its store, the certificates the
// SignedData carries lent to it as untrusted intermediates.
SignedError PKCS7_VerifyDer(const uint8_t* der, size_t length, const uint8_t* detached, size_t detached_length,
                            bool has_detached, MemBytes* content, MemBytes* signer, SignerTrust* trust = nullptr);

}  // namespace quillon
