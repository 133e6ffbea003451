// Montgomery multiplication (separate product and REDC, squaring specialised) on machine-word
// limbs, and the sliding-window and fixed-window exponentiations over it.
#include "bignum/bn_mont.h"

#include <cstring>

#include "bignum/bn_ct.h"
#include "bignum/bn_window.h"
#include "core/mem_array.h"

namespace quillon {

namespace {

// r[0..n) += a[0..n) * b; returns the carry limb.
inline Limb MulAddRow(Limb* r, const Limb* a, int n, Limb b) {
    Limb carry = 0;
    for (int i = 0; i < n; ++i) {
        const DLimb t = static_cast<DLimb>(a[i]) * b + r[i] + carry;
        r[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> kLimbBits);
    }
    return carry;
}

// Fixed-size forms of the product, square and reduction for the common moduli (512, 1024 and
// 2048 bits on 64-bit limbs): with the trip counts known the compiler unrolls the rows and
// keeps the carries in registers.
template <int N>
inline Limb MulAddRowN(Limb* r, const Limb* a, Limb b) {
    Limb carry = 0;
#pragma GCC unroll 32
    for (int i = 0; i < N; ++i) {
        const DLimb t = static_cast<DLimb>(a[i]) * b + r[i] + carry;
        r[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> kLimbBits);
    }
    return carry;
}

template <int N>
void MulFullN(Limb* t, const Limb* a, const Limb* b) {
    std::memset(t, 0, sizeof(Limb) * 2 * N);
    for (int i = 0; i < N; ++i) t[i + N] = MulAddRowN<N>(t + i, a, b[i]);
}

template <int N>
void RedcN(const Limb* m, Limb n0, Limb* t, Limb& top_out) {
    Limb top = 0;
    for (int i = 0; i < N; ++i) {
        const Limb q = t[i] * n0;
        const Limb c = MulAddRowN<N>(t + i, m, q);
        const DLimb u = static_cast<DLimb>(t[i + N]) + c + top;
        t[i + N] = static_cast<Limb>(u);
        top = static_cast<Limb>(u >> kLimbBits);
    }
    top_out = top;
}

// r = a - b over n limbs; returns the borrow (0 or 1).
inline Limb SubLimbs(Limb* r, const Limb* a, const Limb* b, int n) {
    Limb borrow = 0;
    for (int i = 0; i < n; ++i) {
        const DLimb t = static_cast<DLimb>(a[i]) - b[i] - borrow;
        r[i] = static_cast<Limb>(t);
        borrow = static_cast<Limb>(t >> (2 * kLimbBits - 1));
    }
    return borrow;
}

// r = a + b over n limbs; returns the carry.
inline Limb AddLimbs(Limb* r, const Limb* a, const Limb* b, int n) {
    Limb carry = 0;
    for (int i = 0; i < n; ++i) {
        const DLimb t = static_cast<DLimb>(a[i]) + b[i] + carry;
        r[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> kLimbBits);
    }
    return carry;
}

// All ones when x is zero.
inline Limb ZeroMask(Limb x) { return ((x | (Limb{0} - x)) >> (kLimbBits - 1)) - 1; }

// t[0..2n) = a * a: cross products once, doubled, then the squares on the diagonal.
void SqrFull(Limb* t, const Limb* a, int n) {
    std::memset(t, 0, sizeof(Limb) * 2 * n);
    for (int i = 0; i + 1 < n; ++i) t[i + n] = MulAddRow(t + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
    for (int i = 2 * n - 1; i > 0; --i) t[i] = (t[i] << 1) | (t[i - 1] >> (kLimbBits - 1));
    t[0] <<= 1;
    Limb carry = 0;
    for (int i = 0; i < n; ++i) {
        const DLimb s = static_cast<DLimb>(a[i]) * a[i];
        DLimb u = static_cast<DLimb>(t[2 * i]) + static_cast<Limb>(s) + carry;
        t[2 * i] = static_cast<Limb>(u);
        u = static_cast<DLimb>(t[2 * i + 1]) + static_cast<Limb>(s >> kLimbBits) + static_cast<Limb>(u >> kLimbBits);
        t[2 * i + 1] = static_cast<Limb>(u);
        carry = static_cast<Limb>(u >> kLimbBits);
    }
}

// r = t * R^-1 mod m for t[0..2n) below m * R; t is destroyed. The final subtraction is masked.
void Redc(const BigNumMont* mont, Limb* r, Limb* t) {
    const int n = mont->limbs;
    Limb top = 0;
    switch (n) {
        case 8: RedcN<8>(mont->m, mont->n0, t, top); break;
        case 16: RedcN<16>(mont->m, mont->n0, t, top); break;
        case 32: RedcN<32>(mont->m, mont->n0, t, top); break;
        default:
            for (int i = 0; i < n; ++i) {
                const Limb q = t[i] * mont->n0;
                const Limb c = MulAddRow(t + i, mont->m, n, q);
                const DLimb u = static_cast<DLimb>(t[i + n]) + c + top;
                t[i + n] = static_cast<Limb>(u);
                top = static_cast<Limb>(u >> kLimbBits);
            }
    }
    // The value top:t[n..2n) is below 2m: subtract m when it carried out or does not borrow.
    const Limb borrow = SubLimbs(r, t + n, mont->m, n);
    LIMBS_Select(r, t + n, n, Limb{0} - ((borrow & (top ^ 1))));
}

template <int N>
void SqrFullN(Limb* t, const Limb* a) {
    std::memset(t, 0, sizeof(Limb) * 2 * N);
#pragma GCC unroll 32
    for (int i = 0; i + 1 < N; ++i) {
        Limb carry = 0;
        const Limb ai = a[i];
        Limb* row = t + 2 * i + 1;
        const Limb* src = a + i + 1;
        for (int j = 0; j < N - i - 1; ++j) {
            const DLimb u = static_cast<DLimb>(src[j]) * ai + row[j] + carry;
            row[j] = static_cast<Limb>(u);
            carry = static_cast<Limb>(u >> kLimbBits);
        }
        t[i + N] = carry;
    }
    Limb shifted = 0;
#pragma GCC unroll 64
    for (int i = 0; i < 2 * N; ++i) {
        const Limb v = t[i];
        t[i] = (v << 1) | shifted;
        shifted = v >> (kLimbBits - 1);
    }
    Limb carry = 0;
#pragma GCC unroll 32
    for (int i = 0; i < N; ++i) {
        const DLimb s = static_cast<DLimb>(a[i]) * a[i];
        DLimb u = static_cast<DLimb>(t[2 * i]) + static_cast<Limb>(s) + carry;
        t[2 * i] = static_cast<Limb>(u);
        u = static_cast<DLimb>(t[2 * i + 1]) + static_cast<Limb>(s >> kLimbBits) + static_cast<Limb>(u >> kLimbBits);
        t[2 * i + 1] = static_cast<Limb>(u);
        carry = static_cast<Limb>(u >> kLimbBits);
    }
}

void MontSqr(const BigNumMont* mont, Limb* r, const Limb* a, Limb* scratch) {
    switch (mont->limbs) {
        case 8: SqrFullN<8>(scratch, a); break;  // longer rows gain nothing from full unrolling
        default: SqrFull(scratch, a, mont->limbs);
    }
    Redc(mont, r, scratch);
}

// r = a + b mod m, a and b below m.
void AddMod(const BigNumMont* mont, Limb* r, const Limb* a, const Limb* b, Limb* scratch) {
    const int n = mont->limbs;
    const Limb carry = AddLimbs(scratch, a, b, n);
    const Limb borrow = SubLimbs(r, scratch, mont->m, n);
    LIMBS_Select(r, scratch, n, Limb{0} - (borrow & (carry ^ 1)));
}

// Fixed-window width for an exponent of `bits` bits: the table costs 2^w products, each window w
// squarings and one product.
int SecretWindowBits(int bits) { return bits > 1536 ? 6 : 5; }

int LimbsOf(const BigNum* a) { return (a->used + kWordsPerLimb - 1) / kWordsPerLimb; }

}  // namespace

void MONT_ExpPublic(const BigNumMont* mont, Limb* r, const Limb* base, const BigNum* p, Limb* scratch) {
    const int n = mont->limbs;
    // The odd powers of the base in table[0..2^(w-1)), the square of the base after them.
    Limb* table = scratch + MONT_ScratchLimbs(n);
    const int bits = BIGNUM_NumBits(p);
    if (mont->rr52 && bits > 64 && LimbsOf(p) <= n) {
        Limb* pl = table;
        Limb* x = table + n;
        LIMBS_FromBigNum(pl, n, p);
        MONT_FromMont(mont, x, base, scratch);
        IFMA_Exp(mont, r, x, pl, n);
        MONT_Mul(mont, r, r, mont->rr, scratch);
        return;
    }
    const int w = BIGNUM_WindowBits(bits);
    std::memcpy(table, base, sizeof(Limb) * n);
    if (w > 1) {
        Limb* square = table + 32 * n;
        MontSqr(mont, square, base, scratch);
        for (int i = 1; i < 1 << (w - 1); ++i) MONT_Mul(mont, table + i * n, table + (i - 1) * n, square, scratch);
    }
    if (bits == 0) std::memcpy(r, mont->one, sizeof(Limb) * n);
    // Nothing here can fail: every step says go on.
    BIGNUM_SlideWindows(
        p, bits, w,
        [&](int k) {
            std::memcpy(r, table + k * n, sizeof(Limb) * n);
            return true;
        },
        [&] {
            MontSqr(mont, r, r, scratch);
            return true;
        },
        [&](int k) {
            MONT_Mul(mont, r, r, table + k * n, scratch);
            return true;
        });
}

namespace {

// Shared frame of the BigNum-level exponentiations: base into Montgomery form, the power, back.
int ExpBigNum(BigNum* r, const BigNum* a, const BigNum* p, const BigNumMont* mont, bool secret) {
    if (!r || !a || !p || !mont) return 0;
    const int n = mont->limbs;
    if (BIGNUM_NumBits(p) == 0) {
        // a^0 = 1, reduced: zero when m is one.
        const bool m_is_one = n == 1 && mont->m[0] == 1;
        return BIGNUM_SetWord(r, m_is_one ? 0 : 1);
    }
    const int p_limbs = LimbsOf(p);
    const size_t table = secret ? static_cast<size_t>(MONT_ExpSecretScratchLimbs(n)) : 0;
    MemArray<Limb> buf(table + 2 * static_cast<size_t>(n) + p_limbs + MONT_ExpPublicScratchLimbs(n));
    if (!buf) return 0;
    Limb* base = buf.get();
    Limb* acc = base + n;
    Limb* exp = acc + n;
    Limb* scratch = exp + p_limbs;
    Limb* tab = scratch + MONT_ExpPublicScratchLimbs(n);
    const int a_limbs = LimbsOf(a);
    {
        MemArray<Limb> a_buf(static_cast<size_t>(a_limbs));
        if (!a_buf) return 0;
        LIMBS_FromBigNum(a_buf.get(), a_limbs, a);
        MONT_ToMont(mont, base, a_buf.get(), a_limbs, scratch);
    }
    if (secret) {
        LIMBS_FromBigNum(exp, p_limbs, p);
        MONT_ExpSecret(mont, acc, base, exp, p_limbs, tab);
    } else {
        MONT_ExpPublic(mont, acc, base, p, scratch);
    }
    MONT_FromMont(mont, acc, acc, scratch);
    return LIMBS_ToBigNum(r, acc, n);
}

}  // namespace

// ---- limbs --------------------------------------------------------------------------------------

int MONT_ScratchLimbs(int n) { return 4 * n + 4; }

int MONT_ExpSecretScratchLimbs(int n) { return 64 * n + n + MONT_ScratchLimbs(n); }

int MONT_ExpPublicScratchLimbs(int n) { return MONT_ScratchLimbs(n) + 33 * n; }

void LIMBS_FromBigNum(Limb* out, int n, const BigNum* a) {
    for (int i = 0; i < n; ++i) {
        Limb v = 0;
        for (int k = kWordsPerLimb - 1; k >= 0; --k) {
            const int w = i * kWordsPerLimb + k;
            v = (kWordsPerLimb > 1 ? (v << 16) << 16 : 0) | (w < a->used ? a->words[w] : 0);
        }
        out[i] = v;
    }
}

int LIMBS_ToBigNum(BigNum* r, const Limb* a, int n) {
    if (!BIGNUM_Expand(r, n * kWordsPerLimb)) return 0;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < kWordsPerLimb; ++k) r->words[i * kWordsPerLimb + k] = static_cast<uint32_t>(a[i] >> (32 * k));
    }
    r->used = n * kWordsPerLimb;
    while (r->used > 0 && r->words[r->used - 1] == 0) --r->used;
    return 1;
}

