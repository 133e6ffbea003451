// PKCS7_EncryptData, PKCS7_DecryptData: code shape.
#include "api/binstr.h"
#include "api/export_guard.h"
#include "pkcs/pkcs7_envelope.h"
#include "pkcs/pkcs7_open.h"
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

int32_t OpenCode(OpenError error) {
    switch (error) {
        case OpenError::kNone: return QC_OK;
        case OpenError::kCertificate: return QC_ERR_CERT_DECODE;
        case OpenError::kKey: return QC_ERR_KEY_INVALID;
        case OpenError::kMalformed: return QC_ERR_MALFORMED_DER;
        case OpenError::kNotRecipient: return QC_ERR_NOT_RECIPIENT;
        case OpenError::kDecrypt: return QC_ERR_DECRYPT;
        case OpenError::kRandom: return QC_ERR_RANDOM;
        case OpenError::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

}  // namespace

extern "C" QUILLON_API int32_t PKCS7_EncryptData(int32_t mode, const BINSTR* certificate, const BINSTR* data,
                                                 BINSTR* output) {
    // An empty data record is empty data; a length without bytes is not.
    if (!certificate || !BINSTR_IsReadable(data) || !output) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBlock der;
        uint32_t length = 0;
        const EnvelopeError result = PKCS7_EnvelopeDer(mode, certificate->data, certificate->length, data->data,
                                                       data->data ? data->length : 0, &der, &length);
        if (result == EnvelopeError::kNone) BINSTR_Adopt(output, der.release(), length);
        return EnvelopeCode(result);
    });
}

extern "C" QUILLON_API int32_t PKCS7_DecryptData(const BINSTR* plain, const BINSTR* certificate,
                                                 const BINSTR* enveloped, BINSTR* output) {
    if (!BINSTR_IsReadable(plain) || !BINSTR_IsReadable(certificate) || !BINSTR_IsReadable(enveloped) || !output) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        MemBytes content;
        const OpenError result = PKCS7_OpenEnvelopeDer(plain->data, plain->length, certificate->data,
                                                       certificate->length, enveloped->data, enveloped->length,
                                                       &content);
        if (result == OpenError::kNone) {
            const uint32_t length = content.length;
            BINSTR_Adopt(output, content.Release(), length);
        }
        return OpenCode(result);
    });
}
