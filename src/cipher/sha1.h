// SHA-1: the streaming context, its operations and the one-shot digest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kSha1DigestSize = 20;
constexpr size_t kSha1BlockSize = 64;

// Plain record, copied by assignment to save and restore a hash state.
struct Sha1Context {
    uint32_t chaining[5];
    uint8_t block[kSha1BlockSize];
    uint64_t bit_count;  // bits compressed so far; the partial block is added by SHA1_Final
    uint32_t buffered;   // valid bytes in block, 0..64
};

// All return 1 for success and 0 for failure (null pointers, a corrupted buffered count).
uint32_t SHA1_Init(Sha1Context* context);
uint32_t SHA1_Update(Sha1Context* context, const uint8_t* data, size_t length);
// Writes 20 bytes; does not reset the context.
uint32_t SHA1_Final(Sha1Context* context, uint8_t* digest);
// Compresses one 64-byte block into the chaining words.
uint32_t SHA1_Transform(Sha1Context* context, const uint8_t* block);
uint32_t SHA1_Digest(const uint8_t* data, size_t length, uint8_t* digest);

// Compression of `count` consecutive blocks; the dispatcher picks the CPU's SHA
// instructions when present. The variants are exposed so that tests can hold them
// against each other.
void Sha1CompressPortable(uint32_t chaining[5], const uint8_t* blocks, size_t count);
bool Sha1HaveShaExtensions();
void Sha1CompressShaExtensions(uint32_t chaining[5], const uint8_t* blocks, size_t count);
// Test hook: force the portable compression everywhere (false restores detection).
void Sha1ForcePortable(bool portable);

}  // namespace quillon
