// SEED block cipher (128-bit key and block) and its CBC mode with block padding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"
#include "quilloncrypto.h"  // SeedCbcContext, which the host allocates

namespace quillon {

using ::SeedCbcContext;

constexpr size_t kSeedBlockSize = 16;
constexpr uint32_t kEncrypt = 1;
constexpr uint32_t kDecrypt = 0;

// The tables, derived at compile time; exposed for the tests that check them.
const uint8_t* SEED_SBox(int which);     // S1 (which == 1) or S2, 256 bytes
const uint32_t* SEED_GTable(int which);  // SS0..SS3, 256 words

// Always returns 1.
int SEED_KeySchedule(const uint8_t* key, uint32_t* round_keys);
// One block; in and out may be the same buffer.
void SEED_EncryptBlock(const uint8_t* in, uint8_t* out, const uint32_t* round_keys);
void SEED_DecryptBlock(const uint8_t* in, uint8_t* out, const uint32_t* round_keys);

// Direction 1 encrypts, anything else decrypts; a null IV means sixteen zero bytes.
int SEED_CBC_Init(SeedCbcContext* context, uint32_t direction, const uint8_t* key, const uint8_t* iv);
// Whole blocks only (length a multiple of 16); continues the chain across calls; in == out allowed.
int SEED_CBC_Blocks(SeedCbcContext* context, uint8_t* out, const uint8_t* in, size_t length);
// One whole padded message. Encrypting needs room for length + 16 bytes; decrypting rejects
// a length of 0 or not a multiple of 16 and a last byte above the length. The output length
// is written only on success.
int SEED_CBC_Padded(SeedCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length);
// One-shot: init and padded message on a context of its own.
int SEED_CBC_Crypt(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                   uint8_t* out, size_t* out_length);
// The same into `out`, sized to the result.
bool SEED_CBC_CryptBytes(uint32_t direction, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t length,
                         SecureBytes& out);

}  // namespace quillon
