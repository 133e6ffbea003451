// Probable primes: a random candidate with its two top bits set, a sieve over the first
// 2,047 odd primes on one-word remainders, then Miller-Rabin with witnesses from the
// generator.
#include "rsa/rsa_prime.h"

#include <cstring>

#include "core/mem.h"
#include "bignum/bignum.h"
#include "bignum/bn_mont.h"
#include "cipher/random.h"
#include "rsa/small_primes.h"

namespace quillon {

namespace {

constexpr size_t kSeedMaterial = 40;  // 20 bytes of seed, then 20 of xseed

// A generator seeded from RANDOM_Bytes, for callers that bring none.
RandomGenerator* NewSeededGenerator() {
    RandomGeneratorPtr rng(RANDOM_New());
    if (!rng) return nullptr;
    uint8_t material[kSeedMaterial];
    const bool ok = RANDOM_Bytes(material, sizeof material) == 1 &&
                    RANDOM_Seed(rng.get(), material, 20, material + 20, 20) == 1;
    MEM_Wipe(material, sizeof material);
    return ok ? rng.release() : nullptr;
}

// Uses the caller's generator and context, or makes (and later releases) its own.
struct Resources {
    BigNumContext* ctx = nullptr;
    RandomGenerator* rng = nullptr;
    BigNumContextPtr own_ctx;
    RandomGeneratorPtr own_rng;
    bool Acquire(BigNumContext* given_ctx, RandomGenerator* given_rng) {
        rng = given_rng;
        if (!rng) {
            own_rng.reset(NewSeededGenerator());
            rng = own_rng.get();
        }
        ctx = given_ctx;
        if (!ctx) {
            own_ctx.reset(BIGNUM_CTX_New());
            ctx = own_ctx.get();
        }
        return rng && ctx;
    }
};

constexpr uint32_t kSieveDeltaLimit = 0xFFFFFFFFu - kLargestSmallPrime;

// Smallest even delta such that candidate + delta has no factor in the table and
// candidate + delta - 1 no odd one; false when none is found below the limit.
bool SieveDelta(const uint16_t* remainders, uint32_t& delta) {
    for (uint32_t d = 0; d <= kSieveDeltaLimit; d += 2) {
        size_t i = 1;
        for (; i < kSmallPrimeCount; ++i) {
            if ((remainders[i] + d) % kSmallPrimes[i] <= 1) break;
        }
        if (i == kSmallPrimeCount) {
            delta = d;
            return true;
        }
    }
    return false;
}

}  // namespace

int RSA_PrimeChecksForSize(int bits) {
    if (bits >= 1300) return 3;
    if (bits >= 850) return 4;
    if (bits >= 650) return 5;
    if (bits >= 550) return 6;
    if (bits >= 450) return 7;
    if (bits >= 400) return 8;
    if (bits >= 350) return 9;
    if (bits >= 300) return 10;
    if (bits >= 250) return 13;
    if (bits >= 200) return 16;
    if (bits >= 150) return 20;
    return 38;
}

int RSA_GeneratePrime(BigNum* out, int bits, BigNumContext* ctx, RandomGenerator* rng) {
    if (!out || bits < kRsaMinPrimeBits || bits > kRsaMaxPrimeBits) return 0;
    Resources res;
    if (!res.Acquire(ctx, rng)) return 0;
    const int checks = RSA_PrimeChecksForSize(bits);
    const size_t len = (static_cast<size_t>(bits) + 7) / 8;
    const int b = (bits - 1) % 8;

    uint8_t candidate[kRsaMaxPrimeBits / 8];
    uint16_t remainders[kSmallPrimeCount];
    int result = 0;
    for (;;) {
        if (RANDOM_Generate(res.rng, candidate, len) != 1) break;
        if (b != 0) {
            // Keep the prime at exactly `bits` bits: clear what lies above, set the top two.
            candidate[0] &= static_cast<uint8_t>((1u << (b + 1)) - 1);
            candidate[0] |= static_cast<uint8_t>(3u << (b - 1));
        } else {
            candidate[0] = 1;
            candidate[1] |= 0x80;
        }
        candidate[len - 1] |= 1;
        if (!BIGNUM_FromBytes(candidate, static_cast<uint32_t>(len), out)) break;

        // Two table primes multiply to less than 2^32: one big-number pass serves both.
        for (size_t i = 1; i + 1 < kSmallPrimeCount; i += 2) {
            const uint32_t both = BIGNUM_ModWord(out, uint32_t{kSmallPrimes[i]} * kSmallPrimes[i + 1]);
            remainders[i] = static_cast<uint16_t>(both % kSmallPrimes[i]);
            remainders[i + 1] = static_cast<uint16_t>(both % kSmallPrimes[i + 1]);
        }
        if (kSmallPrimeCount % 2 == 0) {
            remainders[kSmallPrimeCount - 1] =
                static_cast<uint16_t>(BIGNUM_ModWord(out, kSmallPrimes[kSmallPrimeCount - 1]));
        }
        uint32_t delta = 0;
        if (!SieveDelta(remainders, delta)) continue;
        if (!BIGNUM_AddWord(out, delta)) break;
        // A candidate at the very top of the range can be pushed past it by delta.
        if (BIGNUM_NumBits(out) != bits) continue;

        int verdict = 1;
        for (int i = 0; i < checks && verdict == 1; ++i) {
            verdict = RSA_IsProbablePrime(out, checks, res.ctx, res.rng);
        }
        if (verdict == 0) break;
        if (verdict == 1) {
            result = 1;
            break;
        }
    }
    MEM_Wipe(candidate, sizeof candidate);
    MEM_Wipe(remainders, sizeof remainders);
    return result;
}

int RSA_IsProbablePrime(const BigNum* a, int checks, BigNumContext* ctx, RandomGenerator* rng) {
    if (!a || a->used == 0) return 0;
    if (a->used == 1 && a->words[0] == 2) return 1;
    if (!BIGNUM_IsBitSet(a, 0)) return -1;
    // 1 is not prime, and a - 1 = 0 has no odd part to test with.
    if (a->used == 1 && a->words[0] == 1) return -1;
    if (checks <= 1) return -1;

    Resources res;
    if (!res.Acquire(ctx, rng)) return 0;
    BigNumPtr a_minus_1(BIGNUM_New()), m(BIGNUM_New()), w(BIGNUM_New()), x(BIGNUM_New());
    if (!a_minus_1 || !m || !w || !x) return 0;
    if (!BIGNUM_Sub(a_minus_1.get(), a, BIGNUM_One())) return 0;

    int s = 1;
    while (!BIGNUM_IsBitSet(a_minus_1.get(), s)) ++s;
    if (!BIGNUM_RShift(m.get(), a_minus_1.get(), s)) return 0;

    const size_t witness_len = (static_cast<size_t>(BIGNUM_NumBits(a_minus_1.get())) + 7) / 8;
    MemBlock witness(static_cast<uint8_t*>(MEM_Alloc(witness_len)));
    if (!witness) return 0;
    // One Montgomery context serves every witness of this candidate.
    BigNumMontPtr mont(BIGNUM_MONT_New(a, false));
    if (!mont) return 0;

    for (int count = 1; count < checks; ++count) {
        do {
            if (RANDOM_Generate(res.rng, witness.get(), witness_len) != 1) return 0;
            if (!BIGNUM_FromBytes(witness.get(), static_cast<uint32_t>(witness_len), w.get())) return 0;
            if (BIGNUM_Cmp(w.get(), a_minus_1.get()) > 0) {
                if (!BIGNUM_Div(nullptr, x.get(), w.get(), a_minus_1.get(), res.ctx)) return 0;
                w.swap(x);
            }
        } while (w->used == 0);

        if (!BIGNUM_ModExpMont(x.get(), w.get(), m.get(), mont.get())) return 0;
        if (x->used == 1 && x->words[0] == 1) continue;
        bool passed = false;
        for (int j = 0; j < s; ++j) {
            if (BIGNUM_Cmp(x.get(), a_minus_1.get()) == 0) {
                passed = true;
                break;
            }
            if (j + 1 < s && !BIGNUM_ModMulMont(x.get(), x.get(), x.get(), mont.get())) return 0;
        }
        if (!passed) return -1;
    }
    return 1;
}

}  // namespace quillon
