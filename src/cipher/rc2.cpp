#include "cipher/rc2.h"

#include <cstring>

#include "cipher/block_util.h"
#include "cipher/seed.h"  // kEncrypt, kDecrypt
#include "core/secret.h"

namespace quillon {
namespace {

// RFC 2268's PITABLE: a permutation of the bytes, derived from the digits of pi.
constexpr uint8_t kPi[256] = {
    0xd9, 0x78, 0xf9, 0xc4, 0x19, 0xdd, 0xb5, 0xed, 0x28, 0xe9, 0xfd, 0x79, 0x4a, 0xa0, 0xd8, 0x9d,
    0xc6, 0x7e, 0x37, 0x83, 0x2b, 0x76, 0x53, 0x8e, 0x62, 0x4c, 0x64, 0x88, 0x44, 0x8b, 0xfb, 0xa2,
    0x17, 0x9a, 0x59, 0xf5, 0x87, 0xb3, 0x4f, 0x13, 0x61, 0x45, 0x6d, 0x8d, 0x09, 0x81, 0x7d, 0x32,
    0xbd, 0x8f, 0x40, 0xeb, 0x86, 0xb7, 0x7b, 0x0b, 0xf0, 0x95, 0x21, 0x22, 0x5c, 0x6b, 0x4e, 0x82,
    0x54, 0xd6, 0x65, 0x93, 0xce, 0x60, 0xb2, 0x1c, 0x73, 0x56, 0xc0, 0x14, 0xa7, 0x8c, 0xf1, 0xdc,
    0x12, 0x75, 0xca, 0x1f, 0x3b, 0xbe, 0xe4, 0xd1, 0x42, 0x3d, 0xd4, 0x30, 0xa3, 0x3c, 0xb6, 0x26,
    0x6f, 0xbf, 0x0e, 0xda, 0x46, 0x69, 0x07, 0x57, 0x27, 0xf2, 0x1d, 0x9b, 0xbc, 0x94, 0x43, 0x03,
    0xf8, 0x11, 0xc7, 0xf6, 0x90, 0xef, 0x3e, 0xe7, 0x06, 0xc3, 0xd5, 0x2f, 0xc8, 0x66, 0x1e, 0xd7,
    0x08, 0xe8, 0xea, 0xde, 0x80, 0x52, 0xee, 0xf7, 0x84, 0xaa, 0x72, 0xac, 0x35, 0x4d, 0x6a, 0x2a,
    0x96, 0x1a, 0xd2, 0x71, 0x5a, 0x15, 0x49, 0x74, 0x4b, 0x9f, 0xd0, 0x5e, 0x04, 0x18, 0xa4, 0xec,
    0xc2, 0xe0, 0x41, 0x6e, 0x0f, 0x51, 0xcb, 0xcc, 0x24, 0x91, 0xaf, 0x50, 0xa1, 0xf4, 0x70, 0x39,
    0x99, 0x7c, 0x3a, 0x85, 0x23, 0xb8, 0xb4, 0x7a, 0xfc, 0x02, 0x36, 0x5b, 0x25, 0x55, 0x97, 0x31,
    0x2d, 0x5d, 0xfa, 0x98, 0xe3, 0x8a, 0x92, 0xae, 0x05, 0xdf, 0x29, 0x10, 0x67, 0x6c, 0xba, 0xc9,
    0xd3, 0x00, 0xe6, 0xcf, 0xe1, 0x9e, 0xa8, 0x2c, 0x63, 0x16, 0x01, 0x3f, 0x58, 0xe2, 0x89, 0xa9,
    0x0d, 0x38, 0x34, 0x1b, 0xab, 0x33, 0xff, 0xb0, 0xbb, 0x48, 0x0c, 0x5f, 0xb9, 0xb1, 0xcd, 0x2e,
    0xc5, 0xf3, 0xdb, 0x47, 0xe5, 0xa5, 0x9c, 0x77, 0x0a, 0xa6, 0x20, 0x68, 0xfe, 0x7f, 0xc1, 0xad};

constexpr bool PiTableIsAPermutation() {
    bool seen[256] = {};
    for (uint8_t b : kPi) {
        if (seen[b]) return false;
        seen[b] = true;
    }
    return true;
}
static_assert(PiTableIsAPermutation());

inline uint16_t Rotl16(uint16_t x, int n) { return static_cast<uint16_t>((x << n) | (x >> (16 - n))); }
inline uint16_t Rotr16(uint16_t x, int n) { return static_cast<uint16_t>((x >> n) | (x << (16 - n))); }

// Mixing rounds use key words in order (k advances by 4); mashing rounds pick them by data.
inline void Mix(uint16_t (&r)[4], const uint16_t* k) {
    r[0] = Rotl16(static_cast<uint16_t>(r[0] + k[0] + (r[3] & r[2]) + (~r[3] & r[1])), 1);
    r[1] = Rotl16(static_cast<uint16_t>(r[1] + k[1] + (r[0] & r[3]) + (~r[0] & r[2])), 2);
    r[2] = Rotl16(static_cast<uint16_t>(r[2] + k[2] + (r[1] & r[0]) + (~r[1] & r[3])), 3);
    r[3] = Rotl16(static_cast<uint16_t>(r[3] + k[3] + (r[2] & r[1]) + (~r[2] & r[0])), 5);
}

inline void Mash(uint16_t (&r)[4], const uint16_t* k) {
    r[0] = static_cast<uint16_t>(r[0] + k[r[3] & 63]);
    r[1] = static_cast<uint16_t>(r[1] + k[r[0] & 63]);
    r[2] = static_cast<uint16_t>(r[2] + k[r[1] & 63]);
    r[3] = static_cast<uint16_t>(r[3] + k[r[2] & 63]);
}

inline void Unmix(uint16_t (&r)[4], const uint16_t* k) {
    r[3] = static_cast<uint16_t>(Rotr16(r[3], 5) - k[3] - (r[2] & r[1]) - (~r[2] & r[0]));
    r[2] = static_cast<uint16_t>(Rotr16(r[2], 3) - k[2] - (r[1] & r[0]) - (~r[1] & r[3]));
    r[1] = static_cast<uint16_t>(Rotr16(r[1], 2) - k[1] - (r[0] & r[3]) - (~r[0] & r[2]));
    r[0] = static_cast<uint16_t>(Rotr16(r[0], 1) - k[0] - (r[3] & r[2]) - (~r[3] & r[1]));
}

inline void Unmash(uint16_t (&r)[4], const uint16_t* k) {
    r[3] = static_cast<uint16_t>(r[3] - k[r[2] & 63]);
    r[2] = static_cast<uint16_t>(r[2] - k[r[1] & 63]);
    r[1] = static_cast<uint16_t>(r[1] - k[r[0] & 63]);
    r[0] = static_cast<uint16_t>(r[0] - k[r[3] & 63]);
}

// The words are little-endian.
inline void Load(const uint8_t* in, uint16_t (&r)[4]) {
    for (int i = 0; i < 4; ++i) r[i] = static_cast<uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
}

inline void Store(const uint16_t (&r)[4], uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = static_cast<uint8_t>(r[i]);
        out[2 * i + 1] = static_cast<uint8_t>(r[i] >> 8);
    }
}

// Five mixing rounds, a mash, six mixing, a mash, five mixing; decryption the same backwards.
inline void EncryptWords(uint16_t (&r)[4], const uint16_t* k) {
    for (int i = 0; i < 16; ++i) {
        Mix(r, k + 4 * i);
        if (i == 4 || i == 10) Mash(r, k);
    }
}

inline void DecryptWords(uint16_t (&r)[4], const uint16_t* k) {
    for (int i = 15; i >= 0; --i) {
        Unmix(r, k + 4 * i);
        if (i == 11 || i == 5) Unmash(r, k);
    }
}

void CbcEncrypt(Rc2CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    uint16_t r[4], chain[4];
    Load(context->chain, chain);
    for (size_t pos = 0; pos < length; pos += kRc2BlockSize) {
        Load(in + pos, r);
        for (int i = 0; i < 4; ++i) r[i] ^= chain[i];
        EncryptWords(r, context->schedule.k);
        Store(r, out + pos);
        std::memcpy(chain, r, sizeof chain);
    }
    Store(chain, context->chain);
}

void CbcDecrypt(Rc2CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    uint16_t r[4], chain[4], cipher[4];
    Load(context->chain, chain);
    for (size_t pos = 0; pos < length; pos += kRc2BlockSize) {
        Load(in + pos, cipher);  // in may be out
        std::memcpy(r, cipher, sizeof r);
        DecryptWords(r, context->schedule.k);
        for (int i = 0; i < 4; ++i) r[i] ^= chain[i];
        Store(r, out + pos);
        std::memcpy(chain, cipher, sizeof chain);
    }
    Store(chain, context->chain);
    MEM_Wipe(r, sizeof r);
}

}  // namespace

