// Hex helpers and OpenSSL as the independent oracle for the cipher tests.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

using Buffer = std::vector<uint8_t>;

inline Buffer Hex(const std::string& text) {
    Buffer out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

inline Buffer Text(std::string_view text) { return {text.begin(), text.end()}; }

inline std::string ToHex(const uint8_t* data, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) out += {"0123456789abcdef"[data[i] >> 4], "0123456789abcdef"[data[i] & 15]};
    return out;
}

inline std::string ToHex(const Buffer& data) { return ToHex(data.data(), data.size()); }

// A pointer even for an empty buffer: the library refuses null ones.
inline const uint8_t* Ptr(const Buffer& b) { return b.empty() ? reinterpret_cast<const uint8_t*>("") : b.data(); }

inline Buffer OpenSslSha1(const Buffer& data) {
    Buffer out(20);
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), nullptr, EVP_sha1(), nullptr), 1);
    return out;
}

// CBC with PKCS#7 padding or none; SEED needs the legacy provider, which ends the implicit default.
inline Buffer OpenSslCbc(const char* name, bool encrypt, const Buffer& key, const Buffer& iv, const Buffer& in,
                         bool padding = true) {
    [[maybe_unused]] static OSSL_PROVIDER* providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"),
                                                          OSSL_PROVIDER_load(nullptr, "default")};
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Buffer out(in.size() + 32);
    int n1 = 0, n2 = 0;
    EXPECT_TRUE(EVP_CipherInit_ex2(ctx, cipher, key.data(), iv.data(), encrypt, nullptr) &&
                EVP_CIPHER_CTX_set_padding(ctx, padding) &&
                EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) &&
                EVP_CipherFinal_ex(ctx, out.data() + n1, &n2))
        << name;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
}

}  // namespace quillon::test
