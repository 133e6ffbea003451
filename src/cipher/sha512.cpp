#include "cipher/sha512.h"

#include <atomic>
#include <cstring>

// 64-bit only: the rounds want all sixteen general registers.
#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILLON_SHA512_AVX2 1
#endif

#include "cipher/md_block.h"
#include "core/mem.h"

namespace quillon {
namespace {

constexpr uint64_t kInitial512[8] = {0x6a09e667f3bcc908ull, 0xbb67ae8584caa73bull, 0x3c6ef372fe94f82bull,
                                     0xa54ff53a5f1d36f1ull, 0x510e527fade682d1ull, 0x9b05688c2b3e6c1full,
                                     0x1f83d9abfb41bd6bull, 0x5be0cd19137e2179ull};
constexpr uint64_t kInitial384[8] = {0xcbbb9d5dc1059ed8ull, 0x629a292a367cd507ull, 0x9159015a3070dd17ull,
                                     0x152fecd8f70e5939ull, 0x67332667ffc00b31ull, 0x8eb44a8768581511ull,
                                     0xdb0c2e0d64f98fa7ull, 0x47b5481dbefa4fa4ull};

constexpr uint64_t kRound[80] = {
    0x428a2f98d728ae22ull, 0x7137449123ef65cdull, 0xb5c0fbcfec4d3b2full, 0xe9b5dba58189dbbcull, 0x3956c25bf348b538ull,
    0x59f111f1b605d019ull, 0x923f82a4af194f9bull, 0xab1c5ed5da6d8118ull, 0xd807aa98a3030242ull, 0x12835b0145706fbeull,
    0x243185be4ee4b28cull, 0x550c7dc3d5ffb4e2ull, 0x72be5d74f27b896full, 0x80deb1fe3b1696b1ull, 0x9bdc06a725c71235ull,
    0xc19bf174cf692694ull, 0xe49b69c19ef14ad2ull, 0xefbe4786384f25e3ull, 0x0fc19dc68b8cd5b5ull, 0x240ca1cc77ac9c65ull,
    0x2de92c6f592b0275ull, 0x4a7484aa6ea6e483ull, 0x5cb0a9dcbd41fbd4ull, 0x76f988da831153b5ull, 0x983e5152ee66dfabull,
    0xa831c66d2db43210ull, 0xb00327c898fb213full, 0xbf597fc7beef0ee4ull, 0xc6e00bf33da88fc2ull, 0xd5a79147930aa725ull,
    0x06ca6351e003826full, 0x142929670a0e6e70ull, 0x27b70a8546d22ffcull, 0x2e1b21385c26c926ull, 0x4d2c6dfc5ac42aedull,
    0x53380d139d95b3dfull, 0x650a73548baf63deull, 0x766a0abb3c77b2a8ull, 0x81c2c92e47edaee6ull, 0x92722c851482353bull,
    0xa2bfe8a14cf10364ull, 0xa81a664bbc423001ull, 0xc24b8b70d0f89791ull, 0xc76c51a30654be30ull, 0xd192e819d6ef5218ull,
    0xd69906245565a910ull, 0xf40e35855771202aull, 0x106aa07032bbd1b8ull, 0x19a4c116b8d2d0c8ull, 0x1e376c085141ab53ull,
    0x2748774cdf8eeb99ull, 0x34b0bcb5e19b48a8ull, 0x391c0cb3c5c95a63ull, 0x4ed8aa4ae3418acbull, 0x5b9cca4f7763e373ull,
    0x682e6ff3d6b2b8a3ull, 0x748f82ee5defb2fcull, 0x78a5636f43172f60ull, 0x84c87814a1f0ab72ull, 0x8cc702081a6439ecull,
    0x90befffa23631e28ull, 0xa4506cebde82bde9ull, 0xbef9a3f7b2c67915ull, 0xc67178f2e372532bull, 0xca273eceea26619cull,
    0xd186b8c721c0c207ull, 0xeada7dd6cde0eb1eull, 0xf57d4f7fee6ed178ull, 0x06f067aa72176fbaull, 0x0a637dc5a2c898a6ull,
    0x113f9804bef90daeull, 0x1b710b35131c471bull, 0x28db77f523047d84ull, 0x32caab7b40c72493ull, 0x3c9ebe0a15c9bebcull,
    0x431d67c49c100d4cull, 0x4cc5d4becb3e42b6ull, 0x597f299cfc657e2aull, 0x5fcb6fab3ad6faecull, 0x6c44198c4a475817ull};

inline uint64_t Rotr(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

inline uint64_t LoadBe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

using CompressFn = void (*)(uint64_t*, const uint8_t*, size_t);

CompressFn Detect() { return Sha512HaveAvx2() ? Sha512CompressAvx2 : Sha512CompressPortable; }

std::atomic<CompressFn> g_compress{Detect()};

inline void Compress(uint64_t* chaining, const uint8_t* blocks, size_t count) {
    g_compress.load(std::memory_order_relaxed)(chaining, blocks, count);
}

}  // namespace

// Eight rounds per pass with the working variables renamed instead of moved; the schedule
// lives in a 16-word ring computed just ahead of the round that needs it.
#define QUILLON_SHA512_ROUND(a, b, c, d, e, f, g, h, i)                                              \
    do {                                                                                         \
        const uint64_t t1 = h + (Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41)) + (g ^ (e & (f ^ g))) + \
                            kRound[t + (i)] + w[(i)];                                               \
        d += t1;                                                                                 \
        h = t1 + (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39)) + ((a & b) | (c & (a | b)));          \
    } while (0)

