#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "cipher/des.h"
#include "cipher/openssl_oracle.h"
#include "cipher/rc2.h"
#include "cipher/seed.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;

// One configuration: DES-EDE3, or RC2 with a key size and effective bits (0: drawn per case).
struct Legacy {
    const char* name;
    size_t key_size;
    int bits;
};

bool IsDes(const Legacy& c) { return c.bits < 0; }

// OpenSSL's CBC with the key length and RC2 effective bits set before the key.
Buffer Theirs(const Legacy& c, bool encrypt, const Buffer& key, int bits, const Buffer& iv, const Buffer& in,
              bool padding = true) {
    // Read on every call, so the handles stay reachable (a leak checker would flag them otherwise).
    static OSSL_PROVIDER* providers[] = {OSSL_PROVIDER_load(nullptr, "legacy"), OSSL_PROVIDER_load(nullptr, "default")};
    EXPECT_TRUE(providers[0] && providers[1]);
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, IsDes(c) ? "DES-EDE3-CBC" : "RC2-CBC", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Buffer out(in.size() + 16);
    int n1 = 0, n2 = 0;
    EXPECT_TRUE(EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, encrypt, nullptr) &&
                (IsDes(c) || (EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) &&
                              EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, bits, nullptr))) &&
                EVP_CipherInit_ex2(ctx, nullptr, key.data(), iv.data(), encrypt, nullptr) &&
                EVP_CIPHER_CTX_set_padding(ctx, padding) &&
                EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) &&
                EVP_CipherFinal_ex(ctx, out.data() + n1, &n2))
        << c.name;
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
}

// Either context behind one face.
struct Ours {
    const Legacy& c;
    DesEde3CbcContext des;
    Rc2CbcContext rc2;
    int Init(uint32_t direction, const uint8_t* key, size_t key_length, int bits, const uint8_t* iv) {
        return IsDes(c) ? DES_EDE3_CBC_Init(&des, direction, key, key_length, iv)
                        : RC2_CBC_Init(&rc2, direction, key, key_length, bits, iv);
    }
    int Blocks(uint8_t* out, const uint8_t* in, size_t length) {
        return IsDes(c) ? DES_EDE3_CBC_Blocks(&des, out, in, length) : RC2_CBC_Blocks(&rc2, out, in, length);
    }
    int Padded(uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
        return IsDes(c) ? DES_EDE3_CBC_Padded(&des, out, out_length, in, length)
                        : RC2_CBC_Padded(&rc2, out, out_length, in, length);
    }
};

int Crypt(const Legacy& c, uint32_t direction, const uint8_t* key, size_t key_length, int bits, const uint8_t* iv,
          const uint8_t* in, size_t length, uint8_t* out, size_t* out_length) {
    return IsDes(c) ? DES_EDE3_CBC_Crypt(direction, key, key_length, iv, in, length, out, out_length)
                    : RC2_CBC_Crypt(direction, key, key_length, bits, iv, in, length, out, out_length);
}

// The one-shot in place (the buffer holds the result); the output length is left alone on failure.
Buffer OneShot(const Legacy& c, uint32_t direction, const Buffer& key, int bits, const Buffer& iv, Buffer data,
               int expect = 1) {
    const size_t length = data.size();
    data.resize(length + 8);
    size_t produced = 12345;
    EXPECT_EQ(Crypt(c, direction, key.data(), key.size(), bits, iv.data(), data.data(), length, data.data(), &produced),
              expect);
    if (expect != 1) { EXPECT_EQ(produced, 12345u) << "output length written on failure"; }
    data.resize(expect == 1 ? produced : 0);
    return data;
}

class DesRc2Cbc : public ::testing::TestWithParam<Legacy> {};
INSTANTIATE_TEST_SUITE_P(DesRc2, DesRc2Cbc,
                         ::testing::Values(Legacy{"DesEde3", 24, -1}, Legacy{"Rc2Bits40", 5, 40},
                                           Legacy{"Rc2Bits64", 8, 64}, Legacy{"Rc2Bits128", 16, 128},
                                           Legacy{"Rc2AnyKey", 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(DesRc2Cbc, Refusals) {
    const Legacy c = GetParam();
    const size_t good = c.key_size ? c.key_size : 128;
    const int bits = c.bits ? c.bits : 1024;
    const Buffer key(129, 0x11), iv(8, 0x22);
    uint8_t buffer[32] = {};
    size_t length = 7;
    Ours ours{c, {}, {}};
    EXPECT_EQ(ours.Blocks(buffer, buffer, 8), 0) << "never initialised";
    const std::vector<size_t> bad_lengths = IsDes(c) ? std::vector<size_t>{0, 8, 16, 23, 25, 32}
                                                     : std::vector<size_t>{0, 129, SIZE_MAX};
    for (size_t bad : bad_lengths) EXPECT_EQ(ours.Init(kEncrypt, key.data(), bad, bits, iv.data()), 0) << bad;
    if (!IsDes(c)) {
        for (int bad_bits : {0, -40, 1025}) EXPECT_EQ(ours.Init(kEncrypt, key.data(), good, bad_bits, iv.data()), 0);
        EXPECT_EQ(ours.Init(kEncrypt, key.data(), 1, 1, iv.data()), 1) << "smallest key and effective bits";
    }
    EXPECT_EQ(ours.Init(kEncrypt, nullptr, good, bits, iv.data()) + ours.Init(kEncrypt, key.data(), good, bits, nullptr) +
                  ours.Init(2, key.data(), good, bits, iv.data()),
              0);
    // A failed init leaves no usable context behind, even over a good one.
    ASSERT_EQ(ours.Init(kDecrypt, key.data(), good, bits, iv.data()), 1);
    EXPECT_EQ(ours.Blocks(buffer, buffer, 4) + ours.Blocks(buffer, buffer, 12) + ours.Blocks(nullptr, buffer, 8) +
                  ours.Blocks(buffer, nullptr, 8),
              0);
    EXPECT_EQ(ours.Blocks(buffer, buffer, 0), 1);
    EXPECT_EQ(ours.Padded(nullptr, &length, buffer, 8) + ours.Padded(buffer, nullptr, buffer, 8), 0);
    EXPECT_EQ(ours.Init(kDecrypt, key.data(), good, bits, nullptr), 0);
    EXPECT_EQ(ours.Blocks(buffer, buffer, 8), 0) << "used after a failed init";
    // An empty message encrypts to one block of padding and may come without a pointer.
    ASSERT_EQ(ours.Init(kEncrypt, key.data(), good, bits, iv.data()), 1);
    EXPECT_EQ(ours.Padded(buffer, &length, nullptr, 0), 1);
    EXPECT_EQ(Buffer(buffer, buffer + length), Theirs(c, true, Buffer(key.begin(), key.begin() + good), bits, iv, {}));
    EXPECT_EQ(ours.Padded(buffer, &length, nullptr, 8), 0);
    // The one-shot refuses what init refuses, writing nothing.
    const Buffer wrong(IsDes(c) ? 16 : 129, 0x11);
    OneShot(c, kEncrypt, wrong, bits, iv, Buffer(8, 1), 0);
}

}  // namespace
}  // namespace quillon
