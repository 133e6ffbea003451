// Rendering the extensions of a loaded certificate as text: our ten queries beside OpenSSL
// decoding and printing the same eight extensions into a memory BIO.
#include <benchmark/benchmark.h>
#include <openssl/bio.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "quilloncrypto.h"

namespace {

std::vector<unsigned char> Der() {
    std::ifstream in(QUILLON_FIXTURES "/certs/user_utf8.der", std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExtensionTextQuillon(benchmark::State& state) {
    std::vector<unsigned char> der = Der();
    BINSTR in{der.data(), static_cast<uint32_t>(der.size())};
    X509Cert* cert = nullptr;
    if (CERT_Load(&cert, &in) != QC_OK) state.SkipWithError("CERT_Load failed");
    using Query = int32_t (*)(X509Cert*, int32_t, char*);
    const Query queries[] = {CERT_GetKeyUsage,   CERT_GetBasicConstraints, CERT_GetCertPolicy, CERT_GetCertPolicy_PolicyID,
                             CERT_GetExtKeyUsage, CERT_GetSubjectAltName,  CERT_GetAuthKeyID,  CERT_GetSubKeyID,
                             CERT_GetCRLDP,      CERT_GetCRLDP_URL};
    static char text[8192];
    for (auto _ : state)
        for (Query query : queries) benchmark::DoNotOptimize(query(cert, sizeof text, text));
    CERT_Unload(cert);
}

void ExtensionTextOpenssl(benchmark::State& state) {
    const std::vector<unsigned char> der = Der();
    const unsigned char* p = der.data();
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!cert) state.SkipWithError("d2i_X509 failed");
    BIO* out = BIO_new(BIO_s_mem());
    for (auto _ : state) {
        for (int i = 0; i < X509_get_ext_count(cert); ++i) X509V3_EXT_print(out, X509_get_ext(cert, i), 0, 0);
        (void)BIO_reset(out);
    }
    BIO_free(out);
    X509_free(cert);
}

}  // namespace

BENCHMARK(ExtensionTextQuillon)->Name("CertExtensionText/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(ExtensionTextOpenssl)->Name("CertExtensionText/openssl")->Unit(benchmark::kMicrosecond);
