// RSA public and private operations with PKCS#1 v1.5 type 2 padding and OAEP unpadding.
#include "rsa/rsa_crypt.h"

#include <algorithm>
#include <cstring>

#include "core/mem.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "bignum/bn_ct.h"
#include "bignum/bn_mont.h"
#include "cipher/digest.h"
#include "cipher/random.h"
#include "rsa/rsa_key.h"

namespace quillon {

namespace {

constexpr uint32_t kPkcs1Overhead = 11;   // 00 02, at least 8 filler bytes, 00
constexpr uint32_t kOaepModulusBits = 2048;

bool HasCrt(const RsaKey* key) { return key->p && key->q && key->dP && key->dQ && key->qInv; }

// ---- constant-time byte helpers (all ones / zero masks) ------------------------------------------
inline uint32_t CtIsZero(uint32_t x) { return (((x | (0u - x)) >> 31) & 1u) - 1u; }
inline uint32_t CtEq(uint32_t a, uint32_t b) { return CtIsZero(a ^ b); }
// a < b for values below 2^31.
inline uint32_t CtLess(uint32_t a, uint32_t b) { return 0u - ((a - b) >> 31); }
inline uint32_t CtSelect(uint32_t mask, uint32_t a, uint32_t b) { return (a & mask) | (b & ~mask); }

// Moves the `len - shift` bytes from buf + shift to buf (shift < len, secret) in log steps, then
// writes the first msg_len of them to out under `good`: the addresses read and written depend on
// len alone. Bytes of out past msg_len, and all of out when not good, keep their values.
void CtCopyMessage(uint8_t* buf, uint32_t len, uint32_t shift, uint32_t msg_len, uint32_t good, uint8_t* out) {
    for (uint32_t step = 1; step < len; step <<= 1) {
        const uint32_t take = CtIsZero(shift & step) ^ 0xFFFFFFFFu;
        for (uint32_t i = 0; i + step < len; ++i) buf[i] = static_cast<uint8_t>(CtSelect(take, buf[i + step], buf[i]));
    }
    for (uint32_t i = 0; i < len; ++i) {
        const uint32_t mask = good & CtLess(i, msg_len);
        out[i] = static_cast<uint8_t>(CtSelect(mask, buf[i], out[i]));
    }
}

int LimbsOf(const BigNum* a) { return (a->used + kWordsPerLimb - 1) / kWordsPerLimb; }

// The cached Montgomery context of one of the key's moduli, made when missing or stale.
const BigNumMont* KeyMont(BigNumMont*& slot, const BigNum* m, bool secret) {
    if (!BIGNUM_MONT_IsFor(slot, m)) {
        BIGNUM_MONT_Free(slot);
        slot = BIGNUM_MONT_New(m, secret);
    }
    return slot;
}

// x (Montgomery form mod p or q) = y^exponent for y below n in normal form.
void CrtHalf(const BigNumMont* mont, Limb* x, const Limb* y, int n_limbs, const BigNum* exponent, Limb* exp,
             Limb* work) {
    const int limbs = mont->limbs;
    const int e_limbs = LimbsOf(exponent) > limbs ? LimbsOf(exponent) : limbs;
    LIMBS_FromBigNum(exp, e_limbs, exponent);
    Limb* base = work;
    MONT_ToMont(mont, base, y, n_limbs, work + limbs);
    MONT_ExpSecret(mont, x, base, exp, e_limbs, work + limbs);
    MONT_FromMont(mont, x, x, work + limbs);
}

// Uses of one blinding pair, squared after each, before a fresh r replaces it.
constexpr int32_t kBlindingUses = 32;

// Draws r and stores r^e R and r^-1 R mod n at pair[0..nn) and pair[nn..2nn).
bool FreshBlinding(const RsaKey* key, const BigNumMont* mont_n, uint32_t k, Limb* pair, Limb* t, Limb* u,
                   Limb* scratch) {
    const int nn = mont_n->limbs;
    Limb* a = pair;
    Limb* ai = pair + nn;
    // r^-1 comes from a variable-time inversion, so it inverts r s for another fresh s and
    // multiplies s back: the inversion's timing follows r s, which says nothing about r.
    MemArray<uint8_t> r_bytes(2 * static_cast<size_t>(k), true);
    BigNumPtr r(BIGNUM_New()), s(BIGNUM_New()), rs(BIGNUM_New()), rs_inv;
    if (!r_bytes || !r || !s || !rs) return false;
    do {
        if (RANDOM_Bytes(r_bytes.get(), 2 * static_cast<size_t>(k)) != 1 ||
            !BIGNUM_FromBytes(r_bytes.get(), k, r.get()) || !BIGNUM_FromBytes(r_bytes.get() + k, k, s.get()))
            return false;
        LIMBS_FromBigNum(t, nn, r.get());
        MONT_ToMont(mont_n, ai, t, nn, scratch);  // rR
        LIMBS_FromBigNum(t, nn, s.get());
        MONT_ToMont(mont_n, u, t, nn, scratch);   // sR
        MONT_Mul(mont_n, t, ai, u, scratch);      // rsR
        MONT_FromMont(mont_n, t, t, scratch);     // rs
        if (!LIMBS_ToBigNum(rs.get(), t, nn)) return false;
    } while (rs->used == 0);
    // An r s without an inverse shares a factor with n: meeting one is as likely as factoring
    // n, so a failed inversion is a failed allocation.
    rs_inv.reset(BIGNUM_ModInverse(nullptr, rs.get(), key->n));
    if (!rs_inv) return false;
    MONT_ExpPublic(mont_n, a, ai, key->e, scratch);  // r^e R
    LIMBS_FromBigNum(t, nn, rs_inv.get());
    MONT_ToMont(mont_n, ai, t, nn, scratch);         // (rs)^-1 R
    MONT_Mul(mont_n, ai, ai, u, scratch);            // (rs)^-1 s R = r^-1 R
    return true;
}

// The key's blinding pair for one operation: the last pair squared ((r^2)^e and (r^2)^-1), or a
// fresh one when there is none yet or it has served kBlindingUses times. It moves on before it
// is used, so no two operations share one even when an operation fails half-way.
const Limb* NextBlinding(RsaKey* key, const BigNumMont* mont_n, uint32_t k, Limb* t, Limb* u, Limb* scratch) {
    const int nn = mont_n->limbs;
    const uint32_t size = static_cast<uint32_t>(2 * sizeof(Limb) * nn);
    Limb* pair = static_cast<Limb*>(key->blinding);
    if (pair && key->blinding_size == size && key->blinding_uses < kBlindingUses) {
        MONT_Mul(mont_n, pair, pair, pair, scratch);
        MONT_Mul(mont_n, pair + nn, pair + nn, pair + nn, scratch);
        ++key->blinding_uses;
        return pair;
    }
    RSAKEY_DropBlinding(key);
    pair = static_cast<Limb*>(MEM_Calloc(size, 1));
    if (!pair) return nullptr;
    if (!FreshBlinding(key, mont_n, k, pair, t, u, scratch)) {
        MEM_Wipe(pair, size);
        MEM_Free(pair);
        return nullptr;
    }
    key->blinding = pair;
    key->blinding_size = size;
    key->blinding_uses = 0;
    return pair;
}

// The workspace of one private operation, carved out of one wiped array.
struct PrivateWork {
    Limb* cb;         // c, then the blinded c'
    Limb* x;          // c'^d
    Limb* t;
    Limb* u;
    Limb* xq;
    Limb* h;
    Limb* prod;       // np + nq + 2 limbs
    Limb* exp;        // 2 * exp_limbs
    int exp_limbs;
    Limb* scratch;
};

// x = c'^d mod n through the primes: x_p = c'^dP mod p, x_q = c'^dQ mod q,
// h = (x_p - x_q) qInv mod p, x = x_q + h q. False when the result is faulty (above n, or, when
// `check`, not mapping back to c' under e); the caller then takes the plain exponent.
bool CrtPrivate(const RsaKey* key, const BigNumMont* mont_n, const BigNumMont* mont_p, const BigNumMont* mont_q,
                bool check, const PrivateWork& w) {
    const int nn = mont_n->limbs, np = mont_p->limbs, nq = mont_q->limbs;
    Limb* const t = w.t;
    Limb* const u = w.u;
    Limb* const h = w.h;
    Limb* const scratch = w.scratch;
    const int half_limbs = std::max({np, nq, LimbsOf(key->dP), LimbsOf(key->dQ)});
    Limb* exp2 = w.exp + w.exp_limbs;
    LIMBS_FromBigNum(w.exp, half_limbs, key->dP);
    LIMBS_FromBigNum(exp2, half_limbs, key->dQ);
    MONT_ToMont(mont_p, t, w.cb, nn, scratch);
    MONT_FromMont(mont_p, t, t, scratch);  // c' mod p
    MONT_ToMont(mont_q, u, w.cb, nn, scratch);
    MONT_FromMont(mont_q, u, u, scratch);  // c' mod q
    // Both halves at once on the vector path where there is one, else one after the other.
    if (!IFMA_ExpPair(mont_p, h, t, w.exp, mont_q, w.xq, u, exp2, half_limbs)) {
        CrtHalf(mont_q, w.xq, w.cb, nn, key->dQ, w.exp, scratch);
        CrtHalf(mont_p, h, w.cb, nn, key->dP, w.exp, scratch);
    }
    MONT_ToMont(mont_p, t, w.xq, nq, scratch);  // x_q R mod p (q may exceed p)
    MONT_ToMont(mont_p, u, h, np, scratch);     // x_p R
    MONT_SubMod(mont_p, t, u, t);               // (x_p - x_q) R
    const int qi_limbs = LimbsOf(key->qInv);
    LIMBS_FromBigNum(w.exp, qi_limbs, key->qInv);
    MONT_ToMont(mont_p, u, w.exp, qi_limbs, scratch);  // qInv R
    MONT_Mul(mont_p, t, t, u, scratch);         // h R
    MONT_FromMont(mont_p, h, t, scratch);       // h
    LIMBS_FromBigNum(u, nq, key->q);
    Limb* const prod = w.prod;
    LIMBS_Mul(prod, h, np, u, nq);
    prod[np + nq] = prod[np + nq + 1] = 0;
    LIMBS_Add(prod, np + nq + 2, w.xq, nq);
    // Below p q = n, so it fits nn limbs; anything above would be a fault.
    Limb high = 0;
    for (int i = nn; i < np + nq + 2; ++i) high |= prod[i];
    std::memset(w.x, 0, sizeof(Limb) * nn);
    std::memcpy(w.x, prod, sizeof(Limb) * (np + nq < nn ? np + nq : nn));
    const Limb zero = 0;
    Limb ok = LIMBS_EqualMask(&high, &zero, 1);
    if (check) {
        // A faulty CRT result would give away a factor of n: it must map back to c'.
        MONT_ToMont(mont_n, u, w.x, nn, scratch);
        MONT_ExpPublic(mont_n, t, u, key->e, scratch);
        MONT_FromMont(mont_n, t, t, scratch);
        ok &= LIMBS_EqualMask(t, w.cb, nn);
    }
    // Whether the hardware faulted is no secret of the key.
    return CT_Declassify(ok) != 0;
}

}  // namespace

int RSA_PrivateBlock(RsaKey* key, const BigNum* c, uint8_t* out, uint32_t k) {
    if (!key || !c || !out || !key->n) return 0;
    const bool crt = HasCrt(key);
    if (!crt && !key->d) return 0;
    // The blinding pair belongs to the context of n it was made with.
    if (!BIGNUM_MONT_IsFor(key->mont_n, key->n)) RSAKEY_DropBlinding(key);
    const BigNumMont* mont_n = KeyMont(key->mont_n, key->n, false);
    if (!mont_n) return 0;
    const int nn = mont_n->limbs;
    if (LimbsOf(c) > nn || static_cast<int>(k) * 8 < BIGNUM_NumBits(key->n)) return 0;
    const BigNumMont* mont_p = crt ? KeyMont(key->mont_p, key->p, true) : nullptr;
    const BigNumMont* mont_q = crt ? KeyMont(key->mont_q, key->q, true) : nullptr;
    if (crt && (!mont_p || !mont_q)) return 0;
    const int np = crt ? mont_p->limbs : 0, nq = crt ? mont_q->limbs : 0;
    const int d_limbs = key->d ? LimbsOf(key->d) : 0;
    int exp_limbs = nn > d_limbs ? nn : d_limbs;
    for (const BigNum* v : {key->dP, key->dQ, key->qInv}) {
        if (crt && LimbsOf(v) > exp_limbs) exp_limbs = LimbsOf(v);
    }
    const int scratch_limbs = MONT_ExpSecretScratchLimbs(nn) + MONT_ExpPublicScratchLimbs(nn);
    MemArray<Limb> ws(static_cast<size_t>(6 * nn + np + nq + 2 + 2 * exp_limbs + scratch_limbs), true);
    if (!ws) return 0;
    PrivateWork w;
    w.cb = ws.get();
    w.x = w.cb + nn;
    w.t = w.x + nn;
    w.u = w.t + nn;
    w.xq = w.u + nn;
    w.h = w.xq + nn;
    w.prod = w.h + nn;
    w.exp = w.prod + np + nq + 2;
    w.exp_limbs = exp_limbs;
    w.scratch = w.exp + 2 * exp_limbs;
    LIMBS_FromBigNum(w.cb, nn, c);

    // Blinding: c' = c r^e, and r^-1 takes r off again afterwards, so the exponentiations never
    // see a value an attacker chose. Without e there is nothing to blind with.
    const bool blinded = key->e && BIGNUM_NumBits(key->e) > 0;
    const Limb* blind_inv = nullptr;
    if (blinded) {
        const Limb* pair = NextBlinding(key, mont_n, k, w.t, w.u, w.scratch);
        if (!pair) return 0;
        MONT_Mul(mont_n, w.cb, w.cb, pair, w.scratch);  // c r^e
        blind_inv = pair + nn;
    }

    if (!crt || !CrtPrivate(key, mont_n, mont_p, mont_q, blinded, w)) {
        if (!key->d) return 0;
        MONT_ToMont(mont_n, w.t, w.cb, nn, w.scratch);
        LIMBS_FromBigNum(w.exp, exp_limbs, key->d);
        MONT_ExpSecret(mont_n, w.x, w.t, w.exp, exp_limbs, w.scratch);
        MONT_FromMont(mont_n, w.x, w.x, w.scratch);
    }
    if (blinded) MONT_Mul(mont_n, w.x, w.x, blind_inv, w.scratch);  // c^d r r^-1 R R^-1
    LIMBS_ToBytes(out, static_cast<int>(k), w.x, nn);
    return 1;
}

uint32_t RSA_UnpadPkcs1Type2(const uint8_t* em, uint32_t k, uint8_t* out) {
    if (k < kPkcs1Overhead) return 0;
    // 00 02, at least eight non-zero filler bytes, 00, the message.
    uint32_t good = CtEq(em[0], 0) & CtEq(em[1], 2);
    uint32_t found = 0, zero_index = 0;
    for (uint32_t i = 2; i < k; ++i) {
        const uint32_t is_zero = CtEq(em[i], 0);
        zero_index = CtSelect(~found & is_zero, i, zero_index);
        found |= is_zero;
    }
    good &= found & ~CtLess(zero_index, 2 + 8);
    const uint32_t msg_len = CtSelect(good, k - zero_index - 1, 0);
    // The message lies in the last k - 11 bytes.
    const uint32_t room = k - kPkcs1Overhead;
    MemArray<uint8_t> buf(room, true);
    if (!buf) return 0;
    std::memcpy(buf.get(), em + kPkcs1Overhead, room);
    CtCopyMessage(buf.get(), room, room - msg_len, msg_len, good, out);
    return CT_Declassify(msg_len & good);
}

uint32_t RSA_UnpadOaep(const uint8_t* em_in, uint32_t k, const DigestAlgorithm* hash, const DigestAlgorithm* mgf_hash,
                       uint8_t* out) {
    if (!hash || !mgf_hash) return 0;
    const auto h = static_cast<uint32_t>(hash->size);
    if (k < 2 * h + 2) return 0;
    // 00, masked seed (h bytes), masked DB = lHash || zeros || 01 || message.
    const uint32_t db_length = k - h - 1;
    MemArray<uint8_t> work(static_cast<size_t>(k) + db_length, true);
    if (!work) return 0;
    uint8_t* seed = work.get();
    uint8_t* db = seed + h;
    uint8_t* mask = work.get() + k;
    std::memcpy(seed, em_in + 1, k - 1);
    uint32_t good = CtEq(em_in[0], 0);
    RSA_Mgf1(mgf_hash, db, db_length, mask, h);
    for (uint32_t i = 0; i < h; ++i) seed[i] ^= mask[i];
    RSA_Mgf1(mgf_hash, seed, h, mask, db_length);
    for (uint32_t i = 0; i < db_length; ++i) db[i] ^= mask[i];
    // The label is always empty.
    uint8_t label_hash[kDigestMaxSize];
    DIGEST_Compute(hash, nullptr, 0, label_hash);
    good &= 0u - static_cast<uint32_t>(CT_Equal(db, h, label_hash, h));
    // Zero bytes, then 01, then the message; any other first non-zero byte is refused.
    uint32_t found = 0, one_index = 0;
    for (uint32_t i = h; i < db_length; ++i) {
        const uint32_t is_zero = CtEq(db[i], 0), is_one = CtEq(db[i], 1);
        const uint32_t first = ~found & ~is_zero;
        one_index = CtSelect(first, i, one_index);
        good &= ~(first & ~is_one);
        found |= ~is_zero;
    }
    good &= found;
    const uint32_t msg_len = CtSelect(good, db_length - one_index - 1, 0);
    const uint32_t room = db_length - h - 1;
    CtCopyMessage(db + h + 1, room, room - msg_len, msg_len, good, out);
    return CT_Declassify(msg_len & good);
}

void RSA_Mgf1(const DigestAlgorithm* hash, const uint8_t* seed, uint32_t seed_len, uint8_t* mask, uint32_t mask_len) {
    DigestState state;
    uint8_t digest[kDigestMaxSize];
    for (uint32_t counter = 0, done = 0; done < mask_len; ++counter) {
        const uint8_t c[4] = {static_cast<uint8_t>(counter >> 24), static_cast<uint8_t>(counter >> 16),
                              static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)};
        hash->init(&state);
        hash->update(&state, seed, seed_len);
        hash->update(&state, c, sizeof c);
        hash->final(&state, digest);
        const uint32_t size = static_cast<uint32_t>(hash->size);
        const uint32_t take = mask_len - done < size ? mask_len - done : size;
        std::memcpy(mask + done, digest, take);
        done += take;
    }
    MEM_Wipe(&state, sizeof state);
    MEM_Wipe(digest, sizeof digest);
}

