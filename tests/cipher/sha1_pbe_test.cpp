#include <gtest/gtest.h>
#include <openssl/hmac.h>

#include <random>

#include "asn1/object_table.h"
#include "cipher/hmac.h"
#include "cipher/openssl_oracle.h"
#include "cipher/kdf.h"
#include "cipher/pbe.h"
#include "cipher/sha1.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;

Buffer Pbkdf2(const Buffer& password, const Buffer& salt, int iterations, int length, bool openssl = false) {
    Buffer out(static_cast<size_t>(length));
    const auto* p = reinterpret_cast<const char*>(Ptr(password));
    const int n = static_cast<int>(password.size()), s = static_cast<int>(salt.size());
    if (openssl) PKCS5_PBKDF2_HMAC_SHA1(p, n, salt.data(), s, iterations, length, out.data());
    if (!openssl) { EXPECT_EQ(PBKDF2_SHA1(Ptr(password), n, salt.data(), s, iterations, out.data(), length), 1); }
    return out;
}

Buffer HashInChunks(const Buffer& data, size_t chunk) {
    Sha1Context context;
    SHA1_Init(&context);
    for (size_t pos = 0; pos < data.size(); pos += chunk) {
        EXPECT_EQ(SHA1_Update(&context, data.data() + pos, std::min(chunk, data.size() - pos)), 1u);
    }
    Buffer out(20);
    EXPECT_EQ(SHA1_Final(&context, out.data()), 1u);
    return out;
}

Buffer Mac(const Buffer& key, const Buffer& data, bool openssl = false) {
    Buffer out(20);
    const int n = static_cast<int>(key.size());
    if (openssl) HMAC(EVP_sha1(), Ptr(key), n, data.data(), data.size(), out.data(), nullptr);
    if (!openssl) { EXPECT_EQ(HMAC_SHA1(Ptr(key), n, data.data(), data.size(), out.data()), 1); }
    return out;
}

// The SHA-1 test runs with the portable compression and with the CPU's SHA instructions.
class Sha1Test : public ::testing::TestWithParam<bool> {
    void SetUp() override {
        if (!GetParam() && !Sha1HaveShaExtensions()) GTEST_SKIP() << "no SHA instructions";
        Sha1ForcePortable(GetParam());
    }
    void TearDown() override { Sha1ForcePortable(false); }
};
INSTANTIATE_TEST_SUITE_P(Compression, Sha1Test, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Portable" : "ShaExtensions"; });

TEST_P(Sha1Test, Sha1AndHmacMatchOpenSsl) {
    std::mt19937 rng(101);
    const size_t key_lengths[] = {0, 1, 20, 63, 64, 65, 80, 131};
    for (size_t length = 0; length <= 300; ++length) {
        const auto data = SeededBytes(rng, length), key = SeededBytes(rng, key_lengths[length % 8]);
        for (size_t chunk : {1, 55, 56, 63, 64, 65, 301}) {
            ASSERT_EQ(HashInChunks(data, chunk), OpenSslSha1(data)) << "length " << length << " chunk " << chunk;
        }
        ASSERT_EQ(Mac(key, data), Mac(key, data, true)) << key.size() << "/" << length;
    }
}

const Buffer kPassword = Text("qwer1234!"), kSalt = Text("\1\2\3\4\5\6\7\10");

TEST(Pbes2, DecryptsOpenSslCiphertextBySchemeNidAndRefusesTheRest) {
    std::mt19937 rng(111);
    const Buffer iv = SeededBytes(rng, 16);
    Buffer out(320, 0xEE);
    size_t length = 0xDEAD;
    auto decrypt = [&](const Buffer& in, int nid, const uint8_t* scheme_iv, int iterations = 2048) {
        return PBES2_Decrypt(in.data(), in.size(), kPassword.data(), 9, kSalt.data(), 8, iterations, out.data(),
                             &length, scheme_iv, nid);
    };
    for (int nid : {NID_PBE_WITH_SHA1_AND_SEED_CBC, NID_PBES2, 0}) EXPECT_EQ(decrypt(Buffer(32, 1), nid, iv.data()), 0);
    EXPECT_EQ(decrypt(Buffer(32, 1), NID_OID_ARIA_CBC, nullptr) + decrypt(Buffer(32, 1), NID_SEED_CBC, iv.data(), 0), 0);
    EXPECT_EQ(length, 0xDEADu);
    EXPECT_EQ(out, Buffer(320, 0xEE)) << "refused schemes decrypt nothing";
    for (const auto& [nid, name] : {std::pair{NID_SEED_CBC, "SEED-CBC"}, {NID_OID_ARIA_CBC, "ARIA-128-CBC"}}) {
        for (size_t plain_length : {0, 33, 300}) {
            const auto plain = SeededBytes(rng, plain_length);
            const Buffer key = Pbkdf2(kPassword, kSalt, 2048, 16, true);
            ASSERT_EQ(decrypt(OpenSslCbc(name, true, key, iv, plain), nid, iv.data()), 1);
            EXPECT_EQ(Buffer(out.begin(), out.begin() + length), plain) << name << " " << plain_length;
        }
    }
}

}  // namespace
}  // namespace quillon
