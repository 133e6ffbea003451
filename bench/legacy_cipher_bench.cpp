// Decrypting 64 KiB with the legacy ciphers older key files use, ours beside OpenSSL's EVP
// (RC2 from its legacy provider). Key setup and padding are part of each figure, as in a file read.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include "bench_openssl.h"
#include "cipher/des.h"
#include "cipher/rc2.h"
#include "cipher/seed.h"

namespace {

using namespace quillon;

constexpr size_t kSize = 64 * 1024;
const unsigned char kKey[24] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98,
                                0x76, 0x54, 0x32, 0x10, 0x0f, 0x1e, 0x2d, 0x3c, 0x4b, 0x5a, 0x69, 0x78};
const unsigned char kIv[8] = {9, 8, 7, 6, 5, 4, 3, 2};
constexpr int kRc2KeySize = 16, kRc2Bits = 128;

EVP_CIPHER* Fetch(const char* name) {
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
    return EVP_CIPHER_fetch(nullptr, name, nullptr);
}

// OpenSSL's CBC with padding; RC2 gets its key length and effective bits before the key.
int OpenSsl(EVP_CIPHER* cipher, bool rc2, int encrypt, const unsigned char* in, int length, unsigned char* out) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, tail = 0;
    EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, encrypt, nullptr);
    if (rc2) {
        EVP_CIPHER_CTX_set_key_length(ctx, kRc2KeySize);
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, kRc2Bits, nullptr);
    }
    EVP_CipherInit_ex2(ctx, nullptr, kKey, kIv, encrypt, nullptr);
    EVP_CipherUpdate(ctx, out, &n, in, length);
    EVP_CipherFinal_ex(ctx, out + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    return n + tail;
}

EVP_CIPHER* Des() {
    static EVP_CIPHER* cipher = Fetch("DES-EDE3-CBC");
    return cipher;
}

EVP_CIPHER* Rc2() {
    static EVP_CIPHER* cipher = Fetch("RC2-CBC");
    return cipher;
}

// A padded message of 64 KiB of plaintext, encrypted once by OpenSSL.
const std::vector<unsigned char>& Cipher(bool rc2) {
    static const auto make = [](bool r) {
        const auto plain = bench::Random(kSize, 24);
        std::vector<unsigned char> out(kSize + 8);
        out.resize(static_cast<size_t>(OpenSsl(r ? Rc2() : Des(), r, 1, plain.data(), kSize, out.data())));
        return out;
    };
    static const auto des = make(false), rc2_cipher = make(true);
    return rc2 ? rc2_cipher : des;
}

void DesDecrypt_quillon(benchmark::State& state) {
    const auto& in = Cipher(false);
    std::vector<unsigned char> out(in.size());
    size_t n = 0;
    for (auto _ : state) {
        DES_EDE3_CBC_Crypt(kDecrypt, kKey, sizeof kKey, kIv, in.data(), in.size(), out.data(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void Rc2Decrypt_quillon(benchmark::State& state) {
    const auto& in = Cipher(true);
    std::vector<unsigned char> out(in.size());
    size_t n = 0;
    for (auto _ : state) {
        RC2_CBC_Crypt(kDecrypt, kKey, kRc2KeySize, kRc2Bits, kIv, in.data(), in.size(), out.data(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

template <bool kRc2>
void Decrypt_openssl(benchmark::State& state) {
    const auto& in = Cipher(kRc2);
    std::vector<unsigned char> out(in.size() + 8);
    for (auto _ : state) {
        OpenSsl(kRc2 ? Rc2() : Des(), kRc2, 0, in.data(), static_cast<int>(in.size()), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

}  // namespace

BENCHMARK(DesDecrypt_quillon)->Name("DesEde3CbcDecrypt_64KiB/quillon");
BENCHMARK(Decrypt_openssl<false>)->Name("DesEde3CbcDecrypt_64KiB/openssl");
BENCHMARK(Rc2Decrypt_quillon)->Name("Rc2CbcDecrypt_64KiB/quillon");
BENCHMARK(Decrypt_openssl<true>)->Name("Rc2CbcDecrypt_64KiB/openssl");
