// Fixed-window exponentiation on 52-bit digits with the AVX-512 IFMA multiply-adds, for moduli
// of 1024 and 2048 bits. Chosen at run time through cpuid; the library never requires it.
//
// Almost Montgomery multiplication: with R' = 2^(52 L) > 4m, inputs below 2m give a result
// below 2m, so values stay in that range until the last step takes off m under a mask. No
// branch or memory index depends on the values.
#include <atomic>
#include <cstring>

#include "bignum/bn_mont.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && defined(__SIZEOF_INT128__)
#define QUILLON_IFMA 1
#include <cpuid.h>
// GCC 12 flags the deliberately undefined pass-through operands inside the AVX-512 headers.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#endif

namespace quillon {

#if QUILLON_IFMA

namespace {

constexpr uint64_t kDigitMask = (uint64_t{1} << 52) - 1;

bool DetectIfma() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 27))) return false;  // OSXSAVE
    uint32_t xcr0_lo = 0, xcr0_hi = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0_lo), "=d"(xcr0_hi) : "c"(0));
    if ((xcr0_lo & 0xE6) != 0xE6) return false;  // the OS saves SSE, AVX and all AVX-512 state
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & (1u << 16)) && (b & (1u << 21));  // AVX512F, AVX512_IFMA
}

// 64-bit limbs to 52-bit digits and back.
void ToDigits(uint64_t* out, int digits, const Limb* a, int limbs) {
    for (int i = 0; i < digits; ++i) {
        const int bit = 52 * i, limb = bit / 64, shift = bit % 64;
        uint64_t v = limb < limbs ? a[limb] >> shift : 0;
        if (shift > 12 && limb + 1 < limbs) v |= a[limb + 1] << (64 - shift);
        out[i] = v & kDigitMask;
    }
}

void FromDigits(Limb* out, int limbs, const uint64_t* a, int digits) {
    std::memset(out, 0, sizeof(Limb) * limbs);
    for (int i = 0; i < digits; ++i) {
        const int bit = 52 * i, limb = bit / 64, shift = bit % 64;
        if (limb < limbs) out[limb] |= a[i] << shift;
        if (shift > 12 && limb + 1 < limbs) out[limb + 1] |= a[i] >> (64 - shift);
    }
}

// r = a b / R' mod m, almost: below 2m for a, b below 2m. Digits of a, b, m are below 2^52;
// r may alias a or b. NV vectors of eight digits, `digits` significant ones. K independent
// products run interleaved, so that one's latency chain (digit, multiplier, broadcast) hides
// behind the other's.
struct AmmJob {
    uint64_t* r;
    const uint64_t* a;
    const uint64_t* b;
    const uint64_t* m;
    uint64_t k0;
};

template <int NV, int K>
__attribute__((target("avx512f,avx512ifma"))) void Amm(const AmmJob* jobs, int digits) {
    __m512i A[K][NV], M[K][NV], R[K][NV];
    for (int k = 0; k < K; ++k) {
        for (int v = 0; v < NV; ++v) {
            A[k][v] = _mm512_loadu_si512(jobs[k].a + 8 * v);
            M[k][v] = _mm512_loadu_si512(jobs[k].m + 8 * v);
            R[k][v] = _mm512_setzero_si512();
        }
    }
    const __m512i zero = _mm512_setzero_si512();
    for (int i = 0; i < digits; ++i) {
        __m512i bi[K], yv[K];
        uint64_t carries[K];
        for (int k = 0; k < K; ++k) {
            // The lowest digit is followed in scalar registers: y and the carry out of the lowest
            // lane come from it without waiting for the vector products.
            const uint64_t b_i = jobs[k].b[i];
            const uint64_t r0 = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(R[k][0])));
            const uint64_t t = r0 + ((jobs[k].a[0] * b_i) & kDigitMask);
            const uint64_t y = (t * jobs[k].k0) & kDigitMask;
            carries[k] = (t + ((y * jobs[k].m[0]) & kDigitMask)) >> 52;
            bi[k] = _mm512_set1_epi64(static_cast<long long>(b_i));
            yv[k] = _mm512_set1_epi64(static_cast<long long>(y));
            for (int v = 0; v < NV; ++v) {
                R[k][v] = _mm512_madd52lo_epu64(R[k][v], A[k][v], bi[k]);
                R[k][v] = _mm512_madd52lo_epu64(R[k][v], M[k][v], yv[k]);
            }
        }
        for (int k = 0; k < K; ++k) {
            const uint64_t carry = carries[k];
            // Divide by 2^52: every lane moves down one place.
            for (int v = 0; v < NV; ++v) R[k][v] = _mm512_alignr_epi64(v + 1 < NV ? R[k][v + 1] : zero, R[k][v], 1);
            R[k][0] = _mm512_add_epi64(R[k][0], _mm512_maskz_set1_epi64(1, static_cast<long long>(carry)));
            for (int v = 0; v < NV; ++v) {
                R[k][v] = _mm512_madd52hi_epu64(R[k][v], A[k][v], bi[k]);
                R[k][v] = _mm512_madd52hi_epu64(R[k][v], M[k][v], yv[k]);
            }
        }
    }
    for (int k = 0; k < K; ++k) {
        alignas(64) uint64_t t[8 * NV];
        for (int v = 0; v < NV; ++v) _mm512_store_si512(t + 8 * v, R[k][v]);
        uint64_t carry = 0;
        for (int j = 0; j < 8 * NV; ++j) {
            const uint64_t s = t[j] + carry;
            jobs[k].r[j] = s & kDigitMask;
            carry = s >> 52;
        }
    }
}

