// Binary greatest common divisor and the modular inverse by the extended Euclidean algorithm.
#include <bit>
#include <utility>

#include "bignum/bignum.h"

namespace quillon {
namespace {

// Number of trailing zero bits of a non-zero value.
int TrailingZeros(const BigNum* a) {
    int i = 0;
    while (a->words[i] == 0) ++i;
    return i * 32 + std::countr_zero(a->words[i]);
}

}  // namespace

int BIGNUM_Gcd(BigNum* r, const BigNum* a, const BigNum* b) {
    if (!r || !a || !b) return 0;
    BigNumPtr x(BIGNUM_Dup(a)), y(BIGNUM_Dup(b));
    if (!x || !y) return 0;
    BigNum* A = x.get();
    BigNum* B = y.get();
    if (BIGNUM_Cmp(A, B) < 0) std::swap(A, B);
    if (B->used == 0) return BIGNUM_Copy(r, A);

    // Common factors of two come back at the end; the others do not divide the gcd.
    const int tz_a = TrailingZeros(A), tz_b = TrailingZeros(B);
    const int shift = tz_a < tz_b ? tz_a : tz_b;
    if (!BIGNUM_RShift(A, A, tz_a) || !BIGNUM_RShift(B, B, tz_b)) return 0;
    // Both odd from here: their difference is even and shrinks the larger.
    for (;;) {
        if (BIGNUM_Cmp(A, B) < 0) std::swap(A, B);
        if (!BIGNUM_Sub(A, A, B)) return 0;
        if (A->used == 0) break;
        if (!BIGNUM_RShift(A, A, TrailingZeros(A))) return 0;
    }
    return BIGNUM_LShift(r, B, shift);
}

namespace {
constexpr uint32_t kSubtractedQuotients = 4;
}  // namespace

BigNum* BIGNUM_ModInverse(BigNum* r, const BigNum* a, const BigNum* n) {
    if (!a || !n || n->used == 0) return nullptr;
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    BigNumPtr nums[6] = {BigNumPtr(BIGNUM_New()), BigNumPtr(BIGNUM_New()), BigNumPtr(BIGNUM_New()),
                         BigNumPtr(BIGNUM_New()), BigNumPtr(BIGNUM_New()), BigNumPtr(BIGNUM_New())};
    if (!ctx) return nullptr;
    for (const BigNumPtr& p : nums)
        if (!p) return nullptr;
    BigNum *X = nums[0].get(), *Y = nums[1].get(), *A = nums[2].get(), *B = nums[3].get();
    BigNum *D = nums[4].get(), *M = nums[5].get();

    if (!BIGNUM_SetWord(X, 1) || !BIGNUM_Copy(A, n)) return nullptr;
    Y->used = 0;
    // a itself is never written: a large a is reduced into B.
    const int reduced = BIGNUM_Cmp(a, n) >= 0 ? BIGNUM_Div(nullptr, B, a, n, ctx.get()) : BIGNUM_Copy(B, a);
    if (!reduced) return nullptr;

    // The cofactors X, Y stay non-negative; the sign of the true cofactor alternates.
    int sign = -1;
    while (B->used != 0) {
        // Most of Euclid's quotients are small: a few subtractions are cheaper than a division.
        bool divided = false;
        if (A->used - B->used <= 1) {
            if (!BIGNUM_Copy(M, A)) return nullptr;
            uint32_t q = 0;
            while (q < kSubtractedQuotients && BIGNUM_Cmp(M, B) >= 0) {
                if (!BIGNUM_Sub(M, M, B)) return nullptr;
                ++q;
            }
            divided = BIGNUM_Cmp(M, B) < 0;
            if (divided && !BIGNUM_SetWord(D, q)) return nullptr;
        }
        if (!divided && !BIGNUM_Div(D, M, A, B, ctx.get())) return nullptr;
        std::swap(A, B);  // A = old B
        std::swap(B, M);  // B = remainder
        // T = D X + Y, then Y = X, X = T; M is free to hold T.
        if (!BIGNUM_Mul(M, D, X, ctx.get()) || !BIGNUM_Add(M, M, Y)) return nullptr;
        std::swap(Y, X);  // Y = old X
        std::swap(X, M);  // X = T, M free
        sign = -sign;
    }
    if (sign < 0 && !BIGNUM_Sub(Y, n, Y)) return nullptr;
    if (BIGNUM_Cmp(A, BIGNUM_One()) != 0) return nullptr;

    BigNumPtr made;
    BigNum* out = r;
    if (!out) {
        made.reset(BIGNUM_New());
        out = made.get();
        if (!out) return nullptr;
    }
    const int ok = BIGNUM_Cmp(Y, n) < 0 ? BIGNUM_Copy(out, Y) : BIGNUM_Div(nullptr, out, Y, n, ctx.get());
    if (!ok) return nullptr;
    made.release();
    return out;
}

}  // namespace quillon
