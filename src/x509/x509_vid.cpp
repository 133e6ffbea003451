#include "x509/x509_vid.h"

#include <cstring>

#include "asn1/der_writer.h"
#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "core/secret.h"
#include "x509/x509_cert.h"
#include "x509/x509_ext.h"

namespace quillon {
namespace {

// The one VID the subjectAltName carries, found in the decoded names.
VidResult FindVid(const PointerList* names, const VID** out) {
    const VID* found = nullptr;
    for (int i = 0; i < X509_ListCount(names); ++i) {
        const auto* name = static_cast<const GeneralName*>(X509_ListGet(names, i));
        const IdentifyData* data = name ? name->identifyData : nullptr;
        if (!data || !data->vid || OBJ_NidFromValue(data->idType) != NID_VID) continue;
        // Two identifiers for one holder: which one would a check be against?
        if (found) return VidResult::kMalformed;
        found = data->vid;
    }
    if (!found) return VidResult::kAbsent;
    *out = found;
    return VidResult::kMatch;
}

// Decodes the first subjectAltName and hands its VID to `use`; what `use` returns, or why there
// is no VID. An allocation that fails while decoding is reported as such, not as bad input.
template <class Use>
VidResult WithVid(const X509Cert* cert, Use&& use) {
    if (!cert || !cert->tbs) return VidResult::kAbsent;
    const PointerList* extensions = cert->tbs->extensions;
    const auto* extension = static_cast<const X509Extension*>(
        X509_ListGet(extensions, X509Ext_FindByNid(extensions, NID_SUBJECT_ALT_NAME, -1)));
    if (!extension || !extension->value) return VidResult::kAbsent;
    return MEM_BlameExhaustion(VidResult::kMemory, {VidResult::kMalformed}, [&] {
        PointerList* decoded = nullptr;
        if (!X509Ext_DecodeGeneralNames(extension->value, &decoded)) return VidResult::kMalformed;
        GeneralNamesPtr names(decoded);
        const VID* vid = nullptr;
        const VidResult found = FindVid(names.get(), &vid);
        return found == VidResult::kMatch ? use(*vid) : found;
    });
}

}  // namespace

VidResult X509_GetVid(const X509Cert* cert, int* hash_nid, MemBytes* virtual_id) {
    return WithVid(cert, [&](const VID& vid) {
        const AsnValue* id = vid.virtualID;
        auto* copy = static_cast<uint8_t*>(MEM_Alloc(id->length));
        if (!copy) return VidResult::kMemory;
        if (id->length) std::memcpy(copy, id->data, id->length);
        virtual_id->Reset(copy, id->length);
        *hash_nid = OBJ_NidFromValue(vid.hashAlg);
        return VidResult::kMatch;
    });
}

VidResult X509_CheckVid(const X509Cert* cert, const char* idn, size_t idn_length, const uint8_t* random,
                        size_t random_length) {
    return WithVid(cert, [&](const VID& vid) {
        const int nid = OBJ_NidFromValue(vid.hashAlg);
        if (nid != NID_SHA1 && nid != NID_SHA256) return VidResult::kMalformed;
        const DigestAlgorithm* hash = DIGEST_FromNid(nid);
        // The BIT STRING's contents: no unused bits, then the random number.
        SecureBytes bits(1 + random_length);
        if (random_length) std::memcpy(bits.data() + 1, random, random_length);
        DerWriter w;
        DerNode* sequence = DERW_Sequence(&w, nullptr);
        DERW_Primitive(&w, sequence, DER_PRINTABLE_STRING, reinterpret_cast<const uint8_t*>(idn),
                       static_cast<uint32_t>(idn_length));
        DERW_Primitive(&w, sequence, DER_BIT_STRING, bits.data(), static_cast<uint32_t>(bits.size()));
        MemBlock der;  // wiped when released, as every MEM_ block
        const int32_t der_length = DERW_Write(&w, sequence, &der);
        SecretArray<uint8_t, kDigestMaxSize> inner, outer;
        if (der_length <= 0 || !hash || !DIGEST_Compute(hash, der.get(), static_cast<size_t>(der_length), inner.data) ||
            !DIGEST_Compute(hash, inner.data, hash->size, outer.data))
            return VidResult::kMemory;
        const AsnValue* id = vid.virtualID;
        return CT_Equal(outer.data, hash->size, id->data, id->length) ? VidResult::kMatch : VidResult::kMismatch;
    });
}

}  // namespace quillon
