// PFX files with the fixture user's certificate and RSA-2048 key, 2,048 iterations everywhere.
// Import: a legacy file OpenSSL wrote (3DES key, RC2-40 certificates, SHA-1 MAC) through
// PFX_Import and through d2i_PKCS12 + PKCS12_parse. Export: the default profile (PBES2 with
// AES-256-CBC for both bags, SHA-256 MAC) through PFX_Export and through PKCS12_create +
// PKCS12_set_mac + i2d_PKCS12; our export takes DER, so the OpenSSL side decodes the key and the
// certificate on every call too.
#include <benchmark/benchmark.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_openssl.h"
#include "quilloncrypto.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr char kPassword[] = "quillon-test";

Bytes Fixture(const char* name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

EVP_PKEY* DecodeKey(const Bytes& der) {
    const unsigned char* p = der.data();
    return d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size()));
}

X509* DecodeCert(const Bytes& der) {
    const unsigned char* p = der.data();
    return d2i_X509(nullptr, &p, static_cast<long>(der.size()));
}

Bytes OpenSslExport(const Bytes& cert_der, const Bytes& key_der, int key_nid, int cert_nid, const EVP_MD* mac) {
    EVP_PKEY* key = DecodeKey(key_der);
    X509* cert = DecodeCert(cert_der);
    PKCS12* p12 = PKCS12_create(kPassword, nullptr, key, cert, nullptr, key_nid, cert_nid, 2048, -1, 0);
    PKCS12_set_mac(p12, kPassword, -1, nullptr, 0, 2048, mac);
    unsigned char* out = nullptr;
    const int n = i2d_PKCS12(p12, &out);
    Bytes der(out, out + (n > 0 ? n : 0));
    OPENSSL_free(out);
    PKCS12_free(p12);
    X509_free(cert);
    EVP_PKEY_free(key);
    return der;
}

struct Material {
    Bytes cert = Fixture("certs/user_utf8.der");
    Bytes key = Fixture("pkcs8/user_plain.der");
    Bytes legacy;
    Material() {
        quillon::bench::OpenSslSeed();  // loads the legacy provider, for RC2
        legacy = OpenSslExport(cert, key, NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And40BitRC2_CBC,
                               EVP_sha1());
    }
};

Material& Shared() {
    static Material m;
    return m;
}

void PfxImport_quillon(benchmark::State& state) {
    Material& m = Shared();
    const BINSTR in{m.legacy.data(), static_cast<uint32_t>(m.legacy.size())};
    for (auto _ : state) {
        BINSTR cert{}, key{};
        benchmark::DoNotOptimize(PFX_Import(kPassword, &in, &cert, &key));
        BINSTR_Delete(&cert);
        BINSTR_Delete(&key);
    }
}

void PfxImport_openssl(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) {
        const unsigned char* p = m.legacy.data();
        PKCS12* p12 = d2i_PKCS12(nullptr, &p, static_cast<long>(m.legacy.size()));
        EVP_PKEY* key = nullptr;
        X509* cert = nullptr;
        benchmark::DoNotOptimize(PKCS12_parse(p12, kPassword, &key, &cert, nullptr));
        X509_free(cert);
        EVP_PKEY_free(key);
        PKCS12_free(p12);
    }
}

void PfxExport_quillon(benchmark::State& state) {
    Material& m = Shared();
    const BINSTR cert{m.cert.data(), static_cast<uint32_t>(m.cert.size())};
    const BINSTR key{m.key.data(), static_cast<uint32_t>(m.key.size())};
    for (auto _ : state) {
        BINSTR out{};
        benchmark::DoNotOptimize(PFX_Export(kPassword, &cert, &key, 0, &out));
        BINSTR_Delete(&out);
    }
}

void PfxExport_openssl(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(OpenSslExport(m.cert, m.key, NID_aes_256_cbc, NID_aes_256_cbc, EVP_sha256()));
}

}  // namespace

BENCHMARK(PfxImport_quillon)->Name("PfxImportLegacy_2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(PfxImport_openssl)->Name("PfxImportLegacy_2048/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(PfxExport_quillon)->Name("PfxExport_2048/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(PfxExport_openssl)->Name("PfxExport_2048/openssl")->Unit(benchmark::kMicrosecond);
