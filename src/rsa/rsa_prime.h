// Probable-prime generation and the Miller-Rabin test.
#pragma once

namespace quillon {

struct BigNum;
struct BigNumContext;
struct RandomGenerator;

// Miller-Rabin parameter for a prime of `bits` bits.
int RSA_PrimeChecksForSize(int bits);
// 1 with a probable prime of `bits` bits (a multiple of 8 for an exact size) in out; 0 on failure.
// Without a generator or context, the call makes its own.
int RSA_GeneratePrime(BigNum* out, int bits, BigNumContext* ctx, RandomGenerator* rng);
// 1 probably prime, -1 composite, 0 error. Runs checks - 1 witness tests.
int RSA_IsProbablePrime(const BigNum* a, int checks, BigNumContext* ctx, RandomGenerator* rng);

constexpr int kRsaMinPrimeBits = 32;
constexpr int kRsaMaxPrimeBits = 8192;

}  // namespace quillon
