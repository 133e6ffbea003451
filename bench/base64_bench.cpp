// Base64 of 1 MiB, ours beside OpenSSL's block codec.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "quilloncrypto.h"

namespace {

constexpr size_t kSize = 1 << 20;

const std::vector<unsigned char>& Plain() {
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v(kSize);
        std::mt19937 rng(1);
        for (auto& b : v) b = static_cast<unsigned char>(rng());
        return v;
    }();
    return bytes;
}

const std::vector<unsigned char>& Text() {
    static const std::vector<unsigned char> text = [] {
        BINSTR in{const_cast<unsigned char*>(Plain().data()), kSize}, out;
        BINSTR_Create(&out);
        BASE64_Encode(&in, &out);
        std::vector<unsigned char> v(out.data, out.data + out.length);
        BINSTR_Delete(&out);
        return v;
    }();
    return text;
}

void Base64Encode_1MiB_quillon(benchmark::State& state) {
    BINSTR in{const_cast<unsigned char*>(Plain().data()), kSize};
    for (auto _ : state) {
        BINSTR out;
        BINSTR_Create(&out);
        benchmark::DoNotOptimize(BASE64_Encode(&in, &out));
        BINSTR_Delete(&out);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

// OpenSSL's streaming encoder, which also breaks lines (at 64 characters).
void Base64Encode_1MiB_openssl(benchmark::State& state) {
    std::vector<unsigned char> out(kSize * 2);
    for (auto _ : state) {
        EVP_ENCODE_CTX* ctx = EVP_ENCODE_CTX_new();
        int n = 0, total = 0;
        EVP_EncodeInit(ctx);
        EVP_EncodeUpdate(ctx, out.data(), &n, Plain().data(), kSize);
        total += n;
        EVP_EncodeFinal(ctx, out.data() + total, &n);
        EVP_ENCODE_CTX_free(ctx);
        benchmark::DoNotOptimize(total + n);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void Base64Decode_1MiB_quillon(benchmark::State& state) {
    BINSTR in{const_cast<unsigned char*>(Text().data()), static_cast<uint32_t>(Text().size())};
    for (auto _ : state) {
        BINSTR out;
        BINSTR_Create(&out);
        benchmark::DoNotOptimize(BASE64_Decode(&in, &out));
        BINSTR_Delete(&out);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

// OpenSSL's streaming decoder, which like ours accepts line breaks.
void Base64Decode_1MiB_openssl(benchmark::State& state) {
    std::vector<unsigned char> out(kSize + 64);
    for (auto _ : state) {
        EVP_ENCODE_CTX* ctx = EVP_ENCODE_CTX_new();
        int n = 0, total = 0;
        EVP_DecodeInit(ctx);
        EVP_DecodeUpdate(ctx, out.data(), &n, Text().data(), static_cast<int>(Text().size()));
        total += n;
        EVP_DecodeFinal(ctx, out.data() + total, &n);
        EVP_ENCODE_CTX_free(ctx);
        benchmark::DoNotOptimize(total + n);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

}  // namespace

BENCHMARK(Base64Encode_1MiB_quillon)->Name("Base64Encode_1MiB/quillon");
BENCHMARK(Base64Encode_1MiB_openssl)->Name("Base64Encode_1MiB/openssl");
BENCHMARK(Base64Decode_1MiB_quillon)->Name("Base64Decode_1MiB/quillon");
BENCHMARK(Base64Decode_1MiB_openssl)->Name("Base64Decode_1MiB/openssl");
