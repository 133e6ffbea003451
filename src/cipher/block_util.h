// Byte-order helpers and the padded-message layer shared by the block ciphers' CBC modes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/mem.h"

namespace quillon {

inline uint32_t LoadBe32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}

inline void StoreBe32(uint8_t* p, uint32_t v) {
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

// Encrypting appends p = kBlock - length % kBlock bytes of value p (1..kBlock), so the output
// needs length + kBlock bytes. Decrypting removes as many bytes as the last one says; like the
// peers that produce these messages it checks no other pad byte, and a last byte of 0 keeps the
// full length. `blocks(out, in, n)` is the context's whole-block CBC routine.
template <size_t kBlock, class BlocksFn>
int CbcPadded(bool encrypt, BlocksFn blocks, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
    static_assert(kBlock > 0 && kBlock < 256, "the pad count must fit in a byte");
    if (!out || !out_length || (!in && length > 0)) return 0;
    if (encrypt) {
        if (length > SIZE_MAX - kBlock) return 0;
        const size_t whole = length - length % kBlock;
        const size_t pad = kBlock - length % kBlock;
        if (whole > 0 && !blocks(out, in, whole)) return 0;
        // The tail and its padding are built on the stack: no copy of the plaintext on the heap.
        uint8_t last[kBlock];
        if (length > whole) std::memcpy(last, in + whole, length - whole);
        std::memset(last + (length - whole), static_cast<int>(pad), pad);
        const int ok = blocks(out + whole, last, kBlock);
        MEM_Wipe(last, sizeof last);
        if (!ok) return 0;
        *out_length = whole + kBlock;
        return 1;
    }
    // Anything but whole blocks, or a pad count longer than the message, is not a padded message.
    if (length == 0 || length % kBlock != 0) return 0;
    if (!blocks(out, in, length)) return 0;
    const size_t pad = out[length - 1];
    if (pad > length) return 0;
    *out_length = length - pad;
    return 1;
}

}  // namespace quillon
