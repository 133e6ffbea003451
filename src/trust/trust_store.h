// The trust store: trusted roots, untrusted intermediates and CRLs, and the verification of a
// certificate against them. A path is built from the certificate to a trusted root through the
// pool (issuer candidates by key identifier, then by name; every link's signature checked), at
// most kTrustMaxDepth issuers long and never through the same certificate twice; each path that
// reaches a root is validated (the search goes on past one that fails, whose failure is reported
// when no other holds) as RFC 5280 section 6.1 asks without policy processing: certificate policies are decoded by the
// certificate queries but not enforced here, and policy-related extensions do not count as unknown.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct TrustStore;

inline constexpr int kTrustMaxDepth = 10;
inline constexpr size_t kFolderFileMax = 10000;  // issuers above the certificate, the root included

inline constexpr uint32_t kTrustRequireCrl = 1;      // every certificate but the root needs a CRL
inline constexpr uint32_t kTrustIgnoreValidity = 2;  // no date is checked (certificates and CRLs)

enum class TrustResult {
    kValid,
    kValidity,       // a certificate expired or not yet valid
    kSignature,      // a certificate's signature does not verify under its issuer's key
    kIssuer,         // no path to a trusted root
    kNotCa,          // an issuer is not a CA
    kPathLength,     // a pathLenConstraint exceeded, or the path longer than kTrustMaxDepth
    kKeyUsage,       // an issuer's keyUsage leaves out keyCertSign
    kCritical,       // an unknown critical extension, in a certificate or a CRL that applies
    kRevoked,
    kNoCrl,          // kTrustRequireCrl and no CRL for a certificate
    kCrlInvalid,     // the CRL expired, is not yet valid, or its signature (or issuer's cRLSign) fails
    kUnsupported,    // only a delta, indirect or partial-reasons CRL applies: not read
    kUnsupportedAlgorithm,  // the only issuers found sign with an algorithm or key not verified here
    kMalformed,      // the certificate does not decode
    kMemory,
};

enum class TrustAdd { kAdded, kMalformed, kMemory };

TrustStore* TRUST_New();
void TRUST_Free(TrustStore* store);
using TrustStorePtr = Owned<TrustStore, TRUST_Free>;

// Adds DER (one element; what follows is ignored) or PEM (every block of the label) certificates,
// trusted or not, or CRLs. *count (may be null) gets how many were added. A malformed item adds
// nothing from that input.
TrustAdd TRUST_AddCertificates(TrustStore* store, const uint8_t* bytes, size_t length, bool trusted, int* count);
TrustAdd TRUST_AddCrls(TrustStore* store, const uint8_t* bytes, size_t length, int* count);

enum class TrustFolder { kRead, kUnreadable, kMemory };
// Adds the certificates (DER or PEM) of every regular file in the folder as trusted roots, in
// name order; files that hold none are skipped, and only the first kFolderFileMax entries of the
// folder are looked at. *count gets how many were added.
TrustFolder TRUST_AddFolder(TrustStore* store, const char* folder, int* count);

// A certificate lent to one verification.
struct TrustExtra {
    const uint8_t* der;
    size_t length;
};

// Verifies the certificate (DER) at `at` (seconds since 1970, UTC) under `flags`, with `extras`
// (those that decode) as untrusted intermediates for this call only. The path found (the
// certificate first, up to the root, or as far as it reached) and the revocation reason are kept
// in the store until the next verification.
TrustResult TRUST_VerifyCertificate(TrustStore* store, const uint8_t* der, size_t length, int64_t at,
                                    uint32_t flags, const TrustExtra* extras = nullptr, size_t extra_count = 0);

size_t TRUST_PathLength(const TrustStore* store);
// The DER of the path's certificate at `index` (0 the verified one), or null past the end.
const Bytes* TRUST_PathCertificate(const TrustStore* store, size_t index);
// The CRLReason of the last revocation found (0 unspecified when the entry gives none), or -1.
int32_t TRUST_RevocationReason(const TrustStore* store);

}  // namespace quillon
