// PKCS7_EncryptData, PKCS7_DecryptData, PKCS7_SignData, PKCS7_VerifyData, PKCS7_VerifyDataWithStore:
// code shape.
#include <ctime>
#include <utility>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/trust_codes.h"
#include "pkcs/pkcs7_envelope.h"
#include "pkcs/pkcs7_open.h"
#include "pkcs/pkcs7_signed.h"
#include "rsa/rsa_sign.h"
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

int32_t SignedCode(SignedError error) {
    switch (error) {
        case SignedError::kNone: return QC_OK;
        case SignedError::kCertificate: return QC_ERR_CERT_DECODE;
        case SignedError::kKey: return QC_ERR_KEY_INVALID;
        case SignedError::kMismatch: return QC_ERR_KEY_MISMATCH;
        case SignedError::kRandom: return QC_ERR_RANDOM;
        case SignedError::kMalformed: return QC_ERR_MALFORMED_DER;
        case SignedError::kSignature: return QC_ERR_SIGNATURE;
        case SignedError::kSignerUnknown: return QC_ERR_SIGNER_UNKNOWN;
        case SignedError::kTrust: break;  // the caller reports the store's verdict
        case SignedError::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

constexpr int32_t kSignFlags = QC_PKCS7_DETACHED | QC_PKCS7_NO_ATTRIBUTES | QC_PKCS7_BARE;
static_assert(QC_PKCS7_DETACHED == kSignedDetached && QC_PKCS7_NO_ATTRIBUTES == kSignedNoAttributes &&
              QC_PKCS7_BARE == kSignedBare);

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

extern "C" QUILLON_API int32_t PKCS7_SignData(int32_t flags, const BINSTR* certificate, const BINSTR* plain,
                                              int32_t algorithm, const BINSTR* data, BINSTR* output) {
    if (!BINSTR_IsReadable(certificate) || !BINSTR_IsReadable(plain) || !BINSTR_IsReadable(data) || !output ||
        (flags & ~kSignFlags))
        return QC_ERR_NULL_ARGUMENT;
    RsaSignScheme scheme;
    if (!RSA_SchemeFromNid(algorithm, &scheme)) return QC_ERR_MALFORMED_DER;
    return GuardCode([&] {
        MemBlock der;
        uint32_t length = 0;
        const SignedError result =
            PKCS7_SignDer(static_cast<uint32_t>(flags), certificate->data, certificate->length, plain->data,
                          plain->length, scheme, data->data, data->length, std::time(nullptr), &der, &length);
        if (result == SignedError::kNone) BINSTR_Adopt(output, der.release(), length);
        return SignedCode(result);
    });
}

namespace {

int32_t VerifySigned(const BINSTR* signed_data, const BINSTR* detached, SignerTrust* trust, BINSTR* content_out,
                     BINSTR* signer_out) {
    return GuardCode([&] {
        MemBytes content, signer;
        const SignedError result = PKCS7_VerifyDer(
            signed_data->data, signed_data->length, detached ? detached->data : nullptr, detached ? detached->length : 0,
            detached != nullptr, content_out ? &content : nullptr, signer_out ? &signer : nullptr, trust);
        if (result == SignedError::kNone) {
            for (auto [bytes, record] : {std::pair{&content, content_out}, std::pair{&signer, signer_out}}) {
                const uint32_t length = bytes->length;
                if (record) BINSTR_Adopt(record, bytes->Release(), length);
            }
        }
        return result == SignedError::kTrust ? TrustCode(trust->result) : SignedCode(result);
    });
}

}  // namespace

extern "C" QUILLON_API int32_t PKCS7_VerifyData(const BINSTR* signed_data, const BINSTR* detached,
                                                BINSTR* content_out, BINSTR* signer_out) {
    if (!BINSTR_IsReadable(signed_data) || (detached && !BINSTR_IsReadable(detached))) return QC_ERR_NULL_ARGUMENT;
    return VerifySigned(signed_data, detached, nullptr, content_out, signer_out);
}

extern "C" QUILLON_API int32_t PKCS7_VerifyDataWithStore(const BINSTR* signed_data, const BINSTR* detached,
                                                         ::TrustStore* store, int64_t at, uint32_t flags,
                                                         BINSTR* content_out, BINSTR* signer_out) {
    if (!BINSTR_IsReadable(signed_data) || (detached && !BINSTR_IsReadable(detached)) || !store ||
        (flags & ~uint32_t{QC_TRUST_REQUIRE_CRL | QC_TRUST_IGNORE_VALIDITY}))
        return QC_ERR_NULL_ARGUMENT;
    SignerTrust trust{reinterpret_cast<quillon::TrustStore*>(store),
                      at ? at : static_cast<int64_t>(std::time(nullptr)), flags, TrustResult::kValid};
    return VerifySigned(signed_data, detached, &trust, content_out, signer_out);
}
