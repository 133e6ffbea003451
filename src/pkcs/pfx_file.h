// PFX files under a password, as browsers and operating systems import and export a
// certificate with its key: reading any common shape, writing the current and the legacy one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// What stopped a PFX import or export; the exports map these to their documented codes.
enum class PfxError {
    kNone,
    kMalformed,    // not a PFX this library reads: structure, version, MAC or bag scheme
    kIntegrity,    // the MAC does not match: a wrong password or a changed file
    kDecrypt,      // an empty password, or a bag that does not decrypt under the password
    kUndecodable,  // a key or certificate that does not decode
    kAlgorithm,    // a key of another algorithm than rsaEncryption or KCDSA1
    kMismatch,     // no certificate in the file belongs to the key, or the pair given does not match
    kEncrypt,
    kRandom,
    kEncode,
    kMemory,
};

// Iterations of every derivation a written PFX uses (the MAC's and both bags').
inline constexpr uint32_t kPfxIterations = 2048;
// Bags read from one file, nested ones included; ContentInfos in its authenticated safe.
inline constexpr int kPfxMaxBags = 64;
inline constexpr int kPfxMaxParts = 16;

// Reads a PFX (the first element within `length` bytes). The MAC is checked before anything is
// decrypted: HMAC under the PKCS#12 derivation with SHA-1/224/256/384/512, or PBMAC1 (PBKDF2
// with an HMAC PRF, HMAC with any of those hashes). Safe contents plain or encrypted; key
// bags plain or shrouded under every scheme the key files accept; certificate bags of X.509
// certificates. The first key found is taken, with the certificate whose localKeyID equals
// its own and whose public key is the key's, else the first certificate whose public key is.
// A randomNum bag attribute is carried into a key that has none. The certificate's DER and the
// key's PrivateKeyInfo (the library's encoding) go to *certificate and *key, both written
// only on success.
PfxError PFX_ImportDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t length,
                       MemBytes* certificate, MemBytes* key);

// Writes a certificate and its PrivateKeyInfo (encrypted exactly as given) as a PFX, both
// bags with localKeyID = SHA-1 of the certificate, kPfxIterations everywhere, random salts:
// by default the key under PBES2 (PBKDF2 with HMAC-SHA256, AES-256-CBC), the certificate in
// encrypted safe contents under the same scheme, and an HMAC-SHA256 MAC; `legacy` gives
// pbeWithSHAAnd3-KeyTripleDES-CBC, pbeWithSHAAnd40BitRC2-CBC and an HMAC-SHA1 MAC.
PfxError PFX_ExportDer(const uint8_t* password, size_t password_length, const uint8_t* certificate,
                       size_t certificate_length, const uint8_t* key, size_t key_length, bool legacy, MemBytes* out);

}  // namespace quillon
