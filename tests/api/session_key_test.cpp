// DecryptSessionKeyWithPEMKey and the keyboard exports against OpenSSL's OAEP and SEED-CBC.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstring>
#include <string>
#include <vector>

#include "cipher/openssl_oracle.h"
#include "quilloncrypto.h"
#include "support/pkcs8_fixtures.h"

namespace {

using namespace quillon::test;
using Bytes = std::vector<uint8_t>;

Bytes OaepTo(EVP_PKEY* pkey, const Bytes& message) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(pkey, nullptr);
    size_t length = 0;
    EXPECT_EQ(EVP_PKEY_encrypt_init(ctx), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING), 1);  // SHA-1, MGF1-SHA-1, no label
    EXPECT_EQ(EVP_PKEY_encrypt(ctx, nullptr, &length, message.data(), message.size()), 1);
    Bytes out(length);
    EXPECT_EQ(EVP_PKEY_encrypt(ctx, out.data(), &length, message.data(), message.size()), 1);
    out.resize(length);
    EVP_PKEY_CTX_free(ctx);
    return out;
}

// Base64 by OpenSSL, broken into CR LF lines of 64 characters.
std::string Base64Text(const Bytes& der) {
    std::string flat(4 * ((der.size() + 2) / 3) + 1, '\0');
    flat.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(flat.data()), der.data(),
                                                    static_cast<int>(der.size()))));
    std::string text;
    for (size_t i = 0; i < flat.size(); i += 64) text += flat.substr(i, 64) + "\r\n";
    return text;
}

struct PemKeyTest : ::testing::Test {
    static EVP_PKEY* user;
    static void SetUpTestSuite() {
        FILE* f = std::fopen((std::string(QUILLON_FIXTURES) + "/certs/keys/user.key.pem").c_str(), "r");
        ASSERT_NE(f, nullptr);
        user = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
        std::fclose(f);
        ASSERT_NE(user, nullptr);
    }
    static void TearDownTestSuite() { EVP_PKEY_free(user); }
    const Bytes session = Hex("00112233445566778899aabbccddeeff0123456789abcdef");

    int32_t Decrypt(const std::string& text, const char* password, const Bytes& ciphertext, Bytes* out) {
        return DecryptSessionKeyWithPEMKey(text.data(), static_cast<uint32_t>(text.size()), password,
                                           ciphertext.data(), static_cast<uint32_t>(ciphertext.size()), out->data());
    }
};
EVP_PKEY* PemKeyTest::user = nullptr;

TEST_F(PemKeyTest, FailuresLeaveTheOutputAlone) {
    const std::string text = Base64Text(ReadPkcs8("pbes2_seed.der"));
    Bytes ciphertext = OaepTo(user, session);
    Bytes flipped = ciphertext;
    flipped[100] ^= 1;
    const Bytes largest(QC_SESSION_KEY_MAX, 0x5A);
    struct Case {
        const char* name;
        std::string text;
        const char* password;
        Bytes ciphertext;
        int32_t code;
    } cases[] = {
        {"null password", text, nullptr, ciphertext, 0},
        {"wrong password", text, "not-the-password", ciphertext, QC_ERR_DECRYPT_KEY},
        {"empty password", text, "", ciphertext, QC_ERR_DECRYPT_KEY},
        {"not Base64", "***\r\n", kKeyPassword, ciphertext, 0},
        {"Base64 of something else", "AAEC", kKeyPassword, ciphertext, QC_ERR_MALFORMED_DER},
        {"damaged ciphertext", text, kKeyPassword, flipped, 0},
        {"short ciphertext", text, kKeyPassword, Bytes(ciphertext.begin(), ciphertext.begin() + 5), 0},
        {"largest session key", text, kKeyPassword, OaepTo(user, largest), 1},
    };
    for (const Case& c : cases) {
        Bytes out(QC_SESSION_KEY_MAX, 0xEE);
        EXPECT_EQ(Decrypt(c.text, c.password, c.ciphertext, &out), c.code) << c.name;
        EXPECT_EQ(out, c.code == 1 ? largest : Bytes(QC_SESSION_KEY_MAX, 0xEE)) << c.name;
    }
}

