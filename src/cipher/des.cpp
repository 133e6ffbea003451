#include "cipher/des.h"

#include <array>
#include <cstring>

#include "cipher/block_util.h"
#include "cipher/seed.h"  // kEncrypt, kDecrypt
#include "core/secret.h"

namespace quillon {
namespace {

// FIPS 46-3's tables; bit 1 is the most significant.
constexpr uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,  13, 1,  10, 6, 12, 11,
     9,  5,  3,  8, 4,  1,  14, 8,  13, 6,  2,  11, 15, 12, 9, 7,  3, 10, 5,  0,  15, 12, 8,  2,  4,  9, 1,  7,
     5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0,  5,  10, 3,  13, 4,  7,  15, 2,  8,  14, 12, 0, 1, 10,
     6,  9,  11, 5,  0,  14, 7,  11, 10, 4,  13, 1,  5,  8,  12, 6,  9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4, 2,
     11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,  6,  10, 2,  8, 5, 14,
     12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,  1,  10, 13, 0,  6,  9, 8, 7,
     4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15, 0,  3,  4,  7, 2, 12,
     1,  10, 14, 9,  10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14, 5,  2,  8,  4,  3,  15, 0,  6,  10, 1, 13, 8,
     9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,  13, 1,  5,  0, 15, 10,
     3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2, 13,
     6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12, 9,  5,  6,  1, 13, 14,
     0,  11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,  4,  3,  2,  12, 9,  5, 15, 10,
     11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7,  4,  9,  1,  10, 14, 3, 5, 12,
     2,  15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,  0,  5,  9,  2,  6,  11, 13, 8,  1,  4, 10, 7,
     9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,  7,  4,  12, 5, 6, 11,
     0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8, 13,
     15, 12, 9,  0,  3,  5,  6,  11}};

constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr uint8_t kIP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                             62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                             57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                             61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                              35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                              46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Bit `position` (1 = most significant) of an n-bit value, and a table-driven permutation.
constexpr uint64_t Bit(uint64_t x, int n, int position) { return (x >> (n - position)) & 1; }

template <size_t N>
constexpr uint64_t Permute(uint64_t x, int n, const uint8_t (&table)[N]) {
    uint64_t out = 0;
    for (size_t i = 0; i < N; ++i) out = (out << 1) | Bit(x, n, table[i]);
    return out;
}

constexpr bool SBoxRowsArePermutations() {
    for (const auto& box : kS) {
        for (int row = 0; row < 4; ++row) {
            unsigned seen = 0;
            for (int col = 0; col < 16; ++col) seen |= 1u << box[16 * row + col];
            if (seen != 0xffff) return false;
        }
    }
    return true;
}
static_assert(SBoxRowsArePermutations());

// S-box j and P in one table, indexed by the six expanded bits with the group's first bit highest.
using SpTable = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTable MakeSp() {
    SpTable sp{};
    for (int j = 0; j < 8; ++j) {
        for (unsigned x = 0; x < 64; ++x) {
            const unsigned row = ((x >> 4) & 2) | (x & 1), col = (x >> 1) & 15;
            const uint64_t s = static_cast<uint64_t>(kS[j][16 * row + col]) << (28 - 4 * j);
            sp[j][x] = static_cast<uint32_t>(Permute(s, 32, kP));
        }
    }
    return sp;
}

constexpr SpTable kSp = MakeSp();

