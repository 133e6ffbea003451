// The library's random generator: FIPS 186-2 style rounds over a SHA-1 chaining state,
// seeded from operating-system entropy and a process-wide 20-byte pool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct BigNum;
struct Sha1Context;

struct RandomGenerator {
    BigNum* xkey;         // secret state; null before seeding or after a failed seeding
    BigNum* xseed;        // constant for the life of a seeding
    Sha1Context* hash;    // running SHA-1 state that every round continues
    uint32_t hash_size;   // bytes of *hash, wiped on release
    uint32_t seeded;      // 0xFFFFFFFF once seeding has begun
};

constexpr uint32_t kRandomSeeded = 0xFFFFFFFFu;
constexpr size_t kRandomPoolSize = 20;
constexpr uint32_t kRandomMinSeed = 20;
constexpr uint32_t kRandomMaxSeed = 64;

RandomGenerator* RANDOM_New();
void RANDOM_Clear(RandomGenerator* rng);
void RANDOM_Free(RandomGenerator* rng);
using RandomGeneratorPtr = Owned<RandomGenerator, RANDOM_Free>;
// Seed and xseed may each be null: the generator then builds them from OS entropy (and,
// for xseed, the pool). Given both, the stream is fully determined by them. 1 or 0.
int RANDOM_Seed(RandomGenerator* rng, const uint8_t* seed, uint32_t seed_len, const uint8_t* xseed,
                uint32_t xseed_len);
int RANDOM_Generate(RandomGenerator* rng, uint8_t* out, size_t length);
// One-shot draw: fresh generator seeded from entropy and the pool; folds 20 bytes back into the pool.
int RANDOM_Bytes(uint8_t* out, size_t length);

// The runtime-style 15-bit linear congruential generator (per thread).
void LCG_Srand(uint32_t seed);
uint32_t LCG_Rand();

// Fills `out` from the operating system's entropy source; false if it is unavailable.
bool RANDOM_SystemEntropy(uint8_t* out, size_t length);

// Test hooks: copy out / overwrite the pool (under its lock).
void RANDOM_PoolSnapshot(uint8_t out[kRandomPoolSize]);
void RANDOM_PoolReplace(const uint8_t in[kRandomPoolSize]);
// Test hook: while set, a generator seeded without material of its own takes seed and xseed
// from these 40 bytes instead of entropy, so key generation repeats itself exactly (and its
// keys are predictable: tests only). Null restores entropy.
void RANDOM_FixSelfSeedingForTesting(const uint8_t* material);

}  // namespace quillon
