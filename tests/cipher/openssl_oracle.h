// OpenSSL as the independent oracle for the cipher tests.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <vector>

namespace quillon::test {

// SEED lives in the legacy provider; loading it replaces the implicit default, so load both.
inline EVP_CIPHER* FetchCipher(const char* name) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)base;
    return EVP_CIPHER_fetch(nullptr, name, nullptr);
}

// CBC with PKCS#7 padding (or none), the whole message in one call.
inline std::vector<uint8_t> OpenSslCbc(const char* name, bool encrypt, const std::vector<uint8_t>& key,
                                       const std::vector<uint8_t>& iv, const std::vector<uint8_t>& in,
                                       bool padding = true) {
    EVP_CIPHER* cipher = FetchCipher(name);
    EXPECT_NE(cipher, nullptr) << name;
    if (!cipher) return {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::vector<uint8_t> out(in.size() + 32);
    int n1 = 0, n2 = 0;
    EXPECT_EQ(EVP_CipherInit_ex2(ctx, cipher, key.data(), iv.data(), encrypt ? 1 : 0, nullptr), 1);
    EVP_CIPHER_CTX_set_padding(ctx, padding ? 1 : 0);
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx, out.data() + n1, &n2), 1);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
}

}  // namespace quillon::test
