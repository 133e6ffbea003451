#include "cipher/pbe.h"

#include <climits>
#include <cstring>

#include "core/mem.h"
#include "core/secret.h"
#include "asn1/object_table.h"
#include "cipher/aria.h"
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
    SecretArray<uint8_t, kKeySize> key;
    if (PBKDF2_SHA1(password, password_length, salt, salt_length, iterations, key.data, kKeySize) != 1) return 0;
    const int result = scheme_nid == NID_OID_ARIA_CBC
                           ? ARIA_CBC_Crypt(kDecrypt, key.data, 128, iv, in, length, out, out_length)
                           : SEED_CBC_Crypt(kDecrypt, key.data, iv, in, length, out, out_length);
    return result == 1 ? 1 : 0;
}

}  // namespace quillon