void LIMBS_ToBytes(uint8_t* out, int len, const Limb* a, int n) {
    for (int i = 0; i < len; ++i) {
        const int byte = len - 1 - i;  // significance of out[i]
        const int limb = byte / static_cast<int>(sizeof(Limb));
        out[i] = limb < n ? static_cast<uint8_t>(a[limb] >> (8 * (byte % sizeof(Limb)))) : 0;
    }
}

void LIMBS_Mul(Limb* r, const Limb* a, int na, const Limb* b, int nb) {
    std::memset(r, 0, sizeof(Limb) * (na + nb));
    for (int i = 0; i < nb; ++i) r[i + na] = MulAddRow(r + i, a, na, b[i]);
}

Limb LIMBS_Add(Limb* a, int n, const Limb* b, int nb) {
    Limb carry = AddLimbs(a, a, b, nb);
    for (int i = nb; i < n; ++i) {
        const DLimb t = static_cast<DLimb>(a[i]) + carry;
        a[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> kLimbBits);
    }
    return carry;
}

void LIMBS_Select(Limb* r, const Limb* a, int n, Limb mask) {
    for (int i = 0; i < n; ++i) r[i] = (a[i] & mask) | (r[i] & ~mask);
}

Limb LIMBS_EqualMask(const Limb* a, const Limb* b, int n) {
    Limb diff = 0;
    for (int i = 0; i < n; ++i) diff |= a[i] ^ b[i];
    return ZeroMask(diff);
}

