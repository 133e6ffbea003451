#include "cipher/pbe.h"

#include <climits>
#include <cstring>

#include "core/mem.h"
#include "asn1/object_table.h"
#include "cipher/aria.h"
#include "cipher/block_util.h"
#include "cipher/hmac.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"

namespace quillon {
namespace {

constexpr size_t kKeySize = 16;

// Wipes the bytes it covers when the scope ends, on every path.
template <size_t N>
struct SecretBuffer {
    uint8_t bytes[N];
    ~SecretBuffer() { MEM_Wipe(bytes, N); }
};

// The last block of a 20-byte message that follows one block already hashed (the HMAC key
// block): the message, the end marker, and the length 64 + 20 bytes in bits.
void BuildDigestBlock(uint8_t* block) {
    std::memset(block, 0, kSha1BlockSize);
    block[kSha1DigestSize] = 0x80;
    StoreBe32(block + 60, (kSha1BlockSize + kSha1DigestSize) * 8);
}

// U(j) = HMAC(password, U(j-1)) straight on the saved inner and outer states: every
// message here is one 20-byte digest, so each step is exactly two compressions.
void IterateHmac(const HmacSha1Context* hmac, uint8_t* u, uint8_t* accumulated, int32_t iterations) {
    SecretBuffer<kSha1BlockSize> block;
    BuildDigestBlock(block.bytes);
    Sha1Context state;
    for (int32_t j = 2; j <= iterations; ++j) {
        std::memcpy(block.bytes, u, kSha1DigestSize);
        state = *hmac->inner;
        SHA1_Transform(&state, block.bytes);
        for (int i = 0; i < 5; ++i) StoreBe32(block.bytes + 4 * i, state.chaining[i]);
        state = *hmac->outer;
        SHA1_Transform(&state, block.bytes);
        for (int i = 0; i < 5; ++i) {
            StoreBe32(u + 4 * i, state.chaining[i]);
        }
        for (size_t i = 0; i < kSha1DigestSize; ++i) accumulated[i] ^= u[i];
    }
    MEM_Wipe(&state, sizeof state);
}

// Key and IV of the SEED scheme: PBKDF1 bytes 0..15, and the IV by mode.
bool SeedKeyAndIv(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                  int32_t iterations, int iv_mode, uint8_t* key, uint8_t* iv) {
    if (!password || !salt || iterations <= 0) return false;
    if (iv_mode != kPbeIvFixed && iv_mode != kPbeIvDerived) return false;
    SecretBuffer<kSha1DigestSize> derived;
    size_t derived_length = 0;
    if (!PBKDF1_SHA1(password, password_length, salt, salt_length, iterations, derived.bytes, &derived_length)) {
        return false;
    }
    std::memcpy(key, derived.bytes, kKeySize);
    if (iv_mode == kPbeIvFixed) {
        std::memcpy(iv, kPbeFixedIv, kKeySize);
        return true;
    }
    SecretBuffer<kSha1DigestSize> digest;
    if (!SHA1_Digest(derived.bytes + kKeySize, kSha1DigestSize - kKeySize, digest.bytes)) return false;
    std::memcpy(iv, digest.bytes, kKeySize);
    return true;
}

int PbeSeed(uint32_t direction, const uint8_t* in, size_t length, const uint8_t* password, size_t password_length,
            const uint8_t* salt, size_t salt_length, int32_t iterations, uint8_t* out, size_t* out_length,
            int iv_mode) {
    SecretBuffer<kKeySize> key, iv;
    if (!SeedKeyAndIv(password, password_length, salt, salt_length, iterations, iv_mode, key.bytes, iv.bytes)) {
        return 0;
    }
    return SEED_CBC_Crypt(direction, key.bytes, iv.bytes, in, length, out, out_length) == 1 ? 1 : 0;
}

}  // namespace

int PBKDF1_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, size_t* out_length) {
    if ((!password && password_length) || (!salt && salt_length) || !out || !out_length) return 0;
    Sha1Context context;
    SecretBuffer<kSha1DigestSize> t;
    // Hashing the two parts in turn is hashing their concatenation, without a copy of the password.
    bool ok = SHA1_Init(&context) && SHA1_Update(&context, password, password_length) &&
              SHA1_Update(&context, salt, salt_length) && SHA1_Final(&context, t.bytes);
    for (int32_t k = 2; ok && k <= iterations; ++k) {
        ok = SHA1_Init(&context) && SHA1_Update(&context, t.bytes, kSha1DigestSize) && SHA1_Final(&context, t.bytes);
    }
    MEM_Wipe(&context, sizeof context);
    if (!ok) return 0;
    std::memcpy(out, t.bytes, kSha1DigestSize);
    *out_length = kSha1DigestSize;
    return 1;
}

int PBKDF2_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, int32_t derived_length) {
    if (derived_length < 0 || password_length > INT32_MAX) return 0;
    if (derived_length == 0) return 1;
    if (!out || (!salt && salt_length)) return 0;
    Owned<HmacSha1Context, HMAC_Free> hmac(HMAC_New());
    if (!hmac || HMAC_Init(hmac.get(), password, static_cast<int32_t>(password_length)) != 1) return 0;
    SecretBuffer<kSha1DigestSize> u, t;
    size_t remaining = static_cast<size_t>(derived_length);
    for (uint32_t index = 1; remaining > 0; ++index) {
        uint8_t counter[4];
        StoreBe32(counter, index);
        if (HMAC_Update(hmac.get(), salt, salt_length) != 1 || HMAC_Update(hmac.get(), counter, 4) != 1 ||
            HMAC_Final(hmac.get(), u.bytes) != 1) {
            return 0;
        }
        std::memcpy(t.bytes, u.bytes, kSha1DigestSize);
        IterateHmac(hmac.get(), u.bytes, t.bytes, iterations);
        const size_t take = remaining < kSha1DigestSize ? remaining : kSha1DigestSize;
        std::memcpy(out, t.bytes, take);
        out += take;
        remaining -= take;
    }
    return 1;
}

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
    SecretBuffer<kKeySize> key;
    if (PBKDF2_SHA1(password, password_length, salt, salt_length, iterations, key.bytes, kKeySize) != 1) return 0;
    const int result = scheme_nid == NID_OID_ARIA_CBC
                           ? ARIA_CBC_Crypt(kDecrypt, key.bytes, 128, iv, in, length, out, out_length)
                           : SEED_CBC_Crypt(kDecrypt, key.bytes, iv, in, length, out, out_length);
    return result == 1 ? 1 : 0;
}

}  // namespace quillon