int RC2_KeySetup(const uint8_t* key, size_t key_length, int effective_bits, Rc2Schedule* schedule) {
    if (!key || !schedule || key_length < 1 || key_length > kRc2MaxKeySize) return 0;
    if (effective_bits < 1 || effective_bits > kRc2MaxEffectiveBits) return 0;
    SecretArray<uint8_t, 128> l;
    std::memcpy(l.data, key, key_length);
    for (size_t i = key_length; i < 128; ++i) l[i] = kPi[(l[i - 1] + l[i - key_length]) & 255];
    // Cut the expanded key down to the effective bits, then spread that back over all of it.
    const size_t t8 = static_cast<size_t>(effective_bits + 7) / 8;
    const unsigned tm = 255u >> (8 * t8 - static_cast<size_t>(effective_bits));
    l[128 - t8] = kPi[l[128 - t8] & tm];
    for (size_t i = 128 - t8; i-- > 0;) l[i] = kPi[l[i + 1] ^ l[i + t8]];
    for (int i = 0; i < 64; ++i) schedule->k[i] = static_cast<uint16_t>(l[2 * i] | l[2 * i + 1] << 8);
    return 1;
}

void RC2_EncryptBlock(const uint8_t* in, uint8_t* out, const Rc2Schedule* schedule) {
    uint16_t r[4];
    Load(in, r);
    EncryptWords(r, schedule->k);
    Store(r, out);
}