uint32_t RSA_ModulusBytes(const RsaKey* key) {
    return key && key->n ? (static_cast<uint32_t>(BIGNUM_NumBits(key->n)) + 7) / 8 : 0;
}

int RSA_PublicBlock(RsaKey* key, const uint8_t* in, uint8_t* out, uint32_t k) {
    if (!key || !in || !out || !key->n || !key->e || k == 0 || k != RSA_ModulusBytes(key)) return 0;
    BigNumPtr m(BIGNUM_FromBytes(in, k, nullptr));
    if (!m || BIGNUM_Cmp(m.get(), key->n) >= 0) return 0;
    // A context of its own: the key may be a certificate's, which callers read from any thread.
    BigNumMontPtr mont(BIGNUM_MONT_New(key->n, false));
    if (!mont) return 0;
    const int nn = mont->limbs;
    MemArray<Limb> work(static_cast<size_t>(2 * nn + MONT_ExpPublicScratchLimbs(nn)), true);
    if (!work) return 0;
    Limb* x = work.get();
    Limb* t = x + nn;
    Limb* scratch = t + nn;
    LIMBS_FromBigNum(x, nn, m.get());
    MONT_ToMont(mont.get(), t, x, nn, scratch);
    MONT_ExpPublic(mont.get(), x, t, key->e, scratch);
    MONT_FromMont(mont.get(), x, x, scratch);
    LIMBS_ToBytes(out, static_cast<int>(k), x, nn);
    return 1;
}

