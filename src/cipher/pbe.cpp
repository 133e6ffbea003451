#include "cipher/pbe.h"

#include <climits>
#include <cstring>

#include "core/mem.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "asn1/object_table.h"
#include "cipher/block_util.h"
#include "cipher/kdf.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"

namespace quillon {
namespace {

constexpr size_t kKeySize = 16;

// Key and IV of the SEED scheme: PBKDF1 bytes 0..15, and the IV by mode.
bool SeedKeyAndIv(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                  int32_t iterations, int iv_mode, uint8_t* key, uint8_t* iv) {
    if (!password || !salt || iterations <= 0) return false;
    if (iv_mode != kPbeIvFixed && iv_mode != kPbeIvDerived) return false;
    SecretArray<uint8_t, kSha1DigestSize> derived;
    size_t derived_length = 0;
    if (!PBKDF1_SHA1(password, password_length, salt, salt_length, iterations, derived.data, &derived_length)) {
        return false;
    }
    std::memcpy(key, derived.data, kKeySize);
    if (iv_mode == kPbeIvFixed) {
        std::memcpy(iv, kPbeFixedIv, kKeySize);
        return true;
    }
    SecretArray<uint8_t, kSha1DigestSize> digest;
    if (!SHA1_Digest(derived.data + kKeySize, kSha1DigestSize - kKeySize, digest.data)) return false;
    std::memcpy(iv, digest.data, kKeySize);
    return true;
}

int PbeSeed(uint32_t direction, const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
            const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
            int iv_mode) {
    SecretArray<uint8_t, kKeySize> key, iv;
    if (!SeedKeyAndIv(password, password_length, salt, salt_length, iterations, iv_mode, key.data, iv.data)) {
        return 0;
    }
    return SEED_CBC_Crypt(direction, key.data, iv.data, in, length, out, out_length) == 1 ? 1 : 0;
}

}  // namespace

int PBE_SEED_Encrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                     const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                     int iv_mode) {
    return PbeSeed(kEncrypt, in, length, password, password_length, salt, salt_length, iterations, out, out_length,
                   iv_mode);
}

int PBE_SEED_Decrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                     const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                     int iv_mode) {
    return PbeSeed(kDecrypt, in, length, password, password_length, salt, salt_length, iterations, out, out_length,
                   iv_mode);
}

int PBES2_Decrypt(const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
                  const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
                  const uint8_t* iv, int scheme_nid) {
    if (!password || !salt || iterations <= 0) return 0;
    // An unknown scheme is refused before the (costly) derivation; a missing IV is a broken structure.
    if (scheme_nid != NID_SEED_CBC && scheme_nid != NID_OID_ARIA_CBC) return 0;
    if (!iv) return 0;
    return PBES2_Crypt(kDecrypt, DIGEST_FromNid(NID_HMAC_WITH_SHA1), CBC_FromNid(scheme_nid), password,
                       password_length, salt, salt_length, static_cast<uint32_t>(iterations), iv, in, length, out,
                       out_length);
}

int PBES2_Crypt(uint32_t direction, const DigestAlgorithm* prf, const CbcCipher* cipher, const uint8_t* password,
                size_t password_length, const uint8_t* salt, size_t salt_length, uint32_t iterations,
                const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out, size_t* out_length) {
    if (!prf || !cipher || !password || !salt || !iv || iterations < 1) return 0;
    SecretArray<uint8_t, kCbcMaxKeySize> key;
    if (!PBKDF2(prf, password, password_length, salt, salt_length, iterations, key.data, cipher->key_size)) return 0;
    return cipher->crypt(direction, key.data, iv, in, length, out, out_length);
}

namespace {

struct Pkcs12Scheme {
    int nid;
    size_t key_size;
    int cipher_nid;  // 0: RC2 with as many effective bits as key bits
};

constexpr Pkcs12Scheme kPkcs12Schemes[] = {
    {NID_PBE_SHA1_3DES, 24, NID_DES_EDE3_CBC},
    {NID_PBE_SHA1_RC2_128, 16, 0},
    {NID_PBE_SHA1_RC2_40, 5, 0},
};
constexpr size_t kPkcs12IvSize = 8;
constexpr int kPkcs12KeyId = 1, kPkcs12IvId = 2;

const Pkcs12Scheme* FindPkcs12Scheme(int nid) {
    for (const Pkcs12Scheme& scheme : kPkcs12Schemes)
        if (scheme.nid == nid) return &scheme;
    return nullptr;
}

}  // namespace

bool PBE_IsPkcs12Scheme(int scheme_nid) { return FindPkcs12Scheme(scheme_nid) != nullptr; }

int PBE_Pkcs12Crypt(uint32_t direction, int scheme_nid, const uint8_t* password, size_t password_length,
                    const uint8_t* salt, size_t salt_length, uint32_t iterations, const uint8_t* in, size_t length,
                    uint8_t* out, size_t* out_length) {
    const Pkcs12Scheme* scheme = FindPkcs12Scheme(scheme_nid);
    if (!scheme || !password || !salt || iterations < 1) return 0;
    if (password_length > (SIZE_MAX - 2) / 2) return 0;
    // The password as other writers of these schemes pass it: UTF-8 as UTF-16, other bytes widened.
    MemArray<uint8_t> bmp(2 * password_length + 2);
    if (!bmp) return 0;
    const size_t bmp_length = PKCS12_PasswordToBmp(password, password_length, bmp.get());
    SecretArray<uint8_t, kCbcMaxKeySize> key;
    SecretArray<uint8_t, kPkcs12IvSize> iv;
    const DigestAlgorithm* sha1 = DIGEST_FromNid(NID_SHA1);
    if (!PKCS12_DeriveKeyBmp(sha1, bmp.get(), bmp_length, salt, salt_length, kPkcs12KeyId, iterations, scheme->key_size,
                             key.data) ||
        !PKCS12_DeriveKeyBmp(sha1, bmp.get(), bmp_length, salt, salt_length, kPkcs12IvId, iterations, kPkcs12IvSize,
                             iv.data))
        return 0;
    if (scheme->cipher_nid == 0)
        return CBC_Rc2Crypt(direction, key.data, scheme->key_size, iv.data, in, length, out, out_length);
    const CbcCipher* cipher = CBC_FromNid(scheme->cipher_nid);
    return cipher ? cipher->crypt(direction, key.data, iv.data, in, length, out, out_length) : 0;
}

}  // namespace quillon
