#include "cipher/sha256.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUILLON_SHA256_X86 1
#endif

#include "cipher/block_util.h"
#include "cipher/md_block.h"
#include "cipher/sha1.h"  // Sha1HaveShaExtensions: one CPU feature covers both
#include "core/mem.h"

namespace quillon {
namespace {

constexpr uint32_t kInitial256[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                     0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
constexpr uint32_t kInitial224[8] = {0xc1059ed8u, 0x367cd507u, 0x3070dd17u, 0xf70e5939u,
                                     0xffc00b31u, 0x68581511u, 0x64f98fa7u, 0xbefa4fa4u};

alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

using CompressFn = void (*)(uint32_t*, const uint8_t*, size_t);

CompressFn Detect() { return Sha1HaveShaExtensions() ? Sha256CompressShaExtensions : Sha256CompressPortable; }

std::atomic<CompressFn> g_compress{Detect()};

inline void Compress(uint32_t* chaining, const uint8_t* blocks, size_t count) {
    g_compress.load(std::memory_order_relaxed)(chaining, blocks, count);
}

}  // namespace

void Sha256CompressPortable(uint32_t chaining[8], const uint8_t* blocks, size_t count) {
    for (; count > 0; --count, blocks += kSha256BlockSize) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = LoadBe32(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = chaining[0], b = chaining[1], c = chaining[2], d = chaining[3];
        uint32_t e = chaining[4], f = chaining[5], g = chaining[6], h = chaining[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        MD_AddWorking(chaining, a, b, c, d, e, f, g, h);
    }
}

#if QUILLON_SHA256_X86

// Four rounds per group g (0..15); msg[g % 4] holds schedule words 4g..4g+3 when group g runs
// and is advanced to words 4g+16.. by msg1, the add and msg2 over the groups that follow.
__attribute__((target("sha,sse4.1,ssse3"))) void Sha256CompressShaExtensions(uint32_t chaining[8],
                                                                            const uint8_t* blocks,
                                                                            size_t count) {
    const __m128i kByteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions keep the state as ABEF and CDGH.
    __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chaining)), 0xB1);
    __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chaining + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
    for (; count > 0; --count, blocks += kSha256BlockSize) {
        const __m128i abef_saved = abef, cdgh_saved = cdgh;
        __m128i msg[4];
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            if (g < 4)
                msg[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * g)), kByteSwap);
            __m128i k = _mm_add_epi32(msg[g % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
            if (g >= 3 && g <= 14) {
                const __m128i carry = _mm_alignr_epi8(msg[g % 4], msg[(g + 3) % 4], 4);
                msg[(g + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(msg[(g + 1) % 4], carry), msg[g % 4]);
            }
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(k, 0x0E));
            if (g >= 1 && g <= 12) msg[(g + 3) % 4] = _mm_sha256msg1_epu32(msg[(g + 3) % 4], msg[g % 4]);
        }
        abef = _mm_add_epi32(abef, abef_saved);
        cdgh = _mm_add_epi32(cdgh, cdgh_saved);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(chaining), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(chaining + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#else

void Sha256CompressShaExtensions(uint32_t chaining[8], const uint8_t* blocks, size_t count) {
    Sha256CompressPortable(chaining, blocks, count);
}

#endif

void Sha256ForcePortable(bool portable) {
    g_compress.store(portable ? Sha256CompressPortable : Detect(), std::memory_order_relaxed);
}

uint32_t SHA256_Init(Sha256Context* context) { return MD_Start(context, kInitial256, kSha256DigestSize); }
uint32_t SHA224_Init(Sha256Context* context) { return MD_Start(context, kInitial224, kSha224DigestSize); }

uint32_t SHA256_Transform(Sha256Context* context, const uint8_t* block) {
    if (!context || !block) return 0;
    Compress(context->chaining, block, 1);
    return 1;
}

uint32_t SHA256_Update(Sha256Context* context, const uint8_t* data, size_t length) {
    if (!context) return 0;
    return MD_Update(context->block, context->buffered, context->bit_count, data, length,
                     [context](const uint8_t* blocks, size_t count) { Compress(context->chaining, blocks, count); })
               ? 1
               : 0;
}

uint32_t SHA256_Final(Sha256Context* context, uint8_t* digest) {
    if (!context || !digest || (context->digest_size != kSha256DigestSize && context->digest_size != kSha224DigestSize))
        return 0;
    if (!MD_Final<kSha256BlockSize, 8>(context->block, context->buffered, context->bit_count,
                                       [context](const uint8_t* blocks, size_t count) {
                                           Compress(context->chaining, blocks, count);
                                       }))
        return 0;
    uint8_t full[kSha256DigestSize];
    for (int i = 0; i < 8; ++i) StoreBe32(full + 4 * i, context->chaining[i]);
    std::memcpy(digest, full, context->digest_size);
    MEM_Wipe(full, sizeof full);
    return 1;
}

uint32_t SHA256_Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    return MD_OneShot(SHA256_Init, SHA256_Update, SHA256_Final, data, length, digest);
}

uint32_t SHA224_Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    return MD_OneShot(SHA224_Init, SHA256_Update, SHA256_Final, data, length, digest);
}

}  // namespace quillon
