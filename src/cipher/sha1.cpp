#include "cipher/sha1.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILLON_SHA1_X86 1
#endif

#include "core/mem.h"

namespace quillon {
namespace {

constexpr uint32_t kInitial[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadBe32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

using CompressFn = void (*)(uint32_t*, const uint8_t*, size_t);

CompressFn Detect() {
    return Sha1HaveShaExtensions() ? Sha1CompressShaExtensions : Sha1CompressPortable;
}

std::atomic<CompressFn> g_compress{Detect()};

inline void Compress(uint32_t* chaining, const uint8_t* blocks, size_t count) {
    g_compress.load(std::memory_order_relaxed)(chaining, blocks, count);
}

}  // namespace

void Sha1CompressPortable(uint32_t chaining[5], const uint8_t* blocks, size_t count) {
    for (; count > 0; --count, blocks += kSha1BlockSize) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe32(blocks + 4 * i);
        uint32_t a = chaining[0], b = chaining[1], c = chaining[2], d = chaining[3], e = chaining[4];
        // The schedule lives in a 16-word ring: W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]).
        auto schedule = [&w](int t) -> uint32_t {
            if (t < 16) return w[t];
            uint32_t v = Rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
            w[t & 15] = v;
            return v;
        };
        auto step = [&](uint32_t f, uint32_t k, uint32_t wt) {
            const uint32_t temp = Rotl(a, 5) + f + e + k + wt;
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = temp;
        };
        for (int t = 0; t < 20; ++t) step((b & c) | (~b & d), 0x5A827999u, schedule(t));
        for (int t = 20; t < 40; ++t) step(b ^ c ^ d, 0x6ED9EBA1u, schedule(t));
        for (int t = 40; t < 60; ++t) step((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, schedule(t));
        for (int t = 60; t < 80; ++t) step(b ^ c ^ d, 0xCA62C1D6u, schedule(t));
        chaining[0] += a;
        chaining[1] += b;
        chaining[2] += c;
        chaining[3] += d;
        chaining[4] += e;
    }
}

#if QUILLON_SHA1_X86

bool Sha1HaveShaExtensions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    const bool sha = b & (1u << 29);
    return sha && ssse3 && sse41;
}

// Four rounds per group g (0..19). msg[g % 4] holds schedule words 4g..4g+3 when group g
// runs; the same register is then advanced to words 4g+16.. through msg1, xor and msg2
// over the three groups that follow.
#define QUILLON_SHA1_GROUP(g)                                                                    \
    do {                                                                                         \
        if constexpr ((g) < 4) {                                                                 \
            msg[(g) % 4] = _mm_shuffle_epi8(                                                     \
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * (g))), kByteSwap); \
        }                                                                                        \
        __m128i e_in;                                                                            \
        if constexpr ((g) == 0) {                                                                \
            e_in = _mm_add_epi32(e0, msg[0]);                                                    \
        } else {                                                                                 \
            e_in = _mm_sha1nexte_epu32(e_prev, msg[(g) % 4]);                                    \
        }                                                                                        \
        e_prev = abcd;                                                                           \
        if constexpr ((g) >= 3 && (g) <= 18) {                                                   \
            msg[((g) + 1) % 4] = _mm_sha1msg2_epu32(msg[((g) + 1) % 4], msg[(g) % 4]);           \
        }                                                                                        \
        abcd = _mm_sha1rnds4_epu32(abcd, e_in, (g) / 5);                                         \
        if constexpr ((g) >= 1 && (g) <= 16) {                                                   \
            msg[((g) + 3) % 4] = _mm_sha1msg1_epu32(msg[((g) + 3) % 4], msg[(g) % 4]);           \
        }                                                                                        \
        if constexpr ((g) >= 2 && (g) <= 17) {                                                   \
            msg[((g) + 2) % 4] = _mm_xor_si128(msg[((g) + 2) % 4], msg[(g) % 4]);                \
        }                                                                                        \
    } while (0)

