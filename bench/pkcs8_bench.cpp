// Decrypting an NPKI key file: ours beside OpenSSL doing the same work (parse the
// EncryptedPrivateKeyInfo, derive, decrypt, parse the PrivateKeyInfo into a key).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"

namespace {

using namespace quillon;

constexpr char kPassword[] = "quillon-test";

std::vector<uint8_t> Fixture(const char* name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/pkcs8/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void LoadProviders() {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)base;
}

void Quillon(benchmark::State& state, const char* file) {
    const auto der = Fixture(file);
    for (auto _ : state) {
        EncryptedPrivateKeyInfo* epki = nullptr;
        PrivateKeyInfo* key = nullptr;
        if (!EPKI_DecodeBytes(der.data(), der.size(), &epki) ||
            !PKCS8_Decrypt(epki, &key, reinterpret_cast<const uint8_t*>(kPassword), sizeof kPassword - 1))
            state.SkipWithError("decryption failed");
        PKCS8_Free(key);
        EPKI_Free(epki);
    }
}

void KeyDecryptScheme73_quillon(benchmark::State& state) { Quillon(state, "scheme73.der"); }
void KeyDecryptPbes2Aria_quillon(benchmark::State& state) { Quillon(state, "pbes2_aria.der"); }

// Scheme 73 has no OpenSSL name: PBKDF1-SHA1 by hand on one digest context, SEED-CBC, then
// the PrivateKeyInfo into an EVP_PKEY.
void KeyDecryptScheme73_openssl(benchmark::State& state) {
    LoadProviders();
    const auto der = Fixture("scheme73.der");
    EVP_MD* sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    EVP_CIPHER* seed = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
    EVP_MD_CTX* md = EVP_MD_CTX_new();
    EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
    std::vector<uint8_t> plain(der.size());
    for (auto _ : state) {
        const unsigned char* p = der.data();
        X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
        const X509_ALGOR* algorithm = nullptr;
        const ASN1_OCTET_STRING* data = nullptr;
        X509_SIG_get0(sig, &algorithm, &data);
        const void* pval = nullptr;
        int ptype = 0;
        X509_ALGOR_get0(nullptr, &ptype, &pval, algorithm);
        const auto* params = static_cast<const ASN1_STRING*>(pval);
        const unsigned char* q = ASN1_STRING_get0_data(params);
        PBEPARAM* pbe = d2i_PBEPARAM(nullptr, &q, ASN1_STRING_length(params));
        const long count = ASN1_INTEGER_get(pbe->iter);
        unsigned char t[20], iv[20];
        EVP_DigestInit_ex2(md, sha1, nullptr);
        EVP_DigestUpdate(md, kPassword, sizeof kPassword - 1);
        EVP_DigestUpdate(md, ASN1_STRING_get0_data(pbe->salt), ASN1_STRING_length(pbe->salt));
        EVP_DigestFinal_ex(md, t, nullptr);
        for (long i = 1; i < count; ++i) {
            EVP_DigestInit_ex2(md, sha1, nullptr);
            EVP_DigestUpdate(md, t, 20);
            EVP_DigestFinal_ex(md, t, nullptr);
        }
        EVP_DigestInit_ex2(md, sha1, nullptr);
        EVP_DigestUpdate(md, t + 16, 4);
        EVP_DigestFinal_ex(md, iv, nullptr);
        int n1 = 0, n2 = 0;
        EVP_DecryptInit_ex2(cipher, seed, t, iv, nullptr);
        EVP_DecryptUpdate(cipher, plain.data(), &n1, ASN1_STRING_get0_data(data), ASN1_STRING_length(data));
        EVP_DecryptFinal_ex(cipher, plain.data() + n1, &n2);
        const unsigned char* r = plain.data();
        PKCS8_PRIV_KEY_INFO* info = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &r, n1 + n2);
        EVP_PKEY* key = info ? EVP_PKCS82PKEY(info) : nullptr;
        if (!key) state.SkipWithError("decryption failed");
        EVP_PKEY_free(key);
        PKCS8_PRIV_KEY_INFO_free(info);
        PBEPARAM_free(pbe);
        X509_SIG_free(sig);
    }
    EVP_CIPHER_CTX_free(cipher);
    EVP_MD_CTX_free(md);
    EVP_CIPHER_free(seed);
    EVP_MD_free(sha1);
}

void KeyDecryptPbes2Aria_openssl(benchmark::State& state) {
    LoadProviders();
    const auto der = Fixture("pbes2_aria.der");
    for (auto _ : state) {
        const unsigned char* p = der.data();
        X509_SIG* sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
        PKCS8_PRIV_KEY_INFO* info = sig ? PKCS8_decrypt(sig, kPassword, sizeof kPassword - 1) : nullptr;
        EVP_PKEY* key = info ? EVP_PKCS82PKEY(info) : nullptr;
        if (!key) state.SkipWithError("decryption failed");
        EVP_PKEY_free(key);
        PKCS8_PRIV_KEY_INFO_free(info);
        X509_SIG_free(sig);
    }
}

}  // namespace

BENCHMARK(KeyDecryptScheme73_quillon)->Name("KeyDecryptScheme73/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(KeyDecryptScheme73_openssl)->Name("KeyDecryptScheme73/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(KeyDecryptPbes2Aria_quillon)->Name("KeyDecryptPbes2Aria/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(KeyDecryptPbes2Aria_openssl)->Name("KeyDecryptPbes2Aria/openssl")->Unit(benchmark::kMicrosecond);
