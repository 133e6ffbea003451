// The trust store over a fuzzed pool: the input is a list of items (a kind octet: 0 trusted,
// 1 untrusted, 2 CRL, 3 the certificate to verify; a two-octet big-endian length; the bytes),
// each added as its kind says, then the certificate verified with every flag combination and
// its path read back. The search must end, stay in bounds and leak nothing, whatever the pool.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "quilloncrypto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TrustStore* store = TRUST_Create();
    std::vector<unsigned char*> blocks;
    BINSTR target{nullptr, 0};
    for (size_t at = 0; at + 3 <= size && blocks.size() < 64;) {
        const uint8_t kind = data[at] & 3;
        size_t length = (size_t{data[at + 1]} << 8) | data[at + 2];
        at += 3;
        if (length > size - at) length = size - at;
        // Exact-size copies so that any read past an item is caught.
        auto* bytes = static_cast<unsigned char*>(std::malloc(length ? length : 1));
        if (length) std::memcpy(bytes, data + at, length);
        blocks.push_back(bytes);
        at += length;
        BINSTR item{bytes, static_cast<uint32_t>(length)};
        switch (kind) {
            case 0: TRUST_AddTrusted(store, &item); break;
            case 1: TRUST_AddUntrusted(store, &item); break;
            case 2: TRUST_AddCrl(store, &item); break;
            default: target = item;
        }
    }
    if (target.data) {
        for (uint32_t flags = 0; flags < 4; ++flags) {
            const int32_t result = TRUST_Verify(store, &target, 1748736000, flags);
            const int32_t length = TRUST_GetPathLength(store);
            if (result == QC_OK && length < 1) std::abort();
            for (int32_t i = 0; i < length; ++i) {
                BINSTR der;
                BINSTR_Create(&der);
                if (TRUST_GetPathCert(store, i, &der) != QC_OK) std::abort();
                BINSTR_Delete(&der);
            }
            TRUST_GetRevocationReason(store);
        }
    }
    TRUST_Free(store);
    for (unsigned char* block : blocks) std::free(block);
    return 0;
}