#define QUILLON_SHA512_SCHEDULE(i)                                                                 \
    do {                                                                                         \
        const uint64_t w15 = w[((i) + 1) & 15], w2 = w[((i) + 14) & 15];                          \
        w[(i)] += (Rotr(w15, 1) ^ Rotr(w15, 8) ^ (w15 >> 7)) + w[((i) + 9) & 15] +                \
                  (Rotr(w2, 19) ^ Rotr(w2, 61) ^ (w2 >> 6));                                     \
    } while (0)

void Sha512CompressPortable(uint64_t chaining[8], const uint8_t* blocks, size_t count) {
    for (; count > 0; --count, blocks += kSha512BlockSize) {
        uint64_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe64(blocks + 8 * i);
        uint64_t a = chaining[0], b = chaining[1], c = chaining[2], d = chaining[3];
        uint64_t e = chaining[4], f = chaining[5], g = chaining[6], h = chaining[7];
        for (int t = 0; t < 80; t += 16) {
            if (t > 0) {
                for (int i = 0; i < 16; ++i) QUILLON_SHA512_SCHEDULE(i);
            }
            QUILLON_SHA512_ROUND(a, b, c, d, e, f, g, h, 0);
            QUILLON_SHA512_ROUND(h, a, b, c, d, e, f, g, 1);
            QUILLON_SHA512_ROUND(g, h, a, b, c, d, e, f, 2);
            QUILLON_SHA512_ROUND(f, g, h, a, b, c, d, e, 3);
            QUILLON_SHA512_ROUND(e, f, g, h, a, b, c, d, 4);
            QUILLON_SHA512_ROUND(d, e, f, g, h, a, b, c, 5);
            QUILLON_SHA512_ROUND(c, d, e, f, g, h, a, b, 6);
            QUILLON_SHA512_ROUND(b, c, d, e, f, g, h, a, 7);
            QUILLON_SHA512_ROUND(a, b, c, d, e, f, g, h, 8);
            QUILLON_SHA512_ROUND(h, a, b, c, d, e, f, g, 9);
            QUILLON_SHA512_ROUND(g, h, a, b, c, d, e, f, 10);
            QUILLON_SHA512_ROUND(f, g, h, a, b, c, d, e, 11);
            QUILLON_SHA512_ROUND(e, f, g, h, a, b, c, d, 12);
            QUILLON_SHA512_ROUND(d, e, f, g, h, a, b, c, 13);
            QUILLON_SHA512_ROUND(c, d, e, f, g, h, a, b, 14);
            QUILLON_SHA512_ROUND(b, c, d, e, f, g, h, a, 15);
        }
        MD_AddWorking(chaining, a, b, c, d, e, f, g, h);
    }
}

#undef QUILLON_SHA512_ROUND
#undef QUILLON_SHA512_SCHEDULE

#if QUILLON_SHA512_AVX2

bool Sha512HaveAvx2() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool osxsave = c & (1u << 27), avx = c & (1u << 28);
    if (!osxsave || !avx) return false;
    // The operating system must save the upper halves of the vector registers.
    unsigned lo = 0, hi = 0;
    __asm__ __volatile__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6u) != 6u) return false;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    const bool avx2 = b & (1u << 5), bmi1 = b & (1u << 3), bmi2 = b & (1u << 8);
    return avx2 && bmi1 && bmi2;
}

