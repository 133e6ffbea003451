// The private-key operations behind the PRIKEY_* exports and the key files on disk and card.
// Inputs are bounded by the lengths given; DER results come back as library-allocated bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pkcs/pkcs8.h"

namespace quillon {

struct RsaKey;
struct RsaSignScheme;

// Iterations written by PRIKEY_EncryptDer, and the salt it draws.
inline constexpr uint32_t kPrikeyIterations = 2048;

// What stopped a private-key operation; each export maps these to its documented codes.
enum class KeyError {
    kNone,
    kMalformed,    // not an EncryptedPrivateKeyInfo under a scheme this library reads
    kUndecodable,  // not a PrivateKeyInfo, or a certificate that does not decode
    kAlgorithm,    // neither rsaEncryption nor KCDSA1, or a key without its numbers
    kNoRandom,     // the randomNum attribute is not of the form required
    kAbsent,       // the key carries no such attribute
    kDecrypt,      // wrong password, damaged data, a count above the cap
    kEncrypt,
    kEncode,       // encoding the result gave nothing
    kMismatch,     // the key does not belong to the certificate
    kRandom,       // no random bytes could be drawn
    kMemory,
};

// EncryptedPrivateKeyInfo -> PrivateKeyInfo DER (the library's re-encoding) in *out, which is
// written only on success: kMalformed, kDecrypt, kAlgorithm (the password was right but the
// key is a well-formed PrivateKeyInfo of another algorithm), kEncode.
KeyError PRIKEY_DecryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                           MemBytes* out);
// PrivateKeyInfo -> EncryptedPrivateKeyInfo under scheme 73 (RSA) or 89 (KCDSA), 2,048
// iterations, 8 random salt bytes: kUndecodable, kAlgorithm, kEncrypt, kEncode.
KeyError PRIKEY_EncryptDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                           MemBytes* out);
// PrivateKeyInfo (rsaEncryption or KCDSA1, decoding as PRIKEY_EncryptDer requires) ->
// EncryptedPrivateKeyInfo under PBES2 with the PRF and cipher by NID; the caller's DER
// element is encrypted as given. kUndecodable, kEncrypt (an unknown PRF or cipher, a count
// out of range, an empty password included), kEncode.
KeyError PRIKEY_EncryptPbes2Der(const uint8_t* password, size_t password_length, const uint8_t* der,
                               size_t available, uint32_t iterations, int prf_nid, int cipher_nid, MemBytes* out);
// Certificate and PrivateKeyInfo: kUndecodable (either, or a key without its numbers), kMismatch.
KeyError PRIKEY_CheckKeyPairDer(const uint8_t* certificate, size_t certificate_length, const uint8_t* key,
                                size_t key_length);
// Cipher index of an EncryptedPrivateKeyInfo (0, 89, 70, 92) in *index: 1, or 0 when the
// input is not one of an accepted scheme.
int PRIKEY_CipherIndexDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t available,
                          int32_t* index);

// What a key file tells without its password.
struct KeyFileInfo {
    int scheme_nid;        // the scheme's NID; 0 for a plain PrivateKeyInfo
    int32_t cipher_index;  // as PRIKEY_CipherIndexDer reports; 0 for a plain key
    int random_num;        // plain key: 1 with a randomNum PRIKEY_RandomNumDer reads, else 0;
                           // encrypted: -1, the attribute lies inside
};
// An EncryptedPrivateKeyInfo under a scheme PRIKEY_CipherIndexDer accepts, or a plain
// PrivateKeyInfo (rsaEncryption or KCDSA1), described in *out: 1, or 0 for anything else.
int PRIKEY_DescribeDer(const uint8_t* der, size_t available, KeyFileInfo* out);

// Signs `digest` (the scheme's hash size) with the key of a plain PrivateKeyInfo; the
// signature, the modulus size, in *out, written only on success. kUndecodable; kAlgorithm for a
// key that is not rsaEncryption or whose modulus is too short for the scheme; kRandom; kMemory.
KeyError PRIKEY_SignDigestDer(const uint8_t* key, size_t key_length, const RsaSignScheme& scheme,
                              const uint8_t* digest, MemBytes* out);

// The randomNum attribute (1.2.410.200004.10.1.1.3) of a plain PrivateKeyInfo: the bytes of its
// one BIT STRING value after the unused-bits octet, in *out (written only on success).
// kUndecodable; kAbsent; kNoRandom for a value that is not one BIT STRING of at least one byte
// with no unused bits, or a second randomNum; kMemory.
KeyError PRIKEY_RandomNumDer(const uint8_t* key, size_t key_length, MemBytes* out);

// As PRIKEY_DecryptDer, and on success also loads the RSA key (all numbers) into *key,
// creating it when *key is null. kDecrypt for an empty password too; kAlgorithm for a key
// that is not rsaEncryption (*out and *key untouched); kMemory.
KeyError PRIKEY_DecryptToRsaKey(const uint8_t* password, size_t password_length, const uint8_t* der,
                                size_t available, MemBytes* out, RsaKey** key);

}  // namespace quillon
