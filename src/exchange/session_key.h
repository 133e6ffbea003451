// Session keys a peer encrypted to one of the host's RSA keys, and keyboard input that
// arrives as one SEED-CBC message per keystroke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "pkcs/prikey.h"

namespace quillon {

struct RsaKey;

// OAEP (SHA-1) decryption into a wiped temporary; out (214 bytes for a 2048-bit key) is
// written only on success. 1 or 0. The key is not released here.
int32_t SESSIONKEY_DecryptOaep(RsaKey* key, const uint8_t* in, size_t in_length, uint8_t* out);
// The same with the key given as Base64 text of an encrypted PKCS#8 key: 1 or 0 (text that
// is not Base64, a key that does not load, failed OAEP). When the key does not load,
// *key_error says why; it stays kNone otherwise.
int SESSIONKEY_DecryptWithPemKey(const uint8_t* text, size_t text_length, const char* password, const uint8_t* in,
                                 size_t in_length, uint8_t* out, KeyError* key_error);

// Message `index` of a keyboard input held at `messages`; an empty span for an empty message.
using KeyboardMessageAt = std::span<const uint8_t> (*)(const void* messages, int32_t index);
// One padded SEED-CBC message per keystroke, each from the IV afresh. out[i] receives
// message i's first byte (left alone for an empty message), and only when every message
// decrypts: 1, or 0 when one does not (or count < 1).
int SESSIONKEY_DecodeKeyboard(KeyboardMessageAt message_at, const void* messages, int32_t count, const uint8_t* key,
                              const uint8_t* iv, uint8_t* out);
// The same over `count` consecutive 16-byte blocks.
int SESSIONKEY_DecodeKeyboardBlocks(const uint8_t* blocks, int32_t count, const uint8_t* key, const uint8_t* iv,
                                    uint8_t* out);

}  // namespace quillon
