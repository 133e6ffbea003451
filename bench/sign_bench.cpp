// Signatures with the fixture user's RSA-2048 key (e = 65537): PKCS#1 v1.5 with SHA-256 over 4 KiB
// through PRIKEY_Sign and CERT_VerifyData (OpenSSL: EVP_DigestSign and EVP_DigestVerify with the
// same key), and a SignedData with signed attributes made and checked (OpenSSL: CMS_sign and
// CMS_verify without chain checks). Our signing exports take the key's DER on every call, so the
// OpenSSL side decodes it on every call too (and the certificate, for the SignedData); the
// verifiers hold a decoded certificate on both sides.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_openssl.h"
#include "quilloncrypto.h"

namespace {

using Bytes = std::vector<unsigned char>;
using quillon::bench::Random;

Bytes Fixture(const char* name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Material {
    Bytes cert = Fixture("certs/user_utf8.der");
    Bytes key = Fixture("pkcs8/user_plain.der");
    Bytes data = Random(4096, 7);
    BINSTR c{cert.data(), static_cast<uint32_t>(cert.size())};
    BINSTR k{key.data(), static_cast<uint32_t>(key.size())};
    BINSTR d{data.data(), static_cast<uint32_t>(data.size())};
    X509* x509 = nullptr;
    Material() {
        const unsigned char* p = cert.data();
        x509 = d2i_X509(nullptr, &p, static_cast<long>(cert.size()));
    }
};

Material& Shared() {
    static Material m;
    return m;
}

void RsaSignSha256_quillon(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) {
        BINSTR signature{};
        benchmark::DoNotOptimize(PRIKEY_Sign(&m.k, QC_SIGN_RSA_SHA256, &m.d, &signature));
        BINSTR_Delete(&signature);
    }
}

EVP_PKEY* DecodeKey(const Bytes& der) {
    const unsigned char* p = der.data();
    return d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size()));
}

Bytes OpenSslSign(Material& m) {
    EVP_PKEY* key = DecodeKey(m.key);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    Bytes signature(256);
    size_t length = signature.size();
    EVP_DigestSignInit(ctx, nullptr, EVP_sha256(), nullptr, key);
    EVP_DigestSign(ctx, signature.data(), &length, m.data.data(), m.data.size());
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    return signature;
}

void RsaSignSha256_openssl(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(OpenSslSign(m));
}

void RsaVerifySha256_quillon(benchmark::State& state) {
    Material& m = Shared();
    Bytes signature = OpenSslSign(m);
    BINSTR s{signature.data(), static_cast<uint32_t>(signature.size())};
    X509Cert* cert = nullptr;
    CERT_Load(&cert, &m.c);
    for (auto _ : state) benchmark::DoNotOptimize(CERT_VerifyData(cert, QC_SIGN_RSA_SHA256, &m.d, &s));
    CERT_Unload(cert);
}

void RsaVerifySha256_openssl(benchmark::State& state) {
    Material& m = Shared();
    Bytes signature = OpenSslSign(m);
    EVP_PKEY* pub = X509_get0_pubkey(m.x509);
    for (auto _ : state) {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, pub);
        benchmark::DoNotOptimize(EVP_DigestVerify(ctx, signature.data(), signature.size(), m.data.data(), m.data.size()));
        EVP_MD_CTX_free(ctx);
    }
}

void Pkcs7Sign_4KiB_quillon(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) {
        BINSTR out{};
        benchmark::DoNotOptimize(PKCS7_SignData(0, &m.c, &m.k, QC_SIGN_RSA_SHA256, &m.d, &out));
        BINSTR_Delete(&out);
    }
}

Bytes OpenSslSignedData(Material& m) {
    EVP_PKEY* key = DecodeKey(m.key);
    const unsigned char* p = m.cert.data();
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(m.cert.size()));
    BIO* in = BIO_new_mem_buf(m.data.data(), static_cast<int>(m.data.size()));
    CMS_ContentInfo* cms = CMS_sign(cert, key, nullptr, in, CMS_BINARY | CMS_NOSMIMECAP);
    X509_free(cert);
    EVP_PKEY_free(key);
    unsigned char* der = nullptr;
    const int n = i2d_CMS_ContentInfo(cms, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    CMS_ContentInfo_free(cms);
    BIO_free(in);
    return out;
}

void Pkcs7Sign_4KiB_openssl(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(OpenSslSignedData(m));
}

void Pkcs7Verify_4KiB_quillon(benchmark::State& state) {
    Bytes der = OpenSslSignedData(Shared());
    BINSTR s{der.data(), static_cast<uint32_t>(der.size())};
    for (auto _ : state) {
        BINSTR content{};
        benchmark::DoNotOptimize(PKCS7_VerifyData(&s, nullptr, &content, nullptr));
        BINSTR_Delete(&content);
    }
}

void Pkcs7Verify_4KiB_openssl(benchmark::State& state) {
    Bytes der = OpenSslSignedData(Shared());
    for (auto _ : state) {
        const unsigned char* p = der.data();
        CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size()));
        BIO* out = BIO_new(BIO_s_mem());
        benchmark::DoNotOptimize(CMS_verify(cms, nullptr, nullptr, nullptr, out, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY));
        BIO_free(out);
        CMS_ContentInfo_free(cms);
    }
}

}  // namespace

BENCHMARK(RsaSignSha256_quillon)->Name("RsaSignSha256_2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaSignSha256_openssl)->Name("RsaSignSha256_2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaVerifySha256_quillon)->Name("RsaVerifySha256_2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaVerifySha256_openssl)->Name("RsaVerifySha256_2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs7Sign_4KiB_quillon)->Name("Pkcs7Sign_4KiB/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs7Sign_4KiB_openssl)->Name("Pkcs7Sign_4KiB/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs7Verify_4KiB_quillon)->Name("Pkcs7Verify_4KiB/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(Pkcs7Verify_4KiB_openssl)->Name("Pkcs7Verify_4KiB/openssl")->Unit(benchmark::kMicrosecond);
