// The hashes by identifier: the layers above name an algorithm by its object-table NID (the
// hash's own, or HMAC with it) and get its sizes and operations here, not from a switch of their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/sha1.h"
#include "cipher/sha256.h"
#include "cipher/sha512.h"

namespace quillon {

// Room for any of the hashes' states; which member is live is the algorithm's business.
union DigestState {
    Sha1Context sha1;
    Sha256Context sha256;
    Sha512Context sha512;
};

inline constexpr size_t kDigestMaxSize = 64;
inline constexpr size_t kDigestMaxBlock = 128;

struct DigestAlgorithm {
    int nid;       // the hash
    int hmac_nid;  // HMAC with it
    size_t size;
    size_t block_size;
    uint32_t (*init)(DigestState* state);
    uint32_t (*update)(DigestState* state, const uint8_t* data, size_t length);
    uint32_t (*final)(DigestState* state, uint8_t* digest);
    // One block straight into the chaining value, and the chaining value as digest bytes: the
    // two steps of an iterated HMAC whose messages are a single digest.
    void (*transform)(DigestState* state, const uint8_t* block);
    void (*chaining)(const DigestState* state, uint8_t* digest);
};

// SHA-1, SHA-224, SHA-256, SHA-384, SHA-512 by the NID of the hash or of HMAC with it; null
// for anything else.
const DigestAlgorithm* DIGEST_FromNid(int nid);

// One-shot digest of `size` bytes; 1 or 0.
int DIGEST_Compute(const DigestAlgorithm* digest, const uint8_t* data, size_t length, uint8_t* out);

}  // namespace quillon
