// The oracle uses OpenSSL's RSA-level calls, deprecated but the plainest for raw operations.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "rsa/rsa_key.h"

#include <gtest/gtest.h>

#include "rsa/rsa_oracle.h"
#include "support/alloc_fault.h"

namespace quillon {
namespace {

using test::Bn;
using test::BnCtx;
using test::RsaKeyPtr;
using test::ToBn;

struct KeygenCase {
    int bits;
    uint32_t e;
};

class RsaKeyGenerate : public ::testing::TestWithParam<KeygenCase> {};

// Generated keys pass OpenSSL's key check and have the layout callers rely on.
TEST_P(RsaKeyGenerate, GivesAConsistentKeyWithTheLargerPrimeFirst) {
    const KeygenCase c = GetParam();
    BigNumPtr e(BIGNUM_New());
    ASSERT_TRUE(BIGNUM_SetWord(e.get(), c.e));
    RsaKeyPtr key(RSAKEY_New());
    ASSERT_EQ(RSAKEY_Generate(key.get(), e.get(), c.bits), 1);
    EXPECT_EQ(key->present, kRsaGenerated);
    EXPECT_EQ(BIGNUM_NumBits(key->n), c.bits);
    EXPECT_EQ(BIGNUM_NumBits(key->p), c.bits / 2);
    EXPECT_EQ(BIGNUM_NumBits(key->q), c.bits / 2);
    EXPECT_GT(BIGNUM_Cmp(key->p, key->q), 0);
    EXPECT_EQ(BIGNUM_Cmp(key->e, e.get()), 0);

    auto rsa = test::Export(key.get());
    EXPECT_EQ(RSA_check_key(rsa.get()), 1);

    BnCtx ctx(BN_CTX_new());
    Bn E = ToBn(e.get()), P = ToBn(key->p), Q = ToBn(key->q), D = ToBn(key->d);
    Bn p1(BN_dup(P.get())), q1(BN_dup(Q.get())), phi(BN_new()), g(BN_new()), ed(BN_new());
    BN_sub_word(p1.get(), 1);
    BN_sub_word(q1.get(), 1);
    BN_gcd(g.get(), p1.get(), E.get(), ctx.get());
    EXPECT_TRUE(BN_is_one(g.get())) << "gcd(p - 1, e)";
    BN_gcd(g.get(), q1.get(), E.get(), ctx.get());
    EXPECT_TRUE(BN_is_one(g.get())) << "gcd(q - 1, e)";
    BN_mul(phi.get(), p1.get(), q1.get(), ctx.get());
    BN_mod_mul(ed.get(), E.get(), D.get(), phi.get(), ctx.get());
    EXPECT_TRUE(BN_is_one(ed.get())) << "e * d mod (p - 1)(q - 1)";
}

// 2048-bit generation is slow under the sanitizers: one of it is enough.
INSTANTIATE_TEST_SUITE_P(Sizes, RsaKeyGenerate,
                         ::testing::Values(KeygenCase{1024, 3}, KeygenCase{1024, 3}, KeygenCase{1024, 65537},
                                           KeygenCase{512, 17}, KeygenCase{2048, 3}),
                         [](const auto& info) {
                             return std::to_string(info.param.bits) + "_e" + std::to_string(info.param.e) + "_" +
                                    std::to_string(info.index);
                         });

TEST(RsaKeyGenerateArguments, RefusesExponentsAndSizesThatCannotWork) {
    struct Case {
        uint32_t e;
        int bits;
    };
    for (const Case& c : {Case{0, 1024}, Case{1, 1024}, Case{2, 1024}, Case{65536, 1024}, Case{3, kRsaMinKeyBits - 1},
                          Case{3, kRsaMaxKeyBits + 1}, Case{3, -1}}) {
        BigNumPtr e(BIGNUM_New());
        ASSERT_TRUE(BIGNUM_SetWord(e.get(), c.e));
        RsaKeyPtr key(RSAKEY_New());
        EXPECT_EQ(RSAKEY_Generate(key.get(), e.get(), c.bits), 0) << "e " << c.e << " bits " << c.bits;
    }
    BigNumPtr three(BIGNUM_New());
    BIGNUM_SetWord(three.get(), 3);
    EXPECT_EQ(RSAKEY_Generate(nullptr, three.get(), 1024), 0);
}

TEST(RsaKeySetComponents, RecordsWhatWasGiven) {
    auto rsa = test::LoadFixtureKey("key_1024_e3.pem");
    ASSERT_TRUE(rsa);
    const BIGNUM *n, *e, *d, *p, *q, *dp, *dq, *qi;
    RSA_get0_key(rsa.get(), &n, &e, &d);
    RSA_get0_factors(rsa.get(), &p, &q);
    RSA_get0_crt_params(rsa.get(), &dp, &dq, &qi);
    auto N = test::FromBn(n), E = test::FromBn(e), D = test::FromBn(d), P = test::FromBn(p), Q = test::FromBn(q),
         DP = test::FromBn(dp), DQ = test::FromBn(dq), QI = test::FromBn(qi);

    struct Case {
        const char* name;
        bool e, d, crt, drop_qinv;
        int32_t present;
    };
    for (const Case& c : {Case{"n", false, false, false, false, 1}, Case{"n e", true, false, false, false, 3},
                          Case{"n e d", true, true, false, false, 7}, Case{"full", true, true, true, false, 15},
                          Case{"four CRT numbers", true, true, true, true, 7},
                          Case{"CRT without d", true, false, true, false, 11}}) {
        RsaKeyPtr key(RSAKEY_New());
        ASSERT_EQ(RSAKEY_SetComponents(key.get(), N.get(), c.e ? E.get() : nullptr, c.d ? D.get() : nullptr,
                                       c.crt ? P.get() : nullptr, c.crt ? Q.get() : nullptr,
                                       c.crt ? DP.get() : nullptr, c.crt ? DQ.get() : nullptr,
                                       c.crt && !c.drop_qinv ? QI.get() : nullptr),
                  1)
            << c.name;
        EXPECT_EQ(key->present, c.present) << c.name;
        EXPECT_EQ(key->p != nullptr, c.crt && !c.drop_qinv) << c.name;
        EXPECT_NE(key->n, N.get()) << "the key holds copies";
        EXPECT_EQ(BIGNUM_Cmp(key->n, N.get()), 0);
    }

    // A refill clears what the key held; a missing n leaves it empty.
    RsaKeyPtr key(RSAKEY_New());
    ASSERT_EQ(RSAKEY_SetComponents(key.get(), N.get(), E.get(), D.get(), P.get(), Q.get(), DP.get(), DQ.get(),
                                   QI.get()),
              1);
    EXPECT_EQ(RSAKEY_SetComponents(key.get(), nullptr, E.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(key->present, 0);
    EXPECT_EQ(key->e, nullptr);

    test::WalkAllocationFailures(
        [&] {
            RsaKeyPtr k(RSAKEY_New());
            if (!k) return -1;
            return RSAKEY_SetComponents(k.get(), N.get(), E.get(), D.get(), P.get(), Q.get(), DP.get(), DQ.get(),
                                        QI.get());
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? (result == -1 ? -1 : 0) : 1); });
}

TEST(RsaKeyGenerateAllocation, FailuresAreReportedWithoutLeaks) {
    BigNumPtr e(BIGNUM_New());
    BIGNUM_SetWord(e.get(), 3);
    // A sample of allocations: a full walk would generate thousands of keys.
    for (long n = 1; n < 400; n += 37) {
        const long live = MEM_LiveBlocks();
        MEM_FailNthAllocation(n);
        RsaKeyPtr key(RSAKEY_New());
        const int result = key ? RSAKEY_Generate(key.get(), e.get(), 256) : 0;
        const bool fired = MEM_InjectedFailureFired();
        MEM_FailNthAllocation(0);
        key.reset();
        EXPECT_EQ(MEM_LiveBlocks(), live) << n;
        if (fired) {
            EXPECT_EQ(result, 0) << n;
        }
    }
}

}  // namespace
}  // namespace quillon
