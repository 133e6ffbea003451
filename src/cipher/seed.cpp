#include "cipher/seed.h"

#include <array>
#include <utility>
#include <cstring>

#include "core/mem.h"
#include "cipher/block_util.h"
#include "cipher/gf256.h"

namespace quillon {
namespace {

// The S-boxes are affine maps of powers in GF(2^8) modulo x^8 + x^6 + x^5 + x + 1:
// S1(x) = A1 * x^247 + 0xA9 and S2(x) = A2 * x^251 + 0x38. The matrices are given by
// their columns, the images of the bits 0..7.
constexpr unsigned kFieldPoly = 0x163;
constexpr uint8_t kA1[8] = {0x2c, 0xd0, 0x69, 0xc2, 0x41, 0x44, 0x58, 0xe2};
constexpr uint8_t kA2[8] = {0xd0, 0x2a, 0xe1, 0x2c, 0x21, 0x30, 0xa2, 0x6c};

constexpr auto kS1 = Gf256PowerSbox<kFieldPoly>(kA1, 247, 0xA9);
constexpr auto kS2 = Gf256PowerSbox<kFieldPoly>(kA2, 251, 0x38);

// G(X) = SS0[X0] ^ SS1[X1] ^ SS2[X2] ^ SS3[X3], X0 the low byte. Byte j of G takes S(Xi)
// masked with m[(i + j) % 4]; bytes 0 and 2 go through S1, bytes 1 and 3 through S2.
constexpr std::array<std::array<uint32_t, 256>, 4> MakeSS() {
    constexpr uint8_t kMask[4] = {0xfc, 0xf3, 0xcf, 0x3f};
    std::array<std::array<uint32_t, 256>, 4> ss{};
    for (int i = 0; i < 4; ++i) {
        for (unsigned x = 0; x < 256; ++x) {
            const uint8_t y = (i % 2 == 0) ? kS1[x] : kS2[x];
            uint32_t word = 0;
            for (int j = 0; j < 4; ++j) word |= uint32_t{static_cast<uint8_t>(y & kMask[(i + j) % 4])} << (8 * j);
            ss[i][x] = word;
        }
    }
    return ss;
}

constexpr auto kSS = MakeSS();

inline uint32_t G(uint32_t x) {
    // Two independent pairs: a shorter chain than four XORs in a row. The empty asm keeps
    // the compiler from re-linearising them.
    uint32_t low = kSS[0][x & 0xff] ^ kSS[1][(x >> 8) & 0xff];
    const uint32_t high = kSS[2][(x >> 16) & 0xff] ^ kSS[3][x >> 24];
    asm("" : "+r"(low));
    return low ^ high;
}

// Key constants: the golden-ratio word rotated left by the round index.
constexpr uint32_t KC(int i) { return (0x9e3779b9u << i) | (i ? 0x9e3779b9u >> (32 - i) : 0); }

// One round: (l0, l1) ^= F(r0, r1) under keys k[0], k[1].
inline void Round(uint32_t& l0, uint32_t& l1, uint32_t r0, uint32_t r1, const uint32_t* k) {
    uint32_t c = r0 ^ k[0];
    uint32_t d = (r1 ^ k[1]) ^ c;
    d = G(d);
    c = G(c + d);
    d = G(d + c);
    c += d;
    l0 ^= c;
    l1 ^= d;
}

// The 16 rounds of one block, tuned for latency (CBC encryption is one long chain): the next
// round's keyed input is built as (half ^ next key) ^ F output, so a single XOR follows F.
template <bool kDecrypt>
inline void CryptWords(uint32_t& l0, uint32_t& l1, uint32_t& r0, uint32_t& r1, const uint32_t* rk) {
    auto key = [rk](int round) { return rk + 2 * (kDecrypt ? 15 - round : round); };
    uint32_t a = r0 ^ key(0)[0], b = r1 ^ key(0)[1];
    for (int round = 0; round < 16; ++round) {
        const uint32_t* next = key(round < 15 ? round + 1 : round);
        const uint32_t p0 = l0 ^ next[0], p1 = l1 ^ next[1];
        uint32_t d = G(a ^ b);
        uint32_t c = G(a + d);
        d = G(d + c);
        c += d;
        l0 ^= c;
        l1 ^= d;
        a = p0 ^ c;
        b = p1 ^ d;
        // The half just updated feeds the next round, which updates the other one.
        std::swap(l0, r0);
        std::swap(l1, r1);
    }
}

inline void EncryptWords(uint32_t& l0, uint32_t& l1, uint32_t& r0, uint32_t& r1, const uint32_t* rk) {
    CryptWords<false>(l0, l1, r0, r1, rk);
}

inline void DecryptWords(uint32_t& l0, uint32_t& l1, uint32_t& r0, uint32_t& r1, const uint32_t* rk) {
    CryptWords<true>(l0, l1, r0, r1, rk);
}

// One block through the sixteen rounds; the halves come out swapped.
template <void (*Rounds)(uint32_t&, uint32_t&, uint32_t&, uint32_t&, const uint32_t*)>
inline void CryptBlock(const uint8_t* in, uint8_t* out, const uint32_t* round_keys) {
    uint32_t l0 = LoadBe32(in), l1 = LoadBe32(in + 4), r0 = LoadBe32(in + 8), r1 = LoadBe32(in + 12);
    Rounds(l0, l1, r0, r1, round_keys);
    StoreBe32(out, r0);
    StoreBe32(out + 4, r1);
    StoreBe32(out + 8, l0);
    StoreBe32(out + 12, l1);
}

// Several blocks decrypted side by side: the rounds of independent blocks overlap in the CPU.
template <int N>
inline void DecryptWordsN(uint32_t (&w)[N][4], const uint32_t* rk) {
    for (int i = 28; i >= 0; i -= 4) {
        for (int b = 0; b < N; ++b) Round(w[b][0], w[b][1], w[b][2], w[b][3], rk + i + 2);
        for (int b = 0; b < N; ++b) Round(w[b][2], w[b][3], w[b][0], w[b][1], rk + i);
    }
}

void CbcEncrypt(SeedCbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    uint32_t c0 = LoadBe32(context->chain), c1 = LoadBe32(context->chain + 4);
    uint32_t c2 = LoadBe32(context->chain + 8), c3 = LoadBe32(context->chain + 12);
    for (size_t pos = 0; pos < length; pos += kSeedBlockSize) {
        uint32_t l0 = LoadBe32(in + pos) ^ c0, l1 = LoadBe32(in + pos + 4) ^ c1;
        uint32_t r0 = LoadBe32(in + pos + 8) ^ c2, r1 = LoadBe32(in + pos + 12) ^ c3;
        EncryptWords(l0, l1, r0, r1, context->round_keys);
        // The halves swap on output.
        c0 = r0, c1 = r1, c2 = l0, c3 = l1;
        StoreBe32(out + pos, c0);
        StoreBe32(out + pos + 4, c1);
        StoreBe32(out + pos + 8, c2);
        StoreBe32(out + pos + 12, c3);
    }
    StoreBe32(context->chain, c0);
    StoreBe32(context->chain + 4, c1);
    StoreBe32(context->chain + 8, c2);
    StoreBe32(context->chain + 12, c3);
}

void CbcDecrypt(SeedCbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    constexpr int kLanes = 4;
    uint32_t chain[4];
    for (int i = 0; i < 4; ++i) chain[i] = LoadBe32(context->chain + 4 * i);
    size_t pos = 0;
    // Ciphertext words are held in registers before any output is written, so in == out works.
    for (; length - pos >= kLanes * kSeedBlockSize; pos += kLanes * kSeedBlockSize) {
        uint32_t w[kLanes][4], c[kLanes][4];
        for (int b = 0; b < kLanes; ++b) {
            for (int i = 0; i < 4; ++i) w[b][i] = c[b][i] = LoadBe32(in + pos + 16 * b + 4 * i);
        }
        DecryptWordsN<kLanes>(w, context->round_keys);
        for (int b = 0; b < kLanes; ++b) {
            const uint32_t* prev = b == 0 ? chain : c[b - 1];
            uint8_t* o = out + pos + 16 * b;
            StoreBe32(o, w[b][2] ^ prev[0]);
            StoreBe32(o + 4, w[b][3] ^ prev[1]);
            StoreBe32(o + 8, w[b][0] ^ prev[2]);
            StoreBe32(o + 12, w[b][1] ^ prev[3]);
        }
        std::memcpy(chain, c[kLanes - 1], sizeof chain);
    }
    for (; pos < length; pos += kSeedBlockSize) {
        uint32_t c[4];
        for (int i = 0; i < 4; ++i) c[i] = LoadBe32(in + pos + 4 * i);
        uint32_t l0 = c[0], l1 = c[1], r0 = c[2], r1 = c[3];
        DecryptWords(l0, l1, r0, r1, context->round_keys);
        StoreBe32(out + pos, r0 ^ chain[0]);
        StoreBe32(out + pos + 4, r1 ^ chain[1]);
        StoreBe32(out + pos + 8, l0 ^ chain[2]);
        StoreBe32(out + pos + 12, l1 ^ chain[3]);
        std::memcpy(chain, c, sizeof chain);
    }
    for (int i = 0; i < 4; ++i) StoreBe32(context->chain + 4 * i, chain[i]);
}

}  // namespace

const uint8_t* SEED_SBox(int which) { return which == 1 ? kS1.data() : kS2.data(); }

const uint32_t* SEED_GTable(int which) { return kSS[which & 3].data(); }

int SEED_KeySchedule(const uint8_t* key, uint32_t* round_keys) {
    uint32_t a = LoadBe32(key), b = LoadBe32(key + 4), c = LoadBe32(key + 8), d = LoadBe32(key + 12);
    for (int i = 0; i < 16; ++i) {
        round_keys[2 * i] = G(a + c - KC(i));
        round_keys[2 * i + 1] = G(b - d + KC(i));
        if (i % 2 == 0) {  // A||B rotates right by 8 bits
            const uint32_t t = a;
            a = (a >> 8) | (b << 24);
            b = (b >> 8) | (t << 24);
        } else {  // C||D rotates left by 8 bits
            const uint32_t t = c;
            c = (c << 8) | (d >> 24);
            d = (d << 8) | (t >> 24);
        }
    }
    return 1;
}

void SEED_EncryptBlock(const uint8_t* in, uint8_t* out, const uint32_t* round_keys) {
    CryptBlock<EncryptWords>(in, out, round_keys);
}

void SEED_DecryptBlock(const uint8_t* in, uint8_t* out, const uint32_t* round_keys) {
    CryptBlock<DecryptWords>(in, out, round_keys);
}

int SEED_CBC_Init(SeedCbcContext* context, uint32_t direction, const uint8_t* key, const uint8_t* iv) {
    if (!context || !key) return 0;
    std::memmove(context->key, key, kSeedBlockSize);
    if (!SEED_KeySchedule(context->key, context->round_keys)) return 0;
    if (iv) {
        std::memmove(context->iv, iv, kSeedBlockSize);
    } else {
        std::memset(context->iv, 0, kSeedBlockSize);
    }
    std::memcpy(context->chain, context->iv, kSeedBlockSize);
    context->direction = direction;
    return 1;
}

int SEED_CBC_Blocks(SeedCbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    if (!context || !out || !in) return 0;
    // A partial block cannot be chained; refuse rather than drop or overrun it.
    if (length % kSeedBlockSize != 0) return 0;
    if (context->direction == kEncrypt) {
        CbcEncrypt(context, out, in, length);
    } else {
        CbcDecrypt(context, out, in, length);
    }
    return 1;
}

int SEED_CBC_Padded(SeedCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
    if (!context) return 0;
    auto blocks = [context](uint8_t* o, const uint8_t* i, size_t n) { return SEED_CBC_Blocks(context, o, i, n); };
    return CbcPadded<kSeedBlockSize>(context->direction == kEncrypt, blocks, out, out_length, in, length);
}

int SEED_CBC_Crypt(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                   uint8_t* out, size_t* out_length) {
    auto* context = static_cast<SeedCbcContext*>(MEM_Alloc(sizeof(SeedCbcContext)));
    if (!context) return 0;
    const int ok = SEED_CBC_Init(context, direction, key, iv) == 1 &&
                   SEED_CBC_Padded(context, out, out_length, in, length) == 1;
    MEM_Free(context);
    return ok;
}

bool SEED_CBC_CryptBytes(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                         SecureBytes& out) {
    out.resize(length + kSeedBlockSize);
    size_t produced = 0;
    if (!SEED_CBC_Crypt(direction, key, iv, in, length, out.data(), &produced)) return false;
    out.resize(produced);
    return true;
}

}  // namespace quillon
