// ARIA block cipher (128-bit block; 128-, 192- or 256-bit key) and its CBC mode with block padding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kAriaBlockSize = 16;
constexpr int kAriaMaxRounds = 16;

struct AriaCbcContext {
    uint32_t direction;  // 1 encrypt, 0 decrypt
    uint8_t iv[16];
    uint8_t chain[16];   // the IV, then the last ciphertext block
    uint8_t round_keys[kAriaMaxRounds + 1][16];  // encryption or decryption keys, by direction
    uint32_t rounds;     // 12, 14 or 16
};

// Fill rounds + 1 round keys and return the round count (12, 14, 16); key bits other than
// 128, 192 and 256 return 0 and write nothing.
int ARIA_EncKeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits);
int ARIA_DecKeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits);
// One block with encryption keys, or decryption keys to decrypt; in and out may be the same.
void ARIA_Crypt(const uint8_t* in, int rounds, const uint8_t* round_keys, uint8_t* out);

// All return 1 for success and 0 for failure. The IV is required.
int ARIA_CBC_Init(AriaCbcContext* context, uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv);
// Whole blocks only; continues the chain across calls; in == out allowed.
int ARIA_CBC_Blocks(AriaCbcContext* context, uint8_t* out, const uint8_t* in, size_t length);
// One padded message, with the rules of SEED_CBC_Padded.
int ARIA_CBC_Padded(AriaCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length);
int ARIA_CBC_Crypt(uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv, const uint8_t* in,
                   size_t length, uint8_t* out, size_t* out_length);

// The S-boxes S1, S2 and their inverses (which 1..4), exposed for the tests that check them.
const uint8_t* ARIA_SBox(int which);

}  // namespace quillon
