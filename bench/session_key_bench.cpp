// The key pair in a certificate template and OAEP session-key decryption, ours beside OpenSSL's.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bignum/bignum.h"
#include "exchange/session_key.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"

namespace {

using namespace quillon;
using Buffer = std::vector<unsigned char>;

Buffer Template() {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/keypair/template.der", std::ios::binary);
    return Buffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

EVP_PKEY* Keygen() {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    BIGNUM* e = BN_new();
    BN_set_word(e, 3);
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_keygen_init(ctx) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 2048) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, e) != 1 || EVP_PKEY_keygen(ctx, &key) != 1)
        key = nullptr;
    BN_free(e);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

void KeyPairCert2048Quillon(benchmark::State& state) {
    const Buffer original = Template();
    std::string pem(QC_KEYPAIR_PEM_SIZE(original.size()), '\0');
    for (auto _ : state) {
        Buffer t = original;
        ::RsaKey* key = nullptr;
        if (GenKeyPairNGenCert(&key, t.data(), static_cast<uint32_t>(t.size()), pem.data()) == 0)
            state.SkipWithError("generation failed");
        RSAKEY_Free(reinterpret_cast<quillon::RsaKey*>(key));
    }
}
BENCHMARK(KeyPairCert2048Quillon)->Name("KeyPairCert2048/quillon")->Unit(benchmark::kMillisecond);

// The same work with OpenSSL: key generation, modulus into the template, Base64.
void KeyPairCert2048OpenSsl(benchmark::State& state) {
    const Buffer original = Template();
    Buffer text(original.size() * 2);
    for (auto _ : state) {
        Buffer t = original;
        EVP_PKEY* key = Keygen();
        BIGNUM* n = nullptr;
        EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n);
        BN_bn2binpad(n, t.data() + 304, 256);
        benchmark::DoNotOptimize(EVP_EncodeBlock(text.data(), t.data(), static_cast<int>(t.size())));
        BN_free(n);
        EVP_PKEY_free(key);
    }
}
BENCHMARK(KeyPairCert2048OpenSsl)->Name("KeyPairCert2048/openssl")->Unit(benchmark::kMillisecond);

// One e = 3 key held by both libraries, and an OAEP ciphertext to it.
struct Shared {
    EVP_PKEY* theirs = Keygen();
    quillon::RsaKey* ours = RSAKEY_New();
    Buffer ciphertext;
    Shared() {
        const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,         OSSL_PKEY_PARAM_RSA_D,
                               OSSL_PKEY_PARAM_RSA_FACTOR1,   OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                               OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
        BigNum* c[8];
        for (int i = 0; i < 8; ++i) {
            BIGNUM* bn = nullptr;
            EVP_PKEY_get_bn_param(theirs, names[i], &bn);
            Buffer bytes(static_cast<size_t>(BN_num_bytes(bn)));
            BN_bn2bin(bn, bytes.data());
            BN_free(bn);
            c[i] = BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
        }
        RSAKEY_SetComponents(ours, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
        ours->is_private = 1;
        for (BigNum* b : c) BIGNUM_Free(b);
        const Buffer session(16, 0x42);
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(theirs, nullptr);
        size_t length = 256;
        ciphertext.resize(length);
        EVP_PKEY_encrypt_init(ctx);
        EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING);
        EVP_PKEY_encrypt(ctx, ciphertext.data(), &length, session.data(), session.size());
        EVP_PKEY_CTX_free(ctx);
    }
};

Shared& Key() {
    static Shared key;
    return key;
}

void SessionKeyOaep2048Quillon(benchmark::State& state) {
    Shared& k = Key();
    unsigned char out[QC_SESSION_KEY_MAX];
    for (auto _ : state)
        if (SESSIONKEY_DecryptOaep(k.ours, k.ciphertext.data(), k.ciphertext.size(), out) != 1)
            state.SkipWithError("decryption failed");
}
BENCHMARK(SessionKeyOaep2048Quillon)->Name("SessionKeyOaep2048/quillon");

void SessionKeyOaep2048OpenSsl(benchmark::State& state) {
    Shared& k = Key();
    unsigned char out[256];
    for (auto _ : state) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(k.theirs, nullptr);
        size_t length = sizeof out;
        if (EVP_PKEY_decrypt_init(ctx) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) != 1 ||
            EVP_PKEY_decrypt(ctx, out, &length, k.ciphertext.data(), k.ciphertext.size()) != 1)
            state.SkipWithError("decryption failed");
        EVP_PKEY_CTX_free(ctx);
    }
}
BENCHMARK(SessionKeyOaep2048OpenSsl)->Name("SessionKeyOaep2048/openssl");

}  // namespace
