#include "bignum/bignum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "bignum/bn_oracle.h"
#include "bignum/bn_words.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace quillon::test;

BigNumPtr Word1(uint32_t w) {
    BigNumPtr r = Make();
    EXPECT_TRUE(BIGNUM_SetWord(r.get(), w));
    return r;
}

TEST(BigNum, FromBytesPacksFromTheLeastSignificantEnd) {
    struct Case {
        std::vector<uint8_t> bytes;
        int used;
        std::vector<uint32_t> words;
    };
    const Case cases[] = {
        {{}, 0, {}},
        {{0, 0, 0, 1}, 1, {1}},
        {{1, 2, 3, 4, 5}, 2, {0x02030405, 0x01}},
        {{0, 0, 0, 0, 0, 0, 0x12, 0x34}, 1, {0x1234}},
        {{0, 0, 0, 0, 0}, 0, {}},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 3, {0xFFFFFFFF, 0xFFFFFFFF, 0xFF}},
    };
    for (const Case& c : cases) {
        BigNumPtr r(BIGNUM_FromBytes(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), nullptr));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->used, c.used);
        for (int i = 0; i < c.used; ++i) EXPECT_EQ(r->words[i], c.words[i]) << i;
    }
    BigNumPtr empty(BIGNUM_FromBytes(nullptr, 0, nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->words, nullptr) << "zero bytes allocate no words";
    EXPECT_EQ(BIGNUM_FromBytes(nullptr, 1, nullptr), nullptr);
}

TEST(BigNum, ToBytesAndHexForms) {
    struct Case {
        const char* hex_in;
        std::vector<uint8_t> bytes;
        const char* hex_out;
    };
    const Case cases[] = {
        {"0", {}, "0"},
        {"A", {0x0A}, "0A"},
        {"100", {0x01, 0x00}, "0100"},
        {"1000", {0x10, 0x00}, "1000"},
        {"FFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}, "FFFFFFFF"},
        {"100000000", {1, 0, 0, 0, 0}, "0100000000"},
        {"ABCDEF0123456789", {0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89}, "ABCDEF0123456789"},
    };
    for (const Case& c : cases) {
        BigNumPtr a = FromHex(c.hex_in);
        ASSERT_TRUE(a);
        std::vector<uint8_t> out(c.bytes.size() + 4, 0xEE);
        EXPECT_EQ(BIGNUM_ToBytes(a.get(), out.data()), static_cast<int>(c.bytes.size())) << c.hex_in;
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), out.begin())) << c.hex_in;
        EXPECT_EQ(out[c.bytes.size()], 0xEE) << "wrote past the value";
        EXPECT_EQ(Hex(a.get()), c.hex_out);
    }
}

TEST(BigNum, ToHexNeedsUsedTimesEightPlusTwo) {
    BigNumPtr a = FromHex("123456789");  // two words
    char text[32];
    std::memset(text, 'x', sizeof text);
    int len = 17;
    EXPECT_EQ(BIGNUM_ToHex(a.get(), text, &len), 0);
    EXPECT_EQ(len, 17);
    EXPECT_EQ(text[0], 'x') << "nothing written when refused";
    len = 18;
    ASSERT_EQ(BIGNUM_ToHex(a.get(), text, &len), 1);
    EXPECT_EQ(len, 10);
    EXPECT_STREQ(text, "0123456789");

    BigNumPtr zero = Make();
    len = 1;
    EXPECT_EQ(BIGNUM_ToHex(zero.get(), text, &len), 0);
    len = 2;
    ASSERT_EQ(BIGNUM_ToHex(zero.get(), text, &len), 1);
    EXPECT_STREQ(text, "0");
    EXPECT_EQ(len, 1);
}

