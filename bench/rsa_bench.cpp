// RSA key generation and the two RSA operations, ours beside OpenSSL's.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <vector>

#include "bignum/bignum.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace {

using namespace quillon;

EVP_PKEY* OpenSslKeygen(int bits, unsigned long e) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    BIGNUM* exponent = BN_new();
    BN_set_word(exponent, e);
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_keygen_init(ctx) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, bits) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, exponent) != 1 || EVP_PKEY_keygen(ctx, &key) != 1) {
        key = nullptr;
    }
    BN_free(exponent);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

BigNum* Component(EVP_PKEY* key, const char* name) {
    BIGNUM* bn = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &bn) != 1) return nullptr;
    std::vector<uint8_t> bytes(BN_num_bytes(bn));
    BN_bn2bin(bn, bytes.data());
    BN_free(bn);
    return BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
}

// One 2048-bit e = 3 key, held by both libraries.
struct SharedKey {
    EVP_PKEY* theirs = OpenSslKeygen(2048, 3);
    RsaKey* ours = RSAKEY_New();
    SharedKey() {
        const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,         OSSL_PKEY_PARAM_RSA_D,
                               OSSL_PKEY_PARAM_RSA_FACTOR1,   OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                               OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
        BigNum* c[8];
        for (int i = 0; i < 8; ++i) c[i] = Component(theirs, names[i]);
        RSAKEY_SetComponents(ours, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
        for (BigNum* b : c) BIGNUM_Free(b);
    }
};

SharedKey& Key2048() {
    static SharedKey key;
    return key;
}

const std::vector<uint8_t> kMessage(32, 0x5A);

void Keygen_quillon(benchmark::State& state, int bits) {
    BigNumPtr e(BIGNUM_New());
    BIGNUM_SetWord(e.get(), 3);
    for (auto _ : state) {
        RsaKey* key = RSAKEY_New();
        if (RSAKEY_Generate(key, e.get(), bits) != 1) state.SkipWithError("generation failed");
        RSAKEY_Free(key);
    }
}

void Keygen_openssl(benchmark::State& state, int bits) {
    for (auto _ : state) {
        EVP_PKEY* key = OpenSslKeygen(bits, 3);
        if (!key) state.SkipWithError("generation failed");
        EVP_PKEY_free(key);
    }
}

void RsaPrivateDecrypt2048_quillon(benchmark::State& state) {
    SharedKey& key = Key2048();
    std::vector<uint8_t> cipher(256), plain(256);
    uint32_t len = 0;
    RSA_PublicEncrypt(key.ours, cipher.data(), &len, kMessage.data(), static_cast<uint32_t>(kMessage.size()));
    for (auto _ : state) {
        uint32_t out_len = 0;
        if (RSA_PrivateDecrypt(key.ours, plain.data(), &out_len, cipher.data(), len, kRsaPkcs1Padding) != 32) {
            state.SkipWithError("decryption failed");
        }
    }
}

void RsaPrivateDecrypt2048_openssl(benchmark::State& state) {
    SharedKey& key = Key2048();
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.theirs, nullptr);
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    std::vector<uint8_t> cipher(256), plain(256);
    size_t len = cipher.size();
    EVP_PKEY_encrypt(ctx, cipher.data(), &len, kMessage.data(), kMessage.size());
    EVP_PKEY_decrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    for (auto _ : state) {
        size_t out_len = plain.size();
        if (EVP_PKEY_decrypt(ctx, plain.data(), &out_len, cipher.data(), len) != 1 || out_len != 32) {
            state.SkipWithError("decryption failed");
        }
    }
    EVP_PKEY_CTX_free(ctx);
}

void RsaPublicEncrypt2048e3_quillon(benchmark::State& state) {
    SharedKey& key = Key2048();
    std::vector<uint8_t> cipher(256);
    for (auto _ : state) {
        uint32_t len = 0;
        if (!RSA_PublicEncrypt(key.ours, cipher.data(), &len, kMessage.data(), static_cast<uint32_t>(kMessage.size()))) {
            state.SkipWithError("encryption failed");
        }
    }
}

void RsaPublicEncrypt2048e3_openssl(benchmark::State& state) {
    SharedKey& key = Key2048();
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.theirs, nullptr);
    EVP_PKEY_encrypt_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    std::vector<uint8_t> cipher(256);
    for (auto _ : state) {
        size_t len = cipher.size();
        if (EVP_PKEY_encrypt(ctx, cipher.data(), &len, kMessage.data(), kMessage.size()) != 1) {
            state.SkipWithError("encryption failed");
        }
    }
    EVP_PKEY_CTX_free(ctx);
}

}  // namespace

// Generation time varies with where the primes fall: many keys per figure, median reported.
BENCHMARK_CAPTURE(Keygen_quillon, 1024, 1024)->Name("RsaKeygen1024e3/quillon")->Unit(benchmark::kMillisecond)
    ->Iterations(10)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK_CAPTURE(Keygen_openssl, 1024, 1024)->Name("RsaKeygen1024e3/openssl")->Unit(benchmark::kMillisecond)
    ->Iterations(10)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK_CAPTURE(Keygen_quillon, 2048, 2048)->Name("RsaKeygen2048e3/quillon")->Unit(benchmark::kMillisecond)
    ->Iterations(4)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK_CAPTURE(Keygen_openssl, 2048, 2048)->Name("RsaKeygen2048e3/openssl")->Unit(benchmark::kMillisecond)
    ->Iterations(4)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(RsaPrivateDecrypt2048_quillon)->Name("RsaPrivateDecrypt2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaPrivateDecrypt2048_openssl)->Name("RsaPrivateDecrypt2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaPublicEncrypt2048e3_quillon)->Name("RsaPublicEncrypt2048e3/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaPublicEncrypt2048e3_openssl)->Name("RsaPublicEncrypt2048e3/openssl")->Unit(benchmark::kMicrosecond);
