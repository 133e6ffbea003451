// The virtual identifier (VID) of a Korean personal certificate: read from the identification
// data in its subjectAltName, and checked against an identity number and the randomNum of the
// holder's private key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct X509Cert;

// Identity numbers are ASCII digits only; longer ones are refused before anything is hashed.
inline constexpr size_t kVidIdnMax = 64;
// Random numbers are 20 bytes in practice; far longer ones are refused rather than hashed.
inline constexpr size_t kVidRandomMax = 1024;

enum class VidResult {
    kMatch,      // found (or, for a check, equal)
    kMismatch,   // the check computed another value
    kAbsent,     // no subjectAltName, or no identification data carrying a VID
    kMalformed,  // the subjectAltName does not decode, two VIDs, or a hash the check cannot use
    kMemory,
};

// The VID of the first subjectAltName: the one identifyData otherName whose first userInfo is
// of type VID (1.2.410.200004.10.1.1.1). Its hash's NID (0 for one not in the object table)
// and a copy of the virtualID go to *hash_nid and *virtual_id, written only on kMatch.
VidResult X509_GetVid(const X509Cert* cert, int* hash_nid, MemBytes* virtual_id);

// Whether virtualID = H(H(DER(SEQUENCE { idn PrintableString, randomNum BIT STRING }))) with H
// the VID's hash, SHA-1 or SHA-256 (another gives kMalformed), the BIT STRING holding
// `random` with no unused bits. The caller has checked `idn` (digits, at most kVidIdnMax).
// Everything derived from the number lives in wiped memory; the comparison is constant-time.
VidResult X509_CheckVid(const X509Cert* cert, const char* idn, size_t idn_length, const uint8_t* random,
                        size_t random_length);

}  // namespace quillon
