// Kernels over raw arrays of 32-bit words (least significant first). They never allocate;
// single-word products and quotients go through 64-bit intermediates. Kept inline so that
// the compiler sees them inside the multiplication and division loops.
#pragma once

#include <cstdint>

namespace quillon {

using Word = uint32_t;
using DWord = uint64_t;

// r = a + b over n words; returns the carry. r may be a or b.
inline Word WORDS_Add(Word* r, const Word* a, const Word* b, int n) {
    DWord c = 0;
    for (int i = 0; i < n; ++i) {
        c += static_cast<DWord>(a[i]) + b[i];
        r[i] = static_cast<Word>(c);
        c >>= 32;
    }
    return static_cast<Word>(c);
}

// r = a - b over n words; returns the borrow. r may be a or b.
inline Word WORDS_Sub(Word* r, const Word* a, const Word* b, int n) {
    Word borrow = 0;
    for (int i = 0; i < n; ++i) {
        const DWord t = static_cast<DWord>(a[i]) - b[i] - borrow;
        r[i] = static_cast<Word>(t);
        borrow = static_cast<Word>(t >> 63);
    }
    return borrow;
}

// Compares two n-word arrays from the top word down.
inline int WORDS_Cmp(const Word* a, const Word* b, int n) {
    for (int i = n - 1; i >= 0; --i) {
        if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    }
    return 0;
}

// Compares a and b over n common words where one of them has |d| more words:
// d > 0: b has n + d words; d < 0: a has n - d words. Non-zero surplus words decide.
inline int WORDS_CmpPart(const Word* a, const Word* b, int n, int d) {
    if (d < 0) {
        for (int i = n - d - 1; i >= n; --i)
            if (a[i]) return 1;
    } else {
        for (int i = n + d - 1; i >= n; --i)
            if (b[i]) return -1;
    }
    return WORDS_Cmp(a, b, n);
}

// r = a - b over n common words, the borrow then carried through the |d| further words of the
// longer operand (d > 0: a is longer; d < 0: b is longer and is taken from zero). Returns the borrow.
inline Word WORDS_SubPart(Word* r, const Word* a, const Word* b, int n, int d) {
    Word borrow = WORDS_Sub(r, a, b, n);
    if (d > 0) {
        for (int i = n; i < n + d; ++i) {
            const DWord t = static_cast<DWord>(a[i]) - borrow;
            r[i] = static_cast<Word>(t);
            borrow = static_cast<Word>(t >> 63);
        }
    } else {
        for (int i = n; i < n - d; ++i) {
            const DWord t = DWord{0} - b[i] - borrow;
            r[i] = static_cast<Word>(t);
            borrow = static_cast<Word>(t >> 63);
        }
    }
    return borrow;
}

// r = a * w over n words; returns the carry word.
inline Word WORDS_Mul(Word* r, const Word* a, int n, Word w) {
    DWord c = 0;
    for (int i = 0; i < n; ++i) {
        c += static_cast<DWord>(a[i]) * w;
        r[i] = static_cast<Word>(c);
        c >>= 32;
    }
    return static_cast<Word>(c);
}

// r += a * w + carry over n words; returns the carry word. (2^32-1)^2 + 2 (2^32-1) fits 64 bits.
inline Word WORDS_MulAddCarry(Word* r, const Word* a, int n, Word w, Word carry) {
    DWord c = carry;
#pragma GCC unroll 4
    for (int i = 0; i < n; ++i) {
        c += static_cast<DWord>(a[i]) * w + r[i];
        r[i] = static_cast<Word>(c);
        c >>= 32;
    }
    return static_cast<Word>(c);
}

// r += a * w over n words; returns the carry word.
inline Word WORDS_MulAdd(Word* r, const Word* a, int n, Word w) { return WORDS_MulAddCarry(r, a, n, w, 0); }

// r[2i], r[2i+1] = a[i]^2, low word first.
inline void WORDS_Sqr(Word* r, const Word* a, int n) {
    for (int i = 0; i < n; ++i) {
        const DWord s = static_cast<DWord>(a[i]) * a[i];
        r[2 * i] = static_cast<Word>(s);
        r[2 * i + 1] = static_cast<Word>(s >> 32);
    }
}

// floor((h * 2^32 + l) / d) for h < d, so that the quotient fits one word.
inline Word WORDS_Div(Word h, Word l, Word d) {
    return static_cast<Word>(((static_cast<DWord>(h) << 32) | l) / d);
}

}  // namespace quillon
