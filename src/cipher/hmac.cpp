#include "cipher/hmac.h"

#include <cstring>

#include "core/mem.h"
#include "core/secret.h"

namespace quillon {
namespace {

constexpr size_t kKeyBlockUsed = kSha1BlockSize;

Sha1Context* NewState() { return static_cast<Sha1Context*>(MEM_Alloc(sizeof(Sha1Context))); }

void FreeState(Sha1Context*& state) {
    MEM_Free(state);
    state = nullptr;
}

// Absorbs the key block XORed with `pad` into a freshly started work state.
void AbsorbPaddedKey(HmacSha1Context* context, uint8_t pad) {
    uint8_t padded[kKeyBlockUsed];
    for (size_t i = 0; i < kKeyBlockUsed; ++i) padded[i] = context->key_block[i] ^ pad;
    SHA1_Init(context->work);
    SHA1_Update(context->work, padded, sizeof padded);
    MEM_Wipe(padded, sizeof padded);
}

// A context is usable for message data only after a complete HMAC_Init.
bool Ready(const HmacSha1Context* context) {
    return context && context->keyed == kHmacKeyed && context->stage != 0 && context->work &&
           context->inner && context->outer;
}

}  // namespace

HmacSha1Context* HMAC_New() {
    return MEM_New<HmacSha1Context>();
}

int HMAC_Reset(HmacSha1Context* context) {
    if (!context) return 0;
    if (context->keyed == kHmacKeyed && context->hash_size != 0) {
        FreeState(context->inner);
        FreeState(context->outer);
    }
    return 1;
}

void HMAC_Free(HmacSha1Context* context) {
    if (!context) return;
    HMAC_Reset(context);
    // Saved states from a failed HMAC_Init are not covered by Reset's hash_size test.
    FreeState(context->inner);
    FreeState(context->outer);
    FreeState(context->work);
    MEM_Free(context);
}

int HMAC_Init(HmacSha1Context* context, const uint8_t* key, int32_t key_length) {
    if (!context) return 0;
    HMAC_Reset(context);
    FreeState(context->inner);
    FreeState(context->outer);
    context->hash_size = 0;
    context->keyed = kHmacKeyed;
    // Not usable until keyed completely.
    context->stage = 0;

    if (!context->work && !(context->work = NewState())) return 0;
    SHA1_Init(context->work);
    context->inner = NewState();
    context->outer = NewState();
    if (!context->inner || !context->outer) {
        FreeState(context->inner);
        FreeState(context->outer);
        return 0;
    }
    context->hash_size = sizeof(Sha1Context);

    if (!key || key_length < 0) return 0;
    if (static_cast<size_t>(key_length) <= kKeyBlockUsed) {
        std::memcpy(context->key_block, key, static_cast<size_t>(key_length));
        context->key_length = key_length;
    } else {
        SHA1_Update(context->work, key, static_cast<size_t>(key_length));
        SHA1_Final(context->work, context->key_block);
        context->key_length = static_cast<int32_t>(kSha1DigestSize);
    }
    std::memset(context->key_block + context->key_length, 0, kKeyBlockUsed - context->key_length);

    AbsorbPaddedKey(context, 0x5C);
    *context->outer = *context->work;
    AbsorbPaddedKey(context, 0x36);
    *context->inner = *context->work;
    context->stage = 1;
    return 1;
}

int HMAC_Update(HmacSha1Context* context, const uint8_t* data, size_t length) {
    if (!Ready(context)) return 0;
    if (context->stage == 3) {
        *context->work = *context->inner;
        context->stage = 1;
    }
    if (length > 0 && !data) return 0;
    if (!SHA1_Update(context->work, data, length)) return 0;
    context->stage = 2;
    return 1;
}

int HMAC_Final(HmacSha1Context* context, uint8_t* mac) {
    if (!Ready(context) || !mac) return 0;
    // A finished context with no new data: the MAC of the empty message.
    if (context->stage == 3) *context->work = *context->inner;
    uint8_t inner_digest[kSha1DigestSize];
    if (!SHA1_Final(context->work, inner_digest)) return 0;
    *context->work = *context->outer;
    const bool ok = SHA1_Update(context->work, inner_digest, sizeof inner_digest) &&
                    SHA1_Final(context->work, mac);
    MEM_Wipe(inner_digest, sizeof inner_digest);
    if (!ok) return 0;
    context->stage = 3;
    return 1;
}

int HMAC_SHA1(const uint8_t* key, int32_t key_length, const uint8_t* data, size_t length, uint8_t* mac) {
    HmacSha1Context* context = HMAC_New();
    if (!context) return 0;
    const bool ok = HMAC_Init(context, key, key_length) == 1 && HMAC_Update(context, data, length) == 1 &&
                    HMAC_Final(context, mac) == 1;
    HMAC_Free(context);
    return ok ? 1 : 0;
}

int HMAC_Init(HmacContext* context, const DigestAlgorithm* digest, const uint8_t* key, size_t key_length) {
    if (!context || !digest || (!key && key_length)) return 0;
    context->digest = digest;
    SecretArray<uint8_t, kDigestMaxBlock> block;
    std::memset(block.data, 0, sizeof block.data);
    if (key_length > digest->block_size) {
        if (!DIGEST_Compute(digest, key, key_length, block.data)) return 0;
    } else if (key_length) {
        std::memcpy(block.data, key, key_length);
    }
    for (size_t i = 0; i < digest->block_size; ++i) block[i] ^= 0x36;
    if (!digest->init(&context->inner) || !digest->update(&context->inner, block.data, digest->block_size)) return 0;
    for (size_t i = 0; i < digest->block_size; ++i) block[i] ^= 0x36 ^ 0x5C;
    if (!digest->init(&context->outer) || !digest->update(&context->outer, block.data, digest->block_size)) return 0;
    context->work = context->inner;
    return 1;
}

int HMAC_Update(HmacContext* context, const uint8_t* data, size_t length) {
    if (!context || !context->digest) return 0;
    return context->digest->update(&context->work, data, length) ? 1 : 0;
}

int HMAC_Final(HmacContext* context, uint8_t* mac) {
    if (!context || !context->digest || !mac) return 0;
    const DigestAlgorithm* digest = context->digest;
    SecretArray<uint8_t, kDigestMaxSize> inner;
    const bool ok = digest->final(&context->work, inner.data) && (context->work = context->outer, true) &&
                    digest->update(&context->work, inner.data, digest->size) && digest->final(&context->work, mac);
    context->work = context->inner;
    return ok ? 1 : 0;
}

int HMAC_Compute(const DigestAlgorithm* digest, const uint8_t* key, size_t key_length, const uint8_t* data,
                 size_t length, uint8_t* mac) {
    SecretArray<HmacContext, 1> context;
    const int ok = HMAC_Init(&context[0], digest, key, key_length) && HMAC_Update(&context[0], data, length) &&
                   HMAC_Final(&context[0], mac);
    return ok;
}

}  // namespace quillon
