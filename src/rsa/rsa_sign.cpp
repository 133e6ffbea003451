#include "rsa/rsa_sign.h"

#include <cstring>

#include "asn1/der.h"
#include "asn1/object_table.h"
#include "asn1/oid_text.h"
#include "bignum/bignum.h"
#include "cipher/digest.h"
#include "cipher/random.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace quillon {
namespace {

constexpr uint8_t kPssTrailer = 0xBC;
constexpr uint32_t kPssPrefixZeros = 8;
// DigestInfo ::= SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING }: under 128 bytes for every
// hash here, so all its lengths take the short form.
constexpr uint32_t kDigestInfoMax = 2 + 2 + 2 + 16 + 2 + 2 + kDigestMaxSize;

struct Pkcs1Row {
    int signature_nid;
    int hash_nid;
};
constexpr Pkcs1Row kPkcs1Schemes[] = {
    {NID_RSA_SHA1, NID_SHA1},
    {NID_SHA224_WITH_RSA_ENCRYPTION, NID_SHA224},
    {NID_SHA256_WITH_RSA_ENCRYPTION, NID_SHA256},
    {NID_SHA384_WITH_RSA_ENCRYPTION, NID_SHA384},
    {NID_SHA512_WITH_RSA_ENCRYPTION, NID_SHA512},
};

// DigestInfo for the hash's identifier and `digest`; its length, 0 when it does not fit.
uint32_t DigestInfo(const DigestAlgorithm* hash, const uint8_t* digest, uint8_t* out) {
    uint8_t oid[kOidTextMax];
    const char* text = OBJ_Row(hash->nid)->oid;
    const size_t oid_length = OID_TextToContents(text, std::strlen(text), oid, sizeof oid);
    if (oid_length == 0 || oid_length > 16) return 0;
    const auto h = static_cast<uint32_t>(hash->size);
    const auto algorithm = static_cast<uint32_t>(2 + (2 + oid_length) + 2);  // SEQUENCE { OID, NULL }
    const uint32_t total = 2 + algorithm + 2 + h;
    uint8_t* p = out;
    *p++ = kDerSequenceId;
    *p++ = static_cast<uint8_t>(total - 2);
    *p++ = kDerSequenceId;
    *p++ = static_cast<uint8_t>(algorithm - 2);
    *p++ = DER_OID;
    *p++ = static_cast<uint8_t>(oid_length);
    std::memcpy(p, oid, oid_length);
    p += oid_length;
    *p++ = DER_NULL;
    *p++ = 0;
    *p++ = DER_OCTET_STRING;
    *p++ = static_cast<uint8_t>(h);
    std::memcpy(p, digest, h);
    return total;
}

// EMSA-PKCS1-v1_5: 00 01, FF filler, 00, DigestInfo, in exactly k bytes.
bool EncodePkcs1(const DigestAlgorithm* hash, const uint8_t* digest, uint8_t* em, uint32_t k) {
    uint8_t info[kDigestInfoMax];
    const uint32_t t = DigestInfo(hash, digest, info);
    if (t == 0 || k < t + 11) return false;
    em[0] = 0;
    em[1] = 1;
    std::memset(em + 2, 0xFF, k - t - 3);
    em[k - t - 1] = 0;
    std::memcpy(em + k - t, info, t);
    return true;
}

// H = Hash(00 x 8 || mHash || salt).
void PssHash(const DigestAlgorithm* hash, const uint8_t* digest, const uint8_t* salt, uint32_t salt_length,
             uint8_t* out) {
    static constexpr uint8_t kZeros[kPssPrefixZeros] = {};
    DigestState state;
    hash->init(&state);
    hash->update(&state, kZeros, sizeof kZeros);
    hash->update(&state, digest, hash->size);
    hash->update(&state, salt, salt_length);
    hash->final(&state, out);
    MEM_Wipe(&state, sizeof state);
}

// The encoded message occupies em_length = ceil((modBits - 1) / 8) bytes, whose top
// 8 em_length - (modBits - 1) bits are zero.
struct PssLayout {
    uint32_t em_length;
    uint8_t top_mask;  // bits of the first byte that may be set
};

PssLayout PssLayoutFor(const RsaKey* key) {
    const auto em_bits = static_cast<uint32_t>(BIGNUM_NumBits(key->n)) - 1;
    return {(em_bits + 7) / 8, static_cast<uint8_t>(0xFF >> (8 * ((em_bits + 7) / 8) - em_bits))};
}

// EMSA-PSS-ENCODE into em (em_length bytes).
bool EncodePss(const RsaSignScheme& scheme, const uint8_t* digest, const uint8_t* salt, const PssLayout& layout,
               uint8_t* em) {
    const auto h = static_cast<uint32_t>(scheme.hash->size);
    const uint32_t s = scheme.salt_length;
    if (layout.em_length < h + s + 2) return false;
    const uint32_t db_length = layout.em_length - h - 1;
    uint8_t* db = em;
    uint8_t* hash_out = em + db_length;
    PssHash(scheme.hash, digest, salt, s, hash_out);
    MemArray<uint8_t> mask(db_length, true);
    if (!mask) return false;
    RSA_Mgf1(scheme.mgf_hash, hash_out, h, mask.get(), db_length);
    std::memset(db, 0, db_length - s - 1);
    db[db_length - s - 1] = 1;
    std::memcpy(db + db_length - s, salt, s);
    for (uint32_t i = 0; i < db_length; ++i) db[i] ^= mask.get()[i];
    db[0] &= layout.top_mask;
    em[layout.em_length - 1] = kPssTrailer;
    return true;
}

// EMSA-PSS-VERIFY of em (em_length bytes).
bool VerifyPss(const RsaSignScheme& scheme, const uint8_t* digest, uint8_t* em, const PssLayout& layout,
               bool* memory_failed) {
    const auto h = static_cast<uint32_t>(scheme.hash->size);
    const uint32_t s = scheme.salt_length;
    if (layout.em_length < h + s + 2 || em[layout.em_length - 1] != kPssTrailer) return false;
    if (em[0] & ~layout.top_mask) return false;
    const uint32_t db_length = layout.em_length - h - 1;
    uint8_t* db = em;
    const uint8_t* hash_in = em + db_length;
    MemArray<uint8_t> mask(db_length);
    if (!mask) return !(*memory_failed = true);
    RSA_Mgf1(scheme.mgf_hash, hash_in, h, mask.get(), db_length);
    for (uint32_t i = 0; i < db_length; ++i) db[i] ^= mask.get()[i];
    db[0] &= layout.top_mask;
    for (uint32_t i = 0; i < db_length - s - 1; ++i) {
        if (db[i] != 0) return false;
    }
    if (db[db_length - s - 1] != 1) return false;
    uint8_t expected[kDigestMaxSize];
    PssHash(scheme.hash, digest, db + db_length - s, s, expected);
    return std::memcmp(expected, hash_in, h) == 0;
}

}  // namespace

