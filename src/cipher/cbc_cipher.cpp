#include "cipher/cbc_cipher.h"

#include "asn1/object_table.h"
#include "cipher/aes.h"
#include "cipher/aria.h"
#include "cipher/des.h"
#include "cipher/rc2.h"
#include "cipher/seed.h"

namespace quillon {
namespace {

int Seed(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out,
         size_t* out_length) {
    return SEED_CBC_Crypt(direction, key, iv, in, length, out, out_length) == 1 ? 1 : 0;
}

template <int kBits>
int Aria(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out,
         size_t* out_length) {
    return ARIA_CBC_Crypt(direction, key, kBits, iv, in, length, out, out_length) == 1 ? 1 : 0;
}

template <int kBits>
int Aes(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out,
        size_t* out_length) {
    return AES_CBC_Crypt(direction, key, kBits, iv, in, length, out, out_length) == 1 ? 1 : 0;
}

int DesEde3(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length, uint8_t* out,
            size_t* out_length) {
    return DES_EDE3_CBC_Crypt(direction, key, kDesEde3KeySize, iv, in, length, out, out_length) == 1 ? 1 : 0;
}

constexpr CbcCipher kCiphers[] = {
    {NID_SEED_CBC, 16, kSeedBlockSize, Seed},
    {NID_OID_ARIA_CBC, 16, kAriaBlockSize, Aria<128>},
    {NID_ARIA_128_CBC, 16, kAriaBlockSize, Aria<128>},
    {NID_ARIA_192_CBC, 24, kAriaBlockSize, Aria<192>},
    {NID_ARIA_256_CBC, 32, kAriaBlockSize, Aria<256>},
    {NID_AES_128_CBC, 16, kAesBlockSize, Aes<128>},
    {NID_AES_192_CBC, 24, kAesBlockSize, Aes<192>},
    {NID_AES_256_CBC, 32, kAesBlockSize, Aes<256>},
    {NID_DES_EDE3_CBC, kDesEde3KeySize, kDesBlockSize, DesEde3},
};

}  // namespace

const CbcCipher* CBC_FromNid(int nid) {
    if (nid == NID_UNDEF) return nullptr;
    for (const CbcCipher& cipher : kCiphers)
        if (cipher.nid == nid) return &cipher;
    return nullptr;
}

int CBC_Rc2Crypt(uint32_t direction, const uint8_t* key, size_t key_length, const uint8_t* iv, const uint8_t* in,
                 size_t length, uint8_t* out, size_t* out_length) {
    return RC2_CBC_Crypt(direction, key, key_length, static_cast<int>(8 * key_length), iv, in, length, out,
                         out_length) == 1
               ? 1
               : 0;
}

}  // namespace quillon
