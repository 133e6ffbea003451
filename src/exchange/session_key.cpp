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

// Wipes and releases a MEM_ block whose length is known only at release time.
struct WipedText {
    uint8_t* data = nullptr;
    size_t length = 0;
    ~WipedText() {
        if (data) {
            MEM_Wipe(data, length);
            MEM_Free(data);
        }
    }
};

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

int32_t SESSIONKEY_DecryptWithPemKey(const uint8_t* text, size_t text_length, const char* password,
                                     const uint8_t* in, size_t in_length, uint8_t* out) {
    if (!password || !text) return 0;
    WipedText der;
    der.data = BASE64_DecodeBytes(text, text_length, &der.length);
    if (!der.data || der.length > UINT32_MAX) return 0;
    const BINSTR encrypted{der.data, static_cast<uint32_t>(der.length)};
    BINSTR plain{nullptr, 0};
    RsaKey* raw = nullptr;
    const int32_t loaded = PRIKEY_DecryptToRsaKey(password, &encrypted, &plain, &raw);
    RsaKeyPtr key(raw);
    if (plain.data) {
        MEM_Wipe(plain.data, plain.length);  // the plaintext private key
        MEM_Free(plain.data);
    }
    if (loaded != QC_OK) return loaded;
    return SESSIONKEY_DecryptOaep(key.get(), in, in_length, out);
}

int32_t SESSIONKEY_DecodeKeyboard(const BINSTR* records, const uint8_t* packed, int32_t count, const uint8_t* key,
                                  const uint8_t* iv, uint8_t* out) {
    if (count < 1) return QC_ERR_NULL_ARGUMENT;
    SeedCbcContext base;
    SEED_CBC_Init(&base, kDecrypt, key, iv);
    SeedCbcContext context;
    // Keystrokes stay here until every message has decrypted; `present` marks the non-empty ones.
    SecureBytes typed(static_cast<size_t>(count));
    Bytes present(static_cast<size_t>(count));
    SecureBytes work;
    int32_t result = QC_OK;
    for (int32_t i = 0; i < count && result == QC_OK; ++i) {
        const uint8_t* block = packed ? packed + static_cast<size_t>(i) * kSeedBlockSize : records[i].data;
        const size_t length = packed ? kSeedBlockSize : (records[i].data ? records[i].length : 0);
        work.resize(length);
        context = base;  // every message starts from the IV
        size_t produced = 0;
        if (length == 0 || SEED_CBC_Padded(&context, work.data(), &produced, block, length) != 1) {
            result = QC_ERR_DECRYPT;
        } else if (produced > 0) {
            typed[static_cast<size_t>(i)] = work[0];
            present[static_cast<size_t>(i)] = 1;
        }
        MEM_Wipe(work.data(), work.size());
    }
    MEM_Wipe(&base, sizeof base);
    MEM_Wipe(&context, sizeof context);
    if (result != QC_OK) return result;
    for (size_t i = 0; i < typed.size(); ++i)
        if (present[i]) out[i] = typed[i];
    return QC_OK;
}

}  // namespace quillon
