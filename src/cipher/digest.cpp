#include "cipher/digest.h"

#include "asn1/object_table.h"
#include "cipher/block_util.h"
#include "core/secret.h"

namespace quillon {
namespace {

void Sha1Transform(DigestState* s, const uint8_t* block) { SHA1_Transform(&s->sha1, block); }
void Sha256Transform(DigestState* s, const uint8_t* block) { SHA256_Transform(&s->sha256, block); }
void Sha512Transform(DigestState* s, const uint8_t* block) { SHA512_Transform(&s->sha512, block); }

void Sha1Chaining(const DigestState* s, uint8_t* out) {
    for (int i = 0; i < 5; ++i) StoreBe32(out + 4 * i, s->sha1.chaining[i]);
}

template <size_t kWords>
void Sha256Chaining(const DigestState* s, uint8_t* out) {
    for (size_t i = 0; i < kWords; ++i) StoreBe32(out + 4 * i, s->sha256.chaining[i]);
}

template <size_t kWords>
void Sha512Chaining(const DigestState* s, uint8_t* out) {
    for (size_t i = 0; i < kWords; ++i) {
        StoreBe32(out + 8 * i, static_cast<uint32_t>(s->sha512.chaining[i] >> 32));
        StoreBe32(out + 8 * i + 4, static_cast<uint32_t>(s->sha512.chaining[i]));
    }
}

const DigestAlgorithm kDigests[] = {
    {NID_SHA1, NID_HMAC_WITH_SHA1, kSha1DigestSize, kSha1BlockSize,
     [](DigestState* s) { return SHA1_Init(&s->sha1); },
     [](DigestState* s, const uint8_t* d, size_t n) { return SHA1_Update(&s->sha1, d, n); },
     [](DigestState* s, uint8_t* out) { return SHA1_Final(&s->sha1, out); }, Sha1Transform, Sha1Chaining},
    {NID_SHA224, NID_HMAC_WITH_SHA224, kSha224DigestSize, kSha256BlockSize,
     [](DigestState* s) { return SHA224_Init(&s->sha256); },
     [](DigestState* s, const uint8_t* d, size_t n) { return SHA256_Update(&s->sha256, d, n); },
     [](DigestState* s, uint8_t* out) { return SHA256_Final(&s->sha256, out); }, Sha256Transform, Sha256Chaining<7>},
    {NID_SHA256, NID_HMAC_WITH_SHA256, kSha256DigestSize, kSha256BlockSize,
     [](DigestState* s) { return SHA256_Init(&s->sha256); },
     [](DigestState* s, const uint8_t* d, size_t n) { return SHA256_Update(&s->sha256, d, n); },
     [](DigestState* s, uint8_t* out) { return SHA256_Final(&s->sha256, out); }, Sha256Transform, Sha256Chaining<8>},
    {NID_SHA384, NID_HMAC_WITH_SHA384, kSha384DigestSize, kSha512BlockSize,
     [](DigestState* s) { return SHA384_Init(&s->sha512); },
     [](DigestState* s, const uint8_t* d, size_t n) { return SHA512_Update(&s->sha512, d, n); },
     [](DigestState* s, uint8_t* out) { return SHA512_Final(&s->sha512, out); }, Sha512Transform, Sha512Chaining<6>},
    {NID_SHA512, NID_HMAC_WITH_SHA512, kSha512DigestSize, kSha512BlockSize,
     [](DigestState* s) { return SHA512_Init(&s->sha512); },
     [](DigestState* s, const uint8_t* d, size_t n) { return SHA512_Update(&s->sha512, d, n); },
     [](DigestState* s, uint8_t* out) { return SHA512_Final(&s->sha512, out); }, Sha512Transform, Sha512Chaining<8>},
};

}  // namespace

const DigestAlgorithm* DIGEST_FromNid(int nid) {
    if (nid == NID_UNDEF) return nullptr;
    for (const DigestAlgorithm& digest : kDigests) {
        if (digest.nid == nid || digest.hmac_nid == nid) return &digest;
    }
    return nullptr;
}

int DIGEST_Compute(const DigestAlgorithm* digest, const uint8_t* data, size_t length, uint8_t* out) {
    if (!digest || !out) return 0;
    SecretArray<DigestState, 1> state;
    return digest->init(&state[0]) && digest->update(&state[0], data, length) && digest->final(&state[0], out) ? 1 : 0;
}

}  // namespace quillon
