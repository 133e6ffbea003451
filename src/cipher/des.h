// Triple-DES (DES-EDE3: 64-bit block, three 56-bit keys in 24 bytes) and its CBC mode with block
// padding. Kept to read and, on request, write the key files older software makes.
//
// Not constant time: the S-boxes are looked up by secret-dependent index, the established form of
// DES in software. It only ever decrypts files under a password-derived key, where the caller
// learns whether that worked anyway, and nothing new is written with it unless asked for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

constexpr size_t kDesBlockSize = 8;
constexpr size_t kDesEde3KeySize = 24;

// The 48 round keys in the order one direction uses them; wiped when it goes out of scope.
struct DesEde3Schedule {
    uint32_t subkeys[48][2];
    DesEde3Schedule() = default;
    DesEde3Schedule(const DesEde3Schedule&) = delete;
    DesEde3Schedule& operator=(const DesEde3Schedule&) = delete;
    ~DesEde3Schedule() { MEM_Wipe(subkeys, sizeof subkeys); }
};

struct DesEde3CbcContext {
    uint32_t direction = 0;  // kEncrypt or kDecrypt
    uint32_t ready = 0;      // set by a successful init, cleared by a failed one
    uint8_t iv[kDesBlockSize];
    uint8_t chain[kDesBlockSize];  // the IV, then the last ciphertext block
    DesEde3Schedule schedule;
};

// Key K1 || K2 || K3 (parity bits ignored); direction kEncrypt gives E_K3(D_K2(E_K1(x))), kDecrypt
// its inverse. Returns 1, or 0 for a key length other than 24, a null pointer or another direction.
int DES_EDE3_KeySetup(const uint8_t* key, size_t key_length, uint32_t direction, DesEde3Schedule* schedule);
// One block in the schedule's direction; in and out may be the same.
void DES_EDE3_Crypt(const uint8_t* in, uint8_t* out, const DesEde3Schedule* schedule);

// All return 1 for success and 0 for failure. The IV (8 bytes) is required.
int DES_EDE3_CBC_Init(DesEde3CbcContext* context, uint32_t direction, const uint8_t* key, size_t key_length,
                      const uint8_t* iv);
// Whole blocks only; continues the chain across calls; in == out allowed.
int DES_EDE3_CBC_Blocks(DesEde3CbcContext* context, uint8_t* out, const uint8_t* in, size_t length);
// One padded message, with the rules of SEED_CBC_Padded for 8-byte blocks: encrypting needs room
// for length + 8 bytes.
int DES_EDE3_CBC_Padded(DesEde3CbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in,
                        size_t length);
// One-shot: init and padded message; the output length is written only on success.
int DES_EDE3_CBC_Crypt(uint32_t direction, const uint8_t* key, size_t key_length, const uint8_t* iv,
                       const uint8_t* in, size_t length, uint8_t* out, size_t* out_length);

}  // namespace quillon
