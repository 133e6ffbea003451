// The block buffering and final padding shared by the SHA-2 hashes: whole blocks go straight
// from the input to the compression function, the rest waits in the context's block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/mem.h"

namespace quillon {

// The end of a SHA-2 compression: the working variables added into the chaining value.
template <class Word>
inline void MD_AddWorking(Word* chaining, Word a, Word b, Word c, Word d, Word e, Word f, Word g, Word h) {
    chaining[0] += a;
    chaining[1] += b;
    chaining[2] += c;
    chaining[3] += d;
    chaining[4] += e;
    chaining[5] += f;
    chaining[6] += g;
    chaining[7] += h;
}

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

// Starts a context of the SHA-2 shape (chaining, bit_count, buffered, digest_size) on its
// initial chaining value.
template <class Context, class Word, size_t N>
uint32_t MD_Start(Context* context, const Word (&initial)[N], uint32_t digest_size) {
    if (!context) return 0;
    std::memcpy(context->chaining, initial, sizeof initial);
    context->bit_count = 0;
    context->buffered = 0;
    context->digest_size = digest_size;
    return 1;
}

// One-shot digest through a context on the stack, which is wiped afterwards: its state and
// last block follow from the input, which may be secret.
template <class Context>
uint32_t MD_OneShot(uint32_t (*init)(Context*), uint32_t (*update)(Context*, const uint8_t*, size_t),
                    uint32_t (*final)(Context*, uint8_t*), const uint8_t* data, size_t length, uint8_t* digest) {
    Context context;
    const uint32_t ok = init(&context) && update(&context, data, length) && final(&context, digest);
    MEM_Wipe(&context, sizeof context);
    return ok ? 1 : 0;
}

}  // namespace quillon
