#include <gtest/gtest.h>

#include <random>

#include "bignum/bignum.h"
#include "bignum/bn_oracle.h"

#include <openssl/err.h>
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

TEST(BigNumGcd, KnownValues) {
    const struct {
        const char *a, *b, *gcd;
    } cases[] = {
        {"0", "0", "0"}, {"0", "1D", "1D"}, {"1D", "0", "1D"}, {"C", "12", "06"},
        {"12", "C", "06"}, {"1", "FFFFFFFFFFFF", "01"}, {"100000000", "1000", "1000"},
        {"FFFFFFFFFFFFFFFE", "FFFFFFFFFFFFFFFE", "FFFFFFFFFFFFFFFE"},
    };
    for (const auto& c : cases) {
        BigNumPtr a = FromHex(c.a), b = FromHex(c.b), r = Make();
        ASSERT_TRUE(BIGNUM_Gcd(r.get(), a.get(), b.get()));
        EXPECT_EQ(Hex(r.get()), c.gcd) << c.a << ", " << c.b;
        EXPECT_EQ(Hex(a.get()), Hex(FromHex(c.a).get())) << "operands unchanged";
    }
}

TEST(BigNumGcd, MatchesTheOracleWithSharedFactors) {
    std::mt19937 rng(41);
    BnCtx bctx(BN_CTX_new());
    for (int round = 0; round < 150; ++round) {
        BigNumPtr f = Random(rng, rng() % 6), a = Random(rng, rng() % 40), b = Random(rng, rng() % 40);
        ASSERT_TRUE(BIGNUM_Mul(a.get(), a.get(), f.get(), nullptr));
        ASSERT_TRUE(BIGNUM_Mul(b.get(), b.get(), f.get(), nullptr));
        ASSERT_TRUE(BIGNUM_LShift(a.get(), a.get(), rng() % 70));
        ASSERT_TRUE(BIGNUM_LShift(b.get(), b.get(), rng() % 70));
        Bn A = ToBn(a.get()), B = ToBn(b.get()), E(BN_new());
        ASSERT_TRUE(BN_gcd(E.get(), A.get(), B.get(), bctx.get()));
        BigNumPtr r = Make();
        ASSERT_TRUE(BIGNUM_Gcd(r.get(), a.get(), b.get()));
        EXPECT_TRUE(Same(r.get(), E.get()));
        ASSERT_TRUE(BIGNUM_Gcd(a.get(), a.get(), b.get()));
        EXPECT_TRUE(Same(a.get(), E.get())) << "r = a";
    }
}

TEST(BigNumModInverse, KnownValuesAndRefusals) {
    const struct {
        const char *a, *n, *inverse;  // null: no inverse
    } cases[] = {
        {"3", "7", "05"}, {"2", "4", nullptr}, {"A", "7", "05"}, {"7", "7", nullptr},
        {"1", "1", "0"}, {"0", "7", nullptr}, {"3", "0", nullptr},
        {"10001", "7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", "FFFF0000FFFF0000FFFF0000FFFF"},
        {"10001", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", nullptr},
    };
    for (const auto& c : cases) {
        BigNumPtr a = FromHex(c.a), n = FromHex(c.n);
        BigNumPtr r(BIGNUM_ModInverse(nullptr, a.get(), n.get()));
        if (!c.inverse) {
            EXPECT_FALSE(r) << c.a << " mod " << c.n;
            continue;
        }
        ASSERT_TRUE(r) << c.a << " mod " << c.n;
        EXPECT_EQ(Hex(r.get()), c.inverse);
    }
}

TEST(BigNumModInverse, MatchesTheOracleWithAliasing) {
    std::mt19937 rng(42);
    BnCtx bctx(BN_CTX_new());
    for (int round = 0; round < 150; ++round) {
        BigNumPtr n = Random(rng, 1 + rng() % 40), a = Random(rng, rng() % 45);
        Bn A = ToBn(a.get()), N = ToBn(n.get()), E(BN_new());
        ERR_set_mark();
        const bool exists = BN_mod_inverse(E.get(), A.get(), N.get(), bctx.get()) != nullptr;
        ERR_pop_to_mark();
        BigNumPtr r = Make();
        BigNum* got = BIGNUM_ModInverse(r.get(), a.get(), n.get());
        ASSERT_EQ(got != nullptr, exists) << Hex(a.get()) << " mod " << Hex(n.get());
        if (!exists) continue;
        EXPECT_EQ(got, r.get());
        EXPECT_TRUE(Same(r.get(), E.get()));
        BigNumPtr ra(BIGNUM_Dup(a.get())), rn(BIGNUM_Dup(n.get()));
        ASSERT_EQ(BIGNUM_ModInverse(ra.get(), ra.get(), n.get()), ra.get());
        EXPECT_TRUE(Same(ra.get(), E.get())) << "r = a";
        ASSERT_EQ(BIGNUM_ModInverse(rn.get(), a.get(), rn.get()), rn.get());
        EXPECT_TRUE(Same(rn.get(), E.get())) << "r = n";
    }
}

TEST(BigNumModInverse, AllocationFailuresLeaveNothingBehind) {
    BigNumPtr a = FromHex("10001"), n = FromHex("C7A3B1F00D2F6A3B1F00D2F6A3B1F00D");
    WalkAllocationFailures([&] { return BigNumPtr(BIGNUM_ModInverse(nullptr, a.get(), n.get())) != nullptr; },
                           [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
    WalkAllocationFailures(
        [&] {
            BigNumPtr r(BIGNUM_New());
            return r && BIGNUM_Gcd(r.get(), a.get(), n.get()) == 1;
        },
        [](bool fired, bool ok) { EXPECT_NE(fired, ok); });
}

}  // namespace
