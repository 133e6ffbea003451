// The demo's built-in credentials: a user certificate (DER) and its password-protected
// PKCS#8 private key, as a PC stores them in signCert.der and signPri.key.
#pragma once

#include <cstddef>

namespace quillon::cli {

struct SampleBytes {
    const unsigned char* data;
    size_t size;
};

SampleBytes SampleCertificate();
SampleBytes SamplePrivateKey();

}  // namespace quillon::cli
