// The RSA key record: public, private and CRT components, and key-pair generation.
#pragma once

#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct BigNum;
struct BigNumContext;
struct BigNumMont;

// Bits of RsaKey::present.
constexpr int32_t kRsaHasN = 1;
constexpr int32_t kRsaHasE = 2;
constexpr int32_t kRsaHasD = 4;
constexpr int32_t kRsaHasCrt = 8;       // p, q, dP, dQ, qInv
constexpr int32_t kRsaGenerated = 31;   // what key generation stores

struct RsaKey {
    int32_t present;
    BigNum* e;
    BigNum* d;
    BigNum* n;
    BigNum* p;     // the larger prime after generation
    BigNum* dP;    // d mod (p - 1)
    BigNum* q;
    BigNum* dQ;    // d mod (q - 1)
    BigNum* qInv;  // q^-1 mod p
    int32_t is_private;
    BigNumContext* ctx;
    // Montgomery contexts of n, p and q, made on first use and dropped whenever the numbers are
    // released or regenerated. The numbers are never changed in place while they are cached.
    BigNumMont* mont_n;
    BigNumMont* mont_p;
    BigNumMont* mont_q;
    // Blinding pair of the private operations, made with mont_n and dropped with it: r^e and
    // r^-1 mod n in Montgomery form, side by side in one block of blinding_size bytes. Squared
    // after each use; blinding_uses counts the squarings since r was drawn.
    void* blinding;
    uint32_t blinding_size;
    int32_t blinding_uses;
};

RsaKey* RSAKEY_New();
// Releases every component and zeroes the record; returns 0.
int RSAKEY_Clear(RsaKey* key);
void RSAKEY_Free(RsaKey* key);
// Releases the cached Montgomery contexts and blinding pair (before the key's numbers are refilled).
void RSAKEY_DropCache(RsaKey* key);
// Wipes and releases the blinding pair alone.
void RSAKEY_DropBlinding(RsaKey* key);
using RsaKeyPtr = Owned<RsaKey, RSAKEY_Free>;
// Clears the key and stores copies of what is given (CRT numbers only when all five are).
// 0 when n is null or a copy fails.
int RSAKEY_SetComponents(RsaKey* key, const BigNum* n, const BigNum* e, const BigNum* d, const BigNum* p,
                         const BigNum* q, const BigNum* dP, const BigNum* dQ, const BigNum* qInv);
// Generates a key pair with public exponent e (odd, >= 3) and a modulus of `bits` bits.
int RSAKEY_Generate(RsaKey* key, const BigNum* e, int bits);

// Bounds on generated key sizes: below the lower one the primes would fall inside the sieve table.
constexpr int kRsaMinKeyBits = 128;
constexpr int kRsaMaxKeyBits = 16384;

}  // namespace quillon
