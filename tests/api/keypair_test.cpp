// GenKeyPairNGenCert against OpenSSL's X.509 parser, and DecryptSessionKey with the key it
// returns against OpenSSL's OAEP. One key generation serves the suite (it is slow).
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "bignum/bignum.h"
#include "cipher/random.h"
#include "exchange/keypair_cert.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"
#include "support/alloc_fault.h"
#include "support/pkcs8_fixtures.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

Bytes Template() { return ReadFile(std::string(QUILLON_FIXTURES) + "/keypair/template.der"); }

Bytes BnBytes(const BIGNUM* n) {
    Bytes out(static_cast<size_t>(BN_num_bytes(n)));
    BN_bn2bin(n, out.data());
    return out;
}

Bytes OurBytes(const quillon::BigNum* n) {
    Bytes out(static_cast<size_t>((quillon::BIGNUM_NumBits(n) + 7) / 8));
    quillon::BIGNUM_ToBytes(n, out.data());
    return out;
}

struct KeyPairTest : ::testing::Test {
    static inline Bytes original, patched;
    static inline std::string pem;
    static inline int32_t written = 0;
    static inline ::RsaKey* key = nullptr;
    static inline X509* cert = nullptr;

    static void SetUpTestSuite() {
        original = patched = Template();
        ASSERT_GE(original.size(), 560u);
        pem.assign(QC_KEYPAIR_PEM_SIZE(original.size()) + 16, '\x7F');  // the tail shows overruns
        written = GenKeyPairNGenCert(&key, patched.data(), static_cast<uint32_t>(patched.size()), pem.data());
        const unsigned char* p = patched.data();
        cert = d2i_X509(nullptr, &p, static_cast<long>(patched.size()));
    }
    static void TearDownTestSuite() {
        X509_free(cert);
        quillon::RSAKEY_Free(reinterpret_cast<quillon::RsaKey*>(key));
    }
    static const quillon::RsaKey* Key() { return reinterpret_cast<const quillon::RsaKey*>(key); }

    static Bytes Oaep(const Bytes& message) {
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(X509_get0_pubkey(cert), nullptr);
        size_t length = 512;
        Bytes out(length);
        EXPECT_EQ(EVP_PKEY_encrypt_init(ctx), 1);
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING), 1);
        EXPECT_EQ(EVP_PKEY_encrypt(ctx, out.data(), &length, message.data(), message.size()), 1);
        out.resize(length);
        EVP_PKEY_CTX_free(ctx);
        return out;
    }
};

TEST_F(KeyPairTest, OpenSslReadsThePatchedTemplateWithTheReturnedKey) {
    ASSERT_NE(key, nullptr);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(quillon::BIGNUM_NumBits(Key()->n), 2048);
    EXPECT_EQ(OurBytes(Key()->e), Bytes{3});
    BIGNUM *n = nullptr, *e = nullptr;
    ASSERT_EQ(EVP_PKEY_get_bn_param(X509_get0_pubkey(cert), OSSL_PKEY_PARAM_RSA_N, &n), 1);
    ASSERT_EQ(EVP_PKEY_get_bn_param(X509_get0_pubkey(cert), OSSL_PKEY_PARAM_RSA_E, &e), 1);
    EXPECT_EQ(BnBytes(n), OurBytes(Key()->n));
    EXPECT_EQ(BN_get_word(e), 3u);
    BN_free(n);
    BN_free(e);
    for (size_t i = 0; i < original.size(); ++i) {
        if (i >= 304 && i < 560) continue;
        ASSERT_EQ(patched[i], original[i]) << "byte " << i;
    }
}

