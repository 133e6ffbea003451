// RC2 (RFC 2268: 64-bit block, 1..128-byte key, 1..1024 effective key bits) and its CBC mode with
// block padding. Kept to read and, on request, write the key files older software makes (40-,
// 64- and 128-bit effective keys).
//
// Not constant time: the mashing rounds index the key table by data, as the cipher is defined,
// and the key expansion looks up a table by key bytes. It only ever decrypts files under a
// password-derived key, where the caller learns whether that worked anyway, and nothing new is
// written with it unless asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

constexpr size_t kRc2BlockSize = 8;
constexpr size_t kRc2MaxKeySize = 128;
constexpr int kRc2MaxEffectiveBits = 1024;

// The 64 expanded key words; wiped when it goes out of scope.
struct Rc2Schedule {
    uint16_t k[64];
    Rc2Schedule() = default;
    Rc2Schedule(const Rc2Schedule&) = delete;
    Rc2Schedule& operator=(const Rc2Schedule&) = delete;
    ~Rc2Schedule() { MEM_Wipe(k, sizeof k); }
};

struct Rc2CbcContext {
    uint32_t direction = 0;  // kEncrypt or kDecrypt
    uint32_t ready = 0;      // set by a successful init, cleared by a failed one
    uint8_t iv[kRc2BlockSize];
    uint8_t chain[kRc2BlockSize];  // the IV, then the last ciphertext block
    Rc2Schedule schedule;
};

// Returns 1, or 0 (nothing written) for a null pointer, a key length outside 1..128 or effective
// bits outside 1..1024.
int RC2_KeySetup(const uint8_t* key, size_t key_length, int effective_bits, Rc2Schedule* schedule);
// One block; in and out may be the same.
void RC2_EncryptBlock(const uint8_t* in, uint8_t* out, const Rc2Schedule* schedule);
void RC2_DecryptBlock(const uint8_t* in, uint8_t* out, const Rc2Schedule* schedule);

// All return 1 for success and 0 for failure. The IV (8 bytes) is required; direction is kEncrypt
// or kDecrypt.
int RC2_CBC_Init(Rc2CbcContext* context, uint32_t direction, const uint8_t* key, size_t key_length,
                 int effective_bits, const uint8_t* iv);
// Whole blocks only; continues the chain across calls; in == out allowed.
int RC2_CBC_Blocks(Rc2CbcContext* context, uint8_t* out, const uint8_t* in, size_t length);
// One padded message, with the rules of SEED_CBC_Padded for 8-byte blocks: encrypting needs room
// for length + 8 bytes.
int RC2_CBC_Padded(Rc2CbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length);
// One-shot: init and padded message; the output length is written only on success.
int RC2_CBC_Crypt(uint32_t direction, const uint8_t* key, size_t key_length, int effective_bits, const uint8_t* iv,
                  const uint8_t* in, size_t length, uint8_t* out, size_t* out_length);

}  // namespace quillon
