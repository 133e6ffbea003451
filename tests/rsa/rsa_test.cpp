// The oracle uses OpenSSL's RSA-level calls, deprecated but the plainest for raw operations.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <random>

#include "bignum/bn_oracle.h"
#include "cipher/openssl_oracle.h"
#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "cipher/random.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_prime.h"
#include "rsa/small_primes.h"
#include "rsa/rsa_fixture.h"
#include "support/alloc_fault.h"
#include "support/fixture_file.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;
Buffer Encrypt(RsaKey* key, const Buffer& msg) {
    Buffer out(512);
    uint32_t len = 0;
    out.resize(RSA_PublicEncrypt(key, out.data(), &len, msg.data(), static_cast<uint32_t>(msg.size())) > 0 ? len : 0);
    return out;
}

// The plaintext in hex, or "fail"; a failure must leave the length alone.
std::string Decrypt(RsaKey* key, const Buffer& cipher, int mode = kRsaPkcs1Padding) {
    Buffer out(512);
    uint32_t len = 0xDEAD;
    const int r = RSA_PrivateDecrypt(key, out.data(), &len, cipher.data(), static_cast<uint32_t>(cipher.size()), mode);
    if (r <= 0) { EXPECT_EQ(len, 0xDEADu) << "length written on failure"; }
    return r > 0 ? ToHex(out.data(), len) : "fail";
}

Buffer OpenSslCrypt(RSA* rsa, const Buffer& in, int padding, bool decrypt = false) {
    Buffer out(RSA_size(rsa));
    const int r = decrypt ? RSA_private_decrypt(static_cast<int>(in.size()), in.data(), out.data(), rsa, padding)
                          : RSA_public_encrypt(static_cast<int>(in.size()), in.data(), out.data(), rsa, padding);
    out.resize(r > 0 ? r : 0);
    return out;
}

Buffer LeftPad(Buffer b, size_t size) {
    b.insert(b.begin(), size - b.size(), 0);
    return b;
}

class RsaFixtureKey : public ::testing::TestWithParam<const char*> {};
INSTANTIATE_TEST_SUITE_P(Keys, RsaFixtureKey, ::testing::Values("1024_e3", "1024_e65537", "2048_e3", "2048_e65537"));

// Each way; ours with d, with d and the CRT numbers, or with these only. OAEP needs 2048 bits.
TEST_P(RsaFixtureKey, InteroperatesWithOpenSsl) {
    const std::string name = GetParam();
    auto rsa = LoadKey(name);
    const size_t size = RSA_size(rsa.get());
    auto pub = Import(rsa.get(), kPublic);
    for (size_t len : {size_t{1}, size_t{48}, size - 11}) {
        const Buffer msg(len, static_cast<uint8_t>(len)), c = Encrypt(pub.get(), msg);
        EXPECT_EQ(c.size(), size) << len;
        EXPECT_EQ(OpenSslCrypt(rsa.get(), c, RSA_PKCS1_PADDING, true), msg) << len;
        EXPECT_NE(Encrypt(pub.get(), msg), c) << "padding must be random";
    }
    EXPECT_TRUE(Encrypt(pub.get(), Buffer(size - 10, 1)).empty()) << "longer than k - 11";
    const Buffer fresh(86, 0x61), oaep = OpenSslCrypt(rsa.get(), fresh, RSA_PKCS1_OAEP_PADDING);
    const std::string message = ToHex(ReadFixture("message.bin"));
    for (Parts parts : {kWithD, kWithCrt, kCrtOnly}) {
        auto key = Import(rsa.get(), parts);
        EXPECT_EQ(Decrypt(key.get(), ReadFixture("pkcs1_" + name + ".bin")), message) << parts;
        EXPECT_EQ(Decrypt(key.get(), oaep, kRsaOaepPadding), size == 256 ? ToHex(fresh) : "fail") << parts;
        if (size == 256) { EXPECT_EQ(Decrypt(key.get(), ReadFixture("oaep_" + name + ".bin"), kRsaOaepPadding), message); }
    }
}

