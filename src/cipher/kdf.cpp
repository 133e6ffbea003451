#include "cipher/kdf.h"

#include <climits>
#include <cstring>

#include "asn1/object_table.h"
#include "cipher/block_util.h"
#include "cipher/hmac.h"
#include "cipher/sha1.h"
#include "core/mem.h"
#include "core/secret.h"

namespace quillon {
namespace {

constexpr size_t kChunk = 64;

// Streams `total` bytes of `pattern` repeated into the hash, through a wiped chunk.
bool HashRepeated(const DigestAlgorithm* digest, DigestState* state, size_t total, size_t period,
                  uint8_t (*byte_at)(const void*, size_t), const void* source) {
    SecretArray<uint8_t, kChunk> chunk;
    for (size_t done = 0; done < total;) {
        const size_t take = total - done < kChunk ? total - done : kChunk;
        for (size_t i = 0; i < take; ++i) chunk.data[i] = byte_at(source, (done + i) % period);
        if (!digest->update(state, chunk.data, take)) return false;
        done += take;
    }
    return true;
}

struct Password {
    const uint8_t* bytes;
    size_t length;
};

// Byte j of the widened password: 00 b1 00 b2 ... 00 bn 00 00.
uint8_t WidePasswordByte(const void* source, size_t j) {
    const auto* p = static_cast<const Password*>(source);
    return (j % 2 == 0 || j / 2 >= p->length) ? 0 : p->bytes[j / 2];
}

uint8_t SaltByte(const void* source, size_t j) { return static_cast<const uint8_t*>(source)[j]; }

size_t RoundUp(size_t n, size_t block) { return (n + block - 1) / block * block; }

}  // namespace

int PBKDF1_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, size_t* out_length) {
    if ((!password && password_length) || (!salt && salt_length) || !out || !out_length) return 0;
    Sha1Context context;
    SecretArray<uint8_t, kSha1DigestSize> t;
    // Hashing the two parts in turn is hashing their concatenation, without a copy of the password.
    bool ok = SHA1_Init(&context) && SHA1_Update(&context, password, password_length) &&
              SHA1_Update(&context, salt, salt_length) && SHA1_Final(&context, t.data);
    for (int32_t k = 2; ok && k <= iterations; ++k) {
        ok = SHA1_Init(&context) && SHA1_Update(&context, t.data, kSha1DigestSize) && SHA1_Final(&context, t.data);
    }
    MEM_Wipe(&context, sizeof context);
    if (!ok) return 0;
    std::memcpy(out, t.data, kSha1DigestSize);
    *out_length = kSha1DigestSize;
    return 1;
}

int PBKDF2_SHA1(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                int32_t iterations, uint8_t* out, int32_t derived_length) {
    if (derived_length < 0 || password_length > INT32_MAX) return 0;
    if (derived_length == 0) return 1;
    if (!password) return 0;
    return PBKDF2(DIGEST_FromNid(NID_SHA1), password, password_length, salt, salt_length,
                  iterations < 1 ? 1u : static_cast<uint32_t>(iterations), out, static_cast<size_t>(derived_length));
}

