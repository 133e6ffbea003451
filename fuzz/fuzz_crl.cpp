// CRL decoding on arbitrary bytes: X509Crl_Decode with a look-up of every entry it found, and the
// same bytes through TRUST_AddCrl (DER or PEM). Nothing is read past the input, nothing leaks.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quilloncrypto.h"
#include "x509/x509_crl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copy so that any read past the end is caught.
    auto* bytes = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    if (quillon::X509Crl* crl = quillon::X509Crl_Decode(bytes, size)) {
        for (uint32_t i = 0; i < crl->entry_count; ++i) {
            const quillon::X509CrlEntry& entry = crl->entries[i];
            if (quillon::X509Crl_Find(crl, entry.serial, entry.serial_length) == nullptr) std::abort();
        }
        quillon::X509Crl_Free(crl);
    }
    TrustStore* store = TRUST_Create();
    BINSTR input{bytes, static_cast<uint32_t>(size)};
    TRUST_AddCrl(store, &input);
    TRUST_Free(store);
    std::free(bytes);
    return 0;
}
