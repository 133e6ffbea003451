// BigNum arithmetic beside OpenSSL's BN on the same seeded operands: the operations that RSA
// (and key generation in particular) spends its time in.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <random>
#include <vector>

#include "bignum/bignum.h"

namespace {

using namespace quillon;

// Seeded bytes of a `bits`-bit value: top bit set, and odd when asked (a modulus).
std::vector<uint8_t> Operand(uint32_t seed, int bits, bool odd) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(bits / 8);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    v[0] |= 0x80;
    if (odd) v.back() |= 1;
    return v;
}

BigNumPtr Ours(const std::vector<uint8_t>& v) {
    return BigNumPtr(BIGNUM_FromBytes(v.data(), static_cast<uint32_t>(v.size()), nullptr));
}

BIGNUM* Theirs(const std::vector<uint8_t>& v) { return BN_bin2bn(v.data(), static_cast<int>(v.size()), nullptr); }

struct ExpOperands {
    std::vector<uint8_t> base, exponent, modulus;
    explicit ExpOperands(int bits) {
        modulus = Operand(bits, bits, true);
        exponent = Operand(bits + 1, bits, false);
        base = Operand(bits + 2, bits, false);
        base[0] &= 0x7F;  // below the modulus
    }
};

void ModExpQuillon(benchmark::State& state, int bits) {
    const ExpOperands ops(bits);
    BigNumPtr a = Ours(ops.base), p = Ours(ops.exponent), m = Ours(ops.modulus), r(BIGNUM_New());
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    for (auto _ : state) benchmark::DoNotOptimize(BIGNUM_ModExp(r.get(), a.get(), p.get(), m.get(), ctx.get()));
}

void ModExpOpenssl(benchmark::State& state, int bits) {
    const ExpOperands ops(bits);
    BIGNUM *a = Theirs(ops.base), *p = Theirs(ops.exponent), *m = Theirs(ops.modulus), *r = BN_new();
    BN_CTX* ctx = BN_CTX_new();
    for (auto _ : state) benchmark::DoNotOptimize(BN_mod_exp(r, a, p, m, ctx));
    BN_CTX_free(ctx);
    BN_free(a), BN_free(p), BN_free(m), BN_free(r);
}

void Mul2048Quillon(benchmark::State& state) {
    BigNumPtr a = Ours(Operand(1, 2048, false)), b = Ours(Operand(2, 2048, false)), r(BIGNUM_New());
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    for (auto _ : state) benchmark::DoNotOptimize(BIGNUM_Mul(r.get(), a.get(), b.get(), ctx.get()));
}

void Mul2048Openssl(benchmark::State& state) {
    BIGNUM *a = Theirs(Operand(1, 2048, false)), *b = Theirs(Operand(2, 2048, false)), *r = BN_new();
    BN_CTX* ctx = BN_CTX_new();
    for (auto _ : state) benchmark::DoNotOptimize(BN_mul(r, a, b, ctx));
    BN_CTX_free(ctx);
    BN_free(a), BN_free(b), BN_free(r);
}

void Div4096by2048Quillon(benchmark::State& state) {
    BigNumPtr n = Ours(Operand(3, 4096, false)), d = Ours(Operand(4, 2048, true));
    BigNumPtr q(BIGNUM_New()), r(BIGNUM_New());
    BigNumContextPtr ctx(BIGNUM_CTX_New());
    for (auto _ : state) benchmark::DoNotOptimize(BIGNUM_Div(q.get(), r.get(), n.get(), d.get(), ctx.get()));
}

void Div4096by2048Openssl(benchmark::State& state) {
    BIGNUM *n = Theirs(Operand(3, 4096, false)), *d = Theirs(Operand(4, 2048, true));
    BIGNUM *q = BN_new(), *r = BN_new();
    BN_CTX* ctx = BN_CTX_new();
    for (auto _ : state) benchmark::DoNotOptimize(BN_div(q, r, n, d, ctx));
    BN_CTX_free(ctx);
    BN_free(n), BN_free(d), BN_free(q), BN_free(r);
}

}  // namespace

BENCHMARK_CAPTURE(ModExpQuillon, 1024, 1024)->Name("ModExp1024/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ModExpOpenssl, 1024, 1024)->Name("ModExp1024/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ModExpQuillon, 2048, 2048)->Name("ModExp2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ModExpOpenssl, 2048, 2048)->Name("ModExp2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(Mul2048Quillon)->Name("Mul2048/quillon");
BENCHMARK(Mul2048Openssl)->Name("Mul2048/openssl");
BENCHMARK(Div4096by2048Quillon)->Name("Div4096by2048/quillon");
BENCHMARK(Div4096by2048Openssl)->Name("Div4096by2048/openssl");
