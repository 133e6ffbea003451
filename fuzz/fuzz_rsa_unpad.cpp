// The two unpaddings of a decrypted RSA block, on arbitrary blocks: the first byte picks
// PKCS#1 v1.5 (even) or OAEP (odd). Never reads past the block, never writes past the
// message bound, and a message never claims more bytes than the block held.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rsa/rsa_crypt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 + 512) return 0;
    const bool oaep = data[0] & 1;
    const uint32_t len = static_cast<uint32_t>(size - 1);
    // Exact-size copies so that any access out of bounds is caught.
    auto* block = static_cast<uint8_t*>(std::malloc(len ? len : 1));
    if (len) std::memcpy(block, data + 1, len);
    const uint32_t bound = oaep ? quillon::kRsaOaepMaxMessage : len;
    auto* out = static_cast<uint8_t*>(std::malloc(bound ? bound : 1));
    const uint32_t got = oaep ? quillon::RSA_UnpadOaep(block, len, out) : quillon::RSA_UnpadPkcs1Type2(block, len, out);
    if (got > bound || (!oaep && got + 2 > len && got != 0)) std::abort();
    std::free(out);
    std::free(block);
    return 0;
}
