// RSA signatures over a message digest: PKCS#1 v1.5 (the digest in a DigestInfo) and RSASSA-PSS
// with MGF1, with any of the library's hashes. Signing runs through the blinded, constant-time
// private operation; verification re-encodes what it expects and compares whole.
#pragma once

#include <cstdint>

namespace quillon {

struct DigestAlgorithm;
struct RsaKey;

struct RsaSignScheme {
    const DigestAlgorithm* hash;      // the message digest
    bool pss;
    const DigestAlgorithm* mgf_hash;  // PSS only: MGF1's hash
    uint32_t salt_length;             // PSS only
};

// Salt length of the PSS scheme this library signs with (SHA-256, MGF1-SHA-256).
inline constexpr uint32_t kRsaPssSaltLength = 32;
// Longest PSS salt accepted from parameters (an 8192-bit key holds less).
inline constexpr uint32_t kRsaPssMaxSalt = 1024;

// The scheme a signature-algorithm NID names: sha1/sha224/sha256/sha384/sha512WithRSAEncryption
// as PKCS#1 v1.5, RSASSA-PSS as SHA-256 with MGF1-SHA-256 and a 32-byte salt. false for others.
bool RSA_SchemeFromNid(int nid, RsaSignScheme* scheme);

enum class RsaSignError {
    kNone,
    kKeySize,  // the modulus is too short for the encoding, or the key lacks its private numbers
    kRandom,   // no salt could be drawn
    kMemory,   // an allocation failed (or the private operation did)
};

// Signs `digest` (scheme.hash->size bytes) into `signature`, exactly k bytes, k the modulus size.
RsaSignError RSA_SignDigest(RsaKey* key, const RsaSignScheme& scheme, const uint8_t* digest, uint8_t* signature,
                            uint32_t k);

// The outcome of checking a signature, here and in the layers above.
enum class SignatureCheck {
    kValid,
    kInvalid,      // not the key's signature over the data (a signature of the wrong size included)
    kUnsupported,  // an algorithm or key the library does not verify with
    kMemory,
};

// Public exponents above this size are refused by verification (real keys use 3 or 65537).
inline constexpr int kRsaMaxVerifyExponentBits = 64;

// Whether `signature` (it must be exactly the modulus size) is the key's signature over
// `digest`: kValid, kInvalid, kMemory, or kUnsupported for a key with an even modulus, an even or
// missing exponent, a modulus above kRsaMaxKeyBits or an exponent above kRsaMaxVerifyExponentBits.
SignatureCheck RSA_VerifyDigest(RsaKey* key, const RsaSignScheme& scheme, const uint8_t* digest,
                                 const uint8_t* signature, uint32_t signature_length);

}  // namespace quillon
