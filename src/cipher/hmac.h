// HMAC-SHA1: a keyed context that keeps the pre-keyed hash states, and the one-shot MAC.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/digest.h"
#include "cipher/sha1.h"

namespace quillon {

constexpr uint32_t kHmacKeyed = 0xFFFFFFFFu;

struct HmacSha1Context {
    Sha1Context* work;   // running hash of the current message
    Sha1Context* inner;  // state after key ^ ipad
    Sha1Context* outer;  // state after key ^ opad
    uint32_t hash_size;  // sizeof(Sha1Context) once inner and outer exist
    uint8_t key_block[128];
    int32_t key_length;
    uint32_t stage;  // 1 keyed, 2 data absorbed, 3 finished; 0 while not usable
    uint32_t keyed;  // kHmacKeyed once HMAC_Init has run
};

// All return 1 for success and 0 for failure.
HmacSha1Context* HMAC_New();
// Releases the saved states (wiped); work stays allocated.
int HMAC_Reset(HmacSha1Context* context);
// Wipes and releases everything; null is ignored.
void HMAC_Free(HmacSha1Context* context);
int HMAC_Init(HmacSha1Context* context, const uint8_t* key, int32_t key_length);
// After HMAC_Final, starts a new message under the same key.
int HMAC_Update(HmacSha1Context* context, const uint8_t* data, size_t length);
int HMAC_Final(HmacSha1Context* context, uint8_t* mac);
int HMAC_SHA1(const uint8_t* key, int32_t key_length, const uint8_t* data, size_t length, uint8_t* mac);

// HMAC over any hash of the digest table: a plain record, on the stack or copied by assignment,
// whose inner and outer states are computed once per key.
struct HmacContext {
    const DigestAlgorithm* digest;
    DigestState inner;  // after key ^ ipad
    DigestState outer;  // after key ^ opad
    DigestState work;   // the message so far
};

// 1 or 0. A key longer than the hash's block is hashed first. After HMAC_Final the context
// starts the next message under the same key.
int HMAC_Init(HmacContext* context, const DigestAlgorithm* digest, const uint8_t* key, size_t key_length);
int HMAC_Update(HmacContext* context, const uint8_t* data, size_t length);
// Writes digest->size bytes.
int HMAC_Final(HmacContext* context, uint8_t* mac);
int HMAC_Compute(const DigestAlgorithm* digest, const uint8_t* key, size_t key_length, const uint8_t* data,
                 size_t length, uint8_t* mac);

}  // namespace quillon
