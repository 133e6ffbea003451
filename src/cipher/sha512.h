// SHA-384 and SHA-512: the streaming context, its operations and the one-shot digests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kSha384DigestSize = 48;
constexpr size_t kSha512DigestSize = 64;
constexpr size_t kSha512BlockSize = 128;

// Plain record, copied by assignment to save and restore a hash state.
struct Sha512Context {
    uint64_t chaining[8];
    uint8_t block[kSha512BlockSize];
    uint64_t bit_count;    // bits compressed so far (messages below 2^61 bytes)
    uint32_t buffered;     // valid bytes in block, 0..128
    uint32_t digest_size;  // 48 or 64
};

// All return 1 for success and 0 for failure (null pointers, a corrupted buffered count).
uint32_t SHA512_Init(Sha512Context* context);
uint32_t SHA384_Init(Sha512Context* context);
// Both variants continue with these.
uint32_t SHA512_Update(Sha512Context* context, const uint8_t* data, size_t length);
// Writes digest_size bytes; the context is spent afterwards.
uint32_t SHA512_Final(Sha512Context* context, uint8_t* digest);
// Compresses one 128-byte block into the chaining words.
uint32_t SHA512_Transform(Sha512Context* context, const uint8_t* block);
uint32_t SHA512_Digest(const uint8_t* data, size_t length, uint8_t* digest);
uint32_t SHA384_Digest(const uint8_t* data, size_t length, uint8_t* digest);

// Compression of `count` consecutive blocks; the dispatcher picks the AVX2 path when the CPU and
// the operating system support it (64-bit x86 only). The variants are exposed so that tests
// can hold them against each other; call Sha512CompressAvx2 only where Sha512HaveAvx2() holds.
void Sha512CompressPortable(uint64_t chaining[8], const uint8_t* blocks, size_t count);
void Sha512CompressAvx2(uint64_t chaining[8], const uint8_t* blocks, size_t count);
bool Sha512HaveAvx2();
// Test hook: force the portable compression everywhere (false restores detection).
void Sha512ForcePortable(bool portable);

}  // namespace quillon
