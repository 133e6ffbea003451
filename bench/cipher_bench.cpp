// Hashing, MACs, ciphers and key derivation, ours beside OpenSSL's EVP.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <random>
#include <vector>

#include "cipher/hmac.h"
#include "cipher/sha1.h"

namespace {

using namespace quillon;

constexpr size_t kMiB = 1 << 20;

std::vector<uint8_t> Random(size_t size, unsigned seed) {
    std::vector<uint8_t> v(size);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

const std::vector<uint8_t>& Data1MiB() {
    static const auto data = Random(kMiB, 1);
    return data;
}

void Sha1_1MiB_quillon(benchmark::State& state) {
    uint8_t digest[20];
    for (auto _ : state) {
        SHA1_Digest(Data1MiB().data(), kMiB, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

void Sha1_1MiB_openssl(benchmark::State& state) {
    uint8_t digest[20];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(Data1MiB().data(), kMiB, digest, &length, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

void HmacSha1_64B_quillon(benchmark::State& state) {
    const auto key = Random(20, 2), data = Random(64, 3);
    uint8_t mac[20];
    for (auto _ : state) {
        HMAC_SHA1(key.data(), 20, data.data(), data.size(), mac);
        benchmark::DoNotOptimize(mac);
    }
}

void HmacSha1_64B_openssl(benchmark::State& state) {
    const auto key = Random(20, 2), data = Random(64, 3);
    uint8_t mac[20];
    unsigned int length = 0;
    for (auto _ : state) {
        HMAC(EVP_sha1(), key.data(), 20, data.data(), data.size(), mac, &length);
        benchmark::DoNotOptimize(mac);
    }
}

}  // namespace

BENCHMARK(Sha1_1MiB_quillon)->Name("Sha1_1MiB/quillon");
BENCHMARK(Sha1_1MiB_openssl)->Name("Sha1_1MiB/openssl");
BENCHMARK(HmacSha1_64B_quillon)->Name("HmacSha1_64B/quillon");
BENCHMARK(HmacSha1_64B_openssl)->Name("HmacSha1_64B/openssl");