TEST(BigNum, QueriesAtWordBoundaries) {
    const struct {
        uint32_t w;
        int bits;
    } words[] = {{0, 0}, {1, 1}, {0xFF, 8}, {0x100, 9}, {0xFFFF, 16}, {0x10000, 17},
                 {0x00FFFFFF, 24}, {0x01000000, 25}, {0x7FFFFFFF, 31}, {0x80000000, 32}, {0xFFFFFFFF, 32}};
    for (const auto& c : words) EXPECT_EQ(BIGNUM_NumBitsWord(c.w), c.bits) << std::hex << c.w;

    BigNumPtr two32 = FromHex("100000000");
    EXPECT_EQ(BIGNUM_NumBits(two32.get()), 33);
    EXPECT_EQ(BIGNUM_GetWord(two32.get()), 0xFFFFFFFFu) << "saturates above one word";
    EXPECT_EQ(BIGNUM_GetWord(Word1(7).get()), 7u);
    EXPECT_EQ(BIGNUM_GetWord(Make().get()), 0u);

    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), 32), 1);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), 31), 0);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), 64), 0);
    EXPECT_EQ(BIGNUM_IsBitSet(two32.get(), -1), 0);

    BigNumPtr small = FromHex("FFFFFFFF"), big = FromHex("100000000"), big2 = FromHex("100000001");
    EXPECT_EQ(BIGNUM_Cmp(small.get(), big.get()), -1);
    EXPECT_EQ(BIGNUM_Cmp(big2.get(), big.get()), 1);
    EXPECT_EQ(BIGNUM_Cmp(big.get(), big.get()), 0);
    EXPECT_EQ(BIGNUM_Cmp(Make().get(), BIGNUM_One()), -1);
}

TEST(BigNum, SingleWordOperations) {
    BigNumPtr a = Word1(0xFFFFFFFF);
    ASSERT_TRUE(BIGNUM_AddWord(a.get(), 1));
    ASSERT_EQ(a->used, 2);
    EXPECT_EQ(a->words[0], 0u);
    EXPECT_EQ(a->words[1], 1u);

    // A single word that overflows without being all ones must grow too.
    BigNumPtr one_word = FromHex("FFFFFFF0");
    ASSERT_EQ(one_word->capacity, 1);
    ASSERT_TRUE(BIGNUM_AddWord(one_word.get(), 0x20));
    EXPECT_EQ(Hex(one_word.get()), "0100000010");

    BigNumPtr b = FromHex("FFFFFFFFFFFFFFFF");
    ASSERT_TRUE(BIGNUM_AddWord(b.get(), 2));
    EXPECT_EQ(Hex(b.get()), "010000000000000001");
    BigNumPtr z = Make();
    ASSERT_TRUE(BIGNUM_AddWord(z.get(), 0));
    EXPECT_EQ(z->used, 0);
    ASSERT_TRUE(BIGNUM_AddWord(z.get(), 5));
    EXPECT_EQ(BIGNUM_GetWord(z.get()), 5u);

    EXPECT_EQ(BIGNUM_ModWord(b.get(), 0), 0xFFFFFFFFu);
    EXPECT_EQ(BIGNUM_ModWord(Make().get(), 7), 0u);
    ASSERT_TRUE(BIGNUM_SetWord(z.get(), 0));
    EXPECT_EQ(z->used, 0);
}

TEST(BigNum, ExpandRefusals) {
    BigNum* one = const_cast<BigNum*>(BIGNUM_One());
    EXPECT_EQ(BIGNUM_Expand(one, 2), nullptr);
    EXPECT_EQ(BIGNUM_Expand(one, 1), one) << "no growth needed";
    EXPECT_EQ(BIGNUM_GetWord(one), 1u);
    EXPECT_EQ(one->flags, BIGNUM_FLAG_STATIC);
    EXPECT_EQ(BIGNUM_Free(one), 1);
    EXPECT_EQ(BIGNUM_GetWord(BIGNUM_One()), 1u) << "the constant survives a release";

    BigNumPtr a = Make();
    EXPECT_EQ(a->flags, BIGNUM_FLAG_ALLOCATED);
    EXPECT_EQ(BIGNUM_Expand(a.get(), BIGNUM_MAX_WORDS + 1), nullptr);
    ASSERT_EQ(BIGNUM_Expand(a.get(), 5), a.get());
    EXPECT_EQ(a->capacity, 5) << "exact size, no rounding";
    EXPECT_EQ(BIGNUM_Free(nullptr), 0);

    BigNumPtr b = Word1(1);
    EXPECT_FALSE(BIGNUM_LShift(b.get(), b.get(), BIGNUM_MAX_WORDS * 32));
    EXPECT_FALSE(BIGNUM_LShift(b.get(), b.get(), -1));
    uint8_t byte = 1;
    EXPECT_EQ(BIGNUM_FromBytes(&byte, 0xFFFFFFFFu, nullptr), nullptr) << "over the word limit";
}

