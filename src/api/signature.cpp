// PRIKEY_Sign, CERT_VerifyData, CERT_VerifyIssuedBy: code shape. Inputs are read within their
// lengths; the signature output is replaced only once signing has succeeded.
#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "cipher/digest.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"
#include "rsa/rsa_sign.h"
#include "x509/x509_verify.h"

using namespace quillon;

namespace {

int32_t CheckCode(SignatureCheck check) {
    switch (check) {
        case SignatureCheck::kValid: return QC_OK;
        case SignatureCheck::kInvalid: return QC_ERR_SIGNATURE;
        case SignatureCheck::kUnsupported: return QC_ERR_MALFORMED_DER;
        case SignatureCheck::kMemory: break;
    }
    return QC_ERR_ALLOC;
}

const quillon::X509Cert* Decoded(::X509Cert* cert) {
    const auto* internal = reinterpret_cast<const quillon::X509Cert*>(cert);
    return internal && internal->tbs ? internal : nullptr;
}

}  // namespace

extern "C" QUILLON_API int32_t PRIKEY_Sign(const BINSTR* plain, int32_t algorithm, const BINSTR* data,
                                           BINSTR* signature) {
    return GuardCode([&]() -> int32_t {
        if (!plain || !BINSTR_IsReadable(data) || !signature) return QC_ERR_NULL_ARGUMENT;
        RsaSignScheme scheme;
        if (!RSA_SchemeFromNid(algorithm, &scheme)) return QC_ERR_MALFORMED_DER;
        uint8_t digest[kDigestMaxSize];
        if (!DIGEST_Compute(scheme.hash, data->data, data->length, digest)) return QC_ERR_ALLOC;
        MemBytes out;
        const KeyError result =
            plain->data ? PRIKEY_SignDigestDer(plain->data, plain->length, scheme, digest, &out) : KeyError::kUndecodable;
        return KEY_Deliver(result, &out, signature);
    });
}

extern "C" QUILLON_API int32_t CERT_VerifyData(::X509Cert* cert, int32_t algorithm, const BINSTR* data,
                                               const BINSTR* signature) {
    return GuardCode([&]() -> int32_t {
        const quillon::X509Cert* decoded = Decoded(cert);
        if (!decoded || !BINSTR_IsReadable(data) || !BINSTR_IsReadable(signature)) return QC_ERR_NULL_ARGUMENT;
        RsaSignScheme scheme;
        if (!RSA_SchemeFromNid(algorithm, &scheme)) return QC_ERR_MALFORMED_DER;
        return CheckCode(X509_VerifyData(decoded, scheme, data->data, data->length, signature->data, signature->length));
    });
}

extern "C" QUILLON_API int32_t CERT_VerifyIssuedBy(::X509Cert* cert, ::X509Cert* issuer) {
    return GuardCode([&]() -> int32_t {
        const quillon::X509Cert* decoded = Decoded(cert);
        const quillon::X509Cert* signer = Decoded(issuer);
        if (!decoded || !signer) return QC_ERR_NULL_ARGUMENT;
        return CheckCode(X509_VerifyIssuedBy(decoded, signer));
    });
}
