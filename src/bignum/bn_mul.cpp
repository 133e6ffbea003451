#include "bignum/bn_mul.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "bignum/bignum.h"
#include "bignum/bn_scratch.h"

namespace quillon {
namespace {

void Zero(Word* r, int n) {
    if (n > 0) std::memset(r, 0, static_cast<size_t>(n) * sizeof(Word));
}

// Three-word column accumulator: c01 holds the low two words, c2 the third.
struct Column {
    DWord c01 = 0;
    Word c2 = 0;

    void Add(Word a, Word b) {
        const DWord p = static_cast<DWord>(a) * b;
        c01 += p;
        c2 += c01 < p;
    }
    void AddTwice(Word a, Word b) {
        DWord p = static_cast<DWord>(a) * b;
        c2 += static_cast<Word>(p >> 63);
        p <<= 1;
        c01 += p;
        c2 += c01 < p;
    }
    Word Take() {
        const Word low = static_cast<Word>(c01);
        c01 = (c01 >> 32) | (static_cast<DWord>(c2) << 32);
        c2 = 0;
        return low;
    }
};

template <int N>
inline void MulComba(Word* r, const Word* a, const Word* b) {
    Column acc;
#pragma GCC unroll 16
    for (int k = 0; k < 2 * N - 1; ++k) {
        const int lo = k < N ? 0 : k - N + 1, hi = k < N ? k : N - 1;
#pragma GCC unroll 8
        for (int i = lo; i <= hi; ++i) acc.Add(a[i], b[k - i]);
        r[k] = acc.Take();
    }
    r[2 * N - 1] = static_cast<Word>(acc.c01);
}

template <int N>
inline void SqrComba(Word* r, const Word* a) {
    Column acc;
#pragma GCC unroll 16
    for (int k = 0; k < 2 * N - 1; ++k) {
        const int lo = k < N ? 0 : k - N + 1;
#pragma GCC unroll 8
        for (int i = lo; i < k - i; ++i) acc.AddTwice(a[i], a[k - i]);
        if (k % 2 == 0) acc.Add(a[k / 2], a[k / 2]);
        r[k] = acc.Take();
    }
    r[2 * N - 1] = static_cast<Word>(acc.c01);
}

// Karatsuba middle term: r[0..n2) holds low*low, r[n2..2*n2) high*high, p the product of the
// two differences (to subtract when `negative`). Adds low*low + high*high -/+ p at word n2/2.
// p is overwritten.
inline void AddMiddle(Word* r, Word* p, bool negative, int n2) {
    const int n = n2 / 2;
    // One pass for the middle term with a signed carry (it lies in -1..2), then one to add it in.
    int64_t c = 0;
    if (negative) {
        for (int i = 0; i < n2; ++i) {
            c += static_cast<int64_t>(r[i]) + r[n2 + i] - p[i];
            p[i] = static_cast<Word>(c);
            c >>= 32;
        }
    } else {
        for (int i = 0; i < n2; ++i) {
            c += static_cast<int64_t>(r[i]) + r[n2 + i] + p[i];
            p[i] = static_cast<Word>(c);
            c >>= 32;
        }
    }
    c += WORDS_Add(r + n, r + n, p, n2);
    for (int i = n + n2; c != 0 && i < 2 * n2; ++i) {
        const Word s = r[i] + static_cast<Word>(c);
        c = s < static_cast<Word>(c);
        r[i] = s;
    }
}

// |x_low - x_high| into d (n words), where x_low has n words and x_high n + dn (dn <= 0).
// Returns the sign of x_low - x_high.
inline int AbsDiff(Word* d, const Word* x, int n, int dn) {
    const int tn = n + dn;
    const int c = WORDS_CmpPart(x, x + n, tn, dn);
    if (c > 0)
        WORDS_SubPart(d, x, x + n, tn, -dn);
    else if (c < 0)
        WORDS_SubPart(d, x + n, x, tn, dn);
    return c;
}

void MulKaratsuba(Word* r, const Word* a, const Word* b, int n2, int dna, int dnb, Word* t);
void MulKaratsubaPart(Word* r, const Word* a, const Word* b, int n, int tna, int tnb, Word* t);

void MulDispatch(Word* r, const Word* a, int na, const Word* b, int nb, Word* t) {
    if (na == 0 || nb == 0) {
        Zero(r, na + nb);
    } else if (na == 8 && nb == 8) {
        WORDS_MulComba8(r, a, b);
    } else if (na < 16 || nb < 16 || na - nb > 1 || nb - na > 1) {
        WORDS_MulSchool(r, a, na, b, nb);
    } else {
        const int x = na >= nb ? na : nb;
        const int j = 1 << (BIGNUM_NumBitsWord(static_cast<Word>(x)) - 1);
        if (na > j || nb > j)
            MulKaratsubaPart(r, a, b, j, na - j, nb - j, t);
        else
            MulKaratsuba(r, a, b, j, na - j, nb - j, t);
    }
}

// a has n2 + dna words, b n2 + dnb (dna, dnb <= 0); r receives 2*n2 words; t needs 4*n2.
void MulKaratsuba(Word* r, const Word* a, const Word* b, int n2, int dna, int dnb, Word* t) {
    if (dna == 0 && dnb == 0) {
        if (n2 == 8) return WORDS_MulComba8(r, a, b);
        if (n2 == 4) return WORDS_MulComba4(r, a, b);
    }
    if (n2 < 16) {
        WORDS_MulSchool(r, a, n2 + dna, b, n2 + dnb);
        Zero(r + 2 * n2 + dna + dnb, -(dna + dnb));
        return;
    }
    const int n = n2 / 2;
    // (a_low - a_high)(b_high - b_low) + a_low b_low + a_high b_high = a_low b_high + a_high b_low
    const int ca = AbsDiff(t, a, n, dna);
    const int cb = -AbsDiff(t + n, b, n, dnb);
    Word* p = t + n2;
    Word* work = t + 2 * n2;
    if (ca == 0 || cb == 0)
        Zero(p, n2);
    else
        MulKaratsuba(p, t, t + n, n, 0, 0, work);
    MulKaratsuba(r, a, b, n, 0, 0, work);
    MulKaratsuba(r + n2, a + n, b + n, n, dna, dnb, work);
    AddMiddle(r, p, ca != cb, n2);
}

// a has n + tna words, b n + tnb (0 <= tna, tnb < n): r receives 4*n words; t needs 8*n.
void MulKaratsubaPart(Word* r, const Word* a, const Word* b, int n, int tna, int tnb, Word* t) {
    const int n2 = 2 * n;
    if (n < 8) {
        WORDS_MulSchool(r, a, n + tna, b, n + tnb);
        Zero(r + n2 + tna + tnb, n2 - tna - tnb);
        return;
    }
    const int ca = AbsDiff(t, a, n, tna - n);
    const int cb = -AbsDiff(t + n, b, n, tnb - n);
    Word* p = t + n2;
    Word* work = t + 2 * n2;
    // Half size 8 lands on Comba for the low products and schoolbook for the high one.
    if (ca == 0 || cb == 0)
        Zero(p, n2);
    else
        MulKaratsuba(p, t, t + n, n, 0, 0, work);
    MulKaratsuba(r, a, b, n, 0, 0, work);
    // The high parts are shorter than n words: the same choice as a whole product.
    MulDispatch(r + n2, a + n, tna, b + n, tnb, work);
    Zero(r + n2 + tna + tnb, n2 - tna - tnb);
    AddMiddle(r, p, ca != cb, n2);
}

// r receives 2*n2 words; t needs 4*n2 (n2 a power of two).
void SqrKaratsuba(Word* r, const Word* a, int n2, Word* t) {
    if (n2 == 4) return WORDS_SqrComba4(r, a);
    if (n2 == 8) return WORDS_SqrComba8(r, a);
    if (n2 < 16) return WORDS_SqrSchool(r, a, n2, t);
    const int n = n2 / 2;
    const int c = WORDS_Cmp(a, a + n, n);
    if (c > 0)
        WORDS_Sub(t, a, a + n, n);
    else if (c < 0)
        WORDS_Sub(t, a + n, a, n);
    Word* p = t + n2;
    Word* work = t + 2 * n2;
    if (c == 0)
        Zero(p, n2);
    else
        SqrKaratsuba(p, t, n, work);
    SqrKaratsuba(r, a, n, work);
    SqrKaratsuba(r + n2, a + n, n, work);
    AddMiddle(r, p, true, n2);
}

}  // namespace

void WORDS_MulComba4(Word* r, const Word* a, const Word* b) { MulComba<4>(r, a, b); }
void WORDS_MulComba8(Word* r, const Word* a, const Word* b) { MulComba<8>(r, a, b); }
void WORDS_SqrComba4(Word* r, const Word* a) { SqrComba<4>(r, a); }
void WORDS_SqrComba8(Word* r, const Word* a) { SqrComba<8>(r, a); }

void WORDS_MulSchool(Word* r, const Word* a, int na, const Word* b, int nb) {
    if (na < nb) {
        std::swap(a, b);
        std::swap(na, nb);
    }
    if (nb <= 0) return Zero(r, na);
    r[na] = WORDS_Mul(r, a, na, b[0]);
    for (int j = 1; j < nb; ++j) r[na + j] = WORDS_MulAdd(r + j, a, na, b[j]);
}

void WORDS_SqrSchool(Word* r, const Word* a, int n, Word* t) {
    if (n <= 0) return;
    r[0] = 0;
    r[2 * n - 1] = 0;
    if (n > 1) {
        // Products below the diagonal, each once: row i is a[i] * a[i+1..n) at word 2i+1.
        r[n] = WORDS_Mul(r + 1, a + 1, n - 1, a[0]);
        for (int i = 1; i < n - 1; ++i) r[n + i] = WORDS_MulAdd(r + 2 * i + 1, a + i + 1, n - i - 1, a[i]);
        WORDS_Add(r, r, r, 2 * n);
    } else {
        r[1] = 0;
    }
    WORDS_Sqr(t, a, n);
    WORDS_Add(r, r, t, 2 * n);
}

MulPlan WORDS_MulPlan(int na, int nb) {
    if ((na == 8 && nb == 8) || na < 16 || nb < 16 || na - nb > 1 || nb - na > 1) return {na + nb, 0};
    const int x = na >= nb ? na : nb;
    const int j = 1 << (BIGNUM_NumBitsWord(static_cast<Word>(x)) - 1);
    if (na > j || nb > j) return {4 * j, 8 * j};
    return {2 * j, 4 * j};
}

void WORDS_MulAny(Word* r, const Word* a, int na, const Word* b, int nb, Word* t) {
    MulDispatch(r, a, na, b, nb, t);
}

int WORDS_SqrWorkWords(int n) {
    if (n == 4 || n == 8) return 0;
    if (n < 16) return 0;  // on the stack
    if ((n & (n - 1)) == 0) return 4 * n;
    return 2 * n;
}

void WORDS_SqrAny(Word* r, const Word* a, int n, Word* t) {
    if (n == 4) return WORDS_SqrComba4(r, a);
    if (n == 8) return WORDS_SqrComba8(r, a);
    if (n < 16) {
        Word stack[32];
        return WORDS_SqrSchool(r, a, n, stack);
    }
    if ((n & (n - 1)) == 0) return SqrKaratsuba(r, a, n, t);
    WORDS_SqrSchool(r, a, n, t);
}

// ---- BigNum level ---------------------------------------------------------------------------

int BIGNUM_Mul(BigNum* r, const BigNum* a, const BigNum* b, BigNumContext* ctx) {
    if (!r || !a || !b) return 0;
    const int al = a->used, bl = b->used;
    if (al == 0 || bl == 0) {
        r->used = 0;
        return 1;
    }
    const bool aliased = r == a || r == b;
    Scratch temp(aliased, ctx, BIGNUM_SLOT_MUL_RESULT);
    BigNum* out = r;
    if (aliased) {
        if (!temp.num) return 0;
        out = temp.num;
    }
    const MulPlan plan = WORDS_MulPlan(al, bl);
    Word* work = nullptr;
    Scratch ws(plan.work_words > 0, ctx, BIGNUM_SLOT_MUL_WORK);
    if (plan.work_words) {
        if (!BIGNUM_Expand(ws.num, plan.work_words)) return 0;
        work = ws.num->words;
    }
    if (!BIGNUM_Expand(out, plan.result_words)) return 0;
    MulDispatch(out->words, a->words, al, b->words, bl, work);
    out->used = al + bl;
    while (out->used > 0 && out->words[out->used - 1] == 0) --out->used;
    return out == r ? 1 : BIGNUM_Copy(r, out);
}

int BIGNUM_Sqr(BigNum* r, const BigNum* a, BigNumContext* ctx) {
    if (!r || !a) return 0;
    const int al = a->used;
    if (al == 0) {
        r->used = 0;
        return 1;
    }
    const bool aliased = r == a;
    Scratch temp(aliased, ctx, BIGNUM_SLOT_MUL_RESULT);
    BigNum* out = r;
    if (aliased) {
        if (!temp.num) return 0;
        out = temp.num;
    }
    const int work_words = WORDS_SqrWorkWords(al);
    Word* work = nullptr;
    Scratch ws(work_words > 0, ctx, BIGNUM_SLOT_SQR_WORK);
    if (work_words) {
        if (!BIGNUM_Expand(ws.num, work_words)) return 0;
        work = ws.num->words;
    }
    if (!BIGNUM_Expand(out, 2 * al)) return 0;
    WORDS_SqrAny(out->words, a->words, al, work);
    out->used = 2 * al;
    while (out->used > 0 && out->words[out->used - 1] == 0) --out->used;
    return out == r ? 1 : BIGNUM_Copy(r, out);
}

}  // namespace quillon
