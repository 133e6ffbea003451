// Long division with normalisation (Knuth's Algorithm D). The dividend is shifted one word
// further than the divisor, so the low quotient digit is a fraction and is never produced.
#include <cstring>

#include "bignum/bignum.h"
#include "bignum/bn_scratch.h"
#include "bignum/bn_words.h"

namespace quillon {
namespace {

// Division of two words by one fixed normalised word (top bit set) through a precomputed
// reciprocal: two multiplications instead of a hardware divide per quotient digit.
struct WordDivisor {
    Word d;
    Word v;  // floor((2^64 - 1) / d) - 2^32
    explicit WordDivisor(Word divisor)
        : d(divisor), v(static_cast<Word>(~DWord{0} / divisor - (DWord{1} << 32))) {}

    // floor((h * 2^32 + l) / d) for h < d; *rem receives the remainder.
    Word Div(Word h, Word l, Word* rem) const {
        DWord q = static_cast<DWord>(v) * h + ((static_cast<DWord>(h) << 32) | l);
        Word q1 = static_cast<Word>(q >> 32) + 1;
        const Word q0 = static_cast<Word>(q);
        Word r = l - q1 * d;
        // Taken about half the time: masks instead of a branch.
        const Word over = static_cast<Word>(0) - static_cast<Word>(r > q0);
        q1 += over;
        r += over & d;
        if (r >= d) [[unlikely]] {
            ++q1;
            r -= d;
        }
        *rem = r;
        return q1;
    }
};

}  // namespace

int BIGNUM_Div(BigNum* quotient, BigNum* remainder, const BigNum* num, const BigNum* divisor,
               BigNumContext* ctx) {
    if (!num || !divisor || divisor->used == 0) return 0;
    if (quotient && quotient == remainder) return 0;

    Scratch snum_s(true, ctx, BIGNUM_SLOT_DIV_NUM), sdiv_s(true, ctx, BIGNUM_SLOT_DIV_DIVISOR);
    Scratch quot_s(quotient == nullptr, ctx, BIGNUM_SLOT_DIV_QUOTIENT);
    Scratch comp_s(true, ctx, BIGNUM_SLOT_DIV_PRODUCT);
    BigNum* snum = snum_s.num;
    BigNum* sdiv = sdiv_s.num;
    BigNum* comp = comp_s.num;
    BigNum* quot = quotient ? quotient : quot_s.num;
    if (!snum || !sdiv || !comp || !quot) return 0;

    // Normalise so that the divisor's top bit is set; 32, not 0, for a whole number of words.
    const int s = 32 - BIGNUM_NumBits(divisor) % 32;
    if (!BIGNUM_LShift(sdiv, divisor, s) || !BIGNUM_LShift(snum, num, s + 32)) return 0;

    const int n = sdiv->used;
    const int len = snum->used + 1 > n + 2 ? snum->used + 1 : n + 2;
    if (!BIGNUM_Expand(snum, len)) return 0;
    std::memset(snum->words + snum->used, 0, static_cast<size_t>(len - snum->used) * sizeof(Word));
    snum->used = len;

    // Window - q * sdiv = window + q * ~sdiv + q - q * 2^(32n), with ~sdiv taken word by word:
    // one multiply-add chain instead of a product carry and a borrow.
    if (!BIGNUM_Expand(comp, n)) return 0;
    for (int i = 0; i < n; ++i) comp->words[i] = ~sdiv->words[i];

    const int loop = len - n;
    if (!BIGNUM_Expand(quot, loop + 1)) return 0;
    quot->used = loop - 1;

    const Word* d = sdiv->words;
    const Word d0 = d[n - 1], d1 = n >= 2 ? d[n - 2] : 0;
    const WordDivisor top_divisor(d0);
    Word* q_out = quot->words;
    for (int pos = loop - 1; pos >= 1; --pos) {
        Word* w = snum->words + pos;  // window of n + 1 words
        const Word t0 = w[n], t1 = w[n - 1], t2 = n >= 2 ? w[n - 2] : 0;
        Word q;
        if (t0 == d0) {
            q = 0xFFFFFFFFu;
        } else {
            Word r;
            q = top_divisor.Div(t0, t1, &r);
            DWord rem = r;
            while (static_cast<DWord>(q) * d1 > ((rem << 32) | t2)) {
                --q;
                rem += d0;
                if (rem >> 32) break;
            }
        }
        const DWord top = static_cast<DWord>(w[n]) + WORDS_MulAddCarry(w, comp->words, n, q, q);
        w[n] = static_cast<Word>(top - q);
        if (top < q) {
            --q;
            w[n] += WORDS_Add(w, w, d, n);
        }
        q_out[pos - 1] = q;
    }
    while (quot->used > 0 && quot->words[quot->used - 1] == 0) --quot->used;

    if (remainder) {
        while (snum->used > 0 && snum->words[snum->used - 1] == 0) --snum->used;
        if (!BIGNUM_RShift(remainder, snum, s + 32)) return 0;
    }
    return 1;
}

}  // namespace quillon
