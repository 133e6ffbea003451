// RSA keys for the tests: the committed fixture keys through OpenSSL, and their numbers
// imported into our key record. OpenSSL's RSA-level calls are deprecated but the plainest for
// raw operations: a test that includes this defines OPENSSL_SUPPRESS_DEPRECATED first.
#pragma once

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>
#include <string>

#include "bignum/bignum.h"
#include "cipher/openssl_oracle.h"
#include "rsa/rsa_key.h"
#include "support/fixture_file.h"

namespace quillon::test {

using OsslRsa = std::unique_ptr<RSA, decltype(&RSA_free)>;

inline Buffer ReadFixture(const std::string& name) { return FixtureBytes("rsa/" + name); }

inline OsslRsa LoadKey(const std::string& name) {
    const Buffer pem = ReadFixture("key_" + name + ".pem");
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    OsslRsa rsa(PEM_read_bio_RSAPrivateKey(bio, nullptr, nullptr, nullptr), RSA_free);
    BIO_free(bio);
    return rsa;
}

inline BigNumPtr FromBn(const BIGNUM* b, bool wanted = true) {
    Buffer bytes(BN_num_bytes(b));
    BN_bn2bin(b, bytes.data());
    return BigNumPtr(wanted ? BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr) : nullptr);
}

enum Parts { kPublic, kWithD, kWithCrt, kCrtOnly };

inline RsaKeyPtr Import(const RSA* r, Parts parts) {
    const bool d = parts == kWithD || parts == kWithCrt, crt = parts >= kWithCrt;
    BigNumPtr n = FromBn(RSA_get0_n(r)), e = FromBn(RSA_get0_e(r)), D = FromBn(RSA_get0_d(r), d),
              p = FromBn(RSA_get0_p(r), crt), q = FromBn(RSA_get0_q(r), crt), dp = FromBn(RSA_get0_dmp1(r), crt),
              dq = FromBn(RSA_get0_dmq1(r), crt), qi = FromBn(RSA_get0_iqmp(r), crt);
    RsaKeyPtr key(RSAKEY_New());
    EXPECT_EQ(RSAKEY_SetComponents(key.get(), n.get(), e.get(), D.get(), p.get(), q.get(), dp.get(), dq.get(), qi.get()),
              1);
    return key;
}

}  // namespace quillon::test
