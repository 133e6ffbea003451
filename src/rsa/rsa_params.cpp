#include "rsa/rsa_params.h"

#include "asn1/der.h"
#include "asn1/object_table.h"
#include "cipher/digest.h"

namespace quillon {
namespace {

constexpr int64_t kPssDefaultSalt = 20;

bool IsSequence(const DerElement* element) { return element && *element->identifier == kDerSequenceId; }

int OidNid(const DerElement* parent, int index) {
    AsnValuePtr oid(static_cast<AsnValue*>(DER_GetExactItem(parent, index, DER_OID)));
    return OBJ_NidFromValue(oid.get());
}

// An AlgorithmIdentifier's NID when its parameters are absent or NULL; 0 otherwise.
int NidWithoutParams(const DerElement* algorithm) {
    const int count = DER_ItemCount(algorithm);
    if (!IsSequence(algorithm) || count < 1 || count > 2) return 0;
    if (count == 2 && DER_ItemTag(algorithm, 1) != DER_NULL) return 0;
    return OidNid(algorithm, 0);
}

// MGF1 with a hash: SEQUENCE { mgf1, hash AlgorithmIdentifier }.
const DigestAlgorithm* Mgf1Algorithm(const DerElement* algorithm) {
    if (!IsSequence(algorithm) || DER_ItemCount(algorithm) != 2 || OidNid(algorithm, 0) != NID_MGF1) return nullptr;
    DerElementPtr hash(DER_GetExactElement(algorithm, 1, kDerSequenceId));
    return RSA_HashFromAlgorithm(hash.get());
}

// A small non-negative INTEGER's value, or -1.
int64_t SmallInteger(const DerElement* element) {
    const int32_t length = element && *element->identifier == DER_INTEGER ? DER_ContentLength(element) : -1;
    if (length < 1 || length > 4 || (element->contents[0] & 0x80)) return -1;
    if (length > 1 && element->contents[0] == 0 && !(element->contents[1] & 0x80)) return -1;  // not minimal
    int64_t value = 0;
    for (int32_t i = 0; i < length; ++i) value = (value << 8) | element->contents[i];
    return value;
}

// The shared frame of RSASSA-PSS-params and RSAES-OAEP-params: explicit fields [0] to
// [last_tag], each optional and in increasing order, each holding one element. [0] (the hash)
// and [1] (MGF1) are read here; `other(tag, inner)` reads the rest.
template <class Other>
bool ReadParams(const DerElement* params, int last_tag, const DigestAlgorithm** hash,
                const DigestAlgorithm** mgf_hash, Other&& other) {
    *hash = *mgf_hash = DIGEST_FromNid(NID_SHA1);
    if (!params) return true;
    if (!IsSequence(params)) return false;
    int previous = -1;
    for (int i = 0, count = DER_ItemCount(params); i < count; ++i) {
        DerElementPtr tagged(DER_GetItemElement(params, i));
        const int tag = tagged ? *tagged->identifier - kDerExplicit0Id : -1;
        if (tag <= previous || tag > last_tag || DER_ItemCount(tagged.get()) != 1) return false;
        previous = tag;
        DerElementPtr inner(DER_GetItemElement(tagged.get(), 0));
        if (!inner) return false;
        if (tag == 0 && !(*hash = RSA_HashFromAlgorithm(inner.get()))) return false;
        if (tag == 1 && !(*mgf_hash = Mgf1Algorithm(inner.get()))) return false;
        if (tag >= 2 && !other(tag, inner.get())) return false;
    }
    return true;
}

}  // namespace

const DigestAlgorithm* RSA_HashFromAlgorithm(const DerElement* algorithm) {
    const int nid = NidWithoutParams(algorithm);
    const DigestAlgorithm* hash = DIGEST_FromNid(nid);
    return hash && hash->nid == nid ? hash : nullptr;
}

bool RSA_SchemeFromPssParams(const DerElement* params, RsaSignScheme* scheme) {
    RsaSignScheme read{nullptr, true, nullptr, static_cast<uint32_t>(kPssDefaultSalt)};
    const bool ok = ReadParams(params, 3, &read.hash, &read.mgf_hash, [&](int tag, const DerElement* inner) {
        const int64_t value = SmallInteger(inner);
        if (tag == 3) return value == 1;
        if (value < 0 || value > kRsaPssMaxSalt) return false;
        read.salt_length = static_cast<uint32_t>(value);
        return true;
    });
    if (ok) *scheme = read;
    return ok;
}

bool RSA_SchemeFromAlgorithm(const DerElement* algorithm, RsaSignScheme* scheme) {
    if (!IsSequence(algorithm)) return false;
    if (OidNid(algorithm, 0) == NID_RSASSA_PSS) {
        DerElementPtr params(DER_ItemCount(algorithm) == 2 ? DER_GetExactElement(algorithm, 1, kDerSequenceId) : nullptr);
        return params && RSA_SchemeFromPssParams(params.get(), scheme);
    }
    const int nid = NidWithoutParams(algorithm);
    return nid != NID_RSASSA_PSS && RSA_SchemeFromNid(nid, scheme);
}

bool RSA_KeyTransportFromAlgorithm(const DerElement* algorithm, RsaKeyTransport* transport) {
    if (!IsSequence(algorithm)) return false;
    if (NidWithoutParams(algorithm) == NID_RSA_ENCRYPTION) {
        *transport = {false, nullptr, nullptr};
        return true;
    }
    if (OidNid(algorithm, 0) != NID_RSAES_OAEP || DER_ItemCount(algorithm) > 2) return false;
    DerElementPtr params(DER_ItemCount(algorithm) == 2 ? DER_GetExactElement(algorithm, 1, kDerSequenceId) : nullptr);
    if (DER_ItemCount(algorithm) == 2 && !params) return false;
    RsaKeyTransport read{true, nullptr, nullptr};
    // pSourceAlgorithm: only pSpecified with the empty label, which is also the default.
    const bool ok = ReadParams(params.get(), 2, &read.hash, &read.mgf_hash, [](int, const DerElement* source) {
        AsnValuePtr label(static_cast<AsnValue*>(DER_GetExactItem(source, 1, DER_OCTET_STRING)));
        return IsSequence(source) && DER_ItemCount(source) == 2 && OidNid(source, 0) == NID_P_SPECIFIED && label &&
               label->length == 0;
    });
    if (ok) *transport = read;
    return ok;
}

}  // namespace quillon
