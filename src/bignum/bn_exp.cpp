// Modular multiplication and left-to-right sliding-window exponentiation. Odd moduli go through
// Montgomery multiplication; even ones reduce every step by division.
#include "bignum/bignum.h"
#include "bignum/bn_mont.h"
#include "bignum/bn_scratch.h"
#include "bignum/bn_window.h"

namespace quillon {

int BIGNUM_ModMul(BigNum* r, const BigNum* a, const BigNum* b, const BigNum* m, BigNumContext* ctx) {
    if (!r || !a || !b || !m || m->used == 0) return 0;
    // With a context the product lives in the aliasing slot: neither the product nor the
    // division below borrows it, and it stays grown between calls.
    Scratch product(true, ctx, BIGNUM_SLOT_MUL_RESULT);
    if (!product.num) return 0;
    const int ok = a == b ? BIGNUM_Sqr(product.num, a, ctx) : BIGNUM_Mul(product.num, a, b, ctx);
    return ok && BIGNUM_Div(nullptr, r, product.num, m, ctx);
}

namespace {

int ModExp(BigNum* r, const BigNum* a, const BigNum* p, const BigNum* m, BigNumContext* ctx) {
    const int bits = BIGNUM_NumBits(p);
    if (bits == 0) {
        // a^0 = 1, reduced: zero when m is one.
        return BIGNUM_SetWord(r, BIGNUM_Cmp(m, BIGNUM_One()) == 0 ? 0 : 1);
    }
    BigNum** val = ctx->slot + BIGNUM_SLOT_EXP_TABLE;
    if (!BIGNUM_Div(nullptr, val[0], a, m, ctx)) return 0;
    if (val[0]->used == 0) return BIGNUM_SetWord(r, 0);

    const int w = BIGNUM_WindowBits(bits);
    if (w > 1) {
        BigNum* square = ctx->slot[BIGNUM_SLOT_EXP_SQUARE];
        if (!BIGNUM_ModMul(square, val[0], val[0], m, ctx)) return 0;
        for (int i = 1; i < 1 << (w - 1); ++i)
            if (!BIGNUM_ModMul(val[i], val[i - 1], square, m, ctx)) return 0;
    }

    // The first window copies: 1 * val is val, already reduced.
    return BIGNUM_SlideWindows(
               p, bits, w, [&](int k) { return BIGNUM_Copy(r, val[k]) != 0; },
               [&] { return BIGNUM_ModMul(r, r, r, m, ctx) != 0; },
               [&](int k) { return BIGNUM_ModMul(r, r, val[k], m, ctx) != 0; })
               ? 1
               : 0;
}

}  // namespace

int BIGNUM_ModExp(BigNum* r, const BigNum* a, const BigNum* p, const BigNum* m, BigNumContext* ctx) {
    if (!r || !a || !p || !m || m->used == 0) return 0;
    if (m->words[0] & 1) {
        BigNumMontPtr mont(BIGNUM_MONT_New(m, false));
        return mont && BIGNUM_ModExpMont(r, a, p, mont.get());
    }
    BigNumContextPtr own;
    if (!ctx) {
        own.reset(BIGNUM_CTX_New());
        if (!own) return 0;
        ctx = own.get();
    }
    // The result is written from the first window on, so it must not be the exponent or the
    // modulus still being read: such a call gets a temporary.
    if (r == p || r == m) {
        BigNumPtr out(BIGNUM_New());
        return out && ModExp(out.get(), a, p, m, ctx) && BIGNUM_Copy(r, out.get());
    }
    return ModExp(r, a, p, m, ctx);
}

}  // namespace quillon
