// Montgomery arithmetic for odd moduli on machine-word limbs (64-bit where the compiler has a
// 128-bit product, 32-bit otherwise), and the exponentiations built on it.
//
// The limb kernels have no branch and no memory index that depends on the values they work on,
// only on lengths, so secret operands (RSA primes, private exponents) may pass through them.
#pragma once

#include <cstdint>

#include "bignum/bignum.h"
#include "core/mem.h"

namespace quillon {

#if defined(__SIZEOF_INT128__)
using Limb = uint64_t;
using DLimb = unsigned __int128;
#else
using Limb = uint32_t;
using DLimb = uint64_t;
#endif
constexpr int kLimbBits = 8 * static_cast<int>(sizeof(Limb));
constexpr int kWordsPerLimb = static_cast<int>(sizeof(Limb) / sizeof(uint32_t));

// One odd modulus m of n limbs, with R = 2^(n * kLimbBits).
struct BigNumMont {
    int limbs;
    Limb n0;     // -m^-1 mod 2^kLimbBits
    Limb* m;     // n limbs
    Limb* rr;    // R^2 mod m
    Limb* one;   // R mod m: one in Montgomery form
    Limb* rr52;  // R'^2 mod m, R' = 2^(52 d) for the d 52-bit digits of the IFMA path; null without it
    const BigNum* source;  // the record the context was made from, and its length then
    int32_t source_used;
};

// Null for an even or zero modulus, or when allocation fails. With `secret` the modulus is a
// prime of a private key: R^2 mod m is then found by doublings rather than a division.
BigNumMont* BIGNUM_MONT_New(const BigNum* m, bool secret);
void BIGNUM_MONT_Free(BigNumMont* mont);
using BigNumMontPtr = Owned<BigNumMont, BIGNUM_MONT_Free>;
// Whether `mont` was made from the record m as it is now sized (a cheap staleness check for caches).
bool BIGNUM_MONT_IsFor(const BigNumMont* mont, const BigNum* m);

// r = a^p mod m for any a; sliding window, so its timing follows the bits of p. r may alias.
int BIGNUM_ModExpMont(BigNum* r, const BigNum* a, const BigNum* p, const BigNumMont* mont);
// r = a^p mod m by a fixed window whose table entries are read by masks: for secret exponents.
int BIGNUM_ModExpSecret(BigNum* r, const BigNum* a, const BigNum* p, const BigNumMont* mont);
// r = a * b mod m for a, b of any size.
int BIGNUM_ModMulMont(BigNum* r, const BigNum* a, const BigNum* b, const BigNumMont* mont);

// ---- limb level (arrays of mont->limbs limbs unless said otherwise) --------------------------
// Limbs needed as scratch by the MONT_* operations below for a modulus of n limbs.
int MONT_ScratchLimbs(int n);
// Table and scratch of MONT_ExpSecret and MONT_ExpPublic.
int MONT_ExpSecretScratchLimbs(int n);
int MONT_ExpPublicScratchLimbs(int n);

// out[0..n) = the words of a, zero-padded; a must fit in n limbs.
void LIMBS_FromBigNum(Limb* out, int n, const BigNum* a);
// r = the value of a[0..n); normalised.
int LIMBS_ToBigNum(BigNum* r, const Limb* a, int n);
// out[0..len) big-endian bytes of a[0..n), the top cut or zero-padded to len.
void LIMBS_ToBytes(uint8_t* out, int len, const Limb* a, int n);
// r[0..na+nb) = a * b.
void LIMBS_Mul(Limb* r, const Limb* a, int na, const Limb* b, int nb);
// a[0..n) += b[0..nb) for nb <= n; returns the carry.
Limb LIMBS_Add(Limb* a, int n, const Limb* b, int nb);
// Masked copy: r = mask ? a : r, mask all ones or zero.
void LIMBS_Select(Limb* r, const Limb* a, int n, Limb mask);
// All ones when a[0..n) == b[0..n), else zero.
Limb LIMBS_EqualMask(const Limb* a, const Limb* b, int n);

// r = a * b * R^-1 mod m (a, b below m; a may be up to R when b is below m).
void MONT_Mul(const BigNumMont* mont, Limb* r, const Limb* a, const Limb* b, Limb* scratch);
// r = a * R mod m for a of any length a_limbs: the Montgomery form of a, reduced. r must not
// overlap a.
void MONT_ToMont(const BigNumMont* mont, Limb* r, const Limb* a, int a_limbs, Limb* scratch);
// r = a * R^-1 mod m: back from Montgomery form.
void MONT_FromMont(const BigNumMont* mont, Limb* r, const Limb* a, Limb* scratch);
// r = a - b mod m, a and b below m.
void MONT_SubMod(const BigNumMont* mont, Limb* r, const Limb* a, const Limb* b);
// r = base^p in Montgomery form (base in Montgomery form), p of p_limbs limbs read as a whole:
// fixed 5- or 6-bit windows, every table entry read for each window.
void MONT_ExpSecret(const BigNumMont* mont, Limb* r, const Limb* base, const Limb* p, int p_limbs, Limb* scratch);
// The same for a public exponent (p non-zero): sliding window, timing follows the bits of p only.
void MONT_ExpPublic(const BigNumMont* mont, Limb* r, const Limb* base, const BigNum* p, Limb* scratch);

// AVX-512 IFMA exponentiation for moduli of 16 and 32 limbs, when the processor has it:
// r = x^p mod m for x below m (normal form), fixed window with masked table reads.
bool IFMA_Usable(int limbs);
// Test hook: contexts made while disabled take the portable path.
void IFMA_SetEnabled(bool enabled);
void IFMA_Exp(const BigNumMont* mont, Limb* r, const Limb* x, const Limb* p, int p_limbs);
// Two such exponentiations interleaved (the CRT halves), moduli of one size and exponents of
// p_limbs limbs each; false, doing nothing, when the vector path does not serve both.
bool IFMA_ExpPair(const BigNumMont* mont1, Limb* r1, const Limb* x1, const Limb* p1, const BigNumMont* mont2, Limb* r2,
                  const Limb* x2, const Limb* p2, int p_limbs);

}  // namespace quillon
