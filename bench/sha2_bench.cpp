// SHA-2 over 1 MiB, ours beside OpenSSL's EVP (both on the SHA instructions where the CPU has them).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "bench_openssl.h"
#include "cipher/sha256.h"
#include "cipher/sha512.h"

namespace {

using namespace quillon;

constexpr size_t kMiB = 1 << 20;

const std::vector<unsigned char>& Data() {
    static const auto data = bench::Random(kMiB, 3);
    return data;
}

template <uint32_t (*Digest)(const uint8_t*, size_t, uint8_t*)>
void Ours(benchmark::State& state) {
    uint8_t digest[64];
    for (auto _ : state) {
        Digest(Data().data(), kMiB, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

template <const EVP_MD* (*Md)()>
void Theirs(benchmark::State& state) {
    uint8_t digest[64];
    for (auto _ : state) {
        EVP_Digest(Data().data(), kMiB, digest, nullptr, Md(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

// The portable compression, for the record: what runs on a CPU without the SHA instructions.
void Sha256Portable(benchmark::State& state) {
    Sha256ForcePortable(true);
    Ours<SHA256_Digest>(state);
    Sha256ForcePortable(false);
}

}  // namespace

BENCHMARK(Ours<SHA256_Digest>)->Name("Sha256_1MiB/quillon");
BENCHMARK(Theirs<EVP_sha256>)->Name("Sha256_1MiB/openssl");
BENCHMARK(Sha256Portable)->Name("Sha256Portable_1MiB/quillon");
BENCHMARK(Ours<SHA512_Digest>)->Name("Sha512_1MiB/quillon");
BENCHMARK(Theirs<EVP_sha512>)->Name("Sha512_1MiB/openssl");
