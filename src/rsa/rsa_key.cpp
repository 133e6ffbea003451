// RSA key records and key-pair generation.
#include "rsa/rsa_key.h"

#include <utility>

#include "core/mem.h"
#include "bignum/bignum.h"
#include "bignum/bn_mont.h"
#include "cipher/random.h"
#include "rsa/rsa_prime.h"

namespace quillon {

namespace {

constexpr int kDistinctPrimeDraws = 3;

bool IsOne(const BigNum* a) { return a->used == 1 && a->words[0] == 1; }

// gcd(prime - 1, e) == 1, using scratch for prime - 1 and the gcd.
int CoprimeToE(const BigNum* prime, const BigNum* e, BigNum* scratch, BigNum* gcd) {
    if (!BIGNUM_Sub(scratch, prime, BIGNUM_One()) || !BIGNUM_Gcd(gcd, scratch, e)) return -1;
    return IsOne(gcd) ? 1 : 0;
}

}  // namespace

RsaKey* RSAKEY_New() { return MEM_New<RsaKey>(); }

int RSAKEY_Clear(RsaKey* key) {
    if (!key) return 0;
    for (BigNum* component : {key->n, key->e, key->d, key->p, key->dP, key->q, key->dQ, key->qInv}) {
        BIGNUM_Free(component);
    }
    // Released here too, so that clearing a key never strands its context.
    BIGNUM_CTX_Free(key->ctx);
    RSAKEY_DropCache(key);
    *key = RsaKey{};
    return 0;
}

void RSAKEY_DropCache(RsaKey* key) {
    if (!key) return;
    for (BigNumMont** mont : {&key->mont_n, &key->mont_p, &key->mont_q}) {
        BIGNUM_MONT_Free(*mont);
        *mont = nullptr;
    }
    RSAKEY_DropBlinding(key);
}

void RSAKEY_DropBlinding(RsaKey* key) {
    if (!key) return;
    MEM_Free(key->blinding);
    key->blinding = nullptr;
    key->blinding_size = 0;
    key->blinding_uses = 0;
}

void RSAKEY_Free(RsaKey* key) {
    if (!key) return;
    RSAKEY_Clear(key);
    MEM_Free(key);
}

int RSAKEY_SetComponents(RsaKey* key, const BigNum* n, const BigNum* e, const BigNum* d, const BigNum* p,
                         const BigNum* q, const BigNum* dP, const BigNum* dQ, const BigNum* qInv) {
    if (!key) return 0;
    RSAKEY_Clear(key);
    if (!n) return 0;
    bool ok = true;
    auto copy = [&ok](BigNum*& field, const BigNum* value) {
        field = BIGNUM_Dup(value);
        if (!field) ok = false;
    };
    if (p && q && dP && dQ && qInv) {
        copy(key->p, p);
        copy(key->q, q);
        copy(key->dP, dP);
        copy(key->dQ, dQ);
        copy(key->qInv, qInv);
        key->present |= kRsaHasCrt;
    }
    if (d) {
        copy(key->d, d);
        key->present |= kRsaHasD;
    }
    if (e) {
        copy(key->e, e);
        key->present |= kRsaHasE;
    }
    copy(key->n, n);
    key->present |= kRsaHasN;
    if (!ok) {
        RSAKEY_Clear(key);
        return 0;
    }
    return 1;
}

int RSAKEY_Generate(RsaKey* key, const BigNum* e, int bits) {
    // An even e shares the factor 2 with every p - 1: generation would never end.
    if (!key || !e || BIGNUM_NumBits(e) < 2 || !BIGNUM_IsBitSet(e, 0)) return 0;
    if (bits < kRsaMinKeyBits || bits > kRsaMaxKeyBits) return 0;

    // Until generation completes the key claims nothing, so a failure leaves no usable half key.
    key->present = 0;
    RSAKEY_DropCache(key);
    for (BigNum** field : {&key->n, &key->e, &key->d, &key->p, &key->dP, &key->q, &key->dQ, &key->qInv}) {
        if (!*field && !(*field = BIGNUM_New())) return 0;
    }
    if (!BIGNUM_Copy(key->e, e)) return 0;

    RandomGeneratorPtr rng(RANDOM_New());
    if (!rng || RANDOM_Seed(rng.get(), nullptr, 0, nullptr, 0) != 1) return 0;
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    BigNumPtr p_minus_1(BIGNUM_New()), q_minus_1(BIGNUM_New()), phi(BIGNUM_New()), gcd(BIGNUM_New());
    if (!ctx || !p_minus_1 || !q_minus_1 || !phi || !gcd) return 0;

    const int bits_p = (bits + 1) / 2;
    const int bits_q = bits - bits_p;
    for (;;) {
        if (!RSA_GeneratePrime(key->p, bits_p, ctx.get(), rng.get())) return 0;
        const int coprime = CoprimeToE(key->p, e, p_minus_1.get(), gcd.get());
        if (coprime < 0) return 0;
        if (coprime) break;
    }
    for (;;) {
        int draws = 0;
        do {
            if (draws++ == kDistinctPrimeDraws) return 0;
            if (!RSA_GeneratePrime(key->q, bits_q, ctx.get(), rng.get())) return 0;
        } while (BIGNUM_Cmp(key->q, key->p) == 0);
        const int coprime = CoprimeToE(key->q, e, q_minus_1.get(), gcd.get());
        if (coprime < 0) return 0;
        if (coprime) break;
    }
    if (BIGNUM_Cmp(key->p, key->q) < 0) std::swap(key->p, key->q);

    if (!BIGNUM_Mul(key->n, key->p, key->q, ctx.get()) || !BIGNUM_Sub(p_minus_1.get(), key->p, BIGNUM_One()) ||
        !BIGNUM_Sub(q_minus_1.get(), key->q, BIGNUM_One()) ||
        !BIGNUM_Mul(phi.get(), p_minus_1.get(), q_minus_1.get(), ctx.get()) ||
        !BIGNUM_ModInverse(key->d, e, phi.get()) ||
        !BIGNUM_Div(nullptr, key->dP, key->d, p_minus_1.get(), ctx.get()) ||
        !BIGNUM_Div(nullptr, key->dQ, key->d, q_minus_1.get(), ctx.get()) ||
        !BIGNUM_ModInverse(key->qInv, key->q, key->p)) {
        return 0;
    }
    key->present = kRsaGenerated;
    return 1;
}

}  // namespace quillon