int RSA_PublicEncrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len) {
    if (!key || !out || !out_len || (!in && in_len)) return 0;
    if (!(key->present & (kRsaHasN | kRsaHasE)) || !key->n || !key->e) return 0;
    const uint32_t k = RSA_ModulusBytes(key);
    if (k < kPkcs1Overhead || in_len > k - kPkcs1Overhead) return 0;

    MemArray<uint8_t> block(k, true);
    if (!block) return 0;
    uint8_t* em = block.get();
    const uint32_t ps_len = k - in_len - 3;
    em[0] = 0;
    em[1] = 2;
    if (RANDOM_Bytes(em + 2, ps_len) != 1) return 0;
    for (uint32_t i = 2; i < 2 + ps_len; ++i) {
        while (em[i] == 0) {
            if (RANDOM_Bytes(em + i, 1) != 1) return 0;
        }
    }
    em[2 + ps_len] = 0;
    if (in_len) std::memcpy(em + 3 + ps_len, in, in_len);
    // PKCS#1 ciphertexts are exactly k bytes, zeros on the left: strict peers refuse a shorter one.
    if (!RSA_PublicBlock(key, em, out, k)) return 0;
    *out_len = k;
    return static_cast<int>(k);
}

int RSA_PrivateDecrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len,
                       int mode) {
    if (!key || !out || !out_len || !in || in_len == 0) return 0;
    if (mode != kRsaPkcs1Padding && mode != kRsaOaepPadding) return 0;
    if (key->present < (kRsaHasN | kRsaHasE) || !key->n) return 0;
    if (!HasCrt(key) && !key->d) return 0;  // neither exponent form: nothing to decrypt with
    if (mode == kRsaOaepPadding && BIGNUM_NumBits(key->n) != static_cast<int>(kOaepModulusBits)) return 0;

    const uint32_t k = RSA_ModulusBytes(key);
    while (in_len > 0 && *in == 0) {
        ++in;
        --in_len;
    }
    if (in_len > k) return 0;
    BigNumPtr c(BIGNUM_FromBytes(in, in_len, nullptr));
    if (!c || BIGNUM_Cmp(c.get(), key->n) >= 0) return 0;

    // The block is read at exactly the modulus length, its leading zero byte included.
    MemArray<uint8_t> block(k, true);
    if (!block || !RSA_PrivateBlock(key, c.get(), block.get(), k)) return 0;
    const uint32_t msg_len =
        mode == kRsaPkcs1Padding
            ? RSA_UnpadPkcs1Type2(block.get(), k, out)
            : RSA_UnpadOaep(block.get(), k, DIGEST_FromNid(NID_SHA1), DIGEST_FromNid(NID_SHA1), out);
    if (msg_len == 0) return 0;
    *out_len = msg_len;
    return static_cast<int>(msg_len);
}

}  // namespace quillon