TEST(RsaCrypt, ShortCiphertextsRefusalsAndCrtConfirmation) {
    auto rsa = LoadKey("1024_e3");
    auto pub = Import(rsa.get(), kPublic), priv = Import(rsa.get(), kWithCrt), crt_only = Import(rsa.get(), kCrtOnly);
    // About one ciphertext in 256 has a zero top byte: it is still written in the modulus length,
    // and both sides decrypt it whole and without its leading zero.
    const Buffer msg(20, 0x42), pkcs1 = ReadFixture("pkcs1_1024_e3.bin");
    Buffer c, modulus(128);
    for (int i = 0; i < 5000 && (c.empty() || c[0] != 0); ++i) {
        c = Encrypt(pub.get(), msg);
        ASSERT_EQ(c.size(), 128u);
    }
    ASSERT_EQ(c[0], 0);
    EXPECT_EQ(OpenSslCrypt(rsa.get(), c, RSA_PKCS1_PADDING, true), msg);
    uint8_t before[kRandomPoolSize], after[kRandomPoolSize];
    RANDOM_PoolSnapshot(before);
    EXPECT_EQ(Decrypt(priv.get(), c), ToHex(msg));
    RANDOM_PoolSnapshot(after);
    EXPECT_FALSE(std::equal(before, before + kRandomPoolSize, after)) << "blinding draws from the generator";
    EXPECT_EQ(Decrypt(priv.get(), Buffer(c.begin() + 1, c.end())), ToHex(msg)) << "short form";
    EXPECT_EQ(Decrypt(pub.get(), pkcs1), "fail") << "public-only key";
    pub->present = 15;  // claims a private part that is not there
    EXPECT_EQ(Decrypt(pub.get(), pkcs1), "fail") << "neither d nor CRT numbers";
    for (int mode : {0, 3, -1}) EXPECT_EQ(Decrypt(priv.get(), pkcs1, mode), "fail") << "mode " << mode;
    BIGNUM_ToBytes(priv->n, modulus.data());
    EXPECT_EQ(Decrypt(priv.get(), modulus) + Decrypt(priv.get(), Buffer(129, 0xFF)) + Decrypt(priv.get(), {}),
              "failfailfail") << "c = n, longer than n, empty";
    const std::string message = ToHex(ReadFixture("message.bin"));
    EXPECT_EQ(Decrypt(priv.get(), LeftPad(pkcs1, 300)), message) << "leading zeros";
    pub->present = 0;
    EXPECT_TRUE(Encrypt(pub.get(), msg).empty()) << "no public part";
    // A fault in the CRT numbers is caught by the check against e, and d takes over if there is one.
    ASSERT_TRUE(BIGNUM_AddWord(priv->dP, 2) && BIGNUM_AddWord(crt_only->dP, 2));
    EXPECT_EQ(Decrypt(priv.get(), pkcs1), message);
    EXPECT_EQ(Decrypt(crt_only.get(), pkcs1), "fail");
    // p and q the other way round (q > p), as an imported key may have them.
    BnCtx ctx(BN_CTX_new());
    Bn inv(BN_mod_inverse(nullptr, RSA_get0_p(rsa.get()), RSA_get0_q(rsa.get()), ctx.get()));
    auto P = FromBn(RSA_get0_q(rsa.get())), Q = FromBn(RSA_get0_p(rsa.get())), DP = FromBn(RSA_get0_dmq1(rsa.get())),
         DQ = FromBn(RSA_get0_dmp1(rsa.get())), QI = FromBn(inv.get());
    ASSERT_EQ(RSAKEY_SetComponents(crt_only.get(), priv->n, priv->e, nullptr, P.get(), Q.get(), DP.get(), DQ.get(),
                                   QI.get()),
              1);
    EXPECT_EQ(Decrypt(crt_only.get(), pkcs1), message);
}