// ---- Montgomery ---------------------------------------------------------------------------------

void MONT_Mul(const BigNumMont* mont, Limb* r, const Limb* a, const Limb* b, Limb* scratch) {
    const int n = mont->limbs;
    if (a == b) {
        MontSqr(mont, r, a, scratch);
        return;
    }
    switch (n) {
        case 8: MulFullN<8>(scratch, a, b); break;
        case 16: MulFullN<16>(scratch, a, b); break;
        case 32: MulFullN<32>(scratch, a, b); break;
        default: LIMBS_Mul(scratch, a, n, b, n);
    }
    Redc(mont, r, scratch);
}

void MONT_ToMont(const BigNumMont* mont, Limb* r, const Limb* a, int a_limbs, Limb* scratch) {
    // Horner over digits of n limbs, most significant first: acc = acc * R + digit, each digit
    // (below R) taken into Montgomery form by a product with R^2. No branch on the value.
    const int n = mont->limbs;
    Limb* digit = scratch + 2 * n + 2;  // past the product that MONT_Mul keeps in scratch
    Limb* acc = digit + n;
    const int digits = (a_limbs + n - 1) / n;
    std::memset(r, 0, sizeof(Limb) * n);
    for (int d = digits - 1; d >= 0; --d) {
        const int start = d * n;
        const int count = a_limbs - start < n ? a_limbs - start : n;
        std::memset(digit, 0, sizeof(Limb) * n);
        std::memcpy(digit, a + start, sizeof(Limb) * count);
        if (d != digits - 1) MONT_Mul(mont, r, r, mont->rr, scratch);  // (acc R) R
        MONT_Mul(mont, acc, digit, mont->rr, scratch);                   // digit R
        AddMod(mont, r, r, acc, scratch);
    }
}