// r = r - m when r >= m, masked (r below 2m, normalised digits).
void FinalSubtract(uint64_t* r, const uint64_t* m, int count) {
    uint64_t d[80];
    uint64_t borrow = 0;
    for (int j = 0; j < count; ++j) {
        const uint64_t s = r[j] - m[j] - borrow;
        d[j] = s & kDigitMask;
        borrow = s >> 63;
    }
    const uint64_t keep = uint64_t{0} - borrow;  // all ones: r < m, keep r
    for (int j = 0; j < count; ++j) r[j] = (r[j] & keep) | (d[j] & ~keep);
}

// Per exponentiation state of Exp.
struct ExpJob {
    const BigNumMont* mont;
    Limb* r;
    const Limb* x;
    const Limb* p;
};

template <int NV>
struct ExpState {
    static constexpr int kCount = 8 * NV;
    static constexpr int kW = 5, kEntries = 1 << kW;
    alignas(64) uint64_t m[kCount], rr[kCount], base[kCount], acc[kCount], g[kCount], one[kCount];
    alignas(64) uint64_t table[kEntries * kCount];
    uint64_t k0;
};

// K exponentiations with moduli of one size and exponents of p_limbs limbs, in lockstep.
template <int NV, int K>
__attribute__((target("avx512f,avx512ifma"))) void Exp(const ExpJob* jobs, int p_limbs) {
    using State = ExpState<NV>;
    constexpr int kCount = State::kCount, kW = State::kW, kEntries = State::kEntries;
    const int n = jobs[0].mont->limbs;
    const int digits = (64 * n + 51) / 52;
    State st[K];
    AmmJob aj[K];
    auto run = [&](auto target, auto left, auto right) {
        for (int k = 0; k < K; ++k) aj[k] = AmmJob{target(k), left(k), right(k), st[k].m, st[k].k0};
        Amm<NV, K>(aj, digits);
    };
    for (int k = 0; k < K; ++k) {
        State& s = st[k];
        std::memset(&s, 0, sizeof s);
        s.k0 = jobs[k].mont->n0 & kDigitMask;
        ToDigits(s.m, digits, jobs[k].mont->m, n);
        ToDigits(s.rr, digits, jobs[k].mont->rr52, n);
        ToDigits(s.base, digits, jobs[k].x, n);
        s.one[0] = 1;
    }
    run([&](int k) { return st[k].table; }, [&](int k) { return st[k].one; }, [&](int k) { return st[k].rr; });
    run([&](int k) { return st[k].table + kCount; }, [&](int k) { return st[k].base; },
        [&](int k) { return st[k].rr; });
    for (int i = 2; i < kEntries; ++i) {
        run([&](int k) { return st[k].table + i * kCount; },
            [&](int k) { return st[k].table + (i % 2 ? i - 1 : i / 2) * kCount; },
            [&](int k) { return st[k].table + (i % 2 ? 1 : i / 2) * kCount; });
    }
    const int bits = 64 * p_limbs;
    bool first = true;
    for (int pos = ((bits - 1) / kW) * kW; pos >= 0; pos -= kW) {
        const int limb = pos / 64, shift = pos % 64;
        for (int k = 0; k < K; ++k) {
            const Limb* p = jobs[k].p;
            uint64_t idx = p[limb] >> shift;
            if (shift + kW > 64 && limb + 1 < p_limbs) idx |= p[limb + 1] << (64 - shift);
            idx &= kEntries - 1;
            // Every entry is read; the wanted one is kept by a lane mask.
            __m512i gv[NV];
            for (int v = 0; v < NV; ++v) gv[v] = _mm512_setzero_si512();
            const __m512i want = _mm512_set1_epi64(static_cast<long long>(idx));
            for (int e = 0; e < kEntries; ++e) {
                const __mmask8 hit = _mm512_cmpeq_epi64_mask(_mm512_set1_epi64(e), want);
                for (int v = 0; v < NV; ++v)
                    gv[v] = _mm512_mask_mov_epi64(gv[v], hit, _mm512_load_si512(st[k].table + e * kCount + 8 * v));
            }
            for (int v = 0; v < NV; ++v) _mm512_store_si512(st[k].g + 8 * v, gv[v]);
            if (first) std::memcpy(st[k].acc, st[k].g, sizeof st[k].acc);
        }
        if (first) {
            first = false;
            continue;
        }
        for (int s = 0; s < kW; ++s)
            run([&](int k) { return st[k].acc; }, [&](int k) { return st[k].acc; }, [&](int k) { return st[k].acc; });
        run([&](int k) { return st[k].acc; }, [&](int k) { return st[k].acc; }, [&](int k) { return st[k].g; });
    }
    // Out of Montgomery form (at most m), then m taken off under a mask.
    run([&](int k) { return st[k].acc; }, [&](int k) { return st[k].acc; }, [&](int k) { return st[k].one; });
    for (int k = 0; k < K; ++k) {
        FinalSubtract(st[k].acc, st[k].m, kCount);
        FromDigits(jobs[k].r, n, st[k].acc, kCount);
    }
    MEM_Wipe(st, sizeof st);
}

}  // namespace

