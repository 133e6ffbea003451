// AES on the CPU's AES instructions. CBC encryption is one serial chain; decryption runs eight
// independent blocks through each round so the instruction's latency is hidden.
#include "cipher/aes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define QUILLON_AES_X86 1
#endif

#include "core/mem.h"

namespace quillon {

#if QUILLON_AES_X86

namespace {

#define QUILLON_AES_TARGET __attribute__((target("aes,sse2")))

QUILLON_AES_TARGET inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

QUILLON_AES_TARGET inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <int R>
QUILLON_AES_TARGET void EncryptChain(const uint8_t* round_keys, uint8_t* chain, uint8_t* out, const uint8_t* in,
                                     size_t blocks) {
    if (blocks == 0) return;
    __m128i k[R + 1];
    for (int i = 0; i <= R; ++i) k[i] = Load(round_keys + 16 * i);
    // The last round runs twice, in parallel: once for the ciphertext, once with the next block's
    // plaintext and first key folded into its key, which takes that xor off the serial chain.
    const __m128i last_first = _mm_xor_si128(k[R], k[0]);
    __m128i c = Load(chain);
    __m128i x = _mm_xor_si128(c, _mm_xor_si128(Load(in), k[0]));
    for (size_t n = 0; n < blocks; ++n) {
#pragma GCC unroll 14
        for (int i = 1; i < R; ++i) x = _mm_aesenc_si128(x, k[i]);
        c = _mm_aesenclast_si128(x, k[R]);
        if (n + 1 < blocks) x = _mm_aesenclast_si128(x, _mm_xor_si128(last_first, Load(in + 16 * (n + 1))));
        Store(out + 16 * n, c);
    }
    Store(chain, c);
    MEM_Wipe(k, sizeof k);
}

template <int R>
QUILLON_AES_TARGET void DecryptChain(const uint8_t* round_keys, uint8_t* chain, uint8_t* out, const uint8_t* in,
                                     size_t blocks) {
    constexpr size_t kLanes = 8;
    // The equivalent inverse cipher: the keys in reverse, the inner ones through InvMixColumns.
    __m128i k[R + 1];
    k[0] = Load(round_keys + 16 * R);
    for (int i = 1; i < R; ++i) k[i] = _mm_aesimc_si128(Load(round_keys + 16 * (R - i)));
    k[R] = Load(round_keys);
    __m128i prev = Load(chain);
    size_t n = 0;
    for (; blocks - n >= kLanes; n += kLanes) {
        const uint8_t* src = in + 16 * n;
        uint8_t* dst = out + 16 * n;
        __m128i x[kLanes];
#pragma GCC unroll 8
        for (size_t b = 0; b < kLanes; ++b) x[b] = _mm_xor_si128(Load(src + 16 * b), k[0]);
#pragma GCC unroll 14
        for (int i = 1; i < R; ++i) {
#pragma GCC unroll 8
            for (size_t b = 0; b < kLanes; ++b) x[b] = _mm_aesdec_si128(x[b], k[i]);
        }
        const __m128i next = Load(src + 16 * (kLanes - 1));
        // Last block first: with in == out each output overwrites only ciphertext already used.
#pragma GCC unroll 8
        for (size_t b = kLanes - 1; b > 0; --b)
            Store(dst + 16 * b, _mm_xor_si128(_mm_aesdeclast_si128(x[b], k[R]), Load(src + 16 * (b - 1))));
        Store(dst, _mm_xor_si128(_mm_aesdeclast_si128(x[0], k[R]), prev));
        prev = next;
    }
    for (; n < blocks; ++n) {
        const __m128i c = Load(in + 16 * n);
        __m128i x = _mm_xor_si128(c, k[0]);
#pragma GCC unroll 14
        for (int i = 1; i < R; ++i) x = _mm_aesdec_si128(x, k[i]);
        Store(out + 16 * n, _mm_xor_si128(_mm_aesdeclast_si128(x, k[R]), prev));
        prev = c;
    }
    Store(chain, prev);
    MEM_Wipe(k, sizeof k);
}

void CbcEncrypt(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                size_t blocks) {
    switch (rounds) {
        case 10: return EncryptChain<10>(round_keys, chain, out, in, blocks);
        case 12: return EncryptChain<12>(round_keys, chain, out, in, blocks);
        default: return EncryptChain<14>(round_keys, chain, out, in, blocks);
    }
}

void CbcDecrypt(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                size_t blocks) {
    switch (rounds) {
        case 10: return DecryptChain<10>(round_keys, chain, out, in, blocks);
        case 12: return DecryptChain<12>(round_keys, chain, out, in, blocks);
        default: return DecryptChain<14>(round_keys, chain, out, in, blocks);
    }
}

// With the word in all four columns ShiftRows moves nothing, so the last round against a zero
// key is the S-box alone.
QUILLON_AES_TARGET uint32_t SubWord(uint32_t word) {
    const __m128i v = _mm_aesenclast_si128(_mm_set1_epi32(static_cast<int>(word)), _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

}  // namespace

bool AesHaveNi() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool aes = c & (1u << 25), sse2 = d & (1u << 26);
    return aes && sse2;
}

const AesImplementation kAesNi = {CbcEncrypt, CbcDecrypt, SubWord};

#else

bool AesHaveNi() { return false; }

// Never chosen: AesHaveNi() says no.
const AesImplementation kAesNi = {nullptr, nullptr, nullptr};

#endif

}  // namespace quillon