TEST_F(KeyPairTest, PemTextIsTheMarkersAroundTheTemplateWithinTheDocumentedSize) {
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    ASSERT_GT(written, 0);
    EXPECT_EQ(static_cast<size_t>(written) + 1, QC_KEYPAIR_PEM_SIZE(original.size()));
    EXPECT_EQ(QC_KEYPAIR_PEM_SIZE(original.size()), quillon::KEYPAIR_PemSize(original.size()));
    EXPECT_EQ(QC_KEYPAIR_PEM_SIZE(2048u), static_cast<unsigned>(QC_KEYPAIR_PEM_SIZE_2048));
    EXPECT_EQ(pem[static_cast<size_t>(written)], '\0');
    EXPECT_EQ(pem[static_cast<size_t>(written) + 1], '\x7F');
    const std::string text = pem.substr(0, static_cast<size_t>(written));
    ASSERT_EQ(text.rfind(begin, 0), 0u);
    ASSERT_EQ(text.substr(text.size() - end.size()), end);
    std::string body = text.substr(begin.size(), text.size() - begin.size() - end.size());
    EXPECT_NE(body.front(), '\n');
    EXPECT_NE(body.back(), '\n');
    std::string flat;
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\n') EXPECT_EQ(flat.size() % 76, 0u);
        else flat += body[i];
    }
    Bytes decoded(flat.size());
    const int n = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(flat.data()),
                                  static_cast<int>(flat.size()));
    decoded.resize(static_cast<size_t>(n) - (flat.size() - flat.find_last_not_of('=') - 1));
    EXPECT_EQ(decoded, patched);
}

// Allocation failures anywhere in the export: 0, no key, the template as it was, nothing left
// behind. Generation is made to repeat itself, so allocation N is the same one in every run;
// a whole walk would generate thousands of keys, so it takes the first allocations, every one
// of the last kTail (the end of generation and the encoding) and a sample in between.
TEST(KeyPairAllocation, FailuresReleaseTheKeyOnEveryPath) {
    constexpr long kHead = 8, kTail = 24, kSample = 12;
    uint8_t material[40];
    for (size_t i = 0; i < sizeof material; ++i) material[i] = static_cast<uint8_t>(0x31 * i + 7);
    struct Restore {
        ~Restore() { quillon::RANDOM_FixSelfSeedingForTesting(nullptr); }
    } restore;
    quillon::RANDOM_FixSelfSeedingForTesting(material);

    const Bytes original = Template();
    std::string pem(QC_KEYPAIR_PEM_SIZE(original.size()), 'x');
    const long live = quillon::MEM_LiveBlocks();
    // Run n fails allocation n (0: none); the key, if any, is released as a host would.
    auto run = [&](long n, Bytes* t, bool* fired) {
        *t = original;
        ::RsaKey* key = reinterpret_cast<::RsaKey*>(&pem);  // stale: must come back null on failure
        quillon::MEM_FailNthAllocation(n);
        const int32_t written = GenKeyPairNGenCert(&key, t->data(), static_cast<uint32_t>(t->size()), pem.data());
        *fired = quillon::MEM_InjectedFailureFired();
        quillon::MEM_FailNthAllocation(0);
        if (written > 0) EXPECT_EQ(DecryptSessionKey(key, nullptr, 0, nullptr), 0);  // releases it
        else EXPECT_EQ(key, nullptr) << "allocation " << n;
        EXPECT_EQ(quillon::MEM_LiveBlocks(), live) << "allocation " << n;
        return written;
    };

    Bytes patched;
    bool fired = false;
    const unsigned long before = quillon::MEM_AllocationCount();
    ASSERT_GT(run(0, &patched, &fired), 0);
    const long total = static_cast<long>(quillon::MEM_AllocationCount() - before);
    ASSERT_GT(total, kHead + kTail + kSample);

    std::vector<long> positions;
    for (long n = 1; n <= kHead; ++n) positions.push_back(n);
    for (long i = 1; i <= kSample; ++i) positions.push_back(kHead + (total - kTail - kHead) * i / (kSample + 1));
    for (long n = total - kTail + 1; n <= total; ++n) positions.push_back(n);
    for (long n : positions) {
        Bytes t;
        EXPECT_EQ(run(n, &t, &fired), 0) << "allocation " << n << " of " << total;
        EXPECT_TRUE(fired) << "allocation " << n;
        EXPECT_EQ(t, original) << "allocation " << n;
    }
    // Past the last allocation the run is the clean one again: the same key in the template.
    Bytes t;
    EXPECT_GT(run(total + 1, &t, &fired), 0);
    EXPECT_FALSE(fired);
    EXPECT_EQ(t, patched);
}

}  // namespace
