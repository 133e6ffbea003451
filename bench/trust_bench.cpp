// Verifying a three-certificate path (CA 2 <- CA 1 <- root of the chain fixtures) with one CRL
// per issuer, every certificate but the root required to have one: TRUST_Verify on a store set
// up once (the certificate's DER decoded on every call), and OpenSSL's X509_verify_cert on an
// X509_STORE set up once with the same root and CRLs, the intermediate untrusted
// (X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL), a context made for every call. Our store
// remembers the signatures it has checked between pool certificates and of CRLs, so a second
// verification checks only the certificate's own; the fresh-store pair below shows the first.
#include <benchmark/benchmark.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quilloncrypto.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int64_t kAt = 1748736000;  // 2025-06-01T00:00:00Z

Bytes Chain(const char* name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/chain/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

BINSTR In(Bytes& bytes) { return BINSTR{bytes.data(), static_cast<uint32_t>(bytes.size())}; }

X509* OsslCert(const Bytes& der) {
    const unsigned char* p = der.data();
    return d2i_X509(nullptr, &p, static_cast<long>(der.size()));
}
X509_CRL* OsslCrl(const Bytes& der) {
    const unsigned char* p = der.data();
    return d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size()));
}

struct Material {
    Bytes root = Chain("root.der"), int1 = Chain("int1.der"), leaf = Chain("int2.der");
    Bytes root_crl = Chain("root.crl"), int1_crl = Chain("int1.crl");
};

Material& Shared() {
    static Material m;
    return m;
}

// Our store with the root, the intermediate and one CRL per issuer.
TrustStore* NewStore(Material& m) {
    TrustStore* store = TRUST_Create();
    BINSTR root = In(m.root), int1 = In(m.int1), root_crl = In(m.root_crl), int1_crl = In(m.int1_crl);
    TRUST_AddTrusted(store, &root);
    TRUST_AddUntrusted(store, &int1);
    TRUST_AddCrl(store, &root_crl);
    TRUST_AddCrl(store, &int1_crl);
    return store;
}

// OpenSSL's side of the same: the store (holding its own references to the root and the CRLs),
// the certificate and the untrusted intermediate; a context for every verification.
struct OsslPath {
    X509_STORE* store = X509_STORE_new();
    X509* leaf;
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    explicit OsslPath(const Material& m) : leaf(OsslCert(m.leaf)) {
        X509* root = OsslCert(m.root);
        X509_STORE_add_cert(store, root);
        X509_free(root);
        for (const Bytes* der : {&m.root_crl, &m.int1_crl}) {
            X509_CRL* crl = OsslCrl(*der);
            X509_STORE_add_crl(store, crl);
            X509_CRL_free(crl);
        }
        X509_STORE_set_flags(store, X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
        sk_X509_push(untrusted, OsslCert(m.int1));
    }
    ~OsslPath() {
        sk_X509_pop_free(untrusted, X509_free);
        X509_free(leaf);
        X509_STORE_free(store);
    }
    int Verify() const {
        X509_STORE_CTX* ctx = X509_STORE_CTX_new();
        X509_STORE_CTX_init(ctx, store, leaf, untrusted);
        X509_STORE_CTX_set_time(ctx, 0, static_cast<time_t>(kAt));
        const int ok = X509_verify_cert(ctx);
        X509_STORE_CTX_free(ctx);
        return ok;
    }
};

void TrustVerifyPath3Crls_quillon(benchmark::State& state) {
    Material& m = Shared();
    TrustStore* store = NewStore(m);
    BINSTR leaf = In(m.leaf);
    if (TRUST_Verify(store, &leaf, kAt, QC_TRUST_REQUIRE_CRL) != QC_OK) state.SkipWithError("the path does not verify");
    for (auto _ : state) benchmark::DoNotOptimize(TRUST_Verify(store, &leaf, kAt, QC_TRUST_REQUIRE_CRL));
    TRUST_Free(store);
}

void TrustVerifyPath3Crls_openssl(benchmark::State& state) {
    const OsslPath path(Shared());
    if (path.Verify() != 1) state.SkipWithError("the path does not verify");
    for (auto _ : state) benchmark::DoNotOptimize(path.Verify());
}

// The same with a store built for every call on both sides: nothing the store learnt (the
// intermediate's signature, the CRLs' signatures) carries over.
void TrustVerifyPath3CrlsFreshStore_quillon(benchmark::State& state) {
    Material& m = Shared();
    BINSTR leaf = In(m.leaf);
    for (auto _ : state) {
        TrustStore* store = NewStore(m);
        if (TRUST_Verify(store, &leaf, kAt, QC_TRUST_REQUIRE_CRL) != QC_OK) state.SkipWithError("the path does not verify");
        TRUST_Free(store);
    }
}

void TrustVerifyPath3CrlsFreshStore_openssl(benchmark::State& state) {
    Material& m = Shared();
    for (auto _ : state) {
        const OsslPath path(m);
        if (path.Verify() != 1) state.SkipWithError("the path does not verify");
    }
}

}  // namespace

BENCHMARK(TrustVerifyPath3Crls_quillon)->Name("TrustVerifyPath3Crls/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(TrustVerifyPath3Crls_openssl)->Name("TrustVerifyPath3Crls/openssl")->Unit(benchmark::kMicrosecond);
BENCHMARK(TrustVerifyPath3CrlsFreshStore_quillon)->Name("TrustVerifyPath3CrlsFreshStore/quillon")->Unit(benchmark::kMicrosecond);
BENCHMARK(TrustVerifyPath3CrlsFreshStore_openssl)->Name("TrustVerifyPath3CrlsFreshStore/openssl")->Unit(benchmark::kMicrosecond);
