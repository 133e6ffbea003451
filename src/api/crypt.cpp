// CRYPT_*: SEED-CBC under a key and IV kept in a host-owned context. Every encrypt or
// decrypt restarts the chain from the stored IV, so each message stands alone.
#include <cstring>

#include "api/export_guard.h"
#include "core/mem.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

// Re-initialises the context from its own key and IV (copied out first: they are also the target).
bool Restart(SeedCbcContext* context, uint32_t direction) {
    uint8_t key[16], iv[16];
    std::memcpy(key, context->key, sizeof key);
    std::memcpy(iv, context->iv, sizeof iv);
    const int ok = SEED_CBC_Init(context, direction, key, iv);
    MEM_Wipe(key, sizeof key);
    MEM_Wipe(iv, sizeof iv);
    return ok == 1;
}

int32_t Crypt(SeedCbcContext* context, const BINSTR* input, BINSTR* output, uint32_t direction, int32_t failure) {
    if (!context || !input || !output) return QC_ERR_NULL_ARGUMENT;
    if (!input->data && input->length > 0) return QC_ERR_NULL_ARGUMENT;
    // Plaintext on one side or the other: the allocator wipes the work buffer on release.
    const MemBlock work(static_cast<uint8_t*>(
        MEM_Alloc(static_cast<size_t>(input->length) + (direction == kEncrypt ? kSeedBlockSize : 0))));
    if (!work) return QC_ERR_ALLOC;
    if (!Restart(context, direction)) return QC_ERR_ALLOC;
    size_t produced = 0;
    if (SEED_CBC_Padded(context, work.get(), &produced, input->data, input->length) != 1) return failure;
    if (produced > UINT32_MAX) return failure;  // a BINSTR cannot carry it
    return BINSTR_SetData(work.get(), static_cast<uint32_t>(produced), output) == QC_OK ? QC_OK : QC_ERR_ALLOC;
}

}  // namespace

extern "C" QUILLON_API int32_t CRYPT_GenKeyAndIV(SeedCbcContext* context) {
    return GuardCode([&]() -> int32_t {
        if (!context) return QC_ERR_NULL_ARGUMENT;
        uint8_t key[16], iv[16];
        int32_t result = QC_OK;
        if (RANDOM_Bytes(key, sizeof key) != 1 || RANDOM_Bytes(iv, sizeof iv) != 1) {
            result = QC_ERR_RANDOM;
        } else if (SEED_CBC_Init(context, kEncrypt, key, iv) != 1) {
            result = QC_ERR_ALLOC;
        }
        MEM_Wipe(key, sizeof key);
        MEM_Wipe(iv, sizeof iv);
        return result;
    });
}

extern "C" QUILLON_API int32_t CRYPT_GetKeyAndIV(SeedCbcContext* context, BINSTR* key, BINSTR* iv) {
    return GuardCode([&]() -> int32_t {
        if (!context || !key || !iv) return QC_ERR_NULL_ARGUMENT;
        if (BINSTR_SetData(context->key, sizeof context->key, key) != QC_OK) return QC_ERR_ALLOC;
        if (BINSTR_SetData(context->iv, sizeof context->iv, iv) != QC_OK) return QC_ERR_ALLOC;
        return QC_OK;
    });
}

extern "C" QUILLON_API int32_t CRYPT_SetKeyAndIV(SeedCbcContext* context, const BINSTR* key, const BINSTR* iv) {
    return GuardCode([&]() -> int32_t {
        if (!context || !key || !iv) return QC_ERR_NULL_ARGUMENT;
        if (key->length != 16) return QC_ERR_KEY_LENGTH;
        if (iv->length != 16) return QC_ERR_IV_LENGTH;
        if (!key->data || !iv->data) return QC_ERR_NULL_ARGUMENT;
        return SEED_CBC_Init(context, kEncrypt, key->data, iv->data) == 1 ? QC_OK : QC_ERR_ALLOC;
    });
}

extern "C" QUILLON_API int32_t CRYPT_Encrypt(SeedCbcContext* context, const BINSTR* plaintext, BINSTR* ciphertext) {
    return GuardCode([&] { return Crypt(context, plaintext, ciphertext, kEncrypt, QC_ERR_ENCRYPT); });
}

extern "C" QUILLON_API int32_t CRYPT_Decrypt(SeedCbcContext* context, const BINSTR* ciphertext, BINSTR* plaintext) {
    return GuardCode([&] { return Crypt(context, ciphertext, plaintext, kDecrypt, QC_ERR_DECRYPT); });
}
