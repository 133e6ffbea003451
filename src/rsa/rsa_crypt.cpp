// RSA public and private operations with PKCS#1 v1.5 type 2 padding and OAEP unpadding.
#include "rsa/rsa_crypt.h"

#include <cstring>

#include "core/mem.h"
#include "bignum/bignum.h"
#include "cipher/random.h"
#include "cipher/sha1.h"
#include "rsa/rsa_key.h"

namespace quillon {

namespace {

constexpr uint32_t kPkcs1Overhead = 11;   // 00 02, at least 8 filler bytes, 00
constexpr uint32_t kOaepModulusBits = 2048;
constexpr uint32_t kOaepEncodedSize = 255;  // the encoded message without its leading zero byte
constexpr uint32_t kOaepSeedSize = 20;
constexpr uint32_t kOaepBlockSize = kOaepEncodedSize - kOaepSeedSize;

// A MEM_* buffer that is wiped before release: padded blocks hold plaintext.
class SecretBlock {
public:
    explicit SecretBlock(size_t size) : data_(static_cast<uint8_t*>(MEM_Calloc(size ? size : 1, 1))), size_(size) {}
    ~SecretBlock() {
        if (data_) MEM_Wipe(data_, size_);
        MEM_Free(data_);
    }
    SecretBlock(const SecretBlock&) = delete;
    SecretBlock& operator=(const SecretBlock&) = delete;
    uint8_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_;
    size_t size_;
};

uint32_t ModulusBytes(const RsaKey* key) { return (static_cast<uint32_t>(BIGNUM_NumBits(key->n)) + 7) / 8; }

BigNumContext* ContextFor(const RsaKey* key, BigNumContextPtr& own) {
    if (key->ctx) return key->ctx;
    own.reset(BIGNUM_CTX_New());
    return own.get();
}

bool HasCrt(const RsaKey* key) { return key->p && key->q && key->dP && key->dQ && key->qInv; }

// m = c^d mod n by the CRT numbers.
bool CrtPrivate(const RsaKey* key, BigNum* m, const BigNum* c, BigNumContext* ctx) {
    BigNumPtr m1(BIGNUM_New()), m2(BIGNUM_New()), t(BIGNUM_New());
    if (!m1 || !m2 || !t) return false;
    if (!BIGNUM_Div(nullptr, t.get(), c, key->q, ctx) || !BIGNUM_ModExp(m2.get(), t.get(), key->dQ, key->q, ctx) ||
        !BIGNUM_Div(nullptr, t.get(), c, key->p, ctx) || !BIGNUM_ModExp(m1.get(), t.get(), key->dP, key->p, ctx)) {
        return false;
    }
    // m2 is reduced mod p first, so an imported key with q > p cannot underflow the subtraction.
    if (!BIGNUM_Div(nullptr, t.get(), m2.get(), key->p, ctx)) return false;
    if (BIGNUM_Cmp(m1.get(), t.get()) < 0 && !BIGNUM_Add(m1.get(), m1.get(), key->p)) return false;
    return BIGNUM_Sub(m1.get(), m1.get(), t.get()) && BIGNUM_ModMul(m1.get(), m1.get(), key->qInv, key->p, ctx) &&
           BIGNUM_Mul(m, m1.get(), key->q, ctx) && BIGNUM_Add(m, m, m2.get());
}

}  // namespace

uint32_t RSA_UnpadPkcs1Type2(const uint8_t* block, uint32_t len, uint8_t* out) {
    if (len < 2) return 0;
    const uint8_t type = block[0] != 0 ? block[0] : block[1];
    if (type != 2) return 0;
    uint32_t sep = 1;
    while (sep < len && block[sep] != 0) ++sep;
    if (sep == len) return 0;
    const uint32_t msg_len = len - sep - 1;
    if (msg_len) std::memcpy(out, block + sep + 1, msg_len);
    return msg_len;
}

uint32_t RSA_UnpadOaep(const uint8_t* block, uint32_t len, uint8_t* out) {
    if (len > kOaepEncodedSize) return 0;  // the encoded message's first byte must be zero
    uint8_t em[kOaepEncodedSize] = {};
    std::memcpy(em + (kOaepEncodedSize - len), block, len);
    uint8_t* seed = em;
    uint8_t* db = em + kOaepSeedSize;
    uint8_t mask[kOaepBlockSize];
    RSA_Mgf1(db, kOaepBlockSize, mask, kOaepSeedSize);
    for (uint32_t i = 0; i < kOaepSeedSize; ++i) seed[i] ^= mask[i];
    RSA_Mgf1(seed, kOaepSeedSize, mask, kOaepBlockSize);
    for (uint32_t i = 0; i < kOaepBlockSize; ++i) db[i] ^= mask[i];
    uint32_t idx = kOaepSeedSize;
    while (idx < kOaepBlockSize && db[idx] == 0) ++idx;
    uint32_t msg_len = 0;
    if (idx < kOaepBlockSize) {
        msg_len = kOaepBlockSize - idx - 1;
        if (msg_len) std::memcpy(out, db + idx + 1, msg_len);
    }
    MEM_Wipe(em, sizeof em);
    MEM_Wipe(mask, sizeof mask);
    return msg_len;
}

void RSA_Mgf1(const uint8_t* seed, uint32_t seed_len, uint8_t* mask, uint32_t mask_len) {
    Sha1Context sha;
    uint8_t digest[kSha1DigestSize];
    for (uint32_t counter = 0, done = 0; done < mask_len; ++counter) {
        const uint8_t c[4] = {static_cast<uint8_t>(counter >> 24), static_cast<uint8_t>(counter >> 16),
                              static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter)};
        SHA1_Init(&sha);
        SHA1_Update(&sha, seed, seed_len);
        SHA1_Update(&sha, c, sizeof c);
        SHA1_Final(&sha, digest);
        const uint32_t take = mask_len - done < kSha1DigestSize ? mask_len - done : kSha1DigestSize;
        std::memcpy(mask + done, digest, take);
        done += take;
    }
    MEM_Wipe(&sha, sizeof sha);
    MEM_Wipe(digest, sizeof digest);
}

