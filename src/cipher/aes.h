// AES (FIPS 197: 128-bit block; 128-, 192- or 256-bit key) and its CBC mode with block padding.
// AES-NI where the CPU has it, a bitsliced implementation everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kAesBlockSize = 16;
constexpr int kAesMaxRounds = 14;

// Plain record; whoever holds one on the stack wipes it (SecretArray), MEM_ blocks are wiped when freed.
struct AesCbcContext {
    uint32_t direction;  // 1 encrypt, 0 decrypt
    uint8_t iv[16];
    uint8_t chain[16];   // the IV, then the last ciphertext block
    uint8_t round_keys[kAesMaxRounds + 1][16];  // the expanded key; both directions use it as is
    uint32_t rounds;     // 10, 12 or 14
};

// Fill rounds + 1 round keys (FIPS 197's key expansion) and return the round count (10, 12, 14);
// key bits other than 128, 192 and 256 return 0 and write nothing.
int AES_KeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits);
// One block with the expanded key, either direction; in and out may be the same. A round count
// other than 10, 12 or 14 writes nothing.
void AES_EncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* round_keys, int rounds);
void AES_DecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* round_keys, int rounds);

// All return 1 for success and 0 for failure. The IV is required; a nonzero direction encrypts.
int AES_CBC_Init(AesCbcContext* context, uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv);
// Whole blocks only; continues the chain across calls; in == out allowed.
int AES_CBC_Blocks(AesCbcContext* context, uint8_t* out, const uint8_t* in, size_t length);
// One padded message, with the rules of SEED_CBC_Padded.
int AES_CBC_Padded(AesCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length);
// One-shot on a context of its own, wiped before returning.
int AES_CBC_Crypt(uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out, size_t* out_length);

// The implementations behind the dispatcher, over `blocks` whole blocks with FIPS 197 round keys.
// `chain` holds the IV on entry and the last ciphertext block on return; in == out allowed.
// Exposed so that tests can hold them against each other.
struct AesImplementation {
    void (*cbc_encrypt)(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                        size_t blocks);
    void (*cbc_decrypt)(const uint8_t* round_keys, int rounds, uint8_t* chain, uint8_t* out, const uint8_t* in,
                        size_t blocks);
    uint32_t (*sub_word)(uint32_t word);  // the S-box on each byte, for the key expansion
};
extern const AesImplementation kAesNi;  // usable only where AesHaveNi()
extern const AesImplementation kAesBitsliced;

bool AesHaveNi();
// Test hook: force the bitsliced implementation everywhere (false restores detection).
void AesForcePortable(bool portable);

}  // namespace quillon