namespace {
std::atomic<bool> g_ifma_enabled{true};
}  // namespace

void IFMA_SetEnabled(bool enabled) { g_ifma_enabled = enabled; }

bool IFMA_Usable(int limbs) {
    static const bool available = DetectIfma();
    return available && g_ifma_enabled && (limbs == 16 || limbs == 32);
}

void IFMA_Exp(const BigNumMont* mont, Limb* r, const Limb* x, const Limb* p, int p_limbs) {
    const ExpJob job{mont, r, x, p};
    if (mont->limbs == 16) {
        Exp<3, 1>(&job, p_limbs);  // 20 digits in 24 lanes
    } else {
        Exp<5, 1>(&job, p_limbs);  // 40 digits
    }
}

bool IFMA_ExpPair(const BigNumMont* mont1, Limb* r1, const Limb* x1, const Limb* p1, const BigNumMont* mont2, Limb* r2,
                  const Limb* x2, const Limb* p2, int p_limbs) {
    if (mont1->limbs != mont2->limbs || !mont1->rr52 || !mont2->rr52) return false;
    const ExpJob jobs[2] = {{mont1, r1, x1, p1}, {mont2, r2, x2, p2}};
    if (mont1->limbs == 16) {
        Exp<3, 2>(jobs, p_limbs);
    } else {
        Exp<5, 2>(jobs, p_limbs);
    }
    return true;
}

#else

void IFMA_SetEnabled(bool) {}
bool IFMA_Usable(int) { return false; }
void IFMA_Exp(const BigNumMont*, Limb*, const Limb*, const Limb*, int) {}
bool IFMA_ExpPair(const BigNumMont*, Limb*, const Limb*, const Limb*, const BigNumMont*, Limb*, const Limb*, const Limb*,
                  int) {
    return false;
}

#endif

}  // namespace quillon