bool RSA_SchemeFromNid(int nid, RsaSignScheme* scheme) {
    if (nid == NID_RSASSA_PSS) {
        const DigestAlgorithm* sha256 = DIGEST_FromNid(NID_SHA256);
        *scheme = {sha256, true, sha256, kRsaPssSaltLength};
        return true;
    }
    for (const Pkcs1Row& row : kPkcs1Schemes) {
        if (row.signature_nid == nid) {
            *scheme = {DIGEST_FromNid(row.hash_nid), false, nullptr, 0};
            return true;
        }
    }
    return false;
}

RsaSignError RSA_SignDigest(RsaKey* key, const RsaSignScheme& scheme, const uint8_t* digest, uint8_t* signature,
                            uint32_t k) {
    if (!key || !key->n || !scheme.hash || k != RSA_ModulusBytes(key)) return RsaSignError::kKeySize;
    MemArray<uint8_t> em(k, true);
    if (!em) return RsaSignError::kMemory;
    if (scheme.pss) {
        const PssLayout layout = PssLayoutFor(key);
        SecretArray<uint8_t, kRsaPssMaxSalt> salt;
        if (scheme.salt_length > kRsaPssMaxSalt) return RsaSignError::kKeySize;
        if (layout.em_length < scheme.hash->size + scheme.salt_length + 2) return RsaSignError::kKeySize;
        if (RANDOM_Bytes(salt.data, scheme.salt_length) != 1) return RsaSignError::kRandom;
        // A modulus of 8m + 1 bits leaves the k-byte block a leading zero byte.
        if (!EncodePss(scheme, digest, salt.data, layout, em.get() + (k - layout.em_length)))
            return RsaSignError::kMemory;
    } else if (!EncodePkcs1(scheme.hash, digest, em.get(), k)) {
        return RsaSignError::kKeySize;
    }
    BigNumPtr m(BIGNUM_FromBytes(em.get(), k, nullptr));
    if (!m) return RsaSignError::kMemory;
    if (RSA_PrivateBlock(key, m.get(), signature, k)) return RsaSignError::kNone;
    return key->d || key->p ? RsaSignError::kMemory : RsaSignError::kKeySize;
}

SignatureCheck RSA_VerifyDigest(RsaKey* key, const RsaSignScheme& scheme, const uint8_t* digest,
                                const uint8_t* signature, uint32_t signature_length) {
    const uint32_t k = RSA_ModulusBytes(key);
    // A key no signature can verify under (an even modulus, no or an even exponent), or one whose
    // size would let a hostile certificate hold the caller for seconds: refused before any work.
    if (k == 0 || !key->e || !BIGNUM_IsBitSet(key->n, 0) || !BIGNUM_IsBitSet(key->e, 0) ||
        BIGNUM_NumBits(key->n) > kRsaMaxKeyBits || BIGNUM_NumBits(key->e) > kRsaMaxVerifyExponentBits)
        return SignatureCheck::kUnsupported;
    if (!scheme.hash || !signature || signature_length != k) return SignatureCheck::kInvalid;
    MemArray<uint8_t> em(k), expected(k);
    if (!em || !expected) return SignatureCheck::kMemory;
    BigNumPtr s(BIGNUM_FromBytes(signature, k, nullptr));
    if (!s) return SignatureCheck::kMemory;
    if (BIGNUM_Cmp(s.get(), key->n) >= 0) return SignatureCheck::kInvalid;
    if (!RSA_PublicBlock(key, signature, em.get(), k)) return SignatureCheck::kMemory;
    if (scheme.pss) {
        const PssLayout layout = PssLayoutFor(key);
        if (layout.em_length < k && em.get()[0] != 0) return SignatureCheck::kInvalid;
        bool memory_failed = false;
        const bool valid = VerifyPss(scheme, digest, em.get() + (k - layout.em_length), layout, &memory_failed);
        if (memory_failed) return SignatureCheck::kMemory;
        return valid ? SignatureCheck::kValid : SignatureCheck::kInvalid;
    }
    // The block expected is built whole and compared whole: nothing of what the key turned
    // the signature into is parsed.
    if (!EncodePkcs1(scheme.hash, digest, expected.get(), k)) return SignatureCheck::kInvalid;
    return CT_Equal(em.get(), k, expected.get(), k) ? SignatureCheck::kValid : SignatureCheck::kInvalid;
}

}  // namespace quillon
