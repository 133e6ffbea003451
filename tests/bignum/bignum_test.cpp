#include "bignum/bignum.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "core/mem.h"
#include "bignum/bn_mont.h"
#include "bignum/bn_oracle.h"
#include "bignum/bn_words.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

TEST(BigNum, EdgesRefusalsAndRelease) {
    BigNumPtr two32 = FromHex("100000000"), zero = Make();
    char text[16] = "x";
    int len = 17;  // a two-word value needs 8 * 2 + 2
    EXPECT_FALSE(BIGNUM_ToHex(two32.get(), text, &len) || len != 17 || text[0] != 'x') << "refused, nothing written";
    len = 1;
    EXPECT_FALSE(BIGNUM_ToHex(zero.get(), text, &len));
    EXPECT_EQ(BIGNUM_GetWord(two32.get()), 0xFFFFFFFFu) << "saturates above one word";
    EXPECT_EQ(BIGNUM_GetWord(zero.get()), 0u);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), 32), 1);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), 64), 0);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), -1), 0);
    EXPECT_EQ(BIGNUM_ModWord(two32.get(), 0), 0xFFFFFFFFu);
    EXPECT_EQ(BIGNUM_ModWord(zero.get(), 7), 0u);

    BigNumPtr one_word = FromHex("FFFFFFF0");  // overflows without being all ones: must still grow
    ASSERT_TRUE(BIGNUM_AddWord(one_word.get(), 0x20));
    EXPECT_EQ(Hex(one_word.get()), "0100000010");
    ASSERT_TRUE(BIGNUM_AddWord(zero.get(), 0));
    EXPECT_EQ(zero->used, 0);

    const Word x[] = {5, 0, 0}, y[] = {4, 0, 1};
    EXPECT_EQ(WORDS_CmpPart(x, y, 1, 2), -1) << "y's surplus is non-zero";
    EXPECT_EQ(WORDS_CmpPart(x, y, 1, 1), 1) << "y's surplus is zero";
    EXPECT_EQ(WORDS_CmpPart(x, y, 1, -2), 1);
    Word d[3];
    EXPECT_EQ(WORDS_SubPart(d, y, x, 1, 2), 0u);
    EXPECT_TRUE(d[0] == 0xFFFFFFFFu && d[1] == 0xFFFFFFFFu && d[2] == 0u);
    EXPECT_EQ(WORDS_SubPart(d, x, y, 1, -2), 1u) << "a longer subtrahend borrows";

    BigNum* one = const_cast<BigNum*>(BIGNUM_One());
    EXPECT_EQ(BIGNUM_Expand(one, 2), nullptr) << "static records never grow";
    EXPECT_EQ(BIGNUM_Free(one), 1);
    EXPECT_EQ(BIGNUM_GetWord(BIGNUM_One()), 1u) << "the constant survives a release";

    BigNumPtr a = Make();
    EXPECT_EQ(BIGNUM_Expand(a.get(), BIGNUM_MAX_WORDS + 1), nullptr);
    ASSERT_EQ(BIGNUM_Expand(a.get(), 5), a.get());
    EXPECT_EQ(a->capacity, 5) << "exact size, no rounding";
    ASSERT_TRUE(BIGNUM_SetWord(a.get(), 1));
    EXPECT_FALSE(BIGNUM_LShift(a.get(), a.get(), BIGNUM_MAX_WORDS * 32));
    EXPECT_FALSE(BIGNUM_LShift(a.get(), a.get(), -1));
    uint8_t byte = 1;
    EXPECT_EQ(BIGNUM_FromBytes(&byte, 0xFFFFFFFFu, nullptr), nullptr) << "over the word limit";

    BigNumPtr small = FromHex("5"), six = FromHex("6"), big = FromHex("100000000"), r = FromHex("4D");
    EXPECT_FALSE(BIGNUM_Sub(r.get(), small.get(), big.get()));
    EXPECT_EQ(BIGNUM_GetWord(r.get()), 77u) << "a shorter minuend is refused before writing";
    EXPECT_FALSE(BIGNUM_Sub(r.get(), small.get(), six.get()));

    BigNum local{nullptr, 0, 0, 0};
    ASSERT_TRUE(BIGNUM_SetWord(&local, 9));
    const long live = MEM_LiveBlocks();
    EXPECT_EQ(BIGNUM_Free(&local), 1);
    EXPECT_EQ(MEM_LiveBlocks(), live - 1) << "a stack record's words are released";
    EXPECT_EQ(local.words, nullptr);
    EXPECT_EQ(BIGNUM_Free(nullptr), 0);
}

// Every check runs with a context and without one.
class Arith : public ::testing::Test {
  protected:
    void CheckMul(const BigNum* a, const BigNum* b) {
        Bn A = ToBn(a), B = ToBn(b), E(BN_new());
        ASSERT_TRUE(BN_mul(E.get(), A.get(), B.get(), bctx_.get()));
        for (BigNumContext* c : ctxs_) {
            CheckAliases(E.get(), {a, b}, [&](BigNum* r, auto& x) { return BIGNUM_Mul(r, x[0], x[1], c); });
            if (a == b) CheckAliases(E.get(), {a}, [&](BigNum* r, auto& x) { return BIGNUM_Sqr(r, x[0], c); });
        }
    }

