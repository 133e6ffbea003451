// Constant-time check, run under valgrind's memcheck: the private key's numbers, a secret
// exponent, and an AES key with its data are marked undefined, so any branch or memory index that
// depends on them is reported as a use of an uninitialised value. The library is built for it with QUILLON_CT_CHECK, which
// marks defined only what the caller is told anyway (success, message length, a prime's parity).
// The plainest way to read the fixture key is the deprecated RSA-level API.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <valgrind/memcheck.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "bignum/bignum.h"
#include "bignum/bn_mont.h"
#include "cipher/aes.h"
#include "core/mem.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace {

using namespace quillon;
using Buffer = std::vector<uint8_t>;

Buffer ReadFixture(const char* name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/rsa/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

BigNum* FromBn(const BIGNUM* b) {
    Buffer bytes(BN_num_bytes(b));
    BN_bn2bin(b, bytes.data());
    return BIGNUM_FromBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr);
}

void Secret(const BigNum* a) { VALGRIND_MAKE_MEM_UNDEFINED(a->words, sizeof(uint32_t) * a->used); }

int failures = 0;

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

void CheckRsa() {
    const Buffer pem = ReadFixture("key_2048_e3.pem");
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    RSA* rsa = PEM_read_bio_RSAPrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    BigNum* parts[8] = {FromBn(RSA_get0_n(rsa)),    FromBn(RSA_get0_e(rsa)),    FromBn(RSA_get0_d(rsa)),
                        FromBn(RSA_get0_p(rsa)),    FromBn(RSA_get0_q(rsa)),    FromBn(RSA_get0_dmp1(rsa)),
                        FromBn(RSA_get0_dmq1(rsa)), FromBn(RSA_get0_iqmp(rsa))};
    RSA_free(rsa);
    RsaKey* key = RSAKEY_New();
    Expect(RSAKEY_SetComponents(key, parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6], parts[7]) == 1,
           "key");
    for (BigNum* b : parts) BIGNUM_Free(b);
    for (const BigNum* b : {key->d, key->p, key->q, key->dP, key->dQ, key->qInv}) Secret(b);

    const Buffer message = ReadFixture("message.bin");
    const struct {
        const char* file;
        int mode;
    } cases[] = {{"pkcs1_2048_e3.bin", kRsaPkcs1Padding}, {"oaep_2048_e3.bin", kRsaOaepPadding}};
    for (const auto& c : cases) {
        const Buffer cipher = ReadFixture(c.file);
        Buffer out(256);
        uint32_t len = 0;
        const int r = RSA_PrivateDecrypt(key, out.data(), &len, cipher.data(), static_cast<uint32_t>(cipher.size()), c.mode);
        VALGRIND_MAKE_MEM_DEFINED(out.data(), out.size());
        out.resize(r > 0 ? len : 0);
        Expect(out == message, c.file);
    }
    // Without the CRT numbers the private exponent d is used directly.
    RsaKey* plain = RSAKEY_New();
    VALGRIND_MAKE_MEM_DEFINED(key->d->words, sizeof(uint32_t) * key->d->used);
    Expect(RSAKEY_SetComponents(plain, key->n, key->e, key->d, nullptr, nullptr, nullptr, nullptr, nullptr) == 1, "d key");
    Secret(plain->d);
    const Buffer cipher = ReadFixture("pkcs1_2048_e3.bin");
    Buffer out(256);
    uint32_t len = 0;
    const int r = RSA_PrivateDecrypt(plain, out.data(), &len, cipher.data(), static_cast<uint32_t>(cipher.size()),
                                     kRsaPkcs1Padding);
    VALGRIND_MAKE_MEM_DEFINED(out.data(), out.size());
    out.resize(r > 0 ? len : 0);
    Expect(out == message, "decryption with d");
    RSAKEY_Free(plain);
    RSAKEY_Free(key);
}