namespace {

// The derivation with `digest` (u its size, v its block) over a password part of
// `wide_length` bytes given by `password_byte`.
int Pkcs12Derive(const DigestAlgorithm* digest, uint8_t (*password_byte)(const void*, size_t), const void* password,
                 size_t wide_length, const uint8_t* salt, size_t salt_length, int id, uint32_t iterations,
                 size_t out_length, uint8_t* out) {
    const size_t u = digest->size, v = digest->block_size;
    const size_t salt_part = salt_length ? RoundUp(salt_length, v) : 0;
    const size_t password_part = wide_length ? RoundUp(wide_length, v) : 0;
    const bool more = out_length > u;
    // I = S || P is only kept when a second block will need it; one block streams it.
    const size_t input_length = more ? salt_part + password_part : 0;
    const MemBlock input_block(input_length ? static_cast<uint8_t*>(MEM_Alloc(input_length)) : nullptr);
    uint8_t* input = input_block.get();
    if (input_length && !input) return 0;
    for (size_t j = 0; j < input_length; ++j)
        input[j] = j < salt_part ? SaltByte(salt, j % salt_length) : password_byte(password, (j - salt_part) % wide_length);
    // Every later iteration hashes one digest: one block whose padding never changes.
    SecretArray<uint8_t, kDigestMaxBlock> padded;
    std::memset(padded.data, 0, sizeof padded.data);
    padded[u] = 0x80;
    padded[v - 2] = static_cast<uint8_t>((8 * u) >> 8);
    padded[v - 1] = static_cast<uint8_t>(8 * u);
    SecretArray<DigestState, 1> state;
    SecretArray<uint8_t, kDigestMaxSize> a;
    SecretArray<uint8_t, kDigestMaxBlock> b;
    uint8_t diversifier[kDigestMaxBlock];
    std::memset(diversifier, id, v);
    bool ok = true;
    for (size_t done = 0; ok && done < out_length;) {
        ok = digest->init(&state[0]) && digest->update(&state[0], diversifier, v);
        if (more) {
            ok = ok && (input_length == 0 || digest->update(&state[0], input, input_length));
        } else {
            ok = ok && (salt_length == 0 || HashRepeated(digest, &state[0], salt_part, salt_length, SaltByte, salt)) &&
                 (wide_length == 0 ||
                  HashRepeated(digest, &state[0], password_part, wide_length, password_byte, password));
        }
        ok = ok && digest->final(&state[0], a.data);
        for (uint32_t i = 1; ok && i < iterations; ++i) {
            std::memcpy(padded.data, a.data, u);
            ok = digest->init(&state[0]);
            digest->transform(&state[0], padded.data);
            digest->chaining(&state[0], a.data);
        }
        if (!ok) break;
        const size_t take = out_length - done < u ? out_length - done : u;
        std::memcpy(out + done, a.data, take);
        done += take;
        if (done == out_length) break;
        // Each v-byte block of I becomes I_j + B + 1 (mod 2^8v), B being A repeated.
        for (size_t i = 0; i < v; ++i) b[i] = a[i % u];
        for (size_t j = 0; j < input_length; j += v) {
            unsigned carry = 1;
            for (size_t i = v; i-- > 0;) {
                carry += input[j + i] + b[i];
                input[j + i] = static_cast<uint8_t>(carry);
                carry >>= 8;
            }
        }
    }
    return ok ? 1 : 0;
}

}  // namespace

int PKCS12_DeriveKey(const uint8_t* password, size_t password_length, const uint8_t* salt, size_t salt_length,
                     int id, uint32_t iterations, size_t out_length, uint8_t* out) {
    if (!out || out_length < 1 || out_length > kPkcs12MaxOutput || id < 1 || id > 255) return 0;
    if ((!salt && salt_length) || (!password && password_length)) return 0;
    if (password_length > (SIZE_MAX - 2) / 2 - kDigestMaxBlock) return 0;
    const Password wide{password, password_length};
    return Pkcs12Derive(DIGEST_FromNid(NID_SHA1), WidePasswordByte, &wide, password ? 2 * password_length + 2 : 0, salt, salt_length, id,
                        iterations, out_length, out);
}

int PKCS12_DeriveKeyBmp(const DigestAlgorithm* digest, const uint8_t* bmp, size_t bmp_length, const uint8_t* salt,
                        size_t salt_length, int id, uint32_t iterations, size_t out_length, uint8_t* out) {
    if (!digest || !out || out_length < 1 || out_length > kPkcs12MaxOutput || id < 1 || id > 255) return 0;
    if ((!salt && salt_length) || (!bmp && bmp_length) || bmp_length > SIZE_MAX / 2) return 0;
    return Pkcs12Derive(digest, SaltByte, bmp, bmp_length, salt, salt_length, id, iterations, out_length, out);
}

