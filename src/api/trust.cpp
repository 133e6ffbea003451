// TRUST_*: the trust store. Code shape, but for TRUST_Create (a handle), TRUST_Free,
// TRUST_GetPathLength (a count) and TRUST_GetRevocationReason.
#include <ctime>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/trust_codes.h"
#include "trust/trust_store.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

quillon::TrustStore* Internal(::TrustStore* store) { return reinterpret_cast<quillon::TrustStore*>(store); }

int32_t AddCode(TrustAdd result, int32_t malformed) {
    switch (result) {
        case TrustAdd::kAdded: return QC_OK;
        case TrustAdd::kMalformed: return malformed;
        case TrustAdd::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

int32_t AddCertificates(::TrustStore* store, const BINSTR* cert, bool trusted) {
    if (!store || !BINSTR_IsReadable(cert)) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        return AddCode(TRUST_AddCertificates(Internal(store), cert->data, cert->length, trusted, nullptr),
                       QC_ERR_CERT_DECODE);
    });
}

}  // namespace

extern "C" QUILLON_API ::TrustStore* TRUST_Create(void) {
    return GuardExport<::TrustStore*>(nullptr, [] { return reinterpret_cast<::TrustStore*>(TRUST_New()); });
}

extern "C" QUILLON_API void TRUST_Free(::TrustStore* store) { quillon::TRUST_Free(Internal(store)); }

extern "C" QUILLON_API int32_t TRUST_AddTrusted(::TrustStore* store, const BINSTR* cert) {
    return AddCertificates(store, cert, true);
}

extern "C" QUILLON_API int32_t TRUST_AddUntrusted(::TrustStore* store, const BINSTR* cert) {
    return AddCertificates(store, cert, false);
}

extern "C" QUILLON_API int32_t TRUST_AddCrl(::TrustStore* store, const BINSTR* crl) {
    if (!store || !BINSTR_IsReadable(crl)) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        return AddCode(TRUST_AddCrls(Internal(store), crl->data, crl->length, nullptr), QC_ERR_MALFORMED_DER);
    });
}

extern "C" QUILLON_API int32_t TRUST_AddFolder(::TrustStore* store, const char* path) {
    if (!store || !path) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&]() -> int32_t {
        int count = 0;
        switch (quillon::TRUST_AddFolder(Internal(store), path, &count)) {
            case TrustFolder::kRead: return count;
            case TrustFolder::kUnreadable: return QC_ERR_FILE_READ;
            case TrustFolder::kMemory: break;
        }
        return QC_ERR_ALLOC;
    });
}

extern "C" QUILLON_API int32_t TRUST_Verify(::TrustStore* store, const BINSTR* cert, int64_t at, uint32_t flags) {
    if (!store || !BINSTR_IsReadable(cert) || (flags & ~uint32_t{QC_TRUST_REQUIRE_CRL | QC_TRUST_IGNORE_VALIDITY}))
        return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        const int64_t when = at ? at : static_cast<int64_t>(std::time(nullptr));
        return TrustCode(TRUST_VerifyCertificate(Internal(store), cert->data, cert->length, when, flags));
    });
}

extern "C" QUILLON_API int32_t TRUST_GetPathLength(::TrustStore* store) {
    if (!store) return 0;
    return static_cast<int32_t>(TRUST_PathLength(Internal(store)));
}

extern "C" QUILLON_API int32_t TRUST_GetPathCert(::TrustStore* store, int32_t index, BINSTR* der) {
    if (!store || !der) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        const Bytes* bytes = index < 0 ? nullptr : TRUST_PathCertificate(Internal(store), static_cast<size_t>(index));
        if (!bytes) return QC_ERR_BUFFER_TOO_SMALL;
        return BINSTR_Replace(der, bytes->data(), static_cast<uint32_t>(bytes->size())) ? QC_OK : QC_ERR_ALLOC;
    });
}

extern "C" QUILLON_API int32_t TRUST_GetRevocationReason(::TrustStore* store) {
    return store ? TRUST_RevocationReason(Internal(store)) : -1;
}
