// QC_ErrorText: one description per result code, shared by the tool and the Python package.
#include "quilloncrypto.h"

// Static strings only: the caller may keep the pointer for as long as the library is loaded.
extern "C" QUILLON_API const char* QC_ErrorText(int32_t code) {
    switch (code) {
        case QC_OK: return "success";
        case 0: return "the operation failed (no reason reported)";
        case QC_ERR_PKCS12_INTEGRITY: return "the PKCS#12 integrity check failed";
        case QC_ERR_BUFFER_TOO_SMALL: return "the output buffer is too small, or a name cannot be converted to EUC-KR";
        case QC_ERR_NULL_ARGUMENT: return "a required pointer argument is null";
        case QC_ERR_KEY_INVALID:
            return "not a private key, an unsupported key algorithm, or a key or certificate that cannot be decoded";
        case QC_ERR_DECRYPT_KEY: return "the password is empty, or decryption failed";
        case QC_ERR_KEY_MISMATCH: return "the key does not belong to the certificate";
        case QC_ERR_ENCRYPT_KEY: return "encrypting the key failed";
        case QC_ERR_CERT_DECODE: return "the certificate cannot be decoded";
        case QC_ERR_MALFORMED_DER: return "malformed DER, or not a structure this library accepts";
        case QC_ERR_ENCODE_EMPTY: return "encoding the result gave nothing";
        case QC_ERR_EXTENSION_ABSENT: return "the certificate does not have this extension";
        case QC_ERR_FILE_READ: return "the file cannot be read";
        case QC_ERR_SIGNATURE: return "the signature does not verify";
        case QC_ERR_IDENTITY: return "the identity number does not match";
        case QC_ERR_NOT_RECIPIENT: return "the data is not addressed to this certificate";
        case QC_ERR_SIGNER_UNKNOWN: return "no certificate for a signer is carried";
        case QC_ERR_TRUST_VALIDITY: return "a certificate in the path is expired or not yet valid";
        case QC_ERR_TRUST_SIGNATURE: return "a certificate's signature does not verify under its issuer's key";
        case QC_ERR_TRUST_ISSUER: return "no path to a trusted root: an issuer certificate is not found";
        case QC_ERR_TRUST_NOT_CA: return "an issuer in the path is not a CA";
        case QC_ERR_TRUST_PATH_LENGTH: return "a path length constraint is exceeded, or the path is too long";
        case QC_ERR_TRUST_KEY_USAGE: return "an issuer's key usage does not allow certificate signing";
        case QC_ERR_TRUST_CRITICAL: return "a certificate or CRL has an unknown critical extension";
        case QC_ERR_TRUST_REVOKED: return "a certificate in the path is revoked";
        case QC_ERR_TRUST_NO_CRL: return "no CRL for a certificate in the path";
        case QC_ERR_TRUST_CRL_INVALID: return "a CRL has expired, is not yet valid, or is not signed by the issuer";
        case QC_ERR_TRUST_CRL_UNSUPPORTED: return "only a delta, indirect or partial CRL applies, which is not supported";
        case QC_ERR_ALLOC: return "out of memory";
        case QC_ERR_RANDOM: return "generating random bytes failed";
        case QC_ERR_ENCRYPT: return "encryption failed";
        case QC_ERR_DECRYPT: return "decryption failed";
        case QC_ERR_KEY_LENGTH: return "the key is not 16 bytes";
        case QC_ERR_IV_LENGTH: return "the IV is not 16 bytes";
        case QC_ERR_RSA_ENCRYPT: return "encrypting the key with RSA failed";
        case QC_ERR_CONTENT_ENCRYPT: return "encrypting the content failed";
        case QC_ERR_PCSC: return "smart-card access failed: PC/SC library, context, reader, connection or release";
        case QC_ERR_CARD_TRANSMIT: return "talking to the card failed, or the card refused a write";
        case QC_ERR_PIN: return "the card rejected the PIN";
        case QC_ERR_CARD_SELECT_MF: return "the card refused to select its master file";
        default: return "unknown result code";
    }
}