    // Divides with either output null and with the outputs over the inputs.
    void CheckDiv(const BigNum* num, const BigNum* div) {
        Bn N = ToBn(num), D = ToBn(div), Q(BN_new()), R(BN_new());
        ASSERT_TRUE(BN_div(Q.get(), R.get(), N.get(), D.get(), bctx_.get()));
        for (BigNumContext* c : ctxs_) {
            BigNumPtr q = Make(), r = Make(), n1(BIGNUM_Dup(num)), d1(BIGNUM_Dup(div)), n2(BIGNUM_Dup(num)),
                      d2(BIGNUM_Dup(div));
            ASSERT_TRUE(BIGNUM_Div(q.get(), nullptr, num, div, c) && BIGNUM_Div(nullptr, r.get(), num, div, c));
            ASSERT_TRUE(BIGNUM_Div(n1.get(), d1.get(), n1.get(), d1.get(), c));
            ASSERT_TRUE(BIGNUM_Div(d2.get(), n2.get(), n2.get(), d2.get(), c));
            for (BigNum* got : {q.get(), n1.get(), d2.get()}) EXPECT_TRUE(Same(got, Q.get())) << "quotient";
            for (BigNum* got : {r.get(), d1.get(), n2.get()}) EXPECT_TRUE(Same(got, R.get())) << "remainder";
        }
    }

    BigNumContextPtr ctx_{BIGNUM_CTX_New()};
    BigNumContext* const ctxs_[2] = {ctx_.get(), nullptr};
    BnCtx bctx_{BN_CTX_new()};
};

TEST_F(Arith, DivisionMatchesTheOracle) {
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round)
        CheckDiv(Random(rng, rng() % 81, rng() % 33).get(), Random(rng, 1 + rng() % 80, rng() % 33).get());
    // Divisors of 32k bits take a whole-word normalisation shift; all-ones words and a top dividend
    // word equal to the divisor's stress the quotient estimate and the add-back.
    for (int dl : {1, 2, 3, 8, 16, 17, 32, 64}) {
        for (int extra : {0, 1, 2, 5, 40}) {
            BigNumPtr div = Random(rng, dl), num = Random(rng, dl + extra);
            div->words[dl - 1] |= 0x80000000u;
            CheckDiv(num.get(), div.get());
            for (int i = 0; i < dl + extra; ++i) num->words[i] = 0xFFFFFFFFu;
            CheckDiv(num.get(), div.get());
            num->words[dl + extra - 1] = div->words[dl - 1];
            CheckDiv(num.get(), div.get());
            for (int i = 0; i < dl; ++i) div->words[i] = i == dl - 1 ? 0x80000000u : 0;
            CheckDiv(num.get(), div.get());
            CheckDiv(num.get(), Random(rng, dl, 1).get());
        }
    }
    BigNumPtr zero = Make(), one = FromHex("1"), big = Random(rng, 20), less = Random(rng, 19), q = Make();
    for (const BigNum* n : {zero.get(), big.get(), less.get()}) CheckDiv(n, big.get());
    CheckDiv(big.get(), one.get());
    EXPECT_FALSE(BIGNUM_Div(q.get(), nullptr, big.get(), zero.get(), nullptr)) << "division by zero";
    EXPECT_FALSE(BIGNUM_Div(q.get(), q.get(), big.get(), one.get(), nullptr)) << "outputs must differ";
}

TEST_F(Arith, ModMulMatchesTheOracle) {
    std::mt19937 rng(31);
    for (int round = 0; round < 200; ++round) {
        const int ml = 1 + rng() % 80;
        BigNumPtr m = Random(rng, ml, rng() % 33), a = Random(rng, rng() % (ml + 3)), b = Random(rng, rng() % (ml + 3));
        Bn A = ToBn(a.get()), M = ToBn(m.get()), E(BN_new());
        BigNumContext* c = ctxs_[round % 2];
        for (const BigNum* y : {b.get(), a.get()}) {  // product and square
            ASSERT_TRUE(BN_mod_mul(E.get(), A.get(), ToBn(y).get(), M.get(), bctx_.get()));
            CheckAliases(E.get(), {a.get(), m.get()},
                         [&](BigNum* r, auto& x) { return BIGNUM_ModMul(r, x[0], y, x[1], c); });
            if (m->words[0] & 1) {
                BigNumMontPtr mont(BIGNUM_MONT_New(m.get(), round % 3 == 0));
                CheckAliases(E.get(), {a.get()}, [&](BigNum* r, auto& x) { return BIGNUM_ModMulMont(r, x[0], y, mont.get()); });
            }
        }
    }
}