struct KeyboardTest : ::testing::Test {
    const Bytes key = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes iv = Hex("f0e0d0c0b0a090807060504030201000");
    // Messages of 1 to 15 bytes, each beginning with its keystroke.
    std::string typed = "abcXYZ0129-+ @~";
    std::vector<Bytes> blocks;
    void SetUp() override {
        for (size_t i = 0; i < typed.size(); ++i) {
            Bytes message(i + 1, static_cast<uint8_t>('.'));
            message[0] = static_cast<uint8_t>(typed[i]);
            blocks.push_back(OpenSslCbc("SEED-CBC", true, key, iv, message));
            EXPECT_EQ(blocks.back().size(), 16u);
        }
    }
    std::vector<BINSTR> Records() {
        std::vector<BINSTR> r;
        for (Bytes& b : blocks) r.push_back(BINSTR{b.data(), static_cast<uint32_t>(b.size())});
        return r;
    }
    int32_t Decode(const Bytes& k, const Bytes& v, Bytes* out) {
        std::vector<BINSTR> r = Records();
        BINSTR kr{const_cast<uint8_t*>(k.data()), static_cast<uint32_t>(k.size())};
        BINSTR vr{const_cast<uint8_t*>(v.data()), static_cast<uint32_t>(v.size())};
        return DecodeCertKeyboard(r.data(), static_cast<int32_t>(r.size()), &kr, &vr, out->data());
    }
    int32_t Packed(Bytes* out) {
        Bytes key_iv = key, all;
        key_iv.insert(key_iv.end(), iv.begin(), iv.end());
        for (const Bytes& b : blocks) all.insert(all.end(), b.begin(), b.end());
        return DecryptCBCKeyWithSessionKey(key_iv.data(), all.data(), 0x7777, out->data(),
                                           static_cast<int32_t>(blocks.size()));
    }
};

TEST_F(KeyboardTest, RefusalsAndUndecryptableBlocksWriteNothing) {
    Bytes bad_pad(16, 0x41);
    bad_pad[15] = 0x20;  // a pad length above the block
    const Bytes undecryptable = OpenSslCbc("SEED-CBC", true, key, iv, bad_pad, false);
    const Bytes short_key(key.begin(), key.begin() + 15), short_iv(iv.begin(), iv.begin() + 15);
    Bytes out(typed.size(), '#');
    EXPECT_EQ(Decode(short_key, iv, &out), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(Decode(key, short_iv, &out), QC_ERR_NULL_ARGUMENT);
    BINSTR kr{const_cast<uint8_t*>(key.data()), 16}, vr{const_cast<uint8_t*>(iv.data()), 16};
    std::vector<BINSTR> r = Records();
    EXPECT_EQ(DecodeCertKeyboard(r.data(), 0, &kr, &vr, out.data()), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(DecodeCertKeyboard(nullptr, 1, &kr, &vr, out.data()), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(DecodeCertKeyboard(r.data(), 1, &kr, &vr, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(DecryptCBCKeyWithSessionKey(key.data(), blocks[0].data(), 0, out.data(), 0), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(DecryptCBCKeyWithSessionKey(nullptr, blocks[0].data(), 0, out.data(), 1), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(out, Bytes(typed.size(), '#'));
    for (const Bytes& broken : {undecryptable, Bytes(blocks[4].begin(), blocks[4].begin() + 15), Bytes()}) {
        blocks[4] = broken;
        EXPECT_EQ(Decode(key, iv, &out), QC_ERR_DECRYPT);
        EXPECT_EQ(out, Bytes(typed.size(), '#'));
    }
    blocks[4] = undecryptable;
    EXPECT_EQ(Packed(&out), QC_ERR_DECRYPT);
    EXPECT_EQ(out, Bytes(typed.size(), '#'));
}

}  // namespace