__attribute__((target("sha,sse4.1,ssse3"))) void Sha1CompressShaExtensions(uint32_t chaining[5],
                                                                          const uint8_t* blocks,
                                                                          size_t count) {
    const __m128i kByteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chaining)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(chaining[4]), 0, 0, 0);
    for (; count > 0; --count, blocks += kSha1BlockSize) {
        const __m128i abcd_saved = abcd;
        const __m128i e_saved = e0;
        __m128i msg[4];
        __m128i e_prev = e0;
        QUILLON_SHA1_GROUP(0);
        QUILLON_SHA1_GROUP(1);
        QUILLON_SHA1_GROUP(2);
        QUILLON_SHA1_GROUP(3);
        QUILLON_SHA1_GROUP(4);
        QUILLON_SHA1_GROUP(5);
        QUILLON_SHA1_GROUP(6);
        QUILLON_SHA1_GROUP(7);
        QUILLON_SHA1_GROUP(8);
        QUILLON_SHA1_GROUP(9);
        QUILLON_SHA1_GROUP(10);
        QUILLON_SHA1_GROUP(11);
        QUILLON_SHA1_GROUP(12);
        QUILLON_SHA1_GROUP(13);
        QUILLON_SHA1_GROUP(14);
        QUILLON_SHA1_GROUP(15);
        QUILLON_SHA1_GROUP(16);
        QUILLON_SHA1_GROUP(17);
        QUILLON_SHA1_GROUP(18);
        QUILLON_SHA1_GROUP(19);
        e0 = _mm_sha1nexte_epu32(e_prev, e_saved);
        abcd = _mm_add_epi32(abcd, abcd_saved);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(chaining), _mm_shuffle_epi32(abcd, 0x1B));
    chaining[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#undef QUILLON_SHA1_GROUP

#else

bool Sha1HaveShaExtensions() { return false; }

void Sha1CompressShaExtensions(uint32_t chaining[5], const uint8_t* blocks, size_t count) {
    Sha1CompressPortable(chaining, blocks, count);
}

#endif

void Sha1ForcePortable(bool portable) {
    g_compress.store(portable ? Sha1CompressPortable : Detect(), std::memory_order_relaxed);
}

uint32_t SHA1_Init(Sha1Context* context) {
    if (!context) return 0;
    std::memcpy(context->chaining, kInitial, sizeof kInitial);
    context->bit_count = 0;
    context->buffered = 0;
    return 1;
}

uint32_t SHA1_Transform(Sha1Context* context, const uint8_t* block) {
    if (!context || !block) return 0;
    Compress(context->chaining, block, 1);
    return 1;
}

uint32_t SHA1_Update(Sha1Context* context, const uint8_t* data, size_t length) {
    if (!context || context->buffered > kSha1BlockSize) return 0;
    if (length > 0 && !data) return 0;
    while (length > 0) {
        if (context->buffered == 0 && length >= kSha1BlockSize) {
            // Whole blocks go straight from the input, as many as there are.
            const size_t count = length / kSha1BlockSize;
            Compress(context->chaining, data, count);
            context->bit_count += uint64_t{512} * count;
            data += count * kSha1BlockSize;
            length -= count * kSha1BlockSize;
            continue;
        }
        const size_t take = std::min<size_t>(kSha1BlockSize - context->buffered, length);
        std::memcpy(context->block + context->buffered, data, take);
        context->buffered += static_cast<uint32_t>(take);
        data += take;
        length -= take;
        if (context->buffered == kSha1BlockSize) {
            Compress(context->chaining, context->block, 1);
            context->buffered = 0;
            context->bit_count += 512;
        }
    }
    return 1;
}

uint32_t SHA1_Final(Sha1Context* context, uint8_t* digest) {
    if (!context || !digest || context->buffered >= kSha1BlockSize) return 0;
    context->bit_count += uint64_t{8} * context->buffered;
    context->block[context->buffered++] = 0x80;
    if (context->buffered > 56) {
        std::memset(context->block + context->buffered, 0, kSha1BlockSize - context->buffered);
        Compress(context->chaining, context->block, 1);
        context->buffered = 0;
    }
    std::memset(context->block + context->buffered, 0, 56 - context->buffered);
    StoreBe32(context->block + 56, static_cast<uint32_t>(context->bit_count >> 32));
    StoreBe32(context->block + 60, static_cast<uint32_t>(context->bit_count));
    Compress(context->chaining, context->block, 1);
    for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, context->chaining[i]);
    return 1;
}

uint32_t SHA1_Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    auto* context = static_cast<Sha1Context*>(MEM_Alloc(sizeof(Sha1Context)));
    if (!context) return 0;
    const uint32_t ok = SHA1_Init(context) && SHA1_Update(context, data, length) && SHA1_Final(context, digest);
    // The state and the last block are a function of the input, which may be secret: the
    // allocator wipes them on release.
    MEM_Free(context);
    return ok ? 1 : 0;
}

}  // namespace quillon
