// PFX_Import, PFX_Export: code shape.
#include <cstring>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "pkcs/pfx_file.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

int32_t PfxCode(PfxError error) {
    switch (error) {
        case PfxError::kNone: return QC_OK;
        case PfxError::kMalformed: return QC_ERR_MALFORMED_DER;
        case PfxError::kIntegrity:
        case PfxError::kDecrypt: return QC_ERR_DECRYPT_KEY;
        case PfxError::kUndecodable:
        case PfxError::kAlgorithm: return QC_ERR_KEY_INVALID;
        case PfxError::kMismatch: return QC_ERR_KEY_MISMATCH;
        case PfxError::kEncrypt: return QC_ERR_ENCRYPT_KEY;
        case PfxError::kRandom: return QC_ERR_RANDOM;
        case PfxError::kEncode: return QC_ERR_ENCODE_EMPTY;
        case PfxError::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

// A failure that an exhausted allocation could have caused is reported as one.
template <class Body>
PfxError BlameMemory(Body&& body) {
    return MEM_BlameExhaustion(PfxError::kMemory,
                               {PfxError::kMalformed, PfxError::kIntegrity, PfxError::kDecrypt,
                                PfxError::kUndecodable, PfxError::kAlgorithm, PfxError::kMismatch,
                                PfxError::kEncrypt, PfxError::kRandom, PfxError::kEncode},
                               body);
}

}  // namespace

extern "C" QUILLON_API int32_t PFX_Import(const char* password, const BINSTR* pfx, BINSTR* certificate, BINSTR* key) {
    return GuardCode([&]() -> int32_t {
        if (!password || !BINSTR_IsReadable(pfx) || !certificate || !key) return QC_ERR_NULL_ARGUMENT;
        if (!pfx->data) return QC_ERR_MALFORMED_DER;
        MemBytes cert, plain;
        const PfxError error = BlameMemory([&] {
            return PFX_ImportDer(PasswordBytes(password), std::strlen(password), pfx->data, pfx->length, &cert, &plain);
        });
        if (error != PfxError::kNone) return PfxCode(error);
        const uint32_t cert_length = cert.length, key_length = plain.length;
        BINSTR_Adopt(certificate, cert.Release(), cert_length);
        BINSTR_Adopt(key, plain.Release(), key_length);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t PFX_Export(const char* password, const BINSTR* certificate, const BINSTR* key,
                                          int32_t flags, BINSTR* pfx) {
    return GuardCode([&]() -> int32_t {
        if (!password || !BINSTR_IsReadable(certificate) || !BINSTR_IsReadable(key) || !pfx ||
            (flags & ~QC_PFX_LEGACY) != 0)
            return QC_ERR_NULL_ARGUMENT;
        if (!certificate->data || !key->data) return QC_ERR_KEY_INVALID;
        MemBytes out;
        const PfxError error = BlameMemory([&] {
            return PFX_ExportDer(PasswordBytes(password), std::strlen(password), certificate->data, certificate->length,
                                 key->data, key->length, (flags & QC_PFX_LEGACY) != 0, &out);
        });
        if (error != PfxError::kNone) return PfxCode(error);
        const uint32_t length = out.length;
        BINSTR_Adopt(pfx, out.Release(), length);
        return QC_OK;
    });
}
