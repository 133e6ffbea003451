// The oracle uses OpenSSL's RSA-level calls, deprecated but the plainest for raw operations.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "rsa/rsa_prime.h"

#include <gtest/gtest.h>

#include <vector>

#include "bignum/bn_oracle.h"
#include "cipher/random.h"
#include "rsa/small_primes.h"

namespace quillon {
namespace {

using test::Bn;
using test::BnCtx;
using test::ToBn;
using RandomPtr = Owned<RandomGenerator, RANDOM_Free>;

// A fixed-seed generator keeps these tests reproducible.
RandomPtr FixedGenerator(uint8_t tag) {
    RandomPtr rng(RANDOM_New());
    std::vector<uint8_t> seed(32, tag), xseed(20, static_cast<uint8_t>(tag ^ 0x5A));
    seed[0] = 0x80;
    EXPECT_EQ(RANDOM_Seed(rng.get(), seed.data(), 32, xseed.data(), 20), 1);
    return rng;
}

TEST(SmallPrimes, AreTheFirst2048Primes) {
    BnCtx ctx(BN_CTX_new());
    Bn bn(BN_new());
    uint32_t previous = 1;
    for (uint16_t p : kSmallPrimes) {
        EXPECT_GT(p, previous);
        for (uint32_t between = previous + 1; between < p; ++between) {
            BN_set_word(bn.get(), between);
            EXPECT_NE(BN_check_prime(bn.get(), ctx.get(), nullptr), 1) << "missing prime " << between;
        }
        BN_set_word(bn.get(), p);
        EXPECT_EQ(BN_check_prime(bn.get(), ctx.get(), nullptr), 1) << p;
        previous = p;
    }
    EXPECT_EQ(previous, 17863u);
}

TEST(RsaIsProbablePrime, ClassifiesPrimesCompositesAndCarmichaelNumbers) {
    struct Case {
        const char* hex;
        int expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"1", -1},
        {"2", 1},
        {"3", 1},
        {"4", -1},
        {"5", 1},
        {"45D9", 1},                         // 17881
        {"231", -1},                         // 561, Carmichael
        {"451", -1},                         // 1105, Carmichael
        {"6C1", -1},                         // 1729, Carmichael
        {"19C9", -1},                        // 6601, Carmichael
        {"7FF", -1},                         // 2047, strong pseudoprime to base 2
        {"BFA17DC7", -1},                    // 3215031751, strong pseudoprime to bases 2, 3, 5, 7
        {"7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 1},  // 2^127 - 1
        {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", -1},     // 2^128 - 1
    };
    auto rng = FixedGenerator(1);
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    for (const Case& c : cases) {
        auto a = test::FromHex(c.hex);
        EXPECT_EQ(RSA_IsProbablePrime(a.get(), 20, ctx.get(), rng.get()), c.expected) << c.hex;
    }
    const std::string m521 = "1" + std::string(130, 'F');  // 2^521 - 1
    EXPECT_EQ(RSA_IsProbablePrime(test::FromHex(m521.c_str()).get(), 20, ctx.get(), rng.get()), 1);
    // Without a generator or context of the caller's, the test makes its own.
    auto prime = test::FromHex("7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(RSA_IsProbablePrime(prime.get(), 5, nullptr, nullptr), 1);
    // Fewer than two checks leave no witness test: reported as composite.
    EXPECT_EQ(RSA_IsProbablePrime(prime.get(), 1, ctx.get(), rng.get()), -1);
}

// Every size yields a prime of exactly that many bits that survives the sieve: neither it nor
// it minus one has an odd factor from the table.
TEST(RsaGeneratePrime, GivesSievedPrimesOfTheRequestedSize) {
    auto rng = FixedGenerator(3);
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    BnCtx octx(BN_CTX_new());
    for (int bits : {32, 64, 127, 256, 512, 513, 515, 520}) {
        BigNumPtr p(BIGNUM_New());
        ASSERT_EQ(RSA_GeneratePrime(p.get(), bits, ctx.get(), rng.get()), 1) << bits;
        EXPECT_EQ(BIGNUM_NumBits(p.get()), bits);
        EXPECT_TRUE(BIGNUM_IsBitSet(p.get(), bits - 2)) << "second-highest bit set";
        Bn theirs = ToBn(p.get());
        EXPECT_EQ(BN_check_prime(theirs.get(), octx.get(), nullptr), 1) << bits;
        for (size_t i = 1; i < kSmallPrimeCount; ++i) {
            const uint32_t r = BIGNUM_ModWord(p.get(), kSmallPrimes[i]);
            ASSERT_GT(r, 1u) << bits << " bits, prime " << kSmallPrimes[i];
        }
    }
}

TEST(RsaGeneratePrime, RejectsOutOfRangeSizesAndWorksWithoutCallerResources) {
    BigNumPtr p(BIGNUM_New());
    EXPECT_EQ(RSA_GeneratePrime(p.get(), kRsaMinPrimeBits - 1, nullptr, nullptr), 0);
    EXPECT_EQ(RSA_GeneratePrime(p.get(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(RSA_GeneratePrime(p.get(), kRsaMaxPrimeBits + 1, nullptr, nullptr), 0);
    EXPECT_EQ(RSA_GeneratePrime(nullptr, 64, nullptr, nullptr), 0);
    ASSERT_EQ(RSA_GeneratePrime(p.get(), 128, nullptr, nullptr), 1);
    EXPECT_EQ(BIGNUM_NumBits(p.get()), 128);
}

}  // namespace
}  // namespace quillon
