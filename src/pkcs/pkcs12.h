// The PKCS#12 form of the certificate exchange: the certificate and private key in one
// secret bag, SEED-CBC under the session key with the fixed IV, and an HMAC-SHA1 keyed from
// the session key and a random salt over the whole authSafe ContentInfo.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "core/mem.h"
#include "exchange/cert_exchange.h"  // CertKeyPair
#include "pkcs/pkcs7.h"

namespace quillon {

struct BigNum;

struct MacData {
    AsnValue* digestAlgorithm;  // OBJECT IDENTIFIER, dotted text
    AsnValue* digest;           // OCTET STRING
    AsnValue* macSalt;          // OCTET STRING
    BigNum* iterations;         // or null
};

struct Pfx {
    BigNum* version;
    MacData* macData;
    ContentInfo* authSafe;
};

struct SafeBag {
    AsnValue* bagId;  // OBJECT IDENTIFIER, dotted text
    CertKeyPair* bagValue;
};

inline constexpr size_t kPfxKeySize = 16;    // bytes of the session key used
inline constexpr size_t kPfxMacSize = 20;    // HMAC-SHA1
inline constexpr size_t kPfxSaltSize = 8;

void MACDATA_Free(MacData* mac);
int MACDATA_Encode(const MacData* mac, DerElement* element);
int MACDATA_Decode(const DerElement* element, MacData** out);

void PFX_Free(Pfx* pfx);
int PFX_Encode(const Pfx* pfx, DerElement* element);
// Items 0 (INTEGER), 1 (the authSafe ContentInfo) and 2 (MacData), and no others.
int PFX_Decode(const DerElement* element, Pfx** out);

void SAFEBAG_Free(SafeBag* bag);
// SafeContents holding exactly this one bag.
int SAFECONTENTS_Encode(const SafeBag* bag, DerElement* element);
// The first bag of a SafeContents; its identifier is not examined.
int SAFECONTENTS_Decode(const DerElement* element, SafeBag** out);

using MacDataPtr = Owned<MacData, MACDATA_Free>;
using PfxPtr = Owned<Pfx, PFX_Free>;
using SafeBagPtr = Owned<SafeBag, SAFEBAG_Free>;

// The PFX for a certificate and key under `key`, in a new MEM_ buffer; its length, or 0.
int32_t PFX_Seal(const uint8_t key[kPfxKeySize], const uint8_t* certificate, uint32_t certificate_length,
                 const uint8_t* private_key, uint32_t private_key_length, uint8_t** out);
// Opens the PFX at `bytes` (no length: the element's own header bounds it, up to
// kDerUnsizedMax). The MAC must be exactly 20 bytes and match, compared in constant time,
// before anything is decrypted. 1 with the pair in *out; -1 when the MAC does not hold; 0 for
// anything else.
int PFX_Open(const uint8_t key[kPfxKeySize], const uint8_t* bytes, CertKeyPair** out);

}  // namespace quillon
