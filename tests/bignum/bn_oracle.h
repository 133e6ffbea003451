// Conversions between our BigNum and OpenSSL's BIGNUM (the test oracle), and seeded operands.
#pragma once

#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bignum/bignum.h"

namespace quillon::test {

struct BnDeleter {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnDeleter>;

struct BnCtxDeleter {
    void operator()(BN_CTX* c) const { BN_CTX_free(c); }
};
using BnCtx = std::unique_ptr<BN_CTX, BnCtxDeleter>;

inline BigNumPtr Make() {
    BigNumPtr r(BIGNUM_New());
    EXPECT_TRUE(r);
    return r;
}

inline BigNumPtr FromHex(const char* hex) {
    BIGNUM* raw = nullptr;
    BN_hex2bn(&raw, hex);
    Bn b(raw);
    std::vector<uint8_t> bytes(BN_num_bytes(b.get()));
    BN_bn2bin(b.get(), bytes.data());
    return BigNumPtr(BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr));
}

inline Bn ToBn(const BigNum* a) {
    std::vector<uint8_t> bytes(BIGNUM_NumBits(a) / 8 + 1);
    const int n = BIGNUM_ToBytes(a, bytes.data());
    return Bn(BN_bin2bn(bytes.data(), n, nullptr));
}

inline std::string Hex(const BigNum* a) {
    std::string text(a->used * 8 + 2, '\0');
    int len = static_cast<int>(text.size());
    if (!BIGNUM_ToHex(a, text.data(), &len)) return "<ToHex failed>";
    text.resize(len);
    return text;
}

inline std::string Hex(const BIGNUM* b) {
    char* raw = BN_bn2hex(b);
    std::string text = raw;
    OPENSSL_free(raw);
    return text;
}

// Checks that the record is normalised and holds the oracle's value.
inline ::testing::AssertionResult Same(const BigNum* ours, const BIGNUM* theirs) {
    if (ours->used < 0 || ours->used > ours->capacity)
        return ::testing::AssertionFailure() << "used " << ours->used << " capacity " << ours->capacity;
    if (ours->used > 0 && ours->words[ours->used - 1] == 0)
        return ::testing::AssertionFailure() << "not normalised, used " << ours->used;
    const std::string a = Hex(ours), b = Hex(theirs);
    if (a != b) return ::testing::AssertionFailure() << "\n ours   " << a << "\n theirs " << b;
    return ::testing::AssertionSuccess();
}

// A random value of exactly `words` words (top word non-zero); `top_bits` leaves only that many
// bits in the top word when non-zero, to reach short top words.
inline BigNumPtr Random(std::mt19937& rng, int words, int top_bits = 0) {
    BigNumPtr r = Make();
    if (words == 0) return r;
    EXPECT_TRUE(BIGNUM_Expand(r.get(), words));
    for (int i = 0; i < words; ++i) r->words[i] = static_cast<uint32_t>(rng());
    uint32_t& top = r->words[words - 1];
    if (top_bits > 0 && top_bits < 32) top &= (1u << top_bits) - 1;
    if (top == 0) top = 1;
    r->used = words;
    return r;
}

}  // namespace quillon::test

namespace quillon::test {

// Operand shapes that reach the carry and difference paths of the kernels.
enum class Shape { kRandom, kAllOnes, kEqualHalves, kShortTop };

inline BigNumPtr Shaped(std::mt19937& rng, int words, Shape shape) {
    BigNumPtr r = Random(rng, words, shape == Shape::kShortTop ? 12 : 0);
    if (words == 0) return r;
    if (shape == Shape::kAllOnes)
        for (int i = 0; i < words; ++i) r->words[i] = 0xFFFFFFFFu;
    if (shape == Shape::kEqualHalves)
        for (int i = 0; i < words / 2; ++i) r->words[i] = r->words[i + (words + 1) / 2];
    return r;
}

}  // namespace quillon::test
