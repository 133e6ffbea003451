#include "cipher/pbe.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>

#include "asn1/object_table.h"
#include "cipher/hex.h"
#include "cipher/openssl_oracle.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

std::vector<uint8_t> Pbkdf2(const std::vector<uint8_t>& password, const std::vector<uint8_t>& salt, int iterations,
                            int length) {
    std::vector<uint8_t> out(static_cast<size_t>(length));
    // An empty password still needs a pointer: a null one is refused.
    static const uint8_t kEmpty = 0;
    EXPECT_EQ(PBKDF2_SHA1(password.empty() ? &kEmpty : password.data(), password.size(), salt.data(), salt.size(), iterations, out.data(), length),
              1);
    return out;
}

std::vector<uint8_t> OpenSslPbkdf2(const std::vector<uint8_t>& password, const std::vector<uint8_t>& salt,
                                   int iterations, int length) {
    std::vector<uint8_t> out(static_cast<size_t>(length));
    EXPECT_EQ(PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                                     salt.data(), static_cast<int>(salt.size()), iterations, length, out.data()),
              1);
    return out;
}

std::vector<uint8_t> OpenSslSha1(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out(20);
    EVP_Digest(data.data(), data.size(), out.data(), nullptr, EVP_sha1(), nullptr);
    return out;
}

// PBKDF1 as the composition of OpenSSL digests.
std::vector<uint8_t> OpenSslPbkdf1(std::vector<uint8_t> password, const std::vector<uint8_t>& salt, int iterations) {
    password.insert(password.end(), salt.begin(), salt.end());
    auto t = OpenSslSha1(password);
    for (int k = 2; k <= iterations; ++k) t = OpenSslSha1(t);
    return t;
}

