// The certificate exchange: issuing the session public key, and sealing plus opening a
// certificate with its key. The OpenSSL side does the same cryptographic work with EVP.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "bench_openssl.h"
#include "quilloncrypto.h"
#include "support/openssl_peer.h"

namespace {

using quillon::bench::OpenSslSeedCbc;
using quillon::bench::Random;

constexpr char kCode[] = "1234567890123455";

void ExchangePublicKey_quillon(benchmark::State& state) {
    for (auto _ : state) {
        CertExchangeSession* session = CreateCertExchangeSession();
        CesMessage* message = nullptr;
        benchmark::DoNotOptimize(GetCertExchangePublicKey(session, kCode, &message));
        FreeCesMessage(message);
        CloseCertExchangeSession(session);
    }
}

// A 1024-bit key with e = 3 and its modulus SEED-CBC-encrypted under a code key.
void ExchangePublicKey_openssl(benchmark::State& state) {
    const auto code_key = Random(16, 1);
    unsigned char modulus[128], cipher[160];
    for (auto _ : state) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
        EVP_PKEY* key = nullptr;
        BIGNUM* e = BN_new();
        BN_set_word(e, 3);
        EVP_PKEY_keygen_init(ctx);
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 1024);
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, e);
        EVP_PKEY_keygen(ctx, &key);
        BIGNUM* n = nullptr;
        EVP_PKEY_get_bn_param(key, "n", &n);
        BN_bn2bin(n, modulus);
        benchmark::DoNotOptimize(OpenSslSeedCbc(1, code_key.data(), modulus, 128, cipher));
        BN_free(n);
        BN_free(e);
        EVP_PKEY_free(key);
        EVP_PKEY_CTX_free(ctx);
    }
}

struct SealFixture {
    std::vector<unsigned char> cert = Random(1024, 2), key = Random(2048, 3);
};

// A session that has issued its public key. Sealing cost does not depend on the session key's
// value, so the zero key of an unkeyed session serves.
// A session with its RSA key and a 16-byte session key from the OpenSSL phone: sealing needs both.
CertExchangeSession* KeyedSession() {
    CertExchangeSession* session = CreateCertExchangeSession();
    CesMessage* message = nullptr;
    const int32_t length = GetCertExchangePublicKey(session, kCode, &message);
    const std::vector<unsigned char> public_key(message, message + (length > 0 ? length : 0));
    FreeCesMessage(message);
    quillon::test::OpenSslPhone phone(kCode);
    const auto modulus = phone.ReadPublicKeyMessage(public_key);
    if (!modulus) std::abort();
    const auto reply = phone.MakeSessionKeyMessage(*modulus, Random(16, 3));
    if (SetCertExchangeSessionKey(session, reply.data(), static_cast<int32_t>(reply.size())) != 1) std::abort();
    return session;
}

void SealOpen_3KiB_quillon(benchmark::State& state) {
    SealFixture f;
    CertExchangeSession* session = KeyedSession();
    for (auto _ : state) {
        CesMessage *sealed = nullptr, *cert = nullptr, *key = nullptr;
        int32_t cert_length = 0, key_length = 0;
        const int32_t n = EncryptCertExchange(session, &sealed, f.cert.data(), 1024, f.key.data(), 2048);
        benchmark::DoNotOptimize(DecryptCertExchange(session, &cert, &cert_length, &key, &key_length, sealed, n));
        FreeCesMessage(sealed);
        FreeCesMessage(cert);
        FreeCesMessage(key);
    }
    CloseCertExchangeSession(session);
}

// The same cryptographic work: SEED-CBC both ways over the 3 KiB pair and HMAC-SHA1 both ways.
void SealOpen_3KiB_openssl(benchmark::State& state) {
    SealFixture f;
    const auto session_key = Random(16, 4), mac_key = Random(20, 5);
    std::vector<unsigned char> plain(f.cert);
    plain.insert(plain.end(), f.key.begin(), f.key.end());
    std::vector<unsigned char> cipher(plain.size() + 16), opened(plain.size() + 32);
    unsigned char mac[20], check[20];
    unsigned int mac_length = 0;
    for (auto _ : state) {
        const int n = OpenSslSeedCbc(1, session_key.data(), plain.data(), static_cast<int>(plain.size()), cipher.data());
        HMAC(EVP_sha1(), mac_key.data(), 20, plain.data(), plain.size(), mac, &mac_length);
        const int m = OpenSslSeedCbc(0, session_key.data(), cipher.data(), n, opened.data());
        HMAC(EVP_sha1(), mac_key.data(), 20, opened.data(), m, check, &mac_length);
        benchmark::DoNotOptimize(std::memcmp(mac, check, 20));
    }
}

}  // namespace

BENCHMARK(ExchangePublicKey_quillon)->Name("ExchangePublicKey/quillon")->Unit(benchmark::kMillisecond);
BENCHMARK(ExchangePublicKey_openssl)->Name("ExchangePublicKey/openssl")->Unit(benchmark::kMillisecond);
BENCHMARK(SealOpen_3KiB_quillon)->Name("SealOpen_3KiB/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(SealOpen_3KiB_openssl)->Name("SealOpen_3KiB/openssl")->Unit(benchmark::kMicrosecond);
