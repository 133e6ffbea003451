// SHA-224 and SHA-256: the streaming context, its operations and the one-shot digests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kSha224DigestSize = 28;
constexpr size_t kSha256DigestSize = 32;
constexpr size_t kSha256BlockSize = 64;

// Plain record, copied by assignment to save and restore a hash state.
struct Sha256Context {
    uint32_t chaining[8];
    uint8_t block[kSha256BlockSize];
    uint64_t bit_count;    // bits compressed so far
    uint32_t buffered;     // valid bytes in block, 0..64
    uint32_t digest_size;  // 28 or 32
};

// All return 1 for success and 0 for failure (null pointers, a corrupted buffered count).
uint32_t SHA256_Init(Sha256Context* context);
uint32_t SHA224_Init(Sha256Context* context);
// Both variants continue with these.
uint32_t SHA256_Update(Sha256Context* context, const uint8_t* data, size_t length);
// Writes digest_size bytes; the context is spent afterwards.
uint32_t SHA256_Final(Sha256Context* context, uint8_t* digest);
// Compresses one 64-byte block into the chaining words.
uint32_t SHA256_Transform(Sha256Context* context, const uint8_t* block);
uint32_t SHA256_Digest(const uint8_t* data, size_t length, uint8_t* digest);
uint32_t SHA224_Digest(const uint8_t* data, size_t length, uint8_t* digest);

// Compression of `count` consecutive blocks; the dispatcher picks the CPU's SHA instructions
// when present. The variants are exposed so that tests can hold them against each other.
void Sha256CompressPortable(uint32_t chaining[8], const uint8_t* blocks, size_t count);
void Sha256CompressShaExtensions(uint32_t chaining[8], const uint8_t* blocks, size_t count);
// Test hook: force the portable compression everywhere (false restores detection).
void Sha256ForcePortable(bool portable);

}  // namespace quillon
