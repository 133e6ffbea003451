// PRIKEY_GetRandomNum, CERT_GetVID, CERT_CheckVID: code shape. The identity number is only ever
// read where the caller keeps it; nothing derived from it outlives the call unwiped.
#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"
#include "x509/x509_cert.h"
#include "x509/x509_vid.h"

using namespace quillon;

namespace {

static_assert(QC_VID_IDN_MAX == kVidIdnMax && QC_VID_RANDOM_MAX == kVidRandomMax, "the documented bounds are the checker's");

int32_t VidCode(VidResult result) {
    switch (result) {
        case VidResult::kMatch: return QC_OK;
        case VidResult::kMismatch: return QC_ERR_IDENTITY;
        case VidResult::kAbsent: return QC_ERR_EXTENSION_ABSENT;
        case VidResult::kMalformed: return QC_ERR_MALFORMED_DER;
        case VidResult::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

const quillon::X509Cert* Decoded(::X509Cert* cert) {
    const auto* internal = reinterpret_cast<const quillon::X509Cert*>(cert);
    return internal && internal->tbs ? internal : nullptr;
}

// 1 to QC_VID_IDN_MAX ASCII digits and nothing else; the length in *length. The loop runs over
// the whole text whatever it holds, so its time says nothing about where a separator is.
bool DigitsOnly(const char* idn, size_t* length) {
    size_t n = 0;
    bool digits = true;
    while (n <= kVidIdnMax && idn[n] != '\0') {
        digits &= idn[n] >= '0' && idn[n] <= '9';
        ++n;
    }
    *length = n;
    return digits && n >= 1 && n <= kVidIdnMax;
}

}  // namespace

extern "C" QUILLON_API int32_t PRIKEY_GetRandomNum(const BINSTR* plain, BINSTR* out) {
    return GuardCode([&]() -> int32_t {
        if (!BINSTR_IsReadable(plain) || !out) return QC_ERR_NULL_ARGUMENT;
        if (!plain->data) return QC_ERR_KEY_INVALID;
        MemBytes random;
        return KEY_Deliver(PRIKEY_RandomNumDer(plain->data, plain->length, &random), &random, out);
    });
}

extern "C" QUILLON_API int32_t CERT_GetVID(::X509Cert* cert, int32_t* hash_nid, BINSTR* vid) {
    return GuardCode([&]() -> int32_t {
        const quillon::X509Cert* decoded = Decoded(cert);
        if (!decoded || !hash_nid || !vid) return QC_ERR_NULL_ARGUMENT;
        int nid = 0;
        MemBytes id;
        const VidResult result = X509_GetVid(decoded, &nid, &id);
        if (result != VidResult::kMatch) return VidCode(result);
        const uint32_t length = id.length;
        BINSTR_Adopt(vid, id.Release(), length);
        *hash_nid = nid;
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_CheckVID(::X509Cert* cert, const char* idn, const BINSTR* random_num) {
    return GuardCode([&]() -> int32_t {
        const quillon::X509Cert* decoded = Decoded(cert);
        if (!decoded || !idn || !BINSTR_IsReadable(random_num)) return QC_ERR_NULL_ARGUMENT;
        size_t idn_length = 0;
        if (!DigitsOnly(idn, &idn_length) || random_num->length == 0 || random_num->length > kVidRandomMax)
            return QC_ERR_NULL_ARGUMENT;
        return VidCode(X509_CheckVid(decoded, idn, idn_length, random_num->data, random_num->length));
    });
}
