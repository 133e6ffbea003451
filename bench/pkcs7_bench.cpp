// PKCS#7 enveloping to an RSA-2048 certificate (OpenSSL: CMS with SEED-CBC to the same
// certificate), and the exchange's PKCS#12 form sealed and opened (OpenSSL: the same
// cryptographic work with EVP, SHA-1 and HMAC-SHA1).
#include <benchmark/benchmark.h>
#include <openssl/cms.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_openssl.h"
#include "exchange/cert_exchange.h"
#include "quilloncrypto.h"

namespace {

using quillon::bench::OpenSslSeed;
using quillon::bench::OpenSslSeedCbc;
using quillon::bench::Random;

std::vector<unsigned char> RecipientCert() {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/certs/user_sha1.der", std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Pkcs7Envelope_64KiB_quillon(benchmark::State& state) {
    auto cert = RecipientCert();
    auto data = Random(64 * 1024, 1);
    BINSTR c{cert.data(), static_cast<uint32_t>(cert.size())}, d{data.data(), static_cast<uint32_t>(data.size())};
    for (auto _ : state) {
        BINSTR out{};
        benchmark::DoNotOptimize(PKCS7_EncryptData(1, &c, &d, &out));
        BINSTR_Delete(&out);
    }
}

void Pkcs7Envelope_64KiB_openssl(benchmark::State& state) {
    const auto cert_der = RecipientCert();
    const unsigned char* p = cert_der.data();
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(cert_der.size()));
    STACK_OF(X509)* recipients = sk_X509_new_null();
    sk_X509_push(recipients, cert);
    auto data = Random(64 * 1024, 1);
    for (auto _ : state) {
        BIO* in = BIO_new_mem_buf(data.data(), static_cast<int>(data.size()));
        CMS_ContentInfo* cms = CMS_encrypt(recipients, in, OpenSslSeed(), CMS_BINARY);
        unsigned char* der = nullptr;
        benchmark::DoNotOptimize(i2d_CMS_ContentInfo(cms, &der));
        OPENSSL_free(der);
        CMS_ContentInfo_free(cms);
        BIO_free(in);
    }
    sk_X509_pop_free(recipients, X509_free);
}

void Pkcs12SealOpen_3KiB_quillon(benchmark::State& state) {
    const auto cert = Random(1024, 2), key = Random(2048, 3), session_key = Random(16, 4);
    CertExchangeSession* session = CreateCertExchangeSession();
    auto* internal = reinterpret_cast<quillon::CertExchangeSession*>(session);
    std::memcpy(internal->session_key, session_key.data(), 16);
    internal->session_key_length = 16;
    for (auto _ : state) {
        CesMessage *pfx = nullptr, *c = nullptr, *k = nullptr;
        int32_t cl = 0, kl = 0;
        EncryptCertExchange_PKCS12(session, &pfx, cert.data(), 1024, key.data(), 2048);
        benchmark::DoNotOptimize(DecryptCertExchange_PKCS12(session, &c, &cl, &k, &kl, pfx));
        FreeCesMessage(pfx);
        FreeCesMessage(c);
        FreeCesMessage(k);
    }
    CloseCertExchangeSession(session);
}

// SEED-CBC both ways over the 3 KiB pair, the MAC key hashed and HMAC-SHA1 over the authSafe
// both ways.
void Pkcs12SealOpen_3KiB_openssl(benchmark::State& state) {
    const auto plain = Random(3072 + 20, 5), session_key = Random(16, 4);
    static const unsigned char iv[16] = {'5', '8', '2', '0', '4', '6', '3', '9',
                                         '1', '7', '3', '5', '2', '8', '0', '4'};
    // The authSafe is the ciphertext and some 60 bytes of DER around it.
    std::vector<unsigned char> cipher(plain.size() + 96), opened(plain.size() + 32), material(24);
    std::memcpy(material.data(), session_key.data(), 16);
    unsigned char mac_key[20], mac[20], check[20];
    unsigned int mac_length = 0;
    for (auto _ : state) {
        const int n = OpenSslSeedCbc(1, session_key.data(), plain.data(), static_cast<int>(plain.size()), cipher.data(), iv);
        SHA1(material.data(), material.size(), mac_key);
        HMAC(EVP_sha1(), mac_key, 20, cipher.data(), n + 60, mac, &mac_length);
        SHA1(material.data(), material.size(), mac_key);
        HMAC(EVP_sha1(), mac_key, 20, cipher.data(), n + 60, check, &mac_length);
        const int m = OpenSslSeedCbc(0, session_key.data(), cipher.data(), n, opened.data(), iv);
        benchmark::DoNotOptimize(m + std::memcmp(mac, check, 20));
    }
}

}  // namespace

BENCHMARK(Pkcs7Envelope_64KiB_quillon)->Name("Pkcs7Envelope_64KiB/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs7Envelope_64KiB_openssl)->Name("Pkcs7Envelope_64KiB/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs12SealOpen_3KiB_quillon)->Name("Pkcs12SealOpen_3KiB/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs12SealOpen_3KiB_openssl)->Name("Pkcs12SealOpen_3KiB/openssl")->Unit(benchmark::kMicrosecond);
