// Portable AES, bitsliced: four blocks in eight 64-bit words, word k holding bit k of every state
// byte. The S-box is a Boolean circuit and the linear layers are shifts and masks, so nothing is
// looked up or branched on by key or data. A lone block (CBC encryption, the key expansion's
// S-box) takes one of the four slots.
#include <cstring>

#include "cipher/aes.h"
#include "core/mem.h"
#include "core/secret.h"

namespace quillon {
namespace {

// Byte (row r, column c) of slot b sits at bit 16r + 4c + b of each word: a row is a 16-bit lane,
// so MixColumns rotates the word by whole lanes and ShiftRows rotates within each lane.
// The round functions are forced inline so that the eight words stay in registers across them.
using Slices = uint64_t[8];
constexpr int kKeyWords = 8 * (kAesMaxRounds + 1);

inline uint64_t Rotr(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The four bytes of v to the even bytes of a word, and back.
inline uint64_t Spread(uint32_t v) {
    uint64_t x = v;
    x = (x | x << 16) & 0x0000FFFF0000FFFFull;
    return (x | x << 8) & 0x00FF00FF00FF00FFull;
}

inline uint32_t Gather(uint64_t x) {
    x &= 0x00FF00FF00FF00FFull;
    x = (x | x >> 8) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>(x | x >> 16);
}

// Bytes 0-3 and 8-11 interleave into word `slot`, bytes 4-7 and 12-15 into word slot + 4: byte m
// of word j then holds the state byte that Transpose moves to bit 8m + j, as the layout wants.
[[gnu::always_inline]] inline void LoadBlock(Slices& q, int slot, const uint8_t* block) {
    q[slot] = Spread(Load32(block)) | Spread(Load32(block + 8)) << 8;
    q[slot + 4] = Spread(Load32(block + 4)) | Spread(Load32(block + 12)) << 8;
}

[[gnu::always_inline]] inline void StoreBlock(const Slices& q, int slot, uint8_t* block) {
    Store32(block, Gather(q[slot]));
    Store32(block + 8, Gather(q[slot] >> 8));
    Store32(block + 4, Gather(q[slot + 4]));
    Store32(block + 12, Gather(q[slot + 4] >> 8));
}

inline void SwapMove(uint64_t& a, uint64_t& b, uint64_t mask, int shift) {
    const uint64_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// Exchanges bit i of the word index with bit i of the bit position, i = 0, 1, 2: eight words of
// bytes become eight bit planes and back (it is its own inverse).
[[gnu::always_inline]] inline void Transpose(Slices& q) {
    for (int i = 0; i < 8; i += 2) SwapMove(q[i], q[i + 1], 0x5555555555555555ull, 1);
    for (int i : {0, 1, 4, 5}) SwapMove(q[i], q[i + 2], 0x3333333333333333ull, 2);
    for (int i = 0; i < 4; ++i) SwapMove(q[i], q[i + 4], 0x0F0F0F0F0F0F0F0Full, 4);
}

// The S-box as a circuit of 113 gates (Boyar and Peralta's, depth 16); u0 and s0 are the most
// significant bits.
[[gnu::always_inline]] inline void SubBytes(Slices& q) {
    const uint64_t u0 = q[7], u1 = q[6], u2 = q[5], u3 = q[4], u4 = q[3], u5 = q[2], u6 = q[1], u7 = q[0];

    const uint64_t t1 = u0 ^ u3, t2 = u0 ^ u5, t3 = u0 ^ u6, t4 = u3 ^ u5, t5 = u4 ^ u6;
    const uint64_t t6 = t1 ^ t5, t7 = u1 ^ u2, t8 = u7 ^ t6, t9 = u7 ^ t7, t10 = t6 ^ t7;
    const uint64_t t11 = u1 ^ u5, t12 = u2 ^ u5, t13 = t3 ^ t4, t14 = t6 ^ t11, t15 = t5 ^ t11;
    const uint64_t t16 = t5 ^ t12, t17 = t9 ^ t16, t18 = u3 ^ u7, t19 = t7 ^ t18, t20 = t1 ^ t19;
    const uint64_t t21 = u6 ^ u7, t22 = t7 ^ t21, t23 = t2 ^ t22, t24 = t2 ^ t10, t25 = t20 ^ t17;
    const uint64_t t26 = t3 ^ t16, t27 = t1 ^ t12;

    const uint64_t m1 = t13 & t6, m2 = t23 & t8, m3 = t14 ^ m1, m4 = t19 & u7, m5 = m4 ^ m1;
    const uint64_t m6 = t3 & t16, m7 = t22 & t9, m8 = t26 ^ m6, m9 = t20 & t17, m10 = m9 ^ m6;
    const uint64_t m11 = t1 & t15, m12 = t4 & t27, m13 = m12 ^ m11, m14 = t2 & t10, m15 = m14 ^ m11;
    const uint64_t m16 = m3 ^ m2, m17 = m5 ^ t24, m18 = m8 ^ m7, m19 = m10 ^ m15, m20 = m16 ^ m13;
    const uint64_t m21 = m17 ^ m15, m22 = m18 ^ m13, m23 = m19 ^ t25, m24 = m22 ^ m23, m25 = m22 & m20;
    const uint64_t m26 = m21 ^ m25, m27 = m20 ^ m21, m28 = m23 ^ m25, m29 = m28 & m27, m30 = m26 & m24;
    const uint64_t m31 = m20 & m23, m32 = m27 & m31, m33 = m27 ^ m25, m34 = m21 & m22, m35 = m24 & m34;
    const uint64_t m36 = m24 ^ m25, m37 = m21 ^ m29, m38 = m32 ^ m33, m39 = m23 ^ m30, m40 = m35 ^ m36;
    const uint64_t m41 = m38 ^ m40, m42 = m37 ^ m39, m43 = m37 ^ m38, m44 = m39 ^ m40, m45 = m42 ^ m41;
    const uint64_t m46 = m44 & t6, m47 = m40 & t8, m48 = m39 & u7, m49 = m43 & t16, m50 = m38 & t9;
    const uint64_t m51 = m37 & t17, m52 = m42 & t15, m53 = m45 & t27, m54 = m41 & t10, m55 = m44 & t13;
    const uint64_t m56 = m40 & t23, m57 = m39 & t19, m58 = m43 & t3, m59 = m38 & t22, m60 = m37 & t20;
    const uint64_t m61 = m42 & t1, m62 = m45 & t4, m63 = m41 & t2;

    const uint64_t l0 = m61 ^ m62, l1 = m50 ^ m56, l2 = m46 ^ m48, l3 = m47 ^ m55, l4 = m54 ^ m58;
    const uint64_t l5 = m49 ^ m61, l6 = m62 ^ l5, l7 = m46 ^ l3, l8 = m51 ^ m59, l9 = m52 ^ m53;
    const uint64_t l10 = m53 ^ l4, l11 = m60 ^ l2, l12 = m48 ^ m51, l13 = m50 ^ l0, l14 = m52 ^ m61;
    const uint64_t l15 = m55 ^ l1, l16 = m56 ^ l0, l17 = m57 ^ l1, l18 = m58 ^ l8, l19 = m63 ^ l4;
    const uint64_t l20 = l0 ^ l1, l21 = l1 ^ l7, l22 = l3 ^ l12, l23 = l18 ^ l2, l24 = l15 ^ l9;
    const uint64_t l25 = l6 ^ l10, l26 = l7 ^ l9, l27 = l8 ^ l10, l28 = l11 ^ l14, l29 = l11 ^ l17;

    q[7] = l6 ^ l24;
    q[6] = ~(l16 ^ l26);
    q[5] = ~(l19 ^ l28);
    q[4] = l6 ^ l21;
    q[3] = l20 ^ l22;
    q[2] = l25 ^ l29;
    q[1] = ~(l13 ^ l27);
    q[0] = ~(l6 ^ l23);
}

// FIPS 197's inverse affine map, 0x05 included: the inverse S-box is this map on both sides of
// the S-box (the S-box's inversion is its own inverse).
[[gnu::always_inline]] inline void InverseAffine(Slices& q) {
    uint64_t t[8];
    for (int i = 0; i < 8; ++i) t[i] = q[(i + 2) % 8] ^ q[(i + 5) % 8] ^ q[(i + 7) % 8];
    for (int i = 0; i < 8; ++i) q[i] = t[i];
    q[0] = ~q[0];
    q[2] = ~q[2];
}

[[gnu::always_inline]] inline void InvSubBytes(Slices& q) {
    InverseAffine(q);
    SubBytes(q);
    InverseAffine(q);
}

// Row r's lane turns right by 4r bits: column c takes column c + r.
[[gnu::always_inline]] inline void ShiftRows(Slices& q) {
    for (uint64_t& x : q) {
        x = (x & 0x000000000000FFFFull) | (x & 0x00000000FFF00000ull) >> 4 | (x & 0x00000000000F0000ull) << 12 |
            (x & 0x0000FF0000000000ull) >> 8 | (x & 0x000000FF00000000ull) << 8 |
            (x & 0xF000000000000000ull) >> 12 | (x & 0x0FFF000000000000ull) << 4;
    }
}

[[gnu::always_inline]] inline void InvShiftRows(Slices& q) {
    for (uint64_t& x : q) {
        x = (x & 0x000000000000FFFFull) | (x & 0x000000000FFF0000ull) << 4 | (x & 0x00000000F0000000ull) >> 12 |
            (x & 0x0000FF0000000000ull) >> 8 | (x & 0x000000FF00000000ull) << 8 |
            (x & 0xFFF0000000000000ull) >> 4 | (x & 0x000F000000000000ull) << 12;
    }
}

// Multiplication by x in GF(2^8) on every byte at once.
[[gnu::always_inline]] inline void Xtime(Slices& a) {
    const uint64_t high = a[7];
    a[7] = a[6];
    a[6] = a[5];
    a[5] = a[4];
    a[4] = a[3] ^ high;
    a[3] = a[2] ^ high;
    a[2] = a[1];
    a[1] = a[0] ^ high;
    a[0] = high;
}

// out_r = 2 a_r + 3 a_r+1 + a_r+2 + a_r+3 = 2 (a_r + a_r+1) + a_r+1 + a_r+2 + a_r+3; rotating a
// word right by 16 brings row r + 1 to row r.
[[gnu::always_inline]] inline void MixColumns(Slices& q) {
    Slices s, t;
    for (int k = 0; k < 8; ++k) {
        const uint64_t next = Rotr(q[k], 16);
        s[k] = q[k] ^ next;
        t[k] = next ^ Rotr(s[k], 32);
    }
    Xtime(s);
    for (int k = 0; k < 8; ++k) q[k] = s[k] ^ t[k];
}

// InvMixColumns is MixColumns after a_r += 4 (a_r + a_r+2).
[[gnu::always_inline]] inline void InvMixColumns(Slices& q) {
    Slices u;
    for (int k = 0; k < 8; ++k) u[k] = q[k] ^ Rotr(q[k], 32);
    Xtime(u);
    Xtime(u);
    for (int k = 0; k < 8; ++k) q[k] ^= u[k];
    MixColumns(q);
}

inline void AddKey(Slices& q, const uint64_t* key) {
    for (int k = 0; k < 8; ++k) q[k] ^= key[k];
}

// Each round key in all four slots, as bit planes.
void SliceKeys(uint64_t* sliced, const uint8_t* round_keys, int rounds) {
    SecretArray<uint64_t, 8> q;
    for (int r = 0; r <= rounds; ++r) {
        for (int slot = 0; slot < 4; ++slot) LoadBlock(q.data, slot, round_keys + 16 * r);
        Transpose(q.data);
        std::memcpy(sliced + 8 * r, q.data, sizeof q.data);
    }
}

[[gnu::always_inline]] inline void Encrypt(Slices& q, const uint64_t* keys, int rounds) {
    AddKey(q, keys);
    for (int r = 1; r < rounds; ++r) {
        SubBytes(q);
        ShiftRows(q);
        MixColumns(q);
        AddKey(q, keys + 8 * r);
    }
    SubBytes(q);
    ShiftRows(q);
    AddKey(q, keys + 8 * rounds);
}

[[gnu::always_inline]] inline void Decrypt(Slices& q, const uint64_t* keys, int rounds) {
    AddKey(q, keys + 8 * rounds);
    for (int r = rounds - 1; r > 0; --r) {
        InvShiftRows(q);
        InvSubBytes(q);
        AddKey(q, keys + 8 * r);
        InvMixColumns(q);
    }
    InvShiftRows(q);
    InvSubBytes(q);
    AddKey(q, keys);
}

void CbcEncrypt(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                size_t blocks) {
    SecretArray<uint64_t, kKeyWords> keys;
    SliceKeys(keys.data, round_keys, rounds);
    SecretArray<uint64_t, 8> q;
    SecretArray<uint8_t, kAesBlockSize> x;
    std::memcpy(x.data, chain, kAesBlockSize);
    for (size_t n = 0; n < blocks; ++n) {
        for (size_t i = 0; i < kAesBlockSize; ++i) x[i] ^= in[16 * n + i];
        std::memset(q.data, 0, sizeof q.data);
        LoadBlock(q.data, 0, x.data);
        Transpose(q.data);
        Encrypt(q.data, keys.data, rounds);
        Transpose(q.data);
        StoreBlock(q.data, 0, x.data);
        std::memcpy(out + 16 * n, x.data, kAesBlockSize);
    }
    std::memcpy(chain, x.data, kAesBlockSize);
}

void CbcDecrypt(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                size_t blocks) {
    SecretArray<uint64_t, kKeyWords> keys;
    SliceKeys(keys.data, round_keys, rounds);
    SecretArray<uint64_t, 8> q;
    SecretArray<uint8_t, kAesBlockSize> x;
    uint8_t prev[kAesBlockSize], c[4][kAesBlockSize];
    std::memcpy(prev, chain, kAesBlockSize);
    for (size_t n = 0; n < blocks; n += 4) {
        const int take = blocks - n < 4 ? static_cast<int>(blocks - n) : 4;
        // The ciphertext is kept aside before any output is written, so in == out works.
        std::memcpy(c, in + 16 * n, kAesBlockSize * take);
        std::memset(q.data, 0, sizeof q.data);
        for (int b = 0; b < take; ++b) LoadBlock(q.data, b, c[b]);
        Transpose(q.data);
        Decrypt(q.data, keys.data, rounds);
        Transpose(q.data);
        for (int b = 0; b < take; ++b) {
            StoreBlock(q.data, b, x.data);
            const uint8_t* previous = b == 0 ? prev : c[b - 1];
            for (size_t i = 0; i < kAesBlockSize; ++i) out[16 * (n + b) + i] = x[i] ^ previous[i];
        }
        std::memcpy(prev, c[take - 1], kAesBlockSize);
    }
    std::memcpy(chain, prev, kAesBlockSize);
}

uint32_t SubWord(uint32_t word) {
    SecretArray<uint64_t, 8> q;
    SecretArray<uint8_t, kAesBlockSize> block;
    std::memset(block.data, 0, sizeof block.data);
    Store32(block.data, word);
    std::memset(q.data, 0, sizeof q.data);
    LoadBlock(q.data, 0, block.data);
    Transpose(q.data);
    SubBytes(q.data);
    Transpose(q.data);
    StoreBlock(q.data, 0, block.data);
    return Load32(block.data);
}

}  // namespace

const AesImplementation kAesBitsliced = {CbcEncrypt, CbcDecrypt, SubWord};

}  // namespace quillon
