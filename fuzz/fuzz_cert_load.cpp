// CERT_Load on arbitrary bytes, then every query of what loads: nothing is read past the
// input or written past a buffer's size, and nothing leaks.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quilloncrypto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copy so that any read past the end is caught.
    auto* bytes = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    BINSTR input{bytes, static_cast<uint32_t>(size)};
    X509Cert* cert = nullptr;
    if (CERT_Load(&cert, &input) == QC_OK) {
        // Sizes taken from the input so that short buffers get their turn.
        const int32_t size_hint = size ? data[0] * 8 : 1;
        auto* text = static_cast<char*>(std::malloc(size_hint));
        char before[20], after[20], algorithm[14];
        uint32_t version;
        BINSTR der;
        BINSTR_Create(&der);
        CERT_GetVersion(cert, &version);
        CERT_GetSerialNum(cert, size_hint, text);
        CERT_GetSignatureAlgorithm(cert, size_hint, text);
        CERT_GetSubjectName(cert, size_hint, text);
        CERT_GetIssuerName(cert, size_hint, text);
        CERT_GetValidity(cert, before, after);
        CERT_GetSubjectName_DERFormat(cert, &der);
        CERT_GetPubKey(cert, size_hint, algorithm, text);
        CERT_GetSignature(cert, size_hint, text);
        // Its own signature under its own key: the algorithm's parameters and the signed part.
        const int32_t verified = CERT_VerifyIssuedBy(cert, cert);
        if (verified != QC_OK && verified != QC_ERR_SIGNATURE && verified != QC_ERR_MALFORMED_DER) std::abort();
        BINSTR_Delete(&der);
        std::free(text);
        CERT_Unload(cert);
    } else if (cert != nullptr) {
        std::abort();
    }
    std::free(bytes);
    return 0;
}
