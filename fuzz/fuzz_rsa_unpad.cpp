// The two unpaddings of a decrypted RSA block, on arbitrary blocks: the first byte picks
// PKCS#1 v1.5 (even) or OAEP (odd; SHA-1 or, with bit 1 set, SHA-256). Never reads past the block, never writes past the
// message bound, and what PKCS#1 accepts is a well-formed block whose message it returns.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "rsa/rsa_crypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 + 512) return 0;
    const bool oaep = data[0] & 1;
    const uint32_t len = static_cast<uint32_t>(size - 1);
    // Exact-size copies so that any access out of bounds is caught.
    auto* block = static_cast<uint8_t*>(std::malloc(len ? len : 1));
    if (len) std::memcpy(block, data + 1, len);
    const quillon::DigestAlgorithm* hash = quillon::DIGEST_FromNid(data[0] & 2 ? quillon::NID_SHA256 : quillon::NID_SHA1);
    const uint32_t h = static_cast<uint32_t>(hash->size);
    const uint32_t bound = oaep ? (len >= 2 * h + 2 ? len - 2 * h - 2 : 0) : (len >= 11 ? len - 11 : 0);
    auto* out = static_cast<uint8_t*>(std::malloc(bound ? bound : 1));
    const uint32_t got = oaep ? quillon::RSA_UnpadOaep(block, len, hash, hash, out) : quillon::RSA_UnpadPkcs1Type2(block, len, out);
    if (got > bound) std::abort();
    if (!oaep && got != 0) {
        const uint32_t sep = len - got - 1;
        bool filler = sep >= 10;
        for (uint32_t i = 2; i < sep && filler; ++i) filler = block[i] != 0;
        if (!filler || block[0] != 0 || block[1] != 2 || block[sep] != 0 || std::memcmp(out, block + sep + 1, got) != 0)
            std::abort();
    }
    std::free(out);
    std::free(block);
    return 0;
}