// The key's blinding pair (r^e R, r^-1 R mod n, R = 2^(limb bits * limbs)) moves on with every
// decryption, is redrawn every 33rd and after the cache is dropped, and stays a pair throughout:
// A R^-1 * (Ai R^-1)^e = 1 mod n. Decryption of OpenSSL's ciphertexts stays right all along.
TEST(RsaCrypt, BlindingPairMovesOnAcrossManyDecryptions) {
    auto rsa = LoadKey("2048_e65537");
    auto key = Import(rsa.get(), kWithCrt);
    BnCtx ctx(BN_CTX_new());
    const BIGNUM* n = RSA_get0_n(rsa.get());
    auto from_mont = [&](const uint8_t* limbs, size_t size) {
        Bn v(BN_lebin2bn(limbs, static_cast<int>(size), nullptr)), r(BN_new());
        BN_set_bit(r.get(), static_cast<int>(8 * size));
        BN_mod_inverse(r.get(), r.get(), n, ctx.get());
        BN_mod_mul(v.get(), v.get(), r.get(), n, ctx.get());
        return v;
    };
    std::mt19937 gen(11);
    Buffer last;
    int fresh = 0;
    for (int i = 0; i < 100; ++i) {
        const bool oaep = i % 2;
        const Buffer msg = SeededBytes(gen, 1 + i % 80);
        const Buffer c = OpenSslCrypt(rsa.get(), msg, oaep ? RSA_PKCS1_OAEP_PADDING : RSA_PKCS1_PADDING);
        ASSERT_EQ(Decrypt(key.get(), c, oaep ? kRsaOaepPadding : kRsaPkcs1Padding), ToHex(msg)) << i;
        ASSERT_TRUE(key->blinding);
        const auto* bytes = static_cast<const uint8_t*>(key->blinding);
        const Buffer pair(bytes, bytes + key->blinding_size);
        EXPECT_NE(pair, last) << i;
        fresh += key->blinding_uses == 0;
        const size_t half = pair.size() / 2;
        Bn a = from_mont(pair.data(), half), ai = from_mont(pair.data() + half, half), check(BN_new());
        BN_mod_exp(check.get(), ai.get(), RSA_get0_e(rsa.get()), n, ctx.get());
        BN_mod_mul(check.get(), check.get(), a.get(), n, ctx.get());
        EXPECT_TRUE(BN_is_one(check.get())) << i;
        last = pair;
        if (i == 70) RSAKEY_DropCache(key.get());
    }
    EXPECT_EQ(fresh, 4) << "drawn at 0, 33, 66 and after the drop at 70";
}

// An OAEP encoded message of 256 bytes built with OpenSSL's MGF1, so that every layout is reachable.
Buffer OaepBlock(const Buffer& seed, const Buffer& msg, bool empty_db = false, uint8_t separator = 1,
                 uint8_t first = 0, uint8_t label_flip = 0) {
    Buffer db(235, 0), mask(235), em(256);
    SHA1(nullptr, 0, db.data());
    db[3] ^= label_flip;
    if (!empty_db) db[234 - msg.size()] = separator;
    std::copy(msg.begin(), msg.end(), db.end() - msg.size());
    PKCS1_MGF1(mask.data(), 235, seed.data(), 20, EVP_sha1());
    for (size_t i = 0; i < 235; ++i) em[21 + i] = db[i] ^ mask[i];
    PKCS1_MGF1(mask.data(), 20, em.data() + 21, 235, EVP_sha1());
    for (size_t i = 0; i < 20; ++i) em[1 + i] = seed[i] ^ mask[i];
    em[0] = first;
    return em;
}