#define QUILLON_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))

namespace {

template <int N>
QUILLON_SHA512_TARGET inline __m256i Shr(__m256i x) {
    return _mm256_srli_epi64(x, N);
}

template <int N>
QUILLON_SHA512_TARGET inline __m256i Shl(__m256i x) {
    return _mm256_slli_epi64(x, N);
}

// sigma0 and sigma1 of four words; the rotation by 8 is a byte shuffle.
QUILLON_SHA512_TARGET inline __m256i SmallSigma0(__m256i x) {
    const __m256i rotr8 = _mm256_setr_epi8(1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8,  //
                                           1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 14, 15, 8);
    const __m256i r1 = _mm256_xor_si256(Shr<1>(x), Shl<63>(x));
    return _mm256_xor_si256(_mm256_xor_si256(r1, _mm256_shuffle_epi8(x, rotr8)), Shr<7>(x));
}

QUILLON_SHA512_TARGET inline __m256i SmallSigma1(__m256i x) {
    const __m256i r19 = _mm256_xor_si256(Shr<19>(x), Shl<45>(x));
    const __m256i r61 = _mm256_xor_si256(Shr<61>(x), Shl<3>(x));
    return _mm256_xor_si256(_mm256_xor_si256(r19, r61), Shr<6>(x));
}

// The ring x holds words t-16..t-1 of two blocks, one block per 128-bit lane and a word pair
// per slot from slot I on; returns words t and t+1. alignr works within each lane, so the
// blocks never mix.
template <int I>
QUILLON_SHA512_TARGET inline __m256i NextPair(const __m256i (&x)[8]) {
    const __m256i w15 = _mm256_alignr_epi8(x[(I + 1) & 7], x[I], 8);
    const __m256i w7 = _mm256_alignr_epi8(x[(I + 5) & 7], x[(I + 4) & 7], 8);
    return _mm256_add_epi64(_mm256_add_epi64(x[I], SmallSigma0(w15)),
                            _mm256_add_epi64(w7, SmallSigma1(x[(I + 7) & 7])));
}

// Word pair x (both blocks) plus the round constants, to the two W+K rows.
QUILLON_SHA512_TARGET inline void StoreWk(uint64_t (&wk)[2][80], int t, __m256i x) {
    const __m256i k = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + t)));
    const __m256i sum = _mm256_add_epi64(x, k);
    _mm_store_si128(reinterpret_cast<__m128i*>(&wk[0][t]), _mm256_castsi256_si128(sum));
    _mm_store_si128(reinterpret_cast<__m128i*>(&wk[1][t]), _mm256_extracti128_si256(sum, 1));
}

// Grouped to keep both recurrences short: e' = (d + h + kw + Ch) + S1(e), and
// a' = e' - d + S0(a) + Maj(a, b, c) with Maj = (a & (b ^ c)) + (b & c); this round's a ^ b is
// the next round's b ^ c. The empty asm pins the grouping the compiler would otherwise undo.
#define QUILLON_SHA512_ROUND(a, b, c, d, e, f, g, h, kw, ab, bc)                                  \
    do {                                                                                         \
        h += (kw);                                                                               \
        const uint64_t dh = d + h;                                                               \
        uint64_t eo = dh + ((e & f) ^ (~e & g));                                                 \
        __asm__("" : "+r"(eo));                                                                  \
        eo += Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41);                                           \
        uint64_t m = (b & c) - d;                                                                \
        m += a & bc;                                                                             \
        __asm__("" : "+r"(m));                                                                   \
        ab = a ^ b;                                                                              \
        h = eo + m + (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39));                                  \
        d = eo;                                                                                  \
    } while (0)

#define QUILLON_SHA512_ROUND8(wk)                                         \
    do {                                                                  \
        QUILLON_SHA512_ROUND(a, b, c, d, e, f, g, h, (wk)[0], x0, x1);    \
        QUILLON_SHA512_ROUND(h, a, b, c, d, e, f, g, (wk)[1], x1, x0);    \
        QUILLON_SHA512_ROUND(g, h, a, b, c, d, e, f, (wk)[2], x0, x1);    \
        QUILLON_SHA512_ROUND(f, g, h, a, b, c, d, e, (wk)[3], x1, x0);    \
        QUILLON_SHA512_ROUND(e, f, g, h, a, b, c, d, (wk)[4], x0, x1);    \
        QUILLON_SHA512_ROUND(d, e, f, g, h, a, b, c, (wk)[5], x1, x0);    \
        QUILLON_SHA512_ROUND(c, d, e, f, g, h, a, b, (wk)[6], x0, x1);    \
        QUILLON_SHA512_ROUND(b, c, d, e, f, g, h, a, (wk)[7], x1, x0);    \
    } while (0)