// Exponent sizes on both sides of every window-width step, with every operand as the result.
TEST_F(Arith, ModExpAtWindowWidthBoundaries) {
    std::mt19937 rng(32);
    for (int bits : {1, 2, 23, 24, 79, 80, 239, 240, 671, 672, 1024}) {
        for (int ml : {1, 2, 16, 17, 32, 33, 64, static_cast<int>(1 + rng() % (bits < 240 ? 80 : 33))}) {
            const int pl = (bits + 31) / 32, top = (bits - 1) % 32;
            BigNumPtr m = Random(rng, ml), a = Random(rng, ml + 1), p = Random(rng, pl);
            p->words[pl - 1] = (p->words[pl - 1] & ((1u << top) - 1)) | (1u << top);
            Bn A = ToBn(a.get()), P = ToBn(p.get()), M = ToBn(m.get()), E(BN_new());
            ASSERT_TRUE(BN_mod_exp(E.get(), A.get(), P.get(), M.get(), bctx_.get()));
            SCOPED_TRACE(testing::Message() << bits << "-bit exponent, " << ml << "-word modulus");
            BigNumContext* c = ctxs_[ml % 2];
            CheckAliases(E.get(), {a.get(), p.get(), m.get()},
                         [&](BigNum* r, auto& x) { return BIGNUM_ModExp(r, x[0], x[1], x[2], c); });
            // The same modulus made odd through both Montgomery set-ups and both windows.
            m->words[0] |= 1;
            M = ToBn(m.get());
            ASSERT_TRUE(BN_mod_exp(E.get(), A.get(), P.get(), M.get(), bctx_.get()));
            for (int variant = 0; variant < 4; ++variant) {  // public or secret set-up; vector path or not
                const bool secret = variant & 1;
                IFMA_SetEnabled(variant < 2);
                BigNumMontPtr mont(BIGNUM_MONT_New(m.get(), secret));
                IFMA_SetEnabled(true);
                ASSERT_TRUE(mont);
                CheckAliases(E.get(), {a.get(), p.get()},
                             [&](BigNum* r, auto& x) { return BIGNUM_ModExpSecret(r, x[0], x[1], mont.get()); });
                CheckAliases(E.get(), {a.get(), p.get()},
                             [&](BigNum* r, auto& x) { return BIGNUM_ModExpMont(r, x[0], x[1], mont.get()); });
            }
        }
    }
    BigNumPtr even = FromHex("10"), zero = Make();
    EXPECT_EQ(BIGNUM_MONT_New(even.get(), false), nullptr);
    EXPECT_EQ(BIGNUM_MONT_New(zero.get(), true), nullptr);
    const char* big = "123456789ABCDEF0123456789";
    const struct {
        const char *base, *exp, *mod, *want;  // null: refused
    } cases[] = {{big, "0", "7", "01"}, {"15", big, "7", "0"}, {big, "0", "1", "0"},
                 {"0", "0", "7", "01"}, {big, "0", "0", nullptr}, {big, "7", "0", nullptr}};
    for (const auto& c : cases) {
        BigNumPtr a = FromHex(c.base), p = FromHex(c.exp), m = FromHex(c.mod), r = Make();
        for (BigNumContext* x : ctxs_) {
            ASSERT_EQ(BIGNUM_ModExp(r.get(), a.get(), p.get(), m.get(), x), c.want ? 1 : 0) << c.base << "^" << c.exp;
            EXPECT_EQ(c.want ? Hex(r.get()) : "", c.want ? c.want : "") << c.base << "^" << c.exp << " mod " << c.mod;
            EXPECT_EQ(BIGNUM_ModMul(r.get(), a.get(), p.get(), m.get(), x), c.want ? 1 : 0);
        }
    }
}

TEST(BigNumAlloc, FailuresReleaseWhatWasMade) {
    std::mt19937 rng(12);
    BigNumPtr a = Random(rng, 33), b = Random(rng, 32), m = Random(rng, 17), p = Random(rng, 1), e = FromHex("10001"),
              n = FromHex("C7A3B1F00D2F6A3B1F00D2F6A3B1F00D");
    const std::function<bool()> runs[] = {
        [] { return BigNumContextPtr(BIGNUM_CTX_New()) != nullptr; },
        [&] { return BigNumPtr(BIGNUM_ModInverse(nullptr, e.get(), n.get())) != nullptr; },
        [&] {  // each family, aliased and not
            BigNumPtr x(BIGNUM_Dup(a.get())), q(BIGNUM_New()), y(BIGNUM_New());
            return x && q && y && BIGNUM_Mul(x.get(), x.get(), b.get(), nullptr) &&
                   BIGNUM_Mul(y.get(), a.get(), b.get(), nullptr) && BIGNUM_Sqr(x.get(), x.get(), nullptr) &&
                   BIGNUM_Div(q.get(), y.get(), x.get(), m.get(), nullptr) &&
                   BIGNUM_Div(nullptr, y.get(), x.get(), b.get(), nullptr) && BIGNUM_Gcd(q.get(), e.get(), n.get()) &&
                   BIGNUM_ModExp(y.get(), m.get(), p.get(), b.get(), nullptr) &&
                   BIGNUM_ModExp(y.get(), a.get(), p.get(), y.get(), nullptr);
        },
    };
    for (const auto& run : runs) WalkAllocationFailures(run, [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
}

}  // namespace
