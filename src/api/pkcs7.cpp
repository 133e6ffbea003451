// PKCS7_EncryptData: code shape.
#include "api/binstr.h"
#include "api/export_guard.h"
#include "pkcs/pkcs7_envelope.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

int32_t EnvelopeCode(EnvelopeError error) {
    switch (error) {
        case EnvelopeError::kNone: return QC_OK;
        case EnvelopeError::kCertificate: return QC_ERR_CERT_DECODE;
        case EnvelopeError::kRandom: return QC_ERR_RANDOM;
        case EnvelopeError::kKeyEncryption: return QC_ERR_RSA_ENCRYPT;
        case EnvelopeError::kContentEncryption: return QC_ERR_CONTENT_ENCRYPT;
        case EnvelopeError::kEncoding: return QC_ERR_ENCODE_EMPTY;
        case EnvelopeError::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

}  // namespace

extern "C" QUILLON_API int32_t PKCS7_EncryptData(int32_t mode, const BINSTR* certificate, const BINSTR* data,
                                                 BINSTR* output) {
    if (!certificate || !data || !output) return QC_ERR_NULL_ARGUMENT;
    // An empty data record is empty data; a length without bytes is not.
    if (!data->data && data->length) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBlock der;
        uint32_t length = 0;
        const EnvelopeError result = PKCS7_EnvelopeDer(mode, certificate->data, certificate->length, data->data,
                                                       data->data ? data->length : 0, &der, &length);
        if (result == EnvelopeError::kNone) BINSTR_Adopt(output, der.release(), length);
        return EnvelopeCode(result);
    });
}