// Words j and j+1 of both blocks into ring slot I and the W+K rows.
template <int I>
QUILLON_SHA512_TARGET inline void Step(__m256i (&x)[8], uint64_t (&rows)[2][80], int j) {
    x[I] = NextPair<I>(x);
    StoreWk(rows, j, x[I]);
}

// Words 0..15 of blocks p (low lanes) and q (high lanes).
QUILLON_SHA512_TARGET inline void LoadPair(__m256i (&x)[8], uint64_t (&rows)[2][80], const uint8_t* p,
                                           const uint8_t* q) {
    const __m256i byteswap = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,  //
                                              7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    for (int i = 0; i < 8; ++i) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * i));
        x[i] = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), byteswap);
        StoreWk(rows, 2 * i, x[i]);
    }
}

// Eighty rounds of one block from its W+K row while the schedule in x advances by 32 words,
// from word j on, into `out`. Not inlined: two copies of the rounds would crowd the
// instruction cache.
QUILLON_SHA512_TARGET __attribute__((noinline)) void BlockRounds(uint64_t chaining[8], const uint64_t* row,
                                                                 __m256i (&x)[8], uint64_t (&out)[2][80], int j) {
    uint64_t a = chaining[0], b = chaining[1], c = chaining[2], d = chaining[3];
    uint64_t e = chaining[4], f = chaining[5], g = chaining[6], h = chaining[7];
    uint64_t x0 = 0, x1 = b ^ c;
#pragma GCC unroll 1
    for (int t = 0; t < 64; t += 32, j += 16) {
        QUILLON_SHA512_ROUND8(row + t);
        Step<0>(x, out, j);
        Step<1>(x, out, j + 2);
        QUILLON_SHA512_ROUND8(row + t + 8);
        Step<2>(x, out, j + 4);
        Step<3>(x, out, j + 6);
        QUILLON_SHA512_ROUND8(row + t + 16);
        Step<4>(x, out, j + 8);
        Step<5>(x, out, j + 10);
        QUILLON_SHA512_ROUND8(row + t + 24);
        Step<6>(x, out, j + 12);
        Step<7>(x, out, j + 14);
    }
    QUILLON_SHA512_ROUND8(row + 64);
    QUILLON_SHA512_ROUND8(row + 72);
    MD_AddWorking(chaining, a, b, c, d, e, f, g, h);
}

// A lone block, in both lanes: its schedule runs sixteen words ahead of its rounds, and the
// ring is local, so it stays in registers and the rounds never wait for it.
QUILLON_SHA512_TARGET __attribute__((noinline)) void LoneBlock(uint64_t chaining[8], const uint8_t* block,
                                                               uint64_t (&rows)[2][80]) {
    __m256i x[8];
    LoadPair(x, rows, block, block);
    const uint64_t* row = rows[0];
    uint64_t a = chaining[0], b = chaining[1], c = chaining[2], d = chaining[3];
    uint64_t e = chaining[4], f = chaining[5], g = chaining[6], h = chaining[7];
    uint64_t x0 = 0, x1 = b ^ c;
    for (int t = 0; t < 64; t += 16) {
        Step<0>(x, rows, t + 16);
        Step<1>(x, rows, t + 18);
        Step<2>(x, rows, t + 20);
        Step<3>(x, rows, t + 22);
        QUILLON_SHA512_ROUND8(row + t);
        Step<4>(x, rows, t + 24);
        Step<5>(x, rows, t + 26);
        Step<6>(x, rows, t + 28);
        Step<7>(x, rows, t + 30);
        QUILLON_SHA512_ROUND8(row + t + 8);
    }
    QUILLON_SHA512_ROUND8(row + 64);
    QUILLON_SHA512_ROUND8(row + 72);
    MD_AddWorking(chaining, a, b, c, d, e, f, g, h);
}

}  // namespace

