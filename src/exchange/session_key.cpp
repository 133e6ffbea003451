#include "exchange/session_key.h"

#include <cstring>

#include "text/base64.h"
#include "cipher/seed.h"
#include "core/mem.h"
#include "pkcs/prikey.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace quillon {

namespace {

std::span<const uint8_t> BlockAt(const void* blocks, int32_t index) {
    return {static_cast<const uint8_t*>(blocks) + static_cast<size_t>(index) * kSeedBlockSize, kSeedBlockSize};
}

}  // namespace

int32_t SESSIONKEY_DecryptOaep(RsaKey* key, const uint8_t* in, size_t in_length, uint8_t* out) {
    if (!key || !key->n || !in || !out || in_length == 0 || in_length > UINT32_MAX) return 0;
    // RSA_PrivateDecrypt needs room for a whole block; only the message reaches the caller.
    SecureBytes plain(static_cast<size_t>(kRsaMaxKeyBits / 8));
    uint32_t length = 0;
    const int produced = RSA_PrivateDecrypt(key, plain.data(), &length, in, static_cast<uint32_t>(in_length),
                                            kRsaOaepPadding);
    if (produced < 1 || length == 0 || length > plain.size()) return 0;
    std::memcpy(out, plain.data(), length);
    return 1;
}

int SESSIONKEY_DecryptWithPemKey(const uint8_t* text, size_t text_length, const char* password, const uint8_t* in,
                                 size_t in_length, uint8_t* out, KeyError* key_error) {
    *key_error = KeyError::kNone;
    if (!password || !text) return 0;
    size_t length = 0;
    MemBlock der(BASE64_DecodeBytes(text, text_length, &length));
    if (!der || length > UINT32_MAX) return 0;
    MemBytes plain;  // the plaintext private key, not needed here
    RsaKey* raw = nullptr;
    *key_error = PRIKEY_DecryptToRsaKey(reinterpret_cast<const uint8_t*>(password), std::strlen(password), der.get(),
                                        length, &plain, &raw);
    RsaKeyPtr key(raw);
    if (*key_error != KeyError::kNone) return 0;
    return SESSIONKEY_DecryptOaep(key.get(), in, in_length, out);
}

int SESSIONKEY_DecodeKeyboard(KeyboardMessageAt message_at, const void* messages, int32_t count, const uint8_t* key,
                              const uint8_t* iv, uint8_t* out) {
    if (count < 1) return 0;
    SeedCbcContext base;
    SEED_CBC_Init(&base, kDecrypt, key, iv);
    SeedCbcContext context;
    // Keystrokes stay here until every message has decrypted; `present` marks the non-empty ones.
    SecureBytes typed(static_cast<size_t>(count));
    Bytes present(static_cast<size_t>(count));
    SecureBytes work;
    bool decrypted = true;
    for (int32_t i = 0; i < count && decrypted; ++i) {
        const std::span<const uint8_t> message = message_at(messages, i);
        const uint8_t* block = message.data();
        const size_t length = block ? message.size() : 0;
        work.resize(length);
        context = base;  // every message starts from the IV
        size_t produced = 0;
        if (length == 0 || SEED_CBC_Padded(&context, work.data(), &produced, block, length) != 1) {
            decrypted = false;
        } else if (produced > 0) {
            typed[static_cast<size_t>(i)] = work[0];
            present[static_cast<size_t>(i)] = 1;
        }
        MEM_Wipe(work.data(), work.size());
    }
    MEM_Wipe(&base, sizeof base);
    MEM_Wipe(&context, sizeof context);
    if (!decrypted) return 0;
    for (size_t i = 0; i < typed.size(); ++i)
        if (present[i]) out[i] = typed[i];
    return 1;
}

int SESSIONKEY_DecodeKeyboardBlocks(const uint8_t* blocks, int32_t count, const uint8_t* key, const uint8_t* iv,
                                    uint8_t* out) {
    return SESSIONKEY_DecodeKeyboard(BlockAt, blocks, count, key, iv, out);
}

}  // namespace quillon
