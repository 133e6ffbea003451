#include "bignum/bn_mul.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bignum/bignum.h"
#include "bignum/bn_oracle.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

// Comba sizes, Karatsuba boundaries (15/16/17, 31/32/33, powers of two) and the 80-word limit.
const int kSizes[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 23, 24, 31, 32, 33, 47, 48, 49, 63, 64, 65, 80};
const Shape kShapes[] = {Shape::kRandom, Shape::kAllOnes, Shape::kEqualHalves, Shape::kShortTop};

class MulTest : public ::testing::TestWithParam<bool> {
  protected:
    BigNumContext* Ctx() { return GetParam() ? ctx_.get() : nullptr; }
    BigNumContextPtr ctx_{BIGNUM_CTX_New()};
    BnCtx bctx_{BN_CTX_new()};
};

TEST_P(MulTest, ProductsMatchTheOracleWithEveryAliasing) {
    std::mt19937 rng(7);
    for (int al : kSizes) {
        for (int dl : {-2, -1, 0, 1, 2, 17}) {
            const int bl = al + dl;
            if (bl < 0 || bl > 80) continue;
            for (Shape shape : kShapes) {
                BigNumPtr a = Shaped(rng, al, shape), b = Shaped(rng, bl, shape);
                Bn A = ToBn(a.get()), B = ToBn(b.get()), E(BN_new());
                ASSERT_TRUE(BN_mul(E.get(), A.get(), B.get(), bctx_.get()));
                SCOPED_TRACE(testing::Message() << al << " x " << bl << " shape " << static_cast<int>(shape));

                BigNumPtr r = Make();
                ASSERT_TRUE(BIGNUM_Mul(r.get(), a.get(), b.get(), Ctx()));
                EXPECT_TRUE(Same(r.get(), E.get()));
                BigNumPtr ra(BIGNUM_Dup(a.get())), rb(BIGNUM_Dup(b.get()));
                ASSERT_TRUE(BIGNUM_Mul(ra.get(), ra.get(), b.get(), Ctx()));
                EXPECT_TRUE(Same(ra.get(), E.get())) << "r = a";
                ASSERT_TRUE(BIGNUM_Mul(rb.get(), a.get(), rb.get(), Ctx()));
                EXPECT_TRUE(Same(rb.get(), E.get())) << "r = b";
            }
        }
    }
}

TEST_P(MulTest, SquaresMatchTheOracleAndTheProduct) {
    std::mt19937 rng(8);
    for (int al : kSizes) {
        for (Shape shape : kShapes) {
            BigNumPtr a = Shaped(rng, al, shape);
            Bn A = ToBn(a.get()), E(BN_new());
            ASSERT_TRUE(BN_sqr(E.get(), A.get(), bctx_.get()));
            SCOPED_TRACE(testing::Message() << al << " words, shape " << static_cast<int>(shape));
            BigNumPtr r = Make(), p = Make();
            ASSERT_TRUE(BIGNUM_Sqr(r.get(), a.get(), Ctx()));
            EXPECT_TRUE(Same(r.get(), E.get()));
            ASSERT_TRUE(BIGNUM_Mul(p.get(), a.get(), a.get(), Ctx()));
            EXPECT_EQ(BIGNUM_Cmp(p.get(), r.get()), 0);
            ASSERT_TRUE(BIGNUM_Sqr(a.get(), a.get(), Ctx()));
            EXPECT_TRUE(Same(a.get(), E.get())) << "r = a";
        }
    }
}

TEST_P(MulTest, RandomSizesUpToEightyWords) {
    std::mt19937 rng(9);
    for (int round = 0; round < 400; ++round) {
        const int al = rng() % 81, bl = round % 2 ? al + static_cast<int>(rng() % 3) - 1 : rng() % 81;
        if (bl < 0 || bl > 80) continue;
        BigNumPtr a = Random(rng, al, rng() % 33), b = Random(rng, bl, rng() % 33);
        Bn A = ToBn(a.get()), B = ToBn(b.get()), E(BN_new());
        ASSERT_TRUE(BN_mul(E.get(), A.get(), B.get(), bctx_.get()));
        BigNumPtr r = Make();
        ASSERT_TRUE(BIGNUM_Mul(r.get(), a.get(), b.get(), Ctx()));
        EXPECT_TRUE(Same(r.get(), E.get())) << al << " x " << bl;
    }
}

INSTANTIATE_TEST_SUITE_P(BigNum, MulTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "WithContext" : "WithoutContext"; });

TEST(BigNumMul, CombaKernelsAgreeWithTheSchoolbook) {
    std::mt19937 rng(10);
    for (int round = 0; round < 50; ++round) {
        Word a[8], b[8], want[16], got[16], work[16];
        for (int i = 0; i < 8; ++i) {
            a[i] = round % 5 == 0 ? 0xFFFFFFFFu : static_cast<Word>(rng());
            b[i] = round % 5 == 0 ? 0xFFFFFFFFu : static_cast<Word>(rng());
        }
        for (int n : {4, 8}) {
            WORDS_MulSchool(want, a, n, b, n);
            (n == 4 ? WORDS_MulComba4 : WORDS_MulComba8)(got, a, b);
            EXPECT_TRUE(std::equal(want, want + 2 * n, got)) << n;
            WORDS_MulSchool(want, a, n, a, n);
            (n == 4 ? WORDS_SqrComba4 : WORDS_SqrComba8)(got, a);
            EXPECT_TRUE(std::equal(want, want + 2 * n, got)) << "square " << n;
            WORDS_SqrSchool(got, a, n, work);
            EXPECT_TRUE(std::equal(want, want + 2 * n, got)) << "schoolbook square " << n;
        }
    }
}

TEST(BigNumMul, AllocationFailuresLeaveNothingBehind) {
    std::mt19937 rng(12);
    BigNumPtr a = Random(rng, 33), b = Random(rng, 32);
    for (bool aliased : {false, true}) {
        WalkAllocationFailures(
            [&] {
                BigNumPtr r(BIGNUM_Dup(a.get()));
                if (!r) return false;
                const int ok = BIGNUM_Mul(r.get(), aliased ? r.get() : b.get(), b.get(), nullptr) &&
                               BIGNUM_Sqr(r.get(), r.get(), nullptr);
                return ok == 1;
            },
            [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
    }
}

}  // namespace
