// Certificate revocation lists (v1 and v2), decoded without copying their parts: the record
// keeps the encoded list and views into it. No signature or time is checked here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/der_view.h"
#include "core/mem.h"

namespace quillon {

// CRLReason values as the list gives them; kCrlNoReason when an entry carries none.
inline constexpr int32_t kCrlNoReason = -1;
inline constexpr int32_t kCrlReasonRemoveFromCrl = 8;

struct X509CrlEntry {
    const uint8_t* serial;  // the INTEGER's contents as encoded
    uint32_t serial_length;
    int32_t reason;
};

// What a list says of its own scope, and what this library does not read.
inline constexpr uint32_t kCrlDelta = 1;               // deltaCRLIndicator
inline constexpr uint32_t kCrlIndirect = 2;            // indirectCRL, or an entry's certificateIssuer
inline constexpr uint32_t kCrlUnknownCritical = 4;     // a critical extension (list or entry) not known here
inline constexpr uint32_t kCrlOnlyUserCerts = 8;
inline constexpr uint32_t kCrlOnlyCaCerts = 16;
inline constexpr uint32_t kCrlOnlySomeReasons = 32;
inline constexpr uint32_t kCrlOnlyAttributeCerts = 64;

struct X509Crl {
    uint8_t* der;  // the whole CertificateList, owned
    size_t der_size;
    uint32_t version;  // 1 or 2: the version field's value plus one, 1 when it is absent
    DerView tbs;       // TBSCertList as encoded
    DerView inner_algorithm, outer_algorithm, signature;
    DerView issuer;    // Name as encoded
    int64_t this_update, next_update;  // seconds since 1970, UTC
    bool has_next_update;
    DerView key_id;              // authorityKeyIdentifier's keyIdentifier; size 0 when absent
    DerView distribution_point;  // issuingDistributionPoint's [0] distributionPoint; size 0 when absent
    uint32_t flags;
    X509CrlEntry* entries;  // sorted for X509Crl_Find
    uint32_t entry_count;
};

// One Extension as encoded: its number under id-ce (2.5.29), or -1 for another OID; whether it
// is critical; and the element its OCTET STRING holds (which must fill it). False when malformed.
bool X509_ReadExtension(const DerView& extension, int* id_ce, bool* critical, DerView* value);

// Decodes the CertificateList at the start of the `available` bytes (what follows is ignored):
// strict DER structure, extensions only in v2, no extension twice. Null on failure.
X509Crl* X509Crl_Decode(const uint8_t* der, size_t available);
void X509Crl_Free(X509Crl* crl);
using X509CrlPtr = Owned<X509Crl, X509Crl_Free>;

// The entry for a serial number given as INTEGER contents; null when the list does not name it.
const X509CrlEntry* X509Crl_Find(const X509Crl* crl, const uint8_t* serial, uint32_t length);

}  // namespace quillon