// Blocks go in pairs, one per 128-bit lane of the schedule. The schedule runs half a pair
// ahead of the rounds: words 48..79 of a pair are made during its first block's rounds, words
// 16..47 of the next pair during its second block's, so both blocks carry the same vector
// load. The W+K rows alternate between two buffers. A lone block, or an odd last one, rides
// in both lanes.
QUILLON_SHA512_TARGET void Sha512CompressAvx2(uint64_t chaining[8], const uint8_t* blocks, size_t count) {
    if (count == 0) return;
    alignas(32) uint64_t wk[2][2][80];
    __m256i x[8];
    if (count == 1) {
        LoneBlock(chaining, blocks, wk[0]);
        MEM_Wipe(wk[0], sizeof wk[0]);
        return;
    }
    LoadPair(x, wk[0], blocks, blocks + kSha512BlockSize);
    for (int j = 16; j < 48; j += 16) {
        Step<0>(x, wk[0], j);
        Step<1>(x, wk[0], j + 2);
        Step<2>(x, wk[0], j + 4);
        Step<3>(x, wk[0], j + 6);
        Step<4>(x, wk[0], j + 8);
        Step<5>(x, wk[0], j + 10);
        Step<6>(x, wk[0], j + 12);
        Step<7>(x, wk[0], j + 14);
    }
    for (int buffer = 0;; buffer ^= 1) {
        uint64_t(&rows)[2][80] = wk[buffer];
        uint64_t(&next)[2][80] = wk[buffer ^ 1];
        BlockRounds(chaining, rows[0], x, rows, 48);
        if (count == 1) break;
        // Without a next pair the schedule reruns this one into the idle buffer.
        const uint8_t* p = count > 2 ? blocks + 2 * kSha512BlockSize : blocks;
        LoadPair(x, next, p, count > 3 ? blocks + 3 * kSha512BlockSize : p);
        BlockRounds(chaining, rows[1], x, next, 16);
        count -= 2;
        if (count == 0) break;
        blocks += 2 * kSha512BlockSize;
    }
    // The rows hold the message words.
    MEM_Wipe(wk, sizeof wk);
}

#undef QUILLON_SHA512_ROUND
#undef QUILLON_SHA512_ROUND8

#else

bool Sha512HaveAvx2() { return false; }

void Sha512CompressAvx2(uint64_t chaining[8], const uint8_t* blocks, size_t count) {
    Sha512CompressPortable(chaining, blocks, count);
}

#endif

void Sha512ForcePortable(bool portable) {
    g_compress.store(portable ? Sha512CompressPortable : Detect(), std::memory_order_relaxed);
}

uint32_t SHA512_Init(Sha512Context* context) { return MD_Start(context, kInitial512, kSha512DigestSize); }
uint32_t SHA384_Init(Sha512Context* context) { return MD_Start(context, kInitial384, kSha384DigestSize); }

uint32_t SHA512_Transform(Sha512Context* context, const uint8_t* block) {
    if (!context || !block) return 0;
    Compress(context->chaining, block, 1);
    return 1;
}

uint32_t SHA512_Update(Sha512Context* context, const uint8_t* data, size_t length) {
    if (!context) return 0;
    return MD_Update(context->block, context->buffered, context->bit_count, data, length,
                     [context](const uint8_t* blocks, size_t count) { Compress(context->chaining, blocks, count); })
               ? 1
               : 0;
}

uint32_t SHA512_Final(Sha512Context* context, uint8_t* digest) {
    if (!context || !digest || (context->digest_size != kSha512DigestSize && context->digest_size != kSha384DigestSize))
        return 0;
    if (!MD_Final<kSha512BlockSize, 16>(context->block, context->buffered, context->bit_count,
                                        [context](const uint8_t* blocks, size_t count) {
                                            Compress(context->chaining, blocks, count);
                                        }))
        return 0;
    uint8_t full[kSha512DigestSize];
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) full[8 * i + j] = static_cast<uint8_t>(context->chaining[i] >> (56 - 8 * j));
    }
    std::memcpy(digest, full, context->digest_size);
    MEM_Wipe(full, sizeof full);
    return 1;
}

uint32_t SHA512_Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    return MD_OneShot(SHA512_Init, SHA512_Update, SHA512_Final, data, length, digest);
}

uint32_t SHA384_Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    return MD_OneShot(SHA384_Init, SHA512_Update, SHA512_Final, data, length, digest);
}

}  // namespace quillon
