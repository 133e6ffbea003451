// RSA keys moved between our RsaKey and OpenSSL's RSA (the test oracle), and fixture loading.
#pragma once

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bignum/bn_oracle.h"
#include "rsa/rsa_key.h"

namespace quillon::test {

struct RsaDeleter {
    void operator()(RSA* r) const { RSA_free(r); }
};
using OsslRsa = std::unique_ptr<RSA, RsaDeleter>;
using RsaKeyPtr = Owned<RsaKey, RSAKEY_Free>;

inline std::string FixturePath(const std::string& name) { return std::string(QUILLON_FIXTURES) + "/rsa/" + name; }

inline std::vector<uint8_t> ReadFixture(const std::string& name) {
    std::ifstream in(FixturePath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline OsslRsa LoadFixtureKey(const std::string& name) {
    FILE* f = std::fopen(FixturePath(name).c_str(), "r");
    if (!f) return nullptr;
    OsslRsa rsa(PEM_read_RSAPrivateKey(f, nullptr, nullptr, nullptr));
    std::fclose(f);
    return rsa;
}

inline BigNumPtr FromBn(const BIGNUM* b) {
    if (!b) return nullptr;
    std::vector<uint8_t> bytes(BN_num_bytes(b));
    BN_bn2bin(b, bytes.data());
    return BigNumPtr(BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr));
}

enum class Parts { Public, WithD, WithCrt, CrtOnly };

// Imports an OpenSSL key as n, e and (per `parts`) d and the CRT numbers.
inline RsaKeyPtr Import(const RSA* rsa, Parts parts) {
    const BIGNUM *n, *e, *d, *p, *q, *dp, *dq, *qinv;
    RSA_get0_key(rsa, &n, &e, &d);
    RSA_get0_factors(rsa, &p, &q);
    RSA_get0_crt_params(rsa, &dp, &dq, &qinv);
    const bool want_d = parts == Parts::WithD || parts == Parts::WithCrt;
    const bool want_crt = parts == Parts::WithCrt || parts == Parts::CrtOnly;
    auto bn = [](const BIGNUM* b, bool want) { return want ? FromBn(b) : nullptr; };
    BigNumPtr N = FromBn(n), E = FromBn(e), D = bn(d, want_d), P = bn(p, want_crt), Q = bn(q, want_crt),
              DP = bn(dp, want_crt), DQ = bn(dq, want_crt), QI = bn(qinv, want_crt);
    RsaKeyPtr key(RSAKEY_New());
    EXPECT_EQ(RSAKEY_SetComponents(key.get(), N.get(), E.get(), D.get(), P.get(), Q.get(), DP.get(), DQ.get(),
                                   QI.get()),
              1);
    return key;
}

// Exports a full generated key to OpenSSL.
inline OsslRsa Export(const RsaKey* key) {
    OsslRsa rsa(RSA_new());
    RSA_set0_key(rsa.get(), ToBn(key->n).release(), ToBn(key->e).release(), ToBn(key->d).release());
    RSA_set0_factors(rsa.get(), ToBn(key->p).release(), ToBn(key->q).release());
    RSA_set0_crt_params(rsa.get(), ToBn(key->dP).release(), ToBn(key->dQ).release(), ToBn(key->qInv).release());
    return rsa;
}

}  // namespace quillon::test
