// CERT_* exports: load a DER certificate and read its basic fields as text or bytes.
#include <cstring>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "api/export_guard.h"
#include "core/mem.h"
#include "quilloncrypto.h"
#include "x509/cert_text.h"
#include "x509/ext_text.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"

using namespace quillon;

namespace {

// The public handle is opaque: the same object seen from outside.
quillon::X509Cert* Internal(::X509Cert* cert) { return reinterpret_cast<quillon::X509Cert*>(cert); }

const X509Tbs* TbsOf(::X509Cert* cert) { return cert ? Internal(cert)->tbs : nullptr; }

int32_t GetName(::X509Cert* cert, int32_t size, char* buffer, bool subject) {
    const X509Tbs* tbs = TbsOf(cert);
    if (!tbs || !buffer) return QC_ERR_NULL_ARGUMENT;
    const int written = X509Name_ToText(subject ? tbs->subject : tbs->issuer, buffer, size);
    return written > 0 ? QC_OK : (written < 0 ? QC_ERR_ALLOC : QC_ERR_BUFFER_TOO_SMALL);
}

}  // namespace

extern "C" QUILLON_API int32_t CERT_Load(::X509Cert** out, const BINSTR* der) {
    return GuardCode([&]() -> int32_t {
        if (!out || !der) return QC_ERR_NULL_ARGUMENT;
        *out = nullptr;
        // Bounded by what the caller says it holds, whatever the DER header claims.
        DerElementPtr element(der->data ? DER_Parse(der->data, der->length) : nullptr);
        if (!element) return QC_ERR_MALFORMED_DER;
        quillon::X509Cert* cert = nullptr;
        if (!X509_Decode(element.get(), &cert)) return QC_ERR_CERT_DECODE;
        *out = reinterpret_cast<::X509Cert*>(cert);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_Unload(::X509Cert* cert) {
    return GuardCode([&]() -> int32_t {
        if (!cert) return QC_ERR_NULL_ARGUMENT;
        X509_Free(Internal(cert));
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetVersion(::X509Cert* cert, uint32_t* version) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !version) return QC_ERR_NULL_ARGUMENT;
        *version = tbs->version & 0xFF;
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetSerialNum(::X509Cert* cert, int32_t size, char* buffer) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !buffer) return QC_ERR_NULL_ARGUMENT;
        const int bytes = (BIGNUM_NumBits(tbs->serialNumber) + 7) / 8;
        if (bytes >= size) return QC_ERR_BUFFER_TOO_SMALL;
        return X509_AppendHex(tbs->serialNumber, buffer, 0, size) < 0 ? QC_ERR_CERT_DECODE : QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetSignatureAlgorithm(::X509Cert* cert, int32_t size, char* buffer) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !buffer) return QC_ERR_NULL_ARGUMENT;
        const char* name = OBJ_Row(OBJ_NidFromValue(tbs->signature))->long_name;
        const size_t length = std::strlen(name);
        if (size <= 0 || length >= static_cast<size_t>(size)) return QC_ERR_BUFFER_TOO_SMALL;
        std::memcpy(buffer, name, length + 1);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetSubjectName(::X509Cert* cert, int32_t size, char* buffer) {
    return GuardCode([&] { return GetName(cert, size, buffer, true); });
}

extern "C" QUILLON_API int32_t CERT_GetIssuerName(::X509Cert* cert, int32_t size, char* buffer) {
    return GuardCode([&] { return GetName(cert, size, buffer, false); });
}

extern "C" QUILLON_API int32_t CERT_GetValidity(::X509Cert* cert, char* not_before, char* not_after) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !not_before || !not_after) return QC_ERR_NULL_ARGUMENT;
        if (!tbs->validity) return QC_ERR_CERT_DECODE;
        if (!X509_TimeText(tbs->validity->notBefore, not_before)) return QC_ERR_CERT_DECODE;
        return X509_TimeText(tbs->validity->notAfter, not_after) ? QC_OK : QC_ERR_CERT_DECODE;
    });
}