// Blocks at exactly the modulus length; anything a correct encoder cannot make is refused, and a
// refusal leaves the output alone.
TEST(RsaUnpad, StrictPkcs1AndOaep) {
    auto pkcs1 = [](uint8_t b0, uint8_t type, size_t ps, bool separator, size_t k = 128) {
        Buffer b{b0, type};
        b.insert(b.end(), ps, 0x5A);
        if (separator) b.push_back(0);
        while (b.size() < k) b.push_back(static_cast<uint8_t>(b.size()));
        b.resize(k);
        Buffer out(k, 0xEE);
        const uint32_t got = RSA_UnpadPkcs1Type2(b.data(), static_cast<uint32_t>(k), out.data());
        const Buffer tail(b.end() - got, b.end());
        if (got == 0) { EXPECT_EQ(out, Buffer(k, 0xEE)) << "output written on refusal"; }
        if (got != 0) { EXPECT_EQ(Buffer(out.begin(), out.begin() + got), tail); }
        return got;
    };
    const struct { uint8_t b0, type; size_t ps; bool sep; size_t k; uint32_t want; } cases[] = {
        {0, 2, 8, true, 128, 117},  {0, 2, 60, true, 128, 65}, {0, 2, 124, true, 128, 1}, {0, 2, 8, true, 11, 0},
        {0, 2, 7, true, 128, 0},    // fewer than 8 filler bytes
        {0, 2, 0, true, 128, 0},    {1, 2, 8, true, 128, 0},   // does not start 00 02
        {0, 1, 8, true, 128, 0},    {2, 0, 8, true, 128, 0},   {0, 2, 8, false, 128, 0},  // no separator
        {0, 2, 125, true, 128, 0},  // separator last: empty message
        {0, 2, 8, true, 10, 0},     {0, 2, 8, true, 256, 245},
    };
    for (const auto& c : cases) EXPECT_EQ(pkcs1(c.b0, c.type, c.ps, c.sep, c.k), c.want) << int(c.b0) << " " << int(c.type) << " ps " << c.ps << " k " << c.k;

    std::mt19937 gen(7);
    const Buffer msg = SeededBytes(gen, 16);
    auto oaep = [](const Buffer& em) {
        Buffer out(kRsaOaepMaxMessage, 0xEE);
        const uint32_t got = RSA_UnpadOaep(em.data(), static_cast<uint32_t>(em.size()), DIGEST_FromNid(NID_SHA1), DIGEST_FromNid(NID_SHA1), out.data());
        if (got == 0) { EXPECT_EQ(out, Buffer(kRsaOaepMaxMessage, 0xEE)) << "output written on refusal"; }
        out.resize(got);
        return out;
    };
    const Buffer seed(20, 2), longest(kRsaOaepMaxMessage, 0xAB);
    EXPECT_EQ(oaep(OaepBlock(seed, msg)), msg);
    EXPECT_EQ(oaep(OaepBlock(seed, longest)), longest);
    const Buffer good = OaepBlock(seed, msg);
    for (const Buffer& bad : {OaepBlock(seed, msg, false, 7), OaepBlock(seed, msg, false, 1, 1),
                              OaepBlock(seed, msg, false, 1, 0, 0x40), OaepBlock(seed, {}, true),
                              OaepBlock(seed, {}), Buffer(good.begin() + 1, good.end())}) {
        EXPECT_EQ(oaep(bad), Buffer{}) << "separator 07, first byte 01, label hash, no separator, empty, 255 bytes";
    }
    for (uint32_t len : {1u, 20u, 21u, 235u, 1000u}) {
        Buffer ours(len + 1, 0xEE), theirs(len + 1, 0xEE);
        RSA_Mgf1(DIGEST_FromNid(NID_SHA1), msg.data(), 16, ours.data(), len);
        PKCS1_MGF1(theirs.data(), len, msg.data(), 16, EVP_sha1());
        EXPECT_EQ(ours, theirs) << len;
    }
}

TEST(RsaCrypt, AllocationFailuresFailCleanly) {
    auto rsa = LoadKey("1024_e3");
    auto key = Import(rsa.get(), kWithCrt);
    const Buffer pkcs1 = ReadFixture("pkcs1_1024_e3.bin");
    const std::string message = ToHex(ReadFixture("message.bin"));
    // The key's Montgomery contexts are made on first use and kept: walk both with and without them.
    for (bool cached : {false, true}) {
        WalkAllocationFailures([&] {
            const std::string r = Decrypt(key.get(), pkcs1);
            if (!cached) RSAKEY_DropCache(key.get());
            return r;
        }, [&](bool fired, const std::string& r) { EXPECT_EQ(r, fired ? "fail" : message); });
        EXPECT_EQ(Decrypt(key.get(), pkcs1), message);
    }
    WalkAllocationFailures([&] { return Encrypt(key.get(), Buffer(10, 1)).size(); },
                           [](bool fired, size_t size) { EXPECT_EQ(size > 0, !fired); });
}

class RsaKeyGenerate : public ::testing::TestWithParam<std::pair<int, uint32_t>> {};
INSTANTIATE_TEST_SUITE_P(Sizes, RsaKeyGenerate, ::testing::Values(std::pair{1024, 3u}, std::pair{1024, 65537u},
                                                                  std::pair{2048, 3u}));