namespace {

// The next code point of valid UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF); 0 bytes taken when the text is not UTF-8 there.
size_t Utf8Next(const uint8_t* text, size_t length, uint32_t* code) {
    const uint8_t b = text[0];
    const size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || n > length) return 0;
    uint32_t value = n == 1 ? b : b & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
        value = value << 6 | (text[i] & 0x3F);
    }
    constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *code = value;
    return n;
}

}  // namespace

size_t PKCS12_PasswordToBmp(const uint8_t* password, size_t length, uint8_t* out) {
    size_t written = 0;
    bool utf8 = true;
    for (size_t i = 0; i < length && utf8;) {
        uint32_t code = 0;
        const size_t n = Utf8Next(password + i, length - i, &code);
        utf8 = n != 0;
        i += n;
    }
    if (!utf8) {
        for (size_t i = 0; i < length; ++i) {
            out[written++] = 0;
            out[written++] = password[i];
        }
    } else {
        for (size_t i = 0; i < length;) {
            uint32_t code = 0;
            i += Utf8Next(password + i, length - i, &code);
            if (code >= 0x10000) {  // a surrogate pair
                const uint32_t v = code - 0x10000;
                const uint32_t high = 0xD800 | v >> 10, low = 0xDC00 | (v & 0x3FF);
                out[written++] = static_cast<uint8_t>(high >> 8);
                out[written++] = static_cast<uint8_t>(high);
                out[written++] = static_cast<uint8_t>(low >> 8);
                out[written++] = static_cast<uint8_t>(low);
            } else {
                out[written++] = static_cast<uint8_t>(code >> 8);
                out[written++] = static_cast<uint8_t>(code);
            }
        }
    }
    out[written++] = 0;
    out[written++] = 0;
    return written;
}

int PBKDF2(const DigestAlgorithm* digest, const uint8_t* password, size_t password_length, const uint8_t* salt,
           size_t salt_length, uint32_t iterations, uint8_t* out, size_t length) {
    if (!digest || (!out && length) || (!salt && salt_length)) return 0;
    SecretArray<HmacContext, 1> hmac;
    if (!HMAC_Init(&hmac[0], digest, password, password_length)) return 0;
    const size_t size = digest->size;
    // Each later message is one digest after one key block: that block's padding never changes.
    SecretArray<uint8_t, kDigestMaxBlock> block;
    std::memset(block.data, 0, sizeof block.data);
    block[size] = 0x80;
    const uint64_t bits = 8 * uint64_t{digest->block_size + size};
    StoreBe32(block.data + digest->block_size - 8, static_cast<uint32_t>(bits >> 32));
    StoreBe32(block.data + digest->block_size - 4, static_cast<uint32_t>(bits));
    SecretArray<uint8_t, kDigestMaxSize> u, t;
    SecretArray<DigestState, 1> state;
    for (uint32_t index = 1; length > 0; ++index) {
        uint8_t counter[4];
        StoreBe32(counter, index);
        if (!HMAC_Update(&hmac[0], salt, salt_length) || !HMAC_Update(&hmac[0], counter, 4) ||
            !HMAC_Final(&hmac[0], u.data))
            return 0;
        std::memcpy(t.data, u.data, size);
        for (uint32_t j = 2; j <= iterations; ++j) {
            std::memcpy(block.data, u.data, size);
            state[0] = hmac[0].inner;
            digest->transform(&state[0], block.data);
            digest->chaining(&state[0], block.data);
            state[0] = hmac[0].outer;
            digest->transform(&state[0], block.data);
            digest->chaining(&state[0], u.data);
            for (size_t i = 0; i < size; ++i) t[i] ^= u[i];
        }
        const size_t take = length < size ? length : size;
        std::memcpy(out, t.data, take);
        out += take;
        length -= take;
    }
    return 1;
}

}  // namespace quillon
