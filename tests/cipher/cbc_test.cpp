#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "asn1/object_table.h"
#include "cipher/aria.h"
#include "cipher/hmac.h"
#include "cipher/openssl_oracle.h"
#include "cipher/kdf.h"
#include "cipher/pbe.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/random_bytes.h"

namespace quillon {
namespace {

using namespace test;

struct Cbc {
    const char* name;
    int bits;  // 0: SEED, otherwise ARIA with that key size
};

Buffer OneShot(const Cbc& c, uint32_t dir, const Buffer& key, const Buffer& iv, const Buffer& in, int expect = 1) {
    Buffer out(in.size() + 16);
    size_t length = 12345;
    EXPECT_EQ(c.bits ? ARIA_CBC_Crypt(dir, key.data(), c.bits, iv.data(), in.data(), in.size(), out.data(), &length)
                     : SEED_CBC_Crypt(dir, key.data(), iv.data(), in.data(), in.size(), out.data(), &length),
              expect);
    out.resize(expect == 1 ? length : 0);
    if (expect != 1) { EXPECT_EQ(length, 12345u) << "output length written on failure"; }
    return out;
}

TEST(BlockCiphers, StandardVectors) {
    const std::string aria_key = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                      aria_plain = "00112233445566778899aabbccddeeff";
    const std::tuple<int, std::string, std::string, const char*> cases[] = {
        {0, "00000000000000000000000000000000", "000102030405060708090a0b0c0d0e0f", "5ebac6e0054e166819aff1cc6d346cdb"},
        {0, "4706480851e61be85d74bfb3fd956185", "83a2f8a288641fb9a4e9a5cc2f131c7d", "ee54d13ebcae706d226bc3142cd40d4a"},
        {128, aria_key, aria_plain, "d718fbd6ab644c739da95f3be6451778"},
        {192, aria_key, aria_plain, "26449c1805dbe7aa25a468ce263a9e79"},
        {256, aria_key, aria_plain, "f92bd7c79fb72e2f2b8f80c1972d24fc"}};
    for (const auto& [bits, key_hex, plain, cipher] : cases) {
        const Buffer key = Hex(key_hex);
        Buffer block = Hex(plain), back(16);
        if (bits == 0) {
            uint32_t rk[32];
            ASSERT_EQ(SEED_KeySchedule(key.data(), rk), 1);
            SEED_EncryptBlock(block.data(), block.data(), rk);
            SEED_DecryptBlock(block.data(), back.data(), rk);
        } else {
            uint8_t enc[17][16], dec[17][16];
            const int rounds = ARIA_EncKeySetup(key.data(), enc[0], bits);
            ASSERT_EQ(ARIA_DecKeySetup(key.data(), dec[0], bits), rounds);
            ARIA_Crypt(block.data(), rounds, enc[0], block.data());
            ARIA_Crypt(block.data(), rounds, dec[0], back.data());
        }
        EXPECT_EQ(ToHex(block), cipher);
        EXPECT_EQ(ToHex(back), plain);
        // The CBC path has its own tables: under a zero IV its first block is the same.
        EXPECT_EQ(ToHex(OneShot({"", bits}, 1, key, Buffer(16), Hex(plain))).substr(0, 32), cipher);
    }
}

TEST(BlockCiphers, RefusalsDefaultsAndReinitialisingFromOwnFields) {
    const Buffer key = Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    uint8_t buffer[64] = {}, rk[17 * 16];
    size_t length = 7;
    SeedCbcContext seed, fresh;
    AriaCbcContext aria;
    EXPECT_EQ(ARIA_CBC_Init(&aria, 1, key.data(), 128, nullptr), 0) << "ARIA needs an IV";
    ASSERT_EQ(SEED_CBC_Init(&seed, kDecrypt, key.data(), key.data() + 16), 1);
    ASSERT_EQ(ARIA_CBC_Init(&aria, 1, key.data(), 128, key.data()), 1);
    EXPECT_EQ(SEED_CBC_Blocks(&seed, buffer, buffer, 20) + ARIA_CBC_Blocks(&aria, buffer, buffer, 8), 0) << "partial";
    std::memset(rk, 0xAB, sizeof rk);
    for (int bits : {0, 64, 127, 129, 320, -128}) {  // refused, and no round key written
        EXPECT_EQ(ARIA_EncKeySetup(key.data(), rk, bits) + ARIA_DecKeySetup(key.data(), rk, bits), 0) << bits;
    }
    EXPECT_EQ(Buffer(rk, rk + sizeof rk), Buffer(sizeof rk, 0xAB));
    // SEED's IV defaults to zeros, and an empty message may come without a pointer.
    EXPECT_EQ(SEED_CBC_Crypt(kEncrypt, key.data(), nullptr, nullptr, 0, buffer, &length), 1);
    EXPECT_EQ(Buffer(buffer, buffer + length), OpenSslCbc("SEED-CBC", true, key, Buffer(16), {}));
    // The exports re-initialise a context from the key and IV it already holds.
    ASSERT_EQ(SEED_CBC_Init(&fresh, kEncrypt, key.data(), key.data() + 16), 1);
    SEED_CBC_Blocks(&seed, buffer, buffer, 32);
    ASSERT_EQ(SEED_CBC_Init(&seed, kEncrypt, seed.key, seed.iv), 1);
    EXPECT_EQ(std::memcmp(&fresh, &seed, sizeof seed), 0);
}

struct Record : BINSTR {
    Record() { BINSTR_Create(this); }
    explicit Record(const Buffer& b) : Record() { BINSTR_SetData(Ptr(b), static_cast<uint32_t>(b.size()), this); }
    ~Record() { BINSTR_Delete(this); }
    Buffer bytes() const { return data ? Buffer(data, data + length) : Buffer{}; }
};

// Every allocation of every one-shot operation fails in turn: its failure code, nothing leaked.
TEST(CipherAllocation, FailuresGiveTheirCodesWithoutLeaks) {
    const Buffer key(80, 0xaa), iv(16, 3), salt = Text("saltsalt");
    uint8_t dk[16], aria[16], out[96];
    size_t n = 0;
    ASSERT_EQ(PBKDF2_SHA1(key.data(), 80, salt.data(), 8, 3, dk, 16) +
                  ARIA_CBC_Crypt(1, dk, 128, iv.data(), salt.data(), 8, aria, &n), 2);
    SeedCbcContext ctx;
    Record k(Buffer(16, 3)), v(iv), plain(Buffer(50, 'p')), cipher;
    ASSERT_EQ(CRYPT_SetKeyAndIV(&ctx, &k, &v) + CRYPT_Encrypt(&ctx, &plain, &cipher), 2 * QC_OK);
    const std::pair<std::function<int()>, int> operations[] = {
        {[&] { return static_cast<int>(SHA1_Digest(key.data(), 80, out)); }, 0},
        {[&] { return HMAC_SHA1(key.data(), 80, salt.data(), 8, out); }, 0},
        {[&] { return SEED_CBC_Crypt(kEncrypt, key.data(), nullptr, key.data(), 80, out, &n); }, 0},
        {[&] { return ARIA_CBC_Crypt(1, key.data(), 128, iv.data(), key.data(), 80, out, &n); }, 0},
        {[&] { return PBE_SEED_Encrypt(salt.data(), 8, key.data(), 80, salt.data(), 8, 3, out, &n, kPbeIvFixed); }, 0},
        {[&] { return PBE_SEED_Encrypt(salt.data(), 8, key.data(), 80, salt.data(), 8, 3, out, &n, kPbeIvDerived); }, 0},
        {[&] { return PBES2_Decrypt(aria, 16, key.data(), 80, salt.data(), 8, 3, out, &n, iv.data(), NID_OID_ARIA_CBC); }, 0},
        {[&] { Record r; return CRYPT_Encrypt(&ctx, &plain, &r); }, QC_ERR_ALLOC},
        {[&] { Record r; return CRYPT_Decrypt(&ctx, &cipher, &r); }, QC_ERR_ALLOC},
        {[&] {  // a failed draw leaves the context as it was
             SeedCbcContext copy = ctx;
             const int r = CRYPT_GenKeyAndIV(&copy);
             if (r != QC_OK) { EXPECT_EQ(std::memcmp(&copy, &ctx, sizeof ctx), 0); }
             return r;
         }, QC_ERR_RANDOM}};
    for (const auto& [operation, code] : operations) {
        WalkAllocationFailures(operation, [c = code](bool fired, int result) { EXPECT_EQ(result, fired ? c : 1); });
    }
}

}  // namespace
}  // namespace quillon
