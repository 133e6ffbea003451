// AES-128-CBC over 1 MiB with padding, ours beside OpenSSL's EVP (both on AES-NI where the CPU
// has it); the bitsliced path for the record.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "bench_openssl.h"
#include "cipher/aes.h"
#include "cipher/seed.h"  // kEncrypt, kDecrypt

namespace {

using namespace quillon;

constexpr size_t kMiB = 1 << 20;
const unsigned char kKey[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const unsigned char kIv[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

int OpenSslCbc(int encrypt, const unsigned char* in, size_t length, unsigned char* out) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, tail = 0;
    EVP_CipherInit_ex2(ctx, EVP_aes_128_cbc(), kKey, kIv, encrypt, nullptr);
    EVP_CipherUpdate(ctx, out, &n, in, static_cast<int>(length));
    EVP_CipherFinal_ex(ctx, out + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    return n + tail;
}

// The plaintext, and its padded encryption for the decryption figures.
const std::vector<unsigned char>& Input(uint32_t direction) {
    static const auto plain = bench::Random(kMiB, 24);
    static const auto cipher = [] {
        std::vector<unsigned char> out(kMiB + 16);
        out.resize(static_cast<size_t>(OpenSslCbc(1, plain.data(), kMiB, out.data())));
        return out;
    }();
    return direction == kEncrypt ? plain : cipher;
}

template <uint32_t Direction, bool Portable>
void Ours(benchmark::State& state) {
    AesForcePortable(Portable);
    const auto& in = Input(Direction);
    std::vector<unsigned char> out(in.size() + 16);
    for (auto _ : state) {
        size_t length = 0;
        AES_CBC_Crypt(Direction, kKey, 128, kIv, in.data(), in.size(), out.data(), &length);
        benchmark::DoNotOptimize(out.data());
    }
    AesForcePortable(false);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}

template <uint32_t Direction>
void Theirs(benchmark::State& state) {
    const auto& in = Input(Direction);
    std::vector<unsigned char> out(in.size() + 16);
    for (auto _ : state) {
        OpenSslCbc(Direction == kEncrypt, in.data(), in.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kMiB));
}

}  // namespace

BENCHMARK(Ours<kEncrypt, false>)->Name("AesCbcEncrypt128_1MiB/quillon");
BENCHMARK(Theirs<kEncrypt>)->Name("AesCbcEncrypt128_1MiB/openssl");
BENCHMARK(Ours<kDecrypt, false>)->Name("AesCbcDecrypt128_1MiB/quillon");
BENCHMARK(Theirs<kDecrypt>)->Name("AesCbcDecrypt128_1MiB/openssl");
BENCHMARK(Ours<kEncrypt, true>)->Name("AesPortableCbcEncrypt128_1MiB/quillon");
BENCHMARK(Ours<kDecrypt, true>)->Name("AesPortableCbcDecrypt128_1MiB/quillon");
