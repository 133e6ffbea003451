#include <gtest/gtest.h>

#include <random>

#include "bignum/bignum.h"
#include "bignum/bn_oracle.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

class DivTest : public ::testing::TestWithParam<bool> {
  protected:
    BigNumContext* Ctx() { return GetParam() ? ctx_.get() : nullptr; }

    // Divides with every combination of outputs and aliasing and compares with the oracle.
    void Check(const BigNum* num, const BigNum* div) {
        Bn N = ToBn(num), D = ToBn(div), Q(BN_new()), R(BN_new());
        ASSERT_TRUE(BN_div(Q.get(), R.get(), N.get(), D.get(), bctx_.get()));
        SCOPED_TRACE(testing::Message() << "num " << Hex(num) << " div " << Hex(div));

        BigNumPtr q = Make(), r = Make();
        ASSERT_TRUE(BIGNUM_Div(q.get(), r.get(), num, div, Ctx()));
        EXPECT_TRUE(Same(q.get(), Q.get()));
        EXPECT_TRUE(Same(r.get(), R.get()));
        BigNumPtr q_only = Make(), r_only = Make();
        ASSERT_TRUE(BIGNUM_Div(q_only.get(), nullptr, num, div, Ctx()));
        EXPECT_TRUE(Same(q_only.get(), Q.get())) << "no remainder wanted";
        ASSERT_TRUE(BIGNUM_Div(nullptr, r_only.get(), num, div, Ctx()));
        EXPECT_TRUE(Same(r_only.get(), R.get())) << "no quotient wanted";

        BigNumPtr n1(BIGNUM_Dup(num)), d1(BIGNUM_Dup(div));
        ASSERT_TRUE(BIGNUM_Div(n1.get(), d1.get(), n1.get(), d1.get(), Ctx()));
        EXPECT_TRUE(Same(n1.get(), Q.get())) << "quotient over the dividend";
        EXPECT_TRUE(Same(d1.get(), R.get())) << "remainder over the divisor";
        BigNumPtr n2(BIGNUM_Dup(num)), d2(BIGNUM_Dup(div));
        ASSERT_TRUE(BIGNUM_Div(d2.get(), n2.get(), n2.get(), d2.get(), Ctx()));
        EXPECT_TRUE(Same(d2.get(), Q.get())) << "quotient over the divisor";
        EXPECT_TRUE(Same(n2.get(), R.get())) << "remainder over the dividend";
    }

    BigNumContextPtr ctx_{BIGNUM_CTX_New()};
    BnCtx bctx_{BN_CTX_new()};
};

TEST_P(DivTest, RandomOperandsUpToEightyWords) {
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
        const int nl = rng() % 81, dl = 1 + rng() % 80;
        BigNumPtr num = Random(rng, nl, rng() % 33), div = Random(rng, dl, rng() % 33);
        Check(num.get(), div.get());
    }
}

// Divisors of 32k bits take a whole-word normalisation shift; all-ones words and a top dividend
// word equal to the divisor's stress the quotient estimate and the add-back.
TEST_P(DivTest, EstimateAndNormalisationEdges) {
    std::mt19937 rng(22);
    for (int dl : {1, 2, 3, 8, 16, 17, 32, 64}) {
        for (int extra : {0, 1, 2, 5, 40}) {
            BigNumPtr div = Random(rng, dl), num = Random(rng, dl + extra);
            div->words[dl - 1] |= 0x80000000u;  // bit length 32 * dl
            Check(num.get(), div.get());
            for (int i = 0; i < dl + extra; ++i) num->words[i] = 0xFFFFFFFFu;
            Check(num.get(), div.get());
            num->words[dl + extra - 1] = div->words[dl - 1];
            Check(num.get(), div.get());
            for (int i = 0; i < dl; ++i) div->words[i] = i == dl - 1 ? 0x80000000u : 0;
            Check(num.get(), div.get());
            BigNumPtr short_top = Random(rng, dl, 1);
            Check(num.get(), short_top.get());
        }
    }
}

TEST_P(DivTest, SmallNumbersAndEqualValues) {
    std::mt19937 rng(23);
    BigNumPtr zero = Make(), one = FromHex("1"), big = Random(rng, 20);
    Check(zero.get(), big.get());
    Check(big.get(), big.get());
    Check(big.get(), one.get());
    BigNumPtr smaller = Random(rng, 19);
    Check(smaller.get(), big.get());

    BigNumPtr q = Make(), r = Make();
    EXPECT_FALSE(BIGNUM_Div(q.get(), r.get(), big.get(), zero.get(), Ctx())) << "division by zero";
    EXPECT_FALSE(BIGNUM_Div(q.get(), q.get(), big.get(), one.get(), Ctx())) << "outputs must differ";
}

INSTANTIATE_TEST_SUITE_P(BigNum, DivTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithContext" : "WithoutContext"; });

TEST(BigNumDiv, AllocationFailuresLeaveNothingBehind) {
    std::mt19937 rng(24);
    BigNumPtr num = Random(rng, 40), div = Random(rng, 13);
    WalkAllocationFailures(
        [&] {
            BigNumPtr q(BIGNUM_New()), r(BIGNUM_New());
            return q && r && BIGNUM_Div(q.get(), r.get(), num.get(), div.get(), nullptr) == 1 &&
                   BIGNUM_Div(nullptr, r.get(), num.get(), div.get(), nullptr) == 1;
        },
        [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
}

}  // namespace