// p > q, both half the size; OpenSSL's check of e * d = 1 also proves gcd(p - 1, e) = gcd(q - 1, e) = 1.
TEST_P(RsaKeyGenerate, GivesAConsistentKeyWithTheLargerPrimeFirst) {
    const auto [bits, exponent] = GetParam();
    BigNumPtr e(BIGNUM_New());
    ASSERT_TRUE(BIGNUM_SetWord(e.get(), exponent));
    RsaKeyPtr key(RSAKEY_New());
    ASSERT_EQ(RSAKEY_Generate(key.get(), e.get(), bits), 1);
    EXPECT_EQ(BIGNUM_NumBits(key->n), bits);
    EXPECT_EQ(BIGNUM_NumBits(key->p) + BIGNUM_NumBits(key->q), bits);
    EXPECT_GT(BIGNUM_Cmp(key->p, key->q), 0);
    OsslRsa rsa(RSA_new(), RSA_free);
    RSA_set0_key(rsa.get(), ToBn(key->n).release(), ToBn(key->e).release(), ToBn(key->d).release());
    RSA_set0_factors(rsa.get(), ToBn(key->p).release(), ToBn(key->q).release());
    RSA_set0_crt_params(rsa.get(), ToBn(key->dP).release(), ToBn(key->dQ).release(), ToBn(key->qInv).release());
    EXPECT_EQ(RSA_check_key(rsa.get()), 1);
}

