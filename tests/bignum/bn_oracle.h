// Conversions between BigNum and the oracle's BIGNUM, seeded operands and an aliasing check.
#pragma once

#include <gtest/gtest.h>
#include <openssl/bn.h>

#include <random>
#include <string>
#include <vector>

#include "bignum/bignum.h"

namespace quillon::test {

using Bn = std::unique_ptr<BIGNUM, std::integral_constant<decltype(&BN_free), &BN_free>>;
using BnCtx = std::unique_ptr<BN_CTX, std::integral_constant<decltype(&BN_CTX_free), &BN_CTX_free>>;

inline BigNumPtr Make() { return BigNumPtr(BIGNUM_New()); }

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
    return Bn(BN_bin2bn(bytes.data(), BIGNUM_ToBytes(a, bytes.data()), nullptr));
}

inline std::string Hex(const BigNum* a) {
    std::string text(a->used * 8 + 2, '\0');
    int len = static_cast<int>(text.size());
    if (!BIGNUM_ToHex(a, text.data(), &len)) return "<ToHex failed>";
    text.resize(len);
    return text;
}

// Checks that the record is normalised and holds the oracle's value.
inline ::testing::AssertionResult Same(const BigNum* ours, const BIGNUM* theirs) {
    if (ours->used < 0 || ours->used > ours->capacity || (ours->used > 0 && ours->words[ours->used - 1] == 0))
        return ::testing::AssertionFailure() << "bad record, used " << ours->used << " capacity " << ours->capacity;
    char* raw = BN_bn2hex(theirs);
    const std::string a = Hex(ours), b = raw;
    OPENSSL_free(raw);
    if (a != b) return ::testing::AssertionFailure() << "\n ours   " << a << "\n theirs " << b;
    return ::testing::AssertionSuccess();
}

// A value of exactly `words` words; `top_bits` (1..31) keeps only that many bits of the top word.
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

// Runs op(r, operands) into a fresh record, then over a copy of each operand in turn.
template <class Op>
void CheckAliases(const BIGNUM* want, const std::vector<const BigNum*>& in, Op op) {
    BigNumPtr r = Make();
    ASSERT_TRUE(op(r.get(), in));
    EXPECT_TRUE(Same(r.get(), want));
    for (size_t i = 0; i < in.size(); ++i) {
        std::vector<const BigNum*> x = in;
        BigNumPtr c(BIGNUM_Dup(in[i]));
        x[i] = c.get();
        ASSERT_TRUE(op(c.get(), x));
        EXPECT_TRUE(Same(c.get(), want)) << "result over operand " << i;
    }
}

}  // namespace quillon::test
