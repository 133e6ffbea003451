// PKCS7_EncryptData: code shape.
#include "api/export_guard.h"
#include "pkcs/pkcs7_envelope.h"
#include "quilloncrypto.h"

using namespace quillon;

extern "C" QUILLON_API int32_t PKCS7_EncryptData(int32_t mode, const BINSTR* certificate, const BINSTR* data,
                                                 BINSTR* output) {
    if (!certificate || !data || !output) return QC_ERR_NULL_ARGUMENT;
    // An empty data record is empty data; a length without bytes is not.
    if (!data->data && data->length) return QC_ERR_NULL_ARGUMENT;
    return GuardCode([&] {
        return PKCS7_EnvelopeDer(mode, certificate->data, certificate->length, data->data, data->data ? data->length : 0,
                                 output);
    });
}
