// SHA-2 over 1 MiB, ours beside OpenSSL's EVP (SHA-256 on the SHA instructions where the CPU has them).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "bench_openssl.h"
#include "asn1/object_table.h"
#include "cipher/hmac.h"
#include "cipher/kdf.h"
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

void Sha512Portable(benchmark::State& state) {
    Sha512ForcePortable(true);
    Ours<SHA512_Digest>(state);
    Sha512ForcePortable(false);
}

const unsigned char kKey[32] = {1, 2, 3};
const char kPassword[] = "correct horse battery";
const unsigned char kSalt[8] = {9, 8, 7, 6, 5, 4, 3, 2};

void HmacSha256_64B_quillon(benchmark::State& state) {
    uint8_t mac[32];
    const DigestAlgorithm* sha256 = DIGEST_FromNid(NID_SHA256);
    for (auto _ : state) {
        HMAC_Compute(sha256, kKey, sizeof kKey, Data().data(), 64, mac);
        benchmark::DoNotOptimize(mac);
    }
}

void HmacSha256_64B_openssl(benchmark::State& state) {
    uint8_t mac[32];
    for (auto _ : state) {
        HMAC(EVP_sha256(), kKey, sizeof kKey, Data().data(), 64, mac, nullptr);
        benchmark::DoNotOptimize(mac);
    }
}

void Pbkdf2Sha256_10000_quillon(benchmark::State& state) {
    uint8_t key[32];
    const DigestAlgorithm* sha256 = DIGEST_FromNid(NID_SHA256);
    for (auto _ : state) {
        PBKDF2(sha256, reinterpret_cast<const uint8_t*>(kPassword), sizeof kPassword - 1, kSalt, sizeof kSalt, 10000,
               key, sizeof key);
        benchmark::DoNotOptimize(key);
    }
}

void Pbkdf2Sha256_10000_openssl(benchmark::State& state) {
    uint8_t key[32];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC(kPassword, sizeof kPassword - 1, kSalt, sizeof kSalt, 10000, EVP_sha256(), sizeof key, key);
        benchmark::DoNotOptimize(key);
    }
}

}  // namespace

BENCHMARK(Ours<SHA256_Digest>)->Name("Sha256_1MiB/quillon");
BENCHMARK(Theirs<EVP_sha256>)->Name("Sha256_1MiB/openssl");
BENCHMARK(Sha256Portable)->Name("Sha256Portable_1MiB/quillon");
BENCHMARK(Ours<SHA512_Digest>)->Name("Sha512_1MiB/quillon");
BENCHMARK(Theirs<EVP_sha512>)->Name("Sha512_1MiB/openssl");
BENCHMARK(Sha512Portable)->Name("Sha512Portable_1MiB/quillon");
BENCHMARK(Ours<SHA384_Digest>)->Name("Sha384_1MiB/quillon");
BENCHMARK(Theirs<EVP_sha384>)->Name("Sha384_1MiB/openssl");
BENCHMARK(HmacSha256_64B_quillon)->Name("HmacSha256_64B/quillon");
BENCHMARK(HmacSha256_64B_openssl)->Name("HmacSha256_64B/openssl");
BENCHMARK(Pbkdf2Sha256_10000_quillon)->Name("Pbkdf2Sha256_10000/quillon");
BENCHMARK(Pbkdf2Sha256_10000_openssl)->Name("Pbkdf2Sha256_10000/openssl");