constexpr uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The initial permutation by five swaps of bit groups between the halves; its inverse undoes them
// in reverse order. Checked against the table on every single-bit input below.
constexpr void SwapMove(uint32_t& a, uint32_t& b, int shift, uint32_t mask) {
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

constexpr void InitialPermutation(uint32_t& l, uint32_t& r) {
    SwapMove(l, r, 4, 0x0f0f0f0f);
    SwapMove(l, r, 16, 0x0000ffff);
    SwapMove(r, l, 2, 0x33333333);
    SwapMove(r, l, 8, 0x00ff00ff);
    SwapMove(l, r, 1, 0x55555555);
}

constexpr void FinalPermutation(uint32_t& l, uint32_t& r) {
    SwapMove(l, r, 1, 0x55555555);
    SwapMove(r, l, 8, 0x00ff00ff);
    SwapMove(r, l, 2, 0x33333333);
    SwapMove(l, r, 16, 0x0000ffff);
    SwapMove(l, r, 4, 0x0f0f0f0f);
}

constexpr bool PermutationsMatchTheTable() {
    for (int b = 0; b < 64; ++b) {
        const uint64_t x = uint64_t{1} << b;
        uint32_t l = static_cast<uint32_t>(x >> 32), r = static_cast<uint32_t>(x);
        InitialPermutation(l, r);
        if (((uint64_t{l} << 32) | r) != Permute(x, 64, kIP)) return false;
        FinalPermutation(l, r);
        if (((uint64_t{l} << 32) | r) != x) return false;
    }
    return true;
}
static_assert(PermutationsMatchTheTable());

// f(R, K) = P(S(E(R) ^ K)). Expansion group j is the six bits from bit 4j (bit 32 for j = 0)
// onwards; R rotated left by 5 brings the even groups onto byte boundaries, rotated by 1 the odd
// ones, and the round key words hold the matching six-bit pieces at the same places.
inline uint32_t F(uint32_t r, const uint32_t* k) {
    const uint32_t even = Rotl(r, 5) ^ k[0], odd = Rotl(r, 1) ^ k[1];
    return kSp[0][even & 63] ^ kSp[2][(even >> 24) & 63] ^ kSp[4][(even >> 16) & 63] ^ kSp[6][(even >> 8) & 63] ^
           kSp[1][(odd >> 24) & 63] ^ kSp[3][(odd >> 16) & 63] ^ kSp[5][(odd >> 8) & 63] ^ kSp[7][odd & 63];
}

// The three ciphers in a row. Between two of them the final and initial permutations cancel and
// only the halves trade places, so the permutations are done once per block.
inline void CryptHalves(uint32_t& l, uint32_t& r, const DesEde3Schedule& schedule) {
    const uint32_t(*k)[2] = schedule.subkeys;
    for (int stage = 0; stage < 3; ++stage) {
        for (int i = 0; i < 16; i += 2, k += 2) {
            l ^= F(r, k[0]);
            r ^= F(l, k[1]);
        }
        const uint32_t t = l;
        l = r;
        r = t;
    }
}

void CryptBlock(const uint8_t* in, uint8_t* out, const DesEde3Schedule& schedule) {
    uint32_t l = LoadBe32(in), r = LoadBe32(in + 4);
    InitialPermutation(l, r);
    CryptHalves(l, r, schedule);
    FinalPermutation(l, r);
    StoreBe32(out, l);
    StoreBe32(out + 4, r);
}

// The sixteen round keys of one DES key, each as the two words F expects.
void SingleKeySchedule(const uint8_t* key, uint32_t (*subkeys)[2]) {
    uint64_t k = 0;
    for (int i = 0; i < 8; ++i) k = (k << 8) | key[i];
    const uint64_t cd = Permute(k, 64, kPC1);
    uint32_t c = static_cast<uint32_t>(cd >> 28), d = static_cast<uint32_t>(cd & 0x0fffffff);
    for (int round = 0; round < 16; ++round) {
        for (int s = 0; s < kShifts[round]; ++s) {
            c = ((c << 1) | (c >> 27)) & 0x0fffffff;
            d = ((d << 1) | (d >> 27)) & 0x0fffffff;
        }
        const uint64_t sub = Permute((uint64_t{c} << 28) | d, 56, kPC2);
        uint32_t even = 0, odd = 0;
        for (int j = 0; j < 8; ++j) {
            const uint32_t piece = static_cast<uint32_t>(sub >> (42 - 6 * j)) & 63;
            // Even pieces at bits 0, 24, 16, 8; odd ones at 24, 16, 8, 0 (see F).
            if (j % 2 == 0) {
                even |= piece << ((32 - 4 * j) % 32);
            } else {
                odd |= piece << (28 - 4 * j);
            }
        }
        subkeys[round][0] = even;
        subkeys[round][1] = odd;
    }
    MEM_Wipe(&k, sizeof k);
    MEM_Wipe(&c, sizeof c);
    MEM_Wipe(&d, sizeof d);
}

void CbcEncrypt(DesEde3CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    uint8_t block[kDesBlockSize];
    for (size_t pos = 0; pos < length; pos += kDesBlockSize) {
        for (size_t i = 0; i < kDesBlockSize; ++i) block[i] = in[pos + i] ^ context->chain[i];
        CryptBlock(block, context->chain, context->schedule);
        std::memcpy(out + pos, context->chain, kDesBlockSize);
    }
    MEM_Wipe(block, sizeof block);
}

void CbcDecrypt(DesEde3CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    uint8_t cipher[kDesBlockSize];
    for (size_t pos = 0; pos < length; pos += kDesBlockSize) {
        std::memcpy(cipher, in + pos, kDesBlockSize);  // in may be out
        CryptBlock(cipher, out + pos, context->schedule);
        for (size_t i = 0; i < kDesBlockSize; ++i) out[pos + i] ^= context->chain[i];
        std::memcpy(context->chain, cipher, kDesBlockSize);
    }
}

}  // namespace