void RC2_DecryptBlock(const uint8_t* in, uint8_t* out, const Rc2Schedule* schedule) {
    uint16_t r[4];
    Load(in, r);
    DecryptWords(r, schedule->k);
    Store(r, out);
    MEM_Wipe(r, sizeof r);
}

int RC2_CBC_Init(Rc2CbcContext* context, uint32_t direction, const uint8_t* key, size_t key_length,
                 int effective_bits, const uint8_t* iv) {
    if (!context) return 0;
    context->ready = 0;
    if (!iv || (direction != kEncrypt && direction != kDecrypt)) return 0;
    if (!RC2_KeySetup(key, key_length, effective_bits, &context->schedule)) return 0;
    std::memmove(context->iv, iv, kRc2BlockSize);
    std::memcpy(context->chain, context->iv, kRc2BlockSize);
    context->direction = direction;
    context->ready = 1;
    return 1;
}

int RC2_CBC_Blocks(Rc2CbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    if (!context || !out || !in || context->ready != 1) return 0;
    if (length % kRc2BlockSize != 0) return 0;
    if (context->direction == kEncrypt) {
        CbcEncrypt(context, out, in, length);
    } else {
        CbcDecrypt(context, out, in, length);
    }
    return 1;
}

int RC2_CBC_Padded(Rc2CbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
    if (!context) return 0;
    auto blocks = [context](uint8_t* o, const uint8_t* i, size_t n) { return RC2_CBC_Blocks(context, o, i, n); };
    return CbcPadded<kRc2BlockSize>(context->direction == kEncrypt, blocks, out, out_length, in, length);
}

int RC2_CBC_Crypt(uint32_t direction, const uint8_t* key, size_t key_length, int effective_bits, const uint8_t* iv,
                  const uint8_t* in, size_t length, uint8_t* out, size_t* out_length) {
    Rc2CbcContext context;  // its schedule wipes itself
    return RC2_CBC_Init(&context, direction, key, key_length, effective_bits, iv) == 1 &&
           RC2_CBC_Padded(&context, out, out_length, in, length) == 1;
}

}  // namespace quillon
