// What several benchmark files share: reproducible input bytes and OpenSSL's SEED-CBC.
#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <random>
#include <vector>

namespace quillon::bench {

inline std::vector<unsigned char> Random(size_t size, unsigned seed) {
    std::vector<unsigned char> v(size);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

// SEED lives in OpenSSL's legacy provider.
inline EVP_CIPHER* OpenSslSeed() {
    static EVP_CIPHER* cipher = [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
        return EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
    }();
    return cipher;
}

// SEED-CBC with PKCS#7 padding through EVP; the zero IV when none is given. Output length.
inline int OpenSslSeedCbc(int encrypt, const unsigned char* key, const unsigned char* in, int length,
                          unsigned char* out, const unsigned char* iv = nullptr) {
    static const unsigned char zero_iv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, tail = 0;
    EVP_CipherInit_ex2(ctx, OpenSslSeed(), key, iv ? iv : zero_iv, encrypt, nullptr);
    EVP_CipherUpdate(ctx, out, &n, in, length);
    EVP_CipherFinal_ex(ctx, out + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    return n + tail;
}

}  // namespace quillon::bench
