// The CBC ciphers by identifier: the layers above name a cipher by its object-table NID and get
// its key size, IV size and a one-shot padded CBC here, not from a switch of their own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

inline constexpr size_t kCbcMaxKeySize = 32;
inline constexpr size_t kCbcMaxBlockSize = 16;

struct CbcCipher {
    int nid;
    size_t key_size;    // bytes
    size_t block_size;  // and IV size
    // One padded message (kEncrypt or kDecrypt): encrypting needs room for length + block_size
    // bytes. 1 or 0; the output length is written only on success.
    int (*crypt)(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                 uint8_t* out, size_t* out_length);
};

// SEED-CBC, ARIA-128/192/256-CBC (the table's ARIA-CBC identifier being ARIA-128),
// AES-128/192/256-CBC and DES-EDE3-CBC; null for anything else.
const CbcCipher* CBC_FromNid(int nid);

// RC2-CBC with the effective key bits equal to the key's, as the PKCS#12 RC2 schemes use it.
int CBC_Rc2Crypt(uint32_t direction, const uint8_t* key, size_t key_length, const uint8_t* iv, const uint8_t* in,
                 size_t length, uint8_t* out, size_t* out_length);

}  // namespace quillon