void MONT_FromMont(const BigNumMont* mont, Limb* r, const Limb* a, Limb* scratch) {
    const int n = mont->limbs;
    std::memcpy(scratch, a, sizeof(Limb) * n);
    std::memset(scratch + n, 0, sizeof(Limb) * n);
    Redc(mont, r, scratch);
}

void MONT_SubMod(const BigNumMont* mont, Limb* r, const Limb* a, const Limb* b) {
    const int n = mont->limbs;
    const Limb borrow = SubLimbs(r, a, b, n);
    // Add m back under a mask when the subtraction borrowed.
    const Limb mask = Limb{0} - borrow;
    Limb carry = 0;
    for (int i = 0; i < n; ++i) {
        const DLimb t = static_cast<DLimb>(r[i]) + (mont->m[i] & mask) + carry;
        r[i] = static_cast<Limb>(t);
        carry = static_cast<Limb>(t >> kLimbBits);
    }
}

void MONT_ExpSecret(const BigNumMont* mont, Limb* r, const Limb* base, const Limb* p, int p_limbs, Limb* scratch) {
    const int n = mont->limbs;
    if (mont->rr52) {
        Limb* x = scratch;
        MONT_FromMont(mont, x, base, scratch + n);
        IFMA_Exp(mont, r, x, p, p_limbs);
        MONT_Mul(mont, r, r, mont->rr, scratch + n);
        MEM_Wipe(x, sizeof(Limb) * n);
        return;
    }
    const int bits = p_limbs * kLimbBits;
    const int w = SecretWindowBits(bits);
    const int entries = 1 << w;
    Limb* table = scratch;
    Limb* gathered = table + static_cast<size_t>(64) * n;
    Limb* work = gathered + n;
    // table[i] = base^i in Montgomery form.
    std::memcpy(table, mont->one, sizeof(Limb) * n);
    std::memcpy(table + n, base, sizeof(Limb) * n);
    for (int i = 2; i < entries; ++i) {
        if (i % 2 == 0) {
            MontSqr(mont, table + i * n, table + (i / 2) * n, work);
        } else {
            MONT_Mul(mont, table + i * n, table + (i - 1) * n, base, work);
        }
    }
    const Limb low_mask = (Limb{1} << w) - 1;
    // Windows from the top; the first may be shorter. Positions and shifts are public.
    int pos = ((bits - 1) / w) * w;
    bool first = true;
    for (; pos >= 0; pos -= w) {
        const int limb = pos / kLimbBits, shift = pos % kLimbBits;
        Limb idx = p[limb] >> shift;
        if (shift + w > kLimbBits && limb + 1 < p_limbs) idx |= p[limb + 1] << (kLimbBits - shift);
        idx &= low_mask;
        std::memset(gathered, 0, sizeof(Limb) * n);
        for (int k = 0; k < entries; ++k) {
            const Limb mask = ZeroMask(static_cast<Limb>(k) ^ idx);
            const Limb* entry = table + k * n;
            for (int j = 0; j < n; ++j) gathered[j] |= entry[j] & mask;
        }
        if (first) {
            std::memcpy(r, gathered, sizeof(Limb) * n);
            first = false;
            continue;
        }
        for (int k = 0; k < w; ++k) MontSqr(mont, r, r, work);
        MONT_Mul(mont, r, r, gathered, work);
    }
}

