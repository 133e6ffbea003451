// The result code of a trust-store verdict, shared by the TRUST_* and PKCS7_* exports.
#pragma once

#include <cstdint>

#include "trust/trust_store.h"
#include "quilloncrypto.h"

namespace quillon {

inline int32_t TrustCode(TrustResult result) {
    switch (result) {
        case TrustResult::kValid: return QC_OK;
        case TrustResult::kValidity: return QC_ERR_TRUST_VALIDITY;
        case TrustResult::kSignature: return QC_ERR_TRUST_SIGNATURE;
        case TrustResult::kIssuer: return QC_ERR_TRUST_ISSUER;
        case TrustResult::kNotCa: return QC_ERR_TRUST_NOT_CA;
        case TrustResult::kPathLength: return QC_ERR_TRUST_PATH_LENGTH;
        case TrustResult::kKeyUsage: return QC_ERR_TRUST_KEY_USAGE;
        case TrustResult::kCritical: return QC_ERR_TRUST_CRITICAL;
        case TrustResult::kRevoked: return QC_ERR_TRUST_REVOKED;
        case TrustResult::kNoCrl: return QC_ERR_TRUST_NO_CRL;
        case TrustResult::kCrlInvalid: return QC_ERR_TRUST_CRL_INVALID;
        case TrustResult::kUnsupported: return QC_ERR_TRUST_CRL_UNSUPPORTED;
        case TrustResult::kUnsupportedAlgorithm: return QC_ERR_MALFORMED_DER;
        case TrustResult::kMalformed: return QC_ERR_CERT_DECODE;
        case TrustResult::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

}  // namespace quillon
