// Hashing, MACs, ciphers and key derivation, ours beside OpenSSL's EVP.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>

#include <cstring>
#include <random>
#include <vector>

#include "cipher/aria.h"
#include "cipher/hmac.h"
#include "cipher/kdf.h"
#include "cipher/pbe.h"
#include "cipher/seed.h"
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

// OpenSSL's CBC over 1 MiB with the key schedule done once, as ours below.
void OpenSslCbc1MiB(benchmark::State& state, const char* name, bool encrypt, size_t key_size) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)base;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (!cipher) {
        state.SkipWithError("cipher unavailable");
        return;
    }
    const auto key = Random(key_size, 4), iv = Random(16, 5);
    std::vector<uint8_t> out(kMiB + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex2(ctx, cipher, key.data(), iv.data(), encrypt ? 1 : 0, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    for (auto _ : state) {
        int n = 0;
        EVP_CipherInit_ex2(ctx, nullptr, nullptr, iv.data(), -1, nullptr);
        EVP_CipherUpdate(ctx, out.data(), &n, Data1MiB().data(), static_cast<int>(kMiB));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    state.SetBytesProcessed(state.iterations() * kMiB);
}

void SeedCbc1MiB(benchmark::State& state, uint32_t direction) {
    const auto key = Random(16, 4), iv = Random(16, 5);
    std::vector<uint8_t> out(kMiB);
    SeedCbcContext context;
    SEED_CBC_Init(&context, direction, key.data(), iv.data());
    for (auto _ : state) {
        std::memcpy(context.chain, context.iv, 16);
        SEED_CBC_Blocks(&context, out.data(), Data1MiB().data(), kMiB);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

void SeedCbcEncrypt_1MiB_quillon(benchmark::State& state) { SeedCbc1MiB(state, kEncrypt); }
void SeedCbcEncrypt_1MiB_openssl(benchmark::State& state) { OpenSslCbc1MiB(state, "SEED-CBC", true, 16); }
void SeedCbcDecrypt_1MiB_quillon(benchmark::State& state) { SeedCbc1MiB(state, kDecrypt); }
void SeedCbcDecrypt_1MiB_openssl(benchmark::State& state) { OpenSslCbc1MiB(state, "SEED-CBC", false, 16); }

void AriaCbc1MiB(benchmark::State& state, uint32_t direction) {
    const auto key = Random(16, 4), iv = Random(16, 5);
    std::vector<uint8_t> out(kMiB);
    AriaCbcContext context;
    ARIA_CBC_Init(&context, direction, key.data(), 128, iv.data());
    for (auto _ : state) {
        std::memcpy(context.chain, context.iv, 16);
        ARIA_CBC_Blocks(&context, out.data(), Data1MiB().data(), kMiB);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kMiB);
}

void AriaCbcEncrypt128_1MiB_quillon(benchmark::State& state) { AriaCbc1MiB(state, 1); }
void AriaCbcEncrypt128_1MiB_openssl(benchmark::State& state) { OpenSslCbc1MiB(state, "ARIA-128-CBC", true, 16); }
void AriaCbcDecrypt128_1MiB_quillon(benchmark::State& state) { AriaCbc1MiB(state, 0); }
void AriaCbcDecrypt128_1MiB_openssl(benchmark::State& state) { OpenSslCbc1MiB(state, "ARIA-128-CBC", false, 16); }

void Pbkdf2_2048_quillon(benchmark::State& state) {
    const auto password = Random(12, 6), salt = Random(8, 7);
    uint8_t key[20];
    for (auto _ : state) {
        PBKDF2_SHA1(password.data(), password.size(), salt.data(), salt.size(), 2048, key, 20);
        benchmark::DoNotOptimize(key);
    }
}

void Pbkdf2_2048_openssl(benchmark::State& state) {
    const auto password = Random(12, 6), salt = Random(8, 7);
    uint8_t key[20];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password.data()), 12, salt.data(), 8, 2048, 20, key);
        benchmark::DoNotOptimize(key);
    }
}

}  // namespace

BENCHMARK(Sha1_1MiB_quillon)->Name("Sha1_1MiB/quillon");
BENCHMARK(Sha1_1MiB_openssl)->Name("Sha1_1MiB/openssl");
BENCHMARK(HmacSha1_64B_quillon)->Name("HmacSha1_64B/quillon");
BENCHMARK(HmacSha1_64B_openssl)->Name("HmacSha1_64B/openssl");
BENCHMARK(SeedCbcEncrypt_1MiB_quillon)->Name("SeedCbcEncrypt_1MiB/quillon");
BENCHMARK(SeedCbcEncrypt_1MiB_openssl)->Name("SeedCbcEncrypt_1MiB/openssl");
BENCHMARK(SeedCbcDecrypt_1MiB_quillon)->Name("SeedCbcDecrypt_1MiB/quillon");
BENCHMARK(SeedCbcDecrypt_1MiB_openssl)->Name("SeedCbcDecrypt_1MiB/openssl");
BENCHMARK(AriaCbcEncrypt128_1MiB_quillon)->Name("AriaCbcEncrypt128_1MiB/quillon");
BENCHMARK(AriaCbcEncrypt128_1MiB_openssl)->Name("AriaCbcEncrypt128_1MiB/openssl");
BENCHMARK(AriaCbcDecrypt128_1MiB_quillon)->Name("AriaCbcDecrypt128_1MiB/quillon");
BENCHMARK(AriaCbcDecrypt128_1MiB_openssl)->Name("AriaCbcDecrypt128_1MiB/openssl");
BENCHMARK(Pbkdf2_2048_quillon)->Name("Pbkdf2_2048/quillon");
BENCHMARK(Pbkdf2_2048_openssl)->Name("Pbkdf2_2048/openssl");
