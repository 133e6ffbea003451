#include <gtest/gtest.h>

#include <random>

#include "bignum/bignum.h"
#include "bignum/bn_oracle.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

class ExpTest : public ::testing::TestWithParam<bool> {
  protected:
    BigNumContext* Ctx() { return GetParam() ? ctx_.get() : nullptr; }
    BigNumContextPtr ctx_{BIGNUM_CTX_New()};
    BnCtx bctx_{BN_CTX_new()};
};

TEST_P(ExpTest, ModMulMatchesTheOracleWithAliasing) {
    std::mt19937 rng(31);
    for (int round = 0; round < 200; ++round) {
        const int ml = 1 + rng() % 80;
        BigNumPtr m = Random(rng, ml, rng() % 33);
        BigNumPtr a = Random(rng, rng() % (ml + 3)), b = Random(rng, rng() % (ml + 3));
        Bn A = ToBn(a.get()), B = ToBn(b.get()), M = ToBn(m.get()), E(BN_new()), S(BN_new());
        ASSERT_TRUE(BN_mod_mul(E.get(), A.get(), B.get(), M.get(), bctx_.get()));
        ASSERT_TRUE(BN_mod_sqr(S.get(), A.get(), M.get(), bctx_.get()));

        BigNumPtr r = Make();
        ASSERT_TRUE(BIGNUM_ModMul(r.get(), a.get(), b.get(), m.get(), Ctx()));
        EXPECT_TRUE(Same(r.get(), E.get()));
        ASSERT_TRUE(BIGNUM_ModMul(r.get(), a.get(), a.get(), m.get(), Ctx()));
        EXPECT_TRUE(Same(r.get(), S.get())) << "square";
        BigNumPtr ra(BIGNUM_Dup(a.get())), rm(BIGNUM_Dup(m.get()));
        ASSERT_TRUE(BIGNUM_ModMul(ra.get(), ra.get(), b.get(), m.get(), Ctx()));
        EXPECT_TRUE(Same(ra.get(), E.get())) << "r = a";
        ASSERT_TRUE(BIGNUM_ModMul(rm.get(), a.get(), b.get(), rm.get(), Ctx()));
        EXPECT_TRUE(Same(rm.get(), E.get())) << "r = m";
    }
}

// Exponent sizes on both sides of every window-width step, against the oracle and against
// plain square-and-multiply built from ModMul.
TEST_P(ExpTest, WindowWidthBoundaries) {
    std::mt19937 rng(32);
    for (int bits : {1, 2, 23, 24, 79, 80, 239, 240, 671, 672, 1024}) {
        for (int ml : {1, 2, 16, 17, 32, 33}) {
            BigNumPtr m = Random(rng, ml), a = Random(rng, ml + 1), p = Make();
            ASSERT_TRUE(BIGNUM_SetWord(p.get(), 1));
            ASSERT_TRUE(BIGNUM_LShift(p.get(), p.get(), bits - 1));
            BigNumPtr noise = Random(rng, (bits + 31) / 32);
            for (int i = 0; i < p->used - 1; ++i) p->words[i] = noise->words[i];
            p->words[p->used - 1] |= noise->words[p->used - 1] & ((1u << ((bits - 1) % 32)) - 1);
            ASSERT_EQ(BIGNUM_NumBits(p.get()), bits);
            Bn A = ToBn(a.get()), P = ToBn(p.get()), M = ToBn(m.get()), E(BN_new());
            ASSERT_TRUE(BN_mod_exp(E.get(), A.get(), P.get(), M.get(), bctx_.get()));
            SCOPED_TRACE(testing::Message() << bits << "-bit exponent, " << ml << "-word modulus");

            BigNumPtr r = Make();
            ASSERT_TRUE(BIGNUM_ModExp(r.get(), a.get(), p.get(), m.get(), Ctx()));
            EXPECT_TRUE(Same(r.get(), E.get()));

            BigNumPtr plain = Make(), base = Make();
            ASSERT_TRUE(BIGNUM_Div(nullptr, base.get(), a.get(), m.get(), nullptr));
            ASSERT_TRUE(BIGNUM_SetWord(plain.get(), 1));
            ASSERT_TRUE(BIGNUM_Div(nullptr, plain.get(), plain.get(), m.get(), nullptr));
            for (int i = bits - 1; i >= 0; --i) {
                ASSERT_TRUE(BIGNUM_ModMul(plain.get(), plain.get(), plain.get(), m.get(), nullptr));
                if (BIGNUM_IsBitSet(p.get(), i)) {
                    ASSERT_TRUE(BIGNUM_ModMul(plain.get(), plain.get(), base.get(), m.get(), nullptr));
                }
            }
            EXPECT_EQ(BIGNUM_Cmp(r.get(), plain.get()), 0) << "square-and-multiply";
        }
    }
}

