// The block buffering and final padding shared by the SHA-2 hashes: whole blocks go straight
// from the input to the compression function, the rest waits in the context's block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon {

// Absorbs `length` bytes. `compress(blocks, count)` compresses whole blocks. False for a null
// pointer or a corrupted buffered count.
template <size_t kBlock, class Compress>
bool MD_Update(uint8_t (&block)[kBlock], uint32_t& buffered, uint64_t& bit_count, const uint8_t* data,
               size_t length, Compress compress) {
    if (buffered > kBlock || (length > 0 && !data)) return false;
    while (length > 0) {
        if (buffered == 0 && length >= kBlock) {
            const size_t count = length / kBlock;
            compress(data, count);
            bit_count += uint64_t{8 * kBlock} * count;
            data += count * kBlock;
            length -= count * kBlock;
            continue;
        }
        const size_t take = std::min<size_t>(kBlock - buffered, length);
        std::memcpy(block + buffered, data, take);
        buffered += static_cast<uint32_t>(take);
        data += take;
        length -= take;
        if (buffered == kBlock) {
            compress(block, 1);
            buffered = 0;
            bit_count += 8 * kBlock;
        }
    }
    return true;
}

// Appends the end marker and the message length in bits, big-endian in the block's last
// `kLengthBytes` (the bytes above 64 bits are zero), and compresses what is left.
template <size_t kBlock, size_t kLengthBytes, class Compress>
bool MD_Final(uint8_t (&block)[kBlock], uint32_t& buffered, uint64_t bit_count, Compress compress) {
    if (buffered >= kBlock) return false;
    bit_count += uint64_t{8} * buffered;
    block[buffered++] = 0x80;
    if (buffered > kBlock - kLengthBytes) {
        std::memset(block + buffered, 0, kBlock - buffered);
        compress(block, 1);
        buffered = 0;
    }
    std::memset(block + buffered, 0, kBlock - 8 - buffered);
    for (int i = 0; i < 8; ++i) block[kBlock - 1 - i] = static_cast<uint8_t>(bit_count >> (8 * i));
    compress(block, 1);
    buffered = 0;
    return true;
}

}  // namespace quillon
