// The left-to-right sliding-window walk over a public exponent, shared by the Montgomery
// exponentiation on limbs and the division-reduced one on BigNums. A template, so that each
// caller's square and multiply inline as they did when the walk was written out in place.
#pragma once

#include "bignum/bignum.h"

namespace quillon {

// Window width for a public exponent of `exponent_bits` bits.
inline int BIGNUM_WindowBits(int exponent_bits) {
    if (exponent_bits >= 672) return 6;
    if (exponent_bits >= 240) return 5;
    if (exponent_bits >= 80) return 4;
    if (exponent_bits >= 24) return 3;
    return 1;
}

// Walks the `bits` bits of p from the top in windows of at most w bits that end in a set bit.
// The first window calls load(k), every later one squares once per bit it spans and then calls
// mul(k), where k = value >> 1 indexes the table of odd powers; zero bits between windows
// square. Each step returns false to stop the walk, which then returns false too.
template <class Load, class Square, class Mul>
inline bool BIGNUM_SlideWindows(const BigNum* p, int bits, int w, Load&& load, Square&& square, Mul&& mul) {
    bool start = true;
    int i = bits - 1;
    while (i >= 0) {
        if (!BIGNUM_IsBitSet(p, i)) {
            if (!start && !square()) return false;
            --i;
            continue;
        }
        // Longest window of at most w bits from bit i down that ends in a set bit.
        int wend = 0, wval = 1;
        for (int j = 1; j < w && i - j >= 0; ++j) {
            if (BIGNUM_IsBitSet(p, i - j)) {
                wval = (wval << (j - wend)) | 1;
                wend = j;
            }
        }
        if (start) {
            if (!load(wval >> 1)) return false;
        } else {
            for (int k = 0; k <= wend; ++k)
                if (!square()) return false;
            if (!mul(wval >> 1)) return false;
        }
        i -= wend + 1;
        start = false;
    }
    return true;
}

}  // namespace quillon