TEST(BigNum, StackRecordWithOwnedWordsLosesThem) {
    BigNum local{nullptr, 0, 0, 0};
    ASSERT_TRUE(BIGNUM_SetWord(&local, 9));
    const long live = MEM_LiveBlocks();
    EXPECT_EQ(BIGNUM_Free(&local), 1);
    EXPECT_EQ(MEM_LiveBlocks(), live - 1);
    EXPECT_EQ(local.words, nullptr);
}

TEST(BigNum, SubRefusesALargerSubtrahend) {
    BigNumPtr small = FromHex("5"), big = FromHex("100000000"), r = Word1(77);
    EXPECT_FALSE(BIGNUM_Sub(r.get(), small.get(), big.get()));
    EXPECT_EQ(BIGNUM_GetWord(r.get()), 77u) << "a shorter minuend is refused before writing";
    BigNumPtr six = FromHex("6");
    EXPECT_FALSE(BIGNUM_Sub(r.get(), small.get(), six.get()));
    ASSERT_TRUE(BIGNUM_Sub(r.get(), big.get(), big.get()));
    EXPECT_EQ(r->used, 0);
}

TEST(BigNum, ContextSlotsStartEmpty) {
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    ASSERT_TRUE(ctx);
    for (const BigNum* s : ctx->slot) {
        EXPECT_EQ(s->words, nullptr);
        EXPECT_EQ(s->used, 0);
        EXPECT_EQ(s->capacity, 0);
        EXPECT_EQ(s->flags, BIGNUM_FLAG_SLOT);
    }
    BIGNUM_CTX_Free(nullptr);
}

