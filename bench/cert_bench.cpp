// Decoding a v3 certificate with eight extensions, ours beside OpenSSL's d2i_X509.
#include <benchmark/benchmark.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "quilloncrypto.h"

namespace {

const std::vector<unsigned char>& Der() {
    static const std::vector<unsigned char> der = [] {
        std::ifstream in(QUILLON_FIXTURES "/certs/user_utf8.der", std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return der;
}

void CertLoadQuillon(benchmark::State& state) {
    BINSTR in{const_cast<unsigned char*>(Der().data()), static_cast<uint32_t>(Der().size())};
    for (auto _ : state) {
        X509Cert* cert = nullptr;
        if (CERT_Load(&cert, &in) != QC_OK) state.SkipWithError("CERT_Load failed");
        CERT_Unload(cert);
    }
}

void CertLoadOpenssl(benchmark::State& state) {
    for (auto _ : state) {
        const unsigned char* p = Der().data();
        X509* cert = d2i_X509(nullptr, &p, static_cast<long>(Der().size()));
        if (!cert) state.SkipWithError("d2i_X509 failed");
        X509_free(cert);
    }
}

}  // namespace

BENCHMARK(CertLoadQuillon)->Name("CertLoad/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(CertLoadOpenssl)->Name("CertLoad/openssl")->Unit(benchmark::kMicrosecond);