TEST(Pbkdf2, Rfc6070Vectors) {
    const struct {
        std::vector<uint8_t> password, salt;
        int iterations, length;
        const char* key;
    } cases[] = {
        {Bytes("password"), Bytes("salt"), 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {Bytes("password"), Bytes("salt"), 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {Bytes("password"), Bytes("salt"), 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {Bytes("passwordPASSWORDpassword"), Bytes("saltSALTsaltSALTsaltSALTsaltSALTsalt"), 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {Bytes(std::string_view("pass\0word", 9)), Bytes(std::string_view("sa\0lt", 5)), 4096, 16,
         "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToHex(Pbkdf2(c.password, c.salt, c.iterations, c.length)), c.key);
}

TEST(Pbkdf2, MatchesOpenSsl) {
    std::mt19937 rng(606);
    for (size_t password_length : {0, 1, 16, 64, 65, 100}) {
        for (int iterations : {1, 2, 3, 1000}) {
            for (int length : {1, 19, 20, 21, 40, 61}) {
                const auto password = test::SeededBytes(rng, password_length);
                const auto salt = test::SeededBytes(rng, rng() % 40);
                ASSERT_EQ(Pbkdf2(password, salt, iterations, length), OpenSslPbkdf2(password, salt, iterations, length))
                    << password_length << " " << iterations << " " << length;
            }
        }
    }
    // Counts below 2 are one iteration.
    const auto p = Bytes("pw"), s = Bytes("salt");
    EXPECT_EQ(Pbkdf2(p, s, 0, 20), Pbkdf2(p, s, 1, 20));
    EXPECT_EQ(Pbkdf2(p, s, -7, 20), Pbkdf2(p, s, 1, 20));
}

TEST(Pbkdf2, LengthEdges) {
    const auto p = Bytes("pw"), s = Bytes("salt");
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(PBKDF2_SHA1(p.data(), p.size(), s.data(), s.size(), 10, out, 0), 1);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(PBKDF2_SHA1(p.data(), p.size(), s.data(), s.size(), 10, out, -1), 0);
    EXPECT_EQ(PBKDF2_SHA1(nullptr, 2, s.data(), s.size(), 10, out, 4), 0);
}

TEST(Pbkdf1, MatchesIteratedSha1) {
    std::mt19937 rng(707);
    for (int iterations : {0, 1, 2, 5, 2048}) {
        const auto password = test::SeededBytes(rng, 1 + rng() % 70), salt = test::SeededBytes(rng, 8);
        uint8_t out[20];
        size_t length = 0;
        ASSERT_EQ(PBKDF1_SHA1(password.data(), password.size(), salt.data(), salt.size(), iterations, out, &length), 1);
        EXPECT_EQ(length, 20u);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 20), OpenSslPbkdf1(password, salt, iterations)) << iterations;
    }
}

struct PbeCall {
    std::vector<uint8_t> password = Bytes("qwer1234!"), salt = Hex("0102030405060708");
    int iterations = 2048;
    int result = 0;
    size_t length = 0xDEAD;

    std::vector<uint8_t> Run(bool encrypt, const std::vector<uint8_t>& in, int iv_mode) {
        std::vector<uint8_t> out(in.size() + 16);
        length = 0xDEAD;
        auto fn = encrypt ? PBE_SEED_Encrypt : PBE_SEED_Decrypt;
        result = fn(in.data(), in.size(), password.empty() ? nullptr : password.data(), password.size(),
                    salt.empty() ? nullptr : salt.data(), salt.size(), iterations, out.data(), &length, iv_mode);
        if (result != 1) return {};
        out.resize(length);
        return out;
    }
};

TEST(PbeSeed, MatchesOpenSslComposition) {
    std::mt19937 rng(808);
    for (int iv_mode : {kPbeIvFixed, kPbeIvDerived}) {
        for (size_t length : {0, 1, 15, 16, 17, 100, 300}) {
            PbeCall call;
            call.salt = test::SeededBytes(rng, 8);
            call.iterations = 1 + static_cast<int>(rng() % 50);
            const auto plain = test::SeededBytes(rng, length);
            const auto dk = OpenSslPbkdf1(call.password, call.salt, call.iterations);
            const std::vector<uint8_t> key(dk.begin(), dk.begin() + 16);
            std::vector<uint8_t> iv = Bytes("5820463917352804");
            if (iv_mode == kPbeIvDerived) {
                iv = OpenSslSha1({dk.begin() + 16, dk.end()});
                iv.resize(16);
            }
            const auto cipher = call.Run(true, plain, iv_mode);
            ASSERT_EQ(call.result, 1);
            EXPECT_EQ(cipher, test::OpenSslCbc("SEED-CBC", true, key, iv, plain)) << iv_mode << " " << length;
            EXPECT_EQ(call.Run(false, cipher, iv_mode), plain);
        }
    }
}

TEST(PbeSeed, OtherIvModeChangesOnlyTheFirstBlock) {
    PbeCall call;
    std::mt19937 rng(909);
    const auto plain = test::SeededBytes(rng, 40);
    const auto cipher = call.Run(true, plain, kPbeIvDerived);
    const auto other = call.Run(false, cipher, kPbeIvFixed);
    ASSERT_EQ(call.result, 1);
    ASSERT_EQ(other.size(), plain.size());
    EXPECT_NE(std::vector<uint8_t>(other.begin(), other.begin() + 16), std::vector<uint8_t>(plain.begin(), plain.begin() + 16));
    EXPECT_EQ(std::vector<uint8_t>(other.begin() + 16, other.end()), std::vector<uint8_t>(plain.begin() + 16, plain.end()));
}

TEST(PbeSeed, FailuresLeaveTheLengthUnset) {
    const struct {
        int iv_mode, iterations;
        bool password, salt;
    } cases[] = {
        {2, 10, true, true}, {-1, 10, true, true}, {kPbeIvDerived, 0, true, true},
        {kPbeIvDerived, -3, true, true}, {kPbeIvDerived, 10, false, true}, {kPbeIvDerived, 10, true, false},
    };
    for (const auto& c : cases) {
        for (bool encrypt : {true, false}) {
            PbeCall call;
            call.iterations = c.iterations;
            if (!c.password) call.password.clear();
            if (!c.salt) call.salt.clear();
            call.Run(encrypt, std::vector<uint8_t>(32, 7), c.iv_mode);
            EXPECT_EQ(call.result, 0) << c.iv_mode << " " << c.iterations;
            EXPECT_EQ(call.length, 0xDEADu);
        }
    }
    // A ciphertext that is not whole blocks does not decrypt.
    PbeCall call;
    call.Run(false, std::vector<uint8_t>(17, 1), kPbeIvFixed);
    EXPECT_EQ(call.result, 0);
}

TEST(Pbes2, DecryptsOpenSslCiphertextBySchemeNid) {
    std::mt19937 rng(111);
    const struct {
        int nid;
        const char* cipher;
    } schemes[] = {{NID_SEED_CBC, "SEED-CBC"}, {NID_OID_ARIA_CBC, "ARIA-128-CBC"}};
    for (const auto& scheme : schemes) {
        for (size_t length : {0, 5, 16, 33, 300}) {
            const auto password = Bytes("pa55word"), salt = test::SeededBytes(rng, 8), iv = test::SeededBytes(rng, 16);
            const auto plain = test::SeededBytes(rng, length);
            const auto key = OpenSslPbkdf2(password, salt, 2048, 16);
            const auto cipher = test::OpenSslCbc(scheme.cipher, true, key, iv, plain);
            std::vector<uint8_t> out(cipher.size());
            size_t out_length = 0;
            ASSERT_EQ(PBES2_Decrypt(cipher.data(), cipher.size(), password.data(), password.size(), salt.data(),
                                    salt.size(), 2048, out.data(), &out_length, iv.data(), scheme.nid),
                      1);
            out.resize(out_length);
            EXPECT_EQ(out, plain) << scheme.cipher << " " << length;
        }
    }
}

TEST(Pbes2, RefusesOtherSchemesAndMissingInputs) {
    const auto password = Bytes("pw"), salt = Bytes("12345678"), iv = std::vector<uint8_t>(16, 1);
    const std::vector<uint8_t> cipher(32, 0x42);
    std::vector<uint8_t> out(32, 0xEE);
    const struct {
        int nid, iterations;
        bool password, salt, iv;
    } cases[] = {
        {NID_PBE_WITH_SHA1_AND_SEED_CBC, 10, true, true, true},
        {NID_PBES2, 10, true, true, true},
        {0, 10, true, true, true},
        {NID_SEED_CBC, 0, true, true, true},
        {NID_SEED_CBC, 10, false, true, true},
        {NID_SEED_CBC, 10, true, false, true},
        {NID_SEED_CBC, 10, true, true, false},
        {NID_OID_ARIA_CBC, 10, true, true, false},
    };
    for (const auto& c : cases) {
        size_t length = 0xDEAD;
        EXPECT_EQ(PBES2_Decrypt(cipher.data(), cipher.size(), c.password ? password.data() : nullptr, password.size(),
                                c.salt ? salt.data() : nullptr, salt.size(), c.iterations, out.data(), &length,
                                c.iv ? iv.data() : nullptr, c.nid),
                  0)
            << c.nid;
        EXPECT_EQ(length, 0xDEADu);
    }
    // Refused schemes decrypt nothing.
    EXPECT_EQ(out, std::vector<uint8_t>(32, 0xEE));
}

TEST(Pbe, AllocationFailuresLeakNothing) {
    const auto password = Bytes("pw"), salt = Bytes("12345678"), plain = Bytes("secret"), iv = std::vector<uint8_t>(16, 3);
    std::vector<uint8_t> out(64);
    for (int mode : {kPbeIvFixed, kPbeIvDerived}) {
        test::WalkAllocationFailures(
            [&] {
                size_t length = 0;
                return PBE_SEED_Encrypt(plain.data(), plain.size(), password.data(), password.size(), salt.data(),
                                        salt.size(), 3, out.data(), &length, mode);
            },
            [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
    }
    const auto key = OpenSslPbkdf2(password, salt, 3, 16);
    const auto cipher = test::OpenSslCbc("ARIA-128-CBC", true, key, iv, plain);
    test::WalkAllocationFailures(
        [&] {
            size_t length = 0;
            return PBES2_Decrypt(cipher.data(), cipher.size(), password.data(), password.size(), salt.data(),
                                 salt.size(), 3, out.data(), &length, iv.data(), NID_OID_ARIA_CBC);
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1); });
}

}  // namespace
}  // namespace quillon