TEST_P(ExpTest, AliasingOfTheResult) {
    std::mt19937 rng(33);
    for (int round = 0; round < 20; ++round) {
        BigNumPtr m = Random(rng, 1 + rng() % 40), a = Random(rng, rng() % 41), p = Random(rng, 1 + rng() % 8);
        Bn A = ToBn(a.get()), P = ToBn(p.get()), M = ToBn(m.get()), E(BN_new());
        ASSERT_TRUE(BN_mod_exp(E.get(), A.get(), P.get(), M.get(), bctx_.get()));
        BigNumPtr ra(BIGNUM_Dup(a.get())), rp(BIGNUM_Dup(p.get())), rm(BIGNUM_Dup(m.get()));
        ASSERT_TRUE(BIGNUM_ModExp(ra.get(), ra.get(), p.get(), m.get(), Ctx()));
        EXPECT_TRUE(Same(ra.get(), E.get())) << "base = result";
        ASSERT_TRUE(BIGNUM_ModExp(rp.get(), a.get(), rp.get(), m.get(), Ctx()));
        EXPECT_TRUE(Same(rp.get(), E.get())) << "exponent = result";
        ASSERT_TRUE(BIGNUM_ModExp(rm.get(), a.get(), p.get(), rm.get(), Ctx()));
        EXPECT_TRUE(Same(rm.get(), E.get())) << "modulus = result";
    }
}

TEST_P(ExpTest, DegenerateOperands) {
    BigNumPtr zero = Make(), one = FromHex("1"), seven = FromHex("7"), r = Make();
    BigNumPtr twenty_one = FromHex("15"), big = FromHex("123456789ABCDEF0123456789");
    ASSERT_TRUE(BIGNUM_ModExp(r.get(), big.get(), zero.get(), seven.get(), Ctx()));
    EXPECT_EQ(Hex(r.get()), "01") << "exponent zero";
    ASSERT_TRUE(BIGNUM_ModExp(r.get(), twenty_one.get(), big.get(), seven.get(), Ctx()));
    EXPECT_EQ(r->used, 0) << "base a multiple of the modulus";
    ASSERT_TRUE(BIGNUM_ModExp(r.get(), big.get(), zero.get(), one.get(), Ctx()));
    EXPECT_EQ(r->used, 0) << "everything is zero modulo one";
    ASSERT_TRUE(BIGNUM_ModExp(r.get(), zero.get(), zero.get(), seven.get(), Ctx()));
    EXPECT_EQ(Hex(r.get()), "01");

    EXPECT_FALSE(BIGNUM_ModExp(r.get(), big.get(), zero.get(), zero.get(), Ctx())) << "zero modulus";
    EXPECT_FALSE(BIGNUM_ModExp(r.get(), big.get(), seven.get(), zero.get(), Ctx()));
    EXPECT_FALSE(BIGNUM_ModMul(r.get(), big.get(), seven.get(), zero.get(), Ctx()));
}

INSTANTIATE_TEST_SUITE_P(BigNum, ExpTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithContext" : "WithoutContext"; });

TEST(BigNumExp, AllocationFailuresLeaveNothingBehind) {
    std::mt19937 rng(34);
    BigNumPtr m = Random(rng, 17), a = Random(rng, 17), p = Random(rng, 1);
    WalkAllocationFailures(
        [&] {
            BigNumPtr r(BIGNUM_New());
            return r && BIGNUM_ModExp(r.get(), a.get(), p.get(), m.get(), nullptr) == 1 &&
                   BIGNUM_ModExp(r.get(), a.get(), p.get(), r.get(), nullptr) == 1;
        },
        [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
}

}  // namespace
