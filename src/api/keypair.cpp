// GenKeyPairNGenCert: count shape (the PEM text's length, 0 on failure).
#include "api/export_guard.h"
#include "exchange/keypair_cert.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"

using namespace quillon;

extern "C" QUILLON_API int32_t GenKeyPairNGenCert(::RsaKey** key_out, unsigned char* cert_template,
                                                  uint32_t template_length, char* pem_out) {
    if (!key_out) return 0;
    *key_out = nullptr;
    if (!cert_template || !pem_out) return 0;
    pem_out[0] = '\0';
    return GuardCount([&] {
        quillon::RsaKey* key = nullptr;
        const int32_t written = KEYPAIR_GenerateIntoTemplate(&key, cert_template, template_length, pem_out);
        *key_out = reinterpret_cast<::RsaKey*>(key);
        return written;
    });
}