int RSA_PublicEncrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len) {
    if (!key || !out || !out_len || (!in && in_len)) return 0;
    if (!(key->present & (kRsaHasN | kRsaHasE)) || !key->n || !key->e) return 0;
    const uint32_t k = ModulusBytes(key);
    if (k < kPkcs1Overhead || in_len > k - kPkcs1Overhead) return 0;

    SecretBlock block(k);
    if (!block) return 0;
    uint8_t* em = block.get();
    const uint32_t ps_len = k - in_len - 3;
    em[0] = 0;
    em[1] = 2;
    if (RANDOM_Bytes(em + 2, ps_len) != 1) return 0;
    for (uint32_t i = 2; i < 2 + ps_len; ++i) {
        while (em[i] == 0) {
            if (RANDOM_Bytes(em + i, 1) != 1) return 0;
        }
    }
    em[2 + ps_len] = 0;
    if (in_len) std::memcpy(em + 3 + ps_len, in, in_len);

    BigNumContextPtr own_ctx;
    BigNumContext* ctx = ContextFor(key, own_ctx);
    BigNumPtr m(BIGNUM_FromBytes(em, k, nullptr));
    BigNumPtr c(BIGNUM_New());
    if (!ctx || !m || !c || BIGNUM_Cmp(m.get(), key->n) >= 0) return 0;
    if (!BIGNUM_ModExp(c.get(), m.get(), key->e, key->n, ctx)) return 0;
    // PKCS#1 ciphertexts are exactly k bytes, zeros on the left: strict peers refuse a shorter one.
    const uint32_t len = (static_cast<uint32_t>(BIGNUM_NumBits(c.get())) + 7) / 8;
    std::memset(out, 0, k - len);
    if (len) BIGNUM_ToBytes(c.get(), out + (k - len));
    *out_len = k;
    return static_cast<int>(k);
}

int RSA_PrivateDecrypt(RsaKey* key, uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len,
                       int mode) {
    if (!key || !out || !out_len || !in) return 0;
    if (mode != kRsaPkcs1Padding && mode != kRsaOaepPadding) return 0;
    if (key->present < (kRsaHasN | kRsaHasE) || !key->n) return 0;
    const bool crt = HasCrt(key);
    if (!crt && !key->d) return 0;  // neither exponent form: nothing to decrypt with
    if (mode == kRsaOaepPadding && BIGNUM_NumBits(key->n) != static_cast<int>(kOaepModulusBits)) return 0;

    const uint32_t k = ModulusBytes(key);
    while (in_len > 0 && *in == 0) {
        ++in;
        --in_len;
    }
    if (in_len > k) return 0;

    BigNumContextPtr own_ctx;
    BigNumContext* ctx = ContextFor(key, own_ctx);
    BigNumPtr c(BIGNUM_FromBytes(in, in_len, nullptr));
    BigNumPtr m(BIGNUM_New());
    if (!ctx || !c || !m || BIGNUM_Cmp(c.get(), key->n) >= 0) return 0;

    bool have_m = false;
    if (crt) {
        if (!CrtPrivate(key, m.get(), c.get(), ctx)) return 0;
        have_m = true;
        // A faulty CRT result would leak a factor of n: check it against the public key.
        if (key->e) {
            BigNumPtr check(BIGNUM_New());
            if (!check || !BIGNUM_ModExp(check.get(), m.get(), key->e, key->n, ctx)) return 0;
            have_m = BIGNUM_Cmp(check.get(), c.get()) == 0;
        }
    }
    if (!have_m) {
        if (!key->d || !BIGNUM_ModExp(m.get(), c.get(), key->d, key->n, ctx)) return 0;
    }

    SecretBlock block(k);
    if (!block) return 0;
    const uint32_t len = static_cast<uint32_t>(BIGNUM_ToBytes(m.get(), block.get()));
    const uint32_t msg_len =
        mode == kRsaPkcs1Padding ? RSA_UnpadPkcs1Type2(block.get(), len, out) : RSA_UnpadOaep(block.get(), len, out);
    if (msg_len == 0) return 0;
    *out_len = msg_len;
    return static_cast<int>(msg_len);
}

}  // namespace quillon