TEST(RsaKeyGenerate, RefusalsPresentBitsAndAllocationFailures) {
    for (const auto& [exponent, bits] : {std::pair{0u, 1024}, {1u, 1024}, {2u, 1024}, {65536u, 1024},
                                         {3u, kRsaMinKeyBits - 1}, {3u, kRsaMaxKeyBits + 1}, {3u, -1}}) {
        BigNumPtr e(BIGNUM_New());
        ASSERT_TRUE(BIGNUM_SetWord(e.get(), exponent));
        EXPECT_EQ(RSAKEY_Generate(RsaKeyPtr(RSAKEY_New()).get(), e.get(), bits), 0) << "e " << exponent << " bits " << bits;
    }
    auto rsa = LoadKey("1024_e3");
    auto full = Import(rsa.get(), kWithCrt);
    const BigNum* n = full->n;
    for (const auto& [e, d, crt, qinv, present] : {std::tuple{false, false, false, false, 1}, {true, true, false, false, 7},
                                                   {true, true, true, false, 7}, {true, false, true, true, 11}}) {
        RsaKeyPtr key(RSAKEY_New());
        ASSERT_EQ(RSAKEY_SetComponents(key.get(), n, e ? full->e : nullptr, d ? full->d : nullptr,
                                       crt ? full->p : nullptr, crt ? full->q : nullptr, crt ? full->dP : nullptr,
                                       crt ? full->dQ : nullptr, qinv ? full->qInv : nullptr),
                  1);
        EXPECT_EQ(key->present, present);
    }
    BigNumPtr e(BIGNUM_New());
    BIGNUM_SetWord(e.get(), 3);
    EXPECT_EQ(RSAKEY_SetComponents(full.get(), nullptr, e.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(full->present, 0) << "a refill without n leaves the key empty";
    for (long nth = 1; nth < 400; nth += 37) {  // a sample: a full walk would generate thousands of keys
        const long live = MEM_LiveBlocks();
        MEM_FailNthAllocation(nth);
        RsaKeyPtr key(RSAKEY_New());
        const int result = key ? RSAKEY_Generate(key.get(), e.get(), 256) : 0;
        const bool fired = MEM_InjectedFailureFired();
        MEM_FailNthAllocation(0);
        key.reset();
        EXPECT_EQ(MEM_LiveBlocks(), live) << nth;
        if (fired) { EXPECT_EQ(result, 0) << nth; }
    }
}

TEST(RsaPrimes, TableProbablePrimesAndGeneratedPrimes) {
    std::vector<uint16_t> primes;  // the table is the first 2,048 primes, by trial division
    for (uint32_t n = 2; primes.size() < kSmallPrimeCount; ++n) {
        bool prime = true;
        for (uint32_t d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
        if (prime) primes.push_back(static_cast<uint16_t>(n));
    }
    EXPECT_TRUE(std::equal(primes.begin(), primes.end(), kSmallPrimes.begin()));
    const std::pair<std::string, int> cases[] = {
        {"0", 0}, {"1", -1}, {"2", 1}, {"3", 1}, {"4", -1}, {"45D9", 1},  // 17881
        {"231", -1}, {"451", -1}, {"6C1", -1}, {"19C9", -1},               // Carmichael: 561, 1105, 1729, 6601
        {"7FF", -1}, {"BFA17DC7", -1},  // strong pseudoprimes: 2047 to base 2, 3215031751 to 2, 3, 5, 7
        {"7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", 1}, {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", -1}, {"1" + std::string(130, 'F'), 1}};
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    Owned<RandomGenerator, RANDOM_Free> rng(RANDOM_New());  // fixed seeds keep this reproducible
    const Buffer seed(32, 0x80);
    ASSERT_EQ(RANDOM_Seed(rng.get(), seed.data(), 32, seed.data(), 20), 1);
    for (const auto& [hex, expected] : cases) {
        EXPECT_EQ(RSA_IsProbablePrime(FromHex(hex.c_str()).get(), 20, ctx.get(), rng.get()), expected) << hex;
    }
    auto prime = FromHex("7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF");
    EXPECT_EQ(RSA_IsProbablePrime(prime.get(), 5, nullptr, nullptr), 1) << "its own generator and context";
    EXPECT_EQ(RSA_IsProbablePrime(prime.get(), 1, ctx.get(), rng.get()), -1) << "no witness test";
    // The exact size, the second-highest bit set, no odd factor from the table in it or it minus one.
    BigNumPtr p(BIGNUM_New());
    BnCtx octx(BN_CTX_new());
    for (int bits : {32, 127, 512, 515}) {
        ASSERT_EQ(RSA_GeneratePrime(p.get(), bits, ctx.get(), rng.get()), 1) << bits;
        EXPECT_EQ(BIGNUM_NumBits(p.get()), bits);
        EXPECT_TRUE(BIGNUM_IsBitSet(p.get(), bits - 2));
        EXPECT_EQ(BN_check_prime(ToBn(p.get()).get(), octx.get(), nullptr), 1) << bits;
        for (size_t i = 1; i < kSmallPrimeCount; ++i) ASSERT_GT(BIGNUM_ModWord(p.get(), kSmallPrimes[i]), 1u) << bits;
    }
    for (int bits : {kRsaMinPrimeBits - 1, 0, kRsaMaxPrimeBits + 1}) EXPECT_EQ(RSA_GeneratePrime(p.get(), bits, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

// Primes from a generator with fixed seed and xseed: any change to the arithmetic under prime
// generation must leave them exactly as they are (SHA-1 of the big-endian prime).
TEST(RsaPrimes, FixedSeedsGiveTheSamePrimes) {
    const struct { int bits; const char* sha1; } cases[] = {{256, "13f6d46c6e467237b996f879b3cdae4bffb33de8"},
                                                        {512, "c8eae58ee43eb0dec36b37e6bbc06691e0cb9b5a"},
                                                        {1024, "96e1fc4cb5ba4f0e7d83e27dc5385394f66b09c4"}};
    Owned<RandomGenerator, RANDOM_Free> rng(RANDOM_New());
    const Buffer seed(20, 0x17), xseed(20, 0x29);
    ASSERT_EQ(RANDOM_Seed(rng.get(), seed.data(), 20, xseed.data(), 20), 1);
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    for (const auto& c : cases) {
        BigNumPtr p(BIGNUM_New());
        ASSERT_EQ(RSA_GeneratePrime(p.get(), c.bits, ctx.get(), rng.get()), 1);
        Buffer bytes(c.bits / 8), digest(20);
        BIGNUM_ToBytes(p.get(), bytes.data());
        SHA1(bytes.data(), bytes.size(), digest.data());
        EXPECT_EQ(ToHex(digest), c.sha1) << c.bits;
    }
}

}  // namespace
}  // namespace quillon