extern "C" QUILLON_API int32_t CERT_GetSubjectName_DERFormat(::X509Cert* cert, BINSTR* out) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !out) return QC_ERR_NULL_ARGUMENT;
        BINSTR_Delete(out);
        // The subject as the certificate holds it: a rebuilt name would lose the further
        // values of a multi-valued RDN.
        if (!tbs->subjectDer) return QC_ERR_ENCODE_EMPTY;
        uint8_t* bytes = nullptr;
        const int32_t length = DER_ToBytes(tbs->subjectDer, &bytes);
        if (length <= 0) return QC_ERR_ALLOC;
        out->data = bytes;
        out->length = static_cast<uint32_t>(length);
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetPubKey(::X509Cert* cert, int32_t size, char* algorithm, char* key_text) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !algorithm || !key_text) return QC_ERR_NULL_ARGUMENT;
        const X509PubKey* key = tbs->subjectPublicKeyInfo;
        if (!key) return QC_ERR_CERT_DECODE;
        const int nid = OBJ_NidFromValue(key->algorithm);
        // Only the two accepted algorithms reach here; both long names fit in 14 bytes.
        std::strcpy(algorithm, OBJ_Row(nid)->long_name);
        if (size < 2) return QC_ERR_BUFFER_TOO_SMALL;
        if (nid == NID_RSA_ENCRYPTION && key->rsaKey)
            return X509_RsaKeyText(key->rsaKey, key_text, size) ? QC_OK : QC_ERR_BUFFER_TOO_SMALL;
        if (nid == NID_KCDSA1 && key->kcdsaParams)
            return X509_KcdsaKeyText(key->kcdsaParams, key_text, size) ? QC_OK : QC_ERR_BUFFER_TOO_SMALL;
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CERT_GetSignature(::X509Cert* cert, int32_t size, char* buffer) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !buffer) return QC_ERR_NULL_ARGUMENT;
        const AsnValue* signature = Internal(cert)->signatureValue;
        const uint32_t length = signature && signature->data ? signature->length : 0;
        const uint8_t* bytes = length ? signature->data : nullptr;
        return X509_HexText(bytes, length, buffer, size) ? QC_OK : QC_ERR_BUFFER_TOO_SMALL;
    });
}

// ---- extension queries ------------------------------------------------------------------

namespace {

int32_t ExtTextCode(ExtText result) {
    switch (result) {
        case ExtText::kDone: return QC_OK;
        case ExtText::kAbsent: return QC_ERR_EXTENSION_ABSENT;
        case ExtText::kMalformed: return QC_ERR_MALFORMED_DER;
        case ExtText::kTooSmall: return QC_ERR_BUFFER_TOO_SMALL;
        case ExtText::kNoMemory: break;
    }
    return QC_ERR_ALLOC;
}

int32_t ExtensionText(::X509Cert* cert, int32_t size, char* buffer, ExtQuery query) {
    return GuardCode([&]() -> int32_t {
        const X509Tbs* tbs = TbsOf(cert);
        if (!tbs || !buffer) return QC_ERR_NULL_ARGUMENT;
        return ExtTextCode(X509Ext_Text(tbs->extensions, query, buffer, size));
    });
}

}  // namespace

extern "C" QUILLON_API int32_t CERT_GetKeyUsage(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::KeyUsage);
}

extern "C" QUILLON_API int32_t CERT_GetBasicConstraints(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::BasicConstraints);
}

extern "C" QUILLON_API int32_t CERT_GetCertPolicy(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::CertPolicy);
}

extern "C" QUILLON_API int32_t CERT_GetCertPolicy_PolicyID(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::CertPolicyIds);
}

extern "C" QUILLON_API int32_t CERT_GetExtKeyUsage(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::ExtKeyUsage);
}

extern "C" QUILLON_API int32_t CERT_GetSubjectAltName(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::SubjectAltName);
}

extern "C" QUILLON_API int32_t CERT_GetAuthKeyID(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::AuthKeyId);
}

extern "C" QUILLON_API int32_t CERT_GetSubKeyID(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::SubjectKeyId);
}

extern "C" QUILLON_API int32_t CERT_GetCRLDP(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::CrlDistPoints);
}

extern "C" QUILLON_API int32_t CERT_GetCRLDP_URL(::X509Cert* cert, int32_t size, char* buffer) {
    return ExtensionText(cert, size, buffer, ExtQuery::CrlUrls);
}