TEST(BigNum, AllocationFailuresReleaseWhatWasMade) {
    WalkAllocationFailures([] { return BigNumContextPtr(BIGNUM_CTX_New()) != nullptr; },
                           [](bool fired, bool made) { EXPECT_NE(fired, made); });
    const uint8_t bytes[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    WalkAllocationFailures([&] { return BigNumPtr(BIGNUM_FromBytes(bytes, 9, nullptr)) != nullptr; },
                           [](bool fired, bool made) { EXPECT_NE(fired, made); });
    BigNumPtr src = FromHex("123456789ABCDEF");
    WalkAllocationFailures([&] { return BigNumPtr(BIGNUM_Dup(src.get())) != nullptr; },
                           [](bool fired, bool made) { EXPECT_NE(fired, made); });
}

TEST(BigNum, WordKernelsCompareAndSubtractParts) {
    const Word a[] = {5, 0, 0}, b[] = {4, 0, 1};
    EXPECT_EQ(WORDS_CmpPart(a, b, 1, 2), -1) << "b's surplus is non-zero";
    EXPECT_EQ(WORDS_CmpPart(a, b, 1, 1), 1) << "b's surplus is zero";
    EXPECT_EQ(WORDS_CmpPart(b, a, 1, -2), 1);
    EXPECT_EQ(WORDS_CmpPart(a, b, 1, -2), 1);
    EXPECT_EQ(WORDS_CmpPart(a, a, 3, 0), 0);

    Word r[3];
    EXPECT_EQ(WORDS_SubPart(r, b, a, 1, 2), 0u);  // b - a, b longer
    EXPECT_EQ(r[0], 0xFFFFFFFFu);
    EXPECT_EQ(r[1], 0xFFFFFFFFu);
    EXPECT_EQ(r[2], 0u);
    EXPECT_EQ(WORDS_SubPart(r, a, b, 1, -2), 1u);  // a - b with b longer borrows
    EXPECT_EQ(WORDS_Add(r, a, b, 0), 0u);
}

// Differential checks of the linear operations against the oracle, with every aliasing allowed.
TEST(BigNum, LinearOperationsMatchTheOracle) {
    std::mt19937 rng(41);
    BnCtx bctx(BN_CTX_new());
    for (int round = 0; round < 300; ++round) {
        const int al = rng() % 81, bl = rng() % 81;
        BigNumPtr a = Random(rng, al, rng() % 33), b = Random(rng, bl, rng() % 33);
        Bn A = ToBn(a.get()), B = ToBn(b.get()), E(BN_new());
        BigNumPtr r = Make();

        ASSERT_TRUE(BN_add(E.get(), A.get(), B.get()));
        ASSERT_TRUE(BIGNUM_Add(r.get(), a.get(), b.get()));
        EXPECT_TRUE(Same(r.get(), E.get()));
        BigNumPtr ra(BIGNUM_Dup(a.get())), rb(BIGNUM_Dup(b.get()));
        ASSERT_TRUE(BIGNUM_Add(ra.get(), ra.get(), b.get()));
        ASSERT_TRUE(BIGNUM_Add(rb.get(), a.get(), rb.get()));
        EXPECT_TRUE(Same(ra.get(), E.get()));
        EXPECT_TRUE(Same(rb.get(), E.get()));

        const bool a_big = BN_cmp(A.get(), B.get()) >= 0;
        EXPECT_EQ(BIGNUM_Cmp(a.get(), b.get()), BN_cmp(A.get(), B.get()));
        const BigNum* hi = a_big ? a.get() : b.get();
        const BigNum* lo = a_big ? b.get() : a.get();
        ASSERT_TRUE(BN_sub(E.get(), a_big ? A.get() : B.get(), a_big ? B.get() : A.get()));
        ASSERT_TRUE(BIGNUM_Sub(r.get(), hi, lo));
        EXPECT_TRUE(Same(r.get(), E.get()));
        BigNumPtr rs(BIGNUM_Dup(hi));
        ASSERT_TRUE(BIGNUM_Sub(rs.get(), rs.get(), lo));
        EXPECT_TRUE(Same(rs.get(), E.get()));

        const int shift = rng() % 3000;
        ASSERT_TRUE(BN_lshift(E.get(), A.get(), shift));
        ASSERT_TRUE(BIGNUM_LShift(r.get(), a.get(), shift));
        EXPECT_TRUE(Same(r.get(), E.get())) << "lshift " << shift;
        BigNumPtr rl(BIGNUM_Dup(a.get()));
        ASSERT_TRUE(BIGNUM_LShift(rl.get(), rl.get(), shift));
        EXPECT_TRUE(Same(rl.get(), E.get()));

        const int rshift = rng() % (al * 32 + 70);
        ASSERT_TRUE(BN_rshift(E.get(), A.get(), rshift));
        ASSERT_TRUE(BIGNUM_RShift(r.get(), a.get(), rshift));
        EXPECT_TRUE(Same(r.get(), E.get())) << "rshift " << rshift;
        BigNumPtr rr(BIGNUM_Dup(a.get()));
        ASSERT_TRUE(BIGNUM_RShift(rr.get(), rr.get(), rshift));
        EXPECT_TRUE(Same(rr.get(), E.get()));

        const uint32_t w = round % 7 == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(rng()) | 1;
        EXPECT_EQ(BIGNUM_ModWord(a.get(), w), BN_mod_word(A.get(), w));
        ASSERT_TRUE(BN_add_word(A.get(), w));
        ASSERT_TRUE(BIGNUM_AddWord(a.get(), w));
        EXPECT_TRUE(Same(a.get(), A.get()));

        std::vector<uint8_t> bytes(BN_num_bytes(B.get()));
        BN_bn2bin(B.get(), bytes.data());
        BigNumPtr back(BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), r.get()));
        EXPECT_EQ(back.release(), r.get()) << "reuses the given record";
        EXPECT_EQ(BIGNUM_Cmp(r.get(), b.get()), 0);
        EXPECT_EQ(BIGNUM_NumBits(b.get()), BN_num_bits(B.get()));
    }
}

}  // namespace