// A fixed-window exponentiation with a secret odd modulus, base and exponent, against the
// sliding window on the same (then public) values.
void CheckModExp() {
    std::vector<uint8_t> bytes(128);
    uint32_t x = 12345;
    for (auto& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 16);
    bytes[0] |= 0x80;
    bytes[127] |= 1;
    BigNum* m = BIGNUM_FromBytes(bytes.data(), 128, nullptr);
    bytes[0] &= 0x7F;
    BigNum* a = BIGNUM_FromBytes(bytes.data(), 128, nullptr);
    bytes[5] ^= 0x5A;
    BigNum* p = BIGNUM_FromBytes(bytes.data(), 128, nullptr);
    BigNum* want = BIGNUM_New();
    BigNumMont* pub = BIGNUM_MONT_New(m, false);
    Expect(BIGNUM_ModExpMont(want, a, p, pub) == 1, "sliding window");
    BIGNUM_MONT_Free(pub);

    const int n = (m->used + kWordsPerLimb - 1) / kWordsPerLimb;
    std::vector<Limb> la(n), lp(n), base(n), r(n), scratch(MONT_ExpSecretScratchLimbs(n)), lw(n);
    LIMBS_FromBigNum(la.data(), n, a);
    LIMBS_FromBigNum(lp.data(), n, p);
    LIMBS_FromBigNum(lw.data(), n, want);
    Secret(m);
    VALGRIND_MAKE_MEM_UNDEFINED(la.data(), sizeof(Limb) * n);
    VALGRIND_MAKE_MEM_UNDEFINED(lp.data(), sizeof(Limb) * n);
    BigNumMont* mont = BIGNUM_MONT_New(m, true);
    MONT_ToMont(mont, base.data(), la.data(), n, scratch.data());
    MONT_ExpSecret(mont, r.data(), base.data(), lp.data(), n, scratch.data());
    MONT_FromMont(mont, r.data(), r.data(), scratch.data());
    VALGRIND_MAKE_MEM_DEFINED(r.data(), sizeof(Limb) * n);
    Expect(r == lw, "fixed window");
    BIGNUM_MONT_Free(mont);
    for (BigNum* b : {m, a, p, want}) BIGNUM_Free(b);
}

// AES on the bitsliced path (the one a CPU without AES-NI runs): key expansion, padded encryption
// and whole-block decryption with the key and the data secret, against OpenSSL. Padded decryption
// is left out: reading the pad count off the plaintext is what removing padding means.
void CheckAes() {
    constexpr uint32_t kEncrypt = 1, kDecrypt = 0;
    AesForcePortable(true);
    for (int bits : {128, 192, 256}) {
        uint8_t key[32], iv[16], plain[80];
        for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(0x5A ^ (i * 37) ^ bits);
        for (int i = 0; i < 16; ++i) iv[i] = static_cast<uint8_t>(i * 11);
        for (int i = 0; i < 80; ++i) plain[i] = static_cast<uint8_t>(i * 101 + bits);
        const EVP_CIPHER* cipher = bits == 128 ? EVP_aes_128_cbc() : bits == 192 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
        Buffer want(96);
        int n1 = 0, n2 = 0;
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex2(ctx, cipher, key, iv, nullptr);
        EVP_EncryptUpdate(ctx, want.data(), &n1, plain, sizeof plain);
        EVP_EncryptFinal_ex(ctx, want.data() + n1, &n2);
        EVP_CIPHER_CTX_free(ctx);

        VALGRIND_MAKE_MEM_UNDEFINED(key, sizeof key);
        VALGRIND_MAKE_MEM_UNDEFINED(plain, sizeof plain);
        Buffer out(96);
        size_t length = 0;
        Expect(AES_CBC_Crypt(kEncrypt, key, bits, iv, plain, sizeof plain, out.data(), &length) == 1 && length == 96,
               "AES encryption");
        VALGRIND_MAKE_MEM_DEFINED(out.data(), out.size());
        Expect(out == want, "AES ciphertext");

        Buffer secret_cipher = want;
        VALGRIND_MAKE_MEM_UNDEFINED(secret_cipher.data(), secret_cipher.size());
        AesCbcContext context;
        Expect(AES_CBC_Init(&context, kDecrypt, key, bits, iv) == 1, "AES decryption key");
        Expect(AES_CBC_Blocks(&context, secret_cipher.data(), secret_cipher.data(), secret_cipher.size()) == 1,
               "AES decryption");
        VALGRIND_MAKE_MEM_DEFINED(secret_cipher.data(), secret_cipher.size());
        VALGRIND_MAKE_MEM_DEFINED(plain, sizeof plain);
        Expect(std::equal(plain, plain + sizeof plain, secret_cipher.begin()), "AES plaintext");
        MEM_Wipe(&context, sizeof context);
    }
    AesForcePortable(false);
}

}  // namespace

int main() {
    CheckRsa();
    CheckModExp();
    CheckAes();
    const unsigned errors = VALGRIND_COUNT_ERRORS;
    std::printf("%s: %d failed checks, %u memcheck errors\n", RUNNING_ON_VALGRIND ? "valgrind" : "native", failures,
                errors);
    return failures == 0 && errors == 0 ? 0 : 1;
}
