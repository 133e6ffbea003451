// The certificate-template check behind GenKeyPairNGenCert, on arbitrary bytes: it reads only
// within the length given, and what it accepts has the modulus and exponent where they belong.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exchange/keypair_cert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copy so that any read past the end is caught.
    auto* cert = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(cert, data, size);
    if (quillon::KEYPAIR_TemplateFits(cert, size)) {
        if (size < quillon::kTemplateMinLength + 3 || cert[303] != 0 || (cert[304] & 0x80) == 0 ||
            std::memcmp(cert + 560, "\x02\x01\x03", 3) != 0)
            std::abort();
    }
    std::free(cert);
    return 0;
}
