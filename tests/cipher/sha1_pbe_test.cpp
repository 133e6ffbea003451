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

Buffer Pbkdf2(const Buffer& password, const Buffer& salt, int iterations, int length, bool openssl = false) {
    Buffer out(static_cast<size_t>(length));
    const auto* p = reinterpret_cast<const char*>(Ptr(password));
    const int n = static_cast<int>(password.size()), s = static_cast<int>(salt.size());
    if (openssl) PKCS5_PBKDF2_HMAC_SHA1(p, n, salt.data(), s, iterations, length, out.data());
    if (!openssl) { EXPECT_EQ(PBKDF2_SHA1(Ptr(password), n, salt.data(), s, iterations, out.data(), length), 1); }
    return out;
}

Buffer OpenSslPbkdf1(Buffer password, const Buffer& salt, int iterations) {
    password.insert(password.end(), salt.begin(), salt.end());
    auto t = OpenSslSha1(password);
    for (int k = 2; k <= iterations; ++k) t = OpenSslSha1(t);
    return t;
}

// Every SHA-1 test runs with the portable compression and with the CPU's SHA instructions.
class Sha1Test : public ::testing::TestWithParam<bool> {
    void SetUp() override {
        if (!GetParam() && !Sha1HaveShaExtensions()) GTEST_SKIP() << "no SHA instructions";
        Sha1ForcePortable(GetParam());
    }
    void TearDown() override { Sha1ForcePortable(false); }
};
INSTANTIATE_TEST_SUITE_P(Compression, Sha1Test, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Portable" : "ShaExtensions"; });

TEST_P(Sha1Test, StandardMessagesOverEverySplit) {
    const std::pair<Buffer, const char*> cases[] = {
        {{}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {Text("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"), "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {Buffer(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"}};
    for (const auto& [message, digest] : cases) {
        uint8_t out[20];
        ASSERT_EQ(SHA1_Digest(message.data(), message.size(), out), 1u);
        EXPECT_EQ(ToHex(out, 20), digest);
        for (size_t chunk : {1, 55, 56, 63, 64, 65, 4096}) {
            if (chunk > 1 || message.size() < 100000) { EXPECT_EQ(ToHex(HashInChunks(message, chunk)), digest) << chunk; }
        }
    }
}

// SHA-1 over every length and split; HMAC over the same lengths with keys around the block size.
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

TEST(Sha1, TransformAndRefusals) {
    uint8_t block[64] = {0x80};  // the padded empty message
    Sha1Context context;
    SHA1_Init(&context);
    EXPECT_EQ(SHA1_Transform(&context, block), 1u);
    EXPECT_EQ(context.chaining[0], 0xda39a3eeu);
    for (uint32_t buffered : {64u, 65u, 1000u}) {  // a corrupted count: refused, nothing written
        Sha1Context bad = context;
        bad.buffered = buffered;
        EXPECT_EQ(SHA1_Final(&bad, block) + (buffered > 64 ? SHA1_Update(&bad, block, 1) : 0), 0u);
        EXPECT_EQ(block[0], 0x80);
    }
}

TEST(HmacSha1, Rfc2202AndContextReuse) {
    const std::tuple<Buffer, Buffer, const char*> cases[] = {
        {Buffer(20, 0x0b), Text("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
        {Text("Jefe"), Text("what do ya want for nothing?"), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {Buffer(80, 0xaa), Text("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"}};
    for (const auto& [key, data, mac] : cases) EXPECT_EQ(ToHex(Mac(key, data)), mac);

    const Buffer key(90, 0x5c), m = Text("a message longer than one block of sixty-four bytes, split in two calls");
    HmacSha1Context* context = HMAC_New();
    Buffer mac(20);
    auto final_mac = [&] { return HMAC_Final(context, mac.data()) == 1 ? mac : Buffer{}; };
    for (size_t key_length : {20, 90}) {  // keyed twice: the second key replaces the first
        const Buffer k(key.begin(), key.begin() + key_length);
        ASSERT_EQ(HMAC_Init(context, key.data(), static_cast<int32_t>(key_length)), 1);
        ASSERT_EQ(HMAC_Update(context, m.data(), 60) + HMAC_Update(context, m.data() + 60, m.size() - 60), 2);
        EXPECT_EQ(final_mac(), Mac(k, m, true));
        // A new message after Final under the same key; Final straight after Final is the empty message.
        ASSERT_EQ(HMAC_Update(context, m.data(), 7), 1);
        EXPECT_EQ(final_mac(), Mac(k, Buffer(m.begin(), m.begin() + 7), true));
        EXPECT_EQ(final_mac(), Mac(k, {}, true));
    }
    // A failed keying leaves no usable state behind, even after an earlier good one.
    EXPECT_EQ(HMAC_Init(context, key.data(), -5) + HMAC_Update(context, m.data(), 4), 0);
    EXPECT_EQ(final_mac(), Buffer{});
    HMAC_Free(context);
}

TEST(Pbkdf, Rfc6070VectorsAndOpenSsl) {
    const std::tuple<Buffer, Buffer, int, int, const char*> vectors[] = {
        {Text("password"), Text("salt"), 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {Text({"pass\0word", 9}), Text({"sa\0lt", 5}), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"}};
    for (const auto& [password, salt, iterations, length, key] : vectors) {
        EXPECT_EQ(ToHex(Pbkdf2(password, salt, iterations, length)), key);
    }
    std::mt19937 rng(606);
    for (size_t password_length : {0, 1, 64, 65}) {
        for (int iterations : {-7, 0, 1, 2, 1000}) {  // counts below 2 are one iteration
            for (int length : {1, 20, 21, 61}) {
                const auto password = SeededBytes(rng, password_length), salt = SeededBytes(rng, rng() % 40);
                ASSERT_EQ(Pbkdf2(password, salt, iterations, length),
                          Pbkdf2(password, salt, std::max(iterations, 1), length, true))
                    << password_length << " " << iterations << " " << length;
            }
        }
    }
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(PBKDF2_SHA1(out, 2, out, 4, 10, out, 0), 1);
    EXPECT_EQ(out[0], 9) << "a length of 0 writes nothing";
    EXPECT_EQ(PBKDF2_SHA1(out, 2, out, 4, 10, out, -1) + PBKDF2_SHA1(nullptr, 2, out, 4, 10, out, 4), 0);
}

const Buffer kPassword = Text("qwer1234!"), kSalt = Text("\1\2\3\4\5\6\7\10");

Buffer Pbe(bool encrypt, const Buffer& in, int iv_mode, int expect = 1, int iterations = 2048,
           const Buffer& password = kPassword, const Buffer& salt = kSalt) {
    Buffer out(in.size() + 16);
    size_t length = 0xDEAD;
    EXPECT_EQ((encrypt ? PBE_SEED_Encrypt : PBE_SEED_Decrypt)(
                  in.data(), in.size(), password.empty() ? nullptr : password.data(), password.size(),
                  salt.empty() ? nullptr : salt.data(), salt.size(), iterations, out.data(), &length, iv_mode),
              expect);
    if (expect != 1) { EXPECT_EQ(length, 0xDEADu); }
    out.resize(expect == 1 ? length : 0);
    return out;
}

// SEED-CBC under PBKDF1's first 16 bytes; decrypting under the other IV mode changes only block 1.
TEST(PbeSeed, MatchesOpenSslCompositionIvModesAndFailures) {
    std::mt19937 rng(808);
    for (int iv_mode : {kPbeIvFixed, kPbeIvDerived}) {
        for (size_t length : {0, 15, 16, 17, 300}) {
            const auto plain = SeededBytes(rng, length);
            const int iterations = 1 + static_cast<int>(length % 50);
            Buffer dk(20);
            size_t dk_length = 0;
            ASSERT_EQ(PBKDF1_SHA1(kPassword.data(), 9, kSalt.data(), 8, iterations, dk.data(), &dk_length), 1);
            ASSERT_EQ(dk, OpenSslPbkdf1(kPassword, kSalt, iterations));
            Buffer iv = iv_mode == kPbeIvFixed ? Text("5820463917352804") : OpenSslSha1({dk.begin() + 16, dk.end()});
            iv.resize(16);
            const auto cipher = Pbe(true, plain, iv_mode, 1, iterations);
            EXPECT_EQ(cipher, OpenSslCbc("SEED-CBC", true, {dk.begin(), dk.begin() + 16}, iv, plain)) << length;
            EXPECT_EQ(Pbe(false, cipher, iv_mode, 1, iterations), plain);
            if (length < 16) continue;
            const auto other = Pbe(false, cipher, 1 - iv_mode, 1, iterations);
            EXPECT_NE(Buffer(other.begin(), other.begin() + 16), Buffer(plain.begin(), plain.begin() + 16));
            EXPECT_EQ(Buffer(other.begin() + 16, other.end()), Buffer(plain.begin() + 16, plain.end()));
        }
    }
    for (bool encrypt : {true, false}) {
        for (int iv_mode : {2, -1}) Pbe(encrypt, Buffer(32, 7), iv_mode, 0);
        for (int iterations : {0, -3}) Pbe(encrypt, Buffer(32, 7), kPbeIvDerived, 0, iterations);
        Pbe(encrypt, Buffer(32, 7), kPbeIvDerived, 0, 10, {});
        Pbe(encrypt, Buffer(32, 7), kPbeIvDerived, 0, 10, kPassword, {});
    }
    Pbe(false, Buffer(17, 1), kPbeIvFixed, 0);
}

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