// ---- contexts ---------------------------------------------------------------------------------

BigNumMont* BIGNUM_MONT_New(const BigNum* m, bool secret) {
    // A prime's parity tells nothing.
    if (!m || m->used == 0 || !CT_Declassify(m->words[0] & 1)) return nullptr;
    const int n = LimbsOf(m);
    auto* mont = MEM_New<BigNumMont>();
    if (!mont) return nullptr;
    mont->m = static_cast<Limb*>(MEM_Calloc(4 * static_cast<size_t>(n), sizeof(Limb)));
    if (!mont->m) {
        MEM_Free(mont);
        return nullptr;
    }
    mont->limbs = n;
    mont->rr = mont->m + n;
    mont->one = mont->rr + n;
    mont->source = m;
    mont->source_used = m->used;
    LIMBS_FromBigNum(mont->m, n, m);
    // Newton's iteration for m0^-1 mod 2^kLimbBits: m0 is its own inverse mod 8, and every step
    // doubles the correct bits.
    const Limb m0 = mont->m[0];
    Limb inv = m0;
    for (int i = 0; i < 6; ++i) inv *= 2 - m0 * inv;
    mont->n0 = Limb{0} - inv;

    MemArray<Limb> scratch(static_cast<size_t>(MONT_ScratchLimbs(n)));
    if (!scratch) {
        BIGNUM_MONT_Free(mont);
        return nullptr;
    }
    if (secret) {
        // 1 doubled 2 n kLimbBits times, each doubling reduced under a mask.
        mont->rr[0] = 1;
        for (int i = 0; i < 2 * n * kLimbBits; ++i) AddMod(mont, mont->rr, mont->rr, mont->rr, scratch.get());
        if (n == 1 && m0 == 1) mont->rr[0] = 0;
    } else {
        BigNumPtr t(BIGNUM_New());
        const bool ok = t && BIGNUM_SetWord(t.get(), 1) && BIGNUM_LShift(t.get(), t.get(), 2 * n * kLimbBits) &&
                        BIGNUM_Div(nullptr, t.get(), t.get(), m, nullptr);
        if (!ok) {
            BIGNUM_MONT_Free(mont);
            return nullptr;
        }
        LIMBS_FromBigNum(mont->rr, n, t.get());
    }
    // R mod m = R^2 * R^-1.
    std::memset(scratch.get(), 0, sizeof(Limb) * 2 * n);
    std::memcpy(scratch.get(), mont->rr, sizeof(Limb) * n);
    Redc(mont, mont->one, scratch.get());
    if (IFMA_Usable(n)) {
        // R'^2 = R^2 2^(104 d - 128 n): a few masked doublings of R^2.
        mont->rr52 = mont->one + n;
        std::memcpy(mont->rr52, mont->rr, sizeof(Limb) * n);
        const int digits = (64 * n + 51) / 52;
        for (int i = 0; i < 104 * digits - 128 * n; ++i)
            AddMod(mont, mont->rr52, mont->rr52, mont->rr52, scratch.get());
    }
    return mont;
}