int DES_EDE3_KeySetup(const uint8_t* key, size_t key_length, uint32_t direction, DesEde3Schedule* schedule) {
    if (!key || !schedule || key_length != kDesEde3KeySize) return 0;
    if (direction != kEncrypt && direction != kDecrypt) return 0;
    SecretArray<uint32_t[2], 48> single;  // K1, K2, K3 each in encryption order
    for (int i = 0; i < 3; ++i) SingleKeySchedule(key + 8 * i, single.data + 16 * i);
    // Encryption runs K1 forwards, K2 backwards, K3 forwards; decryption K3 backwards, K2
    // forwards, K1 backwards.
    for (int stage = 0; stage < 3; ++stage) {
        const int which = direction == kEncrypt ? stage : 2 - stage;
        const bool forwards = (stage == 1) == (direction == kDecrypt);
        for (int i = 0; i < 16; ++i) {
            const uint32_t* from = single[16 * which + (forwards ? i : 15 - i)];
            schedule->subkeys[16 * stage + i][0] = from[0];
            schedule->subkeys[16 * stage + i][1] = from[1];
        }
    }
    return 1;
}

void DES_EDE3_Crypt(const uint8_t* in, uint8_t* out, const DesEde3Schedule* schedule) {
    CryptBlock(in, out, *schedule);
}

int DES_EDE3_CBC_Init(DesEde3CbcContext* context, uint32_t direction, const uint8_t* key, size_t key_length,
                      const uint8_t* iv) {
    if (!context) return 0;
    context->ready = 0;
    if (!iv || !DES_EDE3_KeySetup(key, key_length, direction, &context->schedule)) return 0;
    std::memmove(context->iv, iv, kDesBlockSize);
    std::memcpy(context->chain, context->iv, kDesBlockSize);
    context->direction = direction;
    context->ready = 1;
    return 1;
}

int DES_EDE3_CBC_Blocks(DesEde3CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    if (!context || !out || !in || context->ready != 1) return 0;
    if (length % kDesBlockSize != 0) return 0;
    if (context->direction == kEncrypt) {
        CbcEncrypt(context, out, in, length);
    } else {
        CbcDecrypt(context, out, in, length);
    }
    return 1;
}

int DES_EDE3_CBC_Padded(DesEde3CbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in,
                        size_t length) {
    if (!context) return 0;
    auto blocks = [context](uint8_t* o, const uint8_t* i, size_t n) { return DES_EDE3_CBC_Blocks(context, o, i, n); };
    return CbcPadded<kDesBlockSize>(context->direction == kEncrypt, blocks, out, out_length, in, length);
}

int DES_EDE3_CBC_Crypt(uint32_t direction, const uint8_t* key, size_t key_length, const uint8_t* iv,
                       const uint8_t* in, size_t length, uint8_t* out, size_t* out_length) {
    DesEde3CbcContext context;  // its schedule wipes itself
    return DES_EDE3_CBC_Init(&context, direction, key, key_length, iv) == 1 &&
           DES_EDE3_CBC_Padded(&context, out, out_length, in, length) == 1;
}

}  // namespace quillon
