// Session keys a peer encrypted to one of the host's RSA keys, and keyboard input that
// arrives as one SEED-CBC message per keystroke. Each returns the export's result code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quilloncrypto.h"  // BINSTR and the result codes

namespace quillon {

struct RsaKey;

// OAEP (SHA-1) decryption into a wiped temporary; out (214 bytes for a 2048-bit key) is
// written only on success. 1 or 0. The key is not released here.
int32_t SESSIONKEY_DecryptOaep(RsaKey* key, const uint8_t* in, size_t in_length, uint8_t* out);
// The same with the key given as Base64 text of an encrypted PKCS#8 key: 1, 0 (text that is
// not Base64, failed OAEP), or PRIKEY_DecryptToRsaKey's code.
int32_t SESSIONKEY_DecryptWithPemKey(const uint8_t* text, size_t text_length, const char* password,
                                     const uint8_t* in, size_t in_length, uint8_t* out);
// One padded SEED-CBC message per keystroke, each from the IV afresh: the blocks come as
// `count` records, or (records null) as `count` consecutive 16-byte blocks at `packed`.
// out[i] receives message i's first byte (left alone for an empty message), and only when
// every message decrypts: 1, -11 for count < 1, -75, -71.
int32_t SESSIONKEY_DecodeKeyboard(const BINSTR* records, const uint8_t* packed, int32_t count, const uint8_t* key,
                                  const uint8_t* iv, uint8_t* out);

}  // namespace quillon