void BIGNUM_MONT_Free(BigNumMont* mont) {
    if (!mont) return;
    MEM_Free(mont->m);
    MEM_Free(mont);
}

bool BIGNUM_MONT_IsFor(const BigNumMont* mont, const BigNum* m) {
    return mont && mont->source == m && mont->source_used == m->used;
}

int BIGNUM_ModExpMont(BigNum* r, const BigNum* a, const BigNum* p, const BigNumMont* mont) {
    return ExpBigNum(r, a, p, mont, false);
}

int BIGNUM_ModExpSecret(BigNum* r, const BigNum* a, const BigNum* p, const BigNumMont* mont) {
    return ExpBigNum(r, a, p, mont, true);
}

int BIGNUM_ModMulMont(BigNum* r, const BigNum* a, const BigNum* b, const BigNumMont* mont) {
    if (!r || !a || !b || !mont) return 0;
    const int n = mont->limbs, na = LimbsOf(a), nb = LimbsOf(b);
    MemArray<Limb> buf(static_cast<size_t>(na + nb + 2 * n + MONT_ScratchLimbs(n)));
    if (!buf) return 0;
    Limb* la = buf.get();
    Limb* lb = la + na;
    Limb* x = lb + nb;
    Limb* y = x + n;
    Limb* scratch = y + n;
    LIMBS_FromBigNum(la, na, a);
    LIMBS_FromBigNum(lb, nb, b);
    MONT_ToMont(mont, x, la, na, scratch);  // aR
    MONT_ToMont(mont, y, lb, nb, scratch);  // bR
    MONT_Mul(mont, x, x, y, scratch);       // abR
    MONT_FromMont(mont, x, x, scratch);
    return LIMBS_ToBigNum(r, x, n);
}

}  // namespace quillon
