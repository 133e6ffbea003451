#include "pkcs/pkcs12.h"

#include <utility>

#include "bignum/bignum.h"

namespace quillon {
namespace {

DerElementPtr Sequence(const DerElement* parent, int index) {
    return DerElementPtr(DER_GetExactElement(parent, index, kDerSequenceId));
}

AsnValue* Octets(const DerElement* parent, int index) {
    return static_cast<AsnValue*>(DER_GetExactItem(parent, index, DER_OCTET_STRING));
}

}  // namespace

// ---- MacData ------------------------------------------------------------------------------

void MACDATA_Free(MacData* mac) {
    if (!mac) return;
    ASNVALUE_Free(mac->digestAlgorithm);
    ASNVALUE_Free(mac->digestParameters);
    ASNVALUE_Free(mac->digest);
    ASNVALUE_Free(mac->macSalt);
    BIGNUM_Free(mac->iterations);
    MEM_Free(mac);
}

DerNode* MACDATA_Write(DerWriter* w, DerNode* parent, const MacData* mac, DerNode** digest) {
    if (!mac) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DerNode* digest_info = DERW_Sequence(w, node);
    DerNode* algorithm = DERW_Sequence(w, digest_info);
    DERW_Oid(w, algorithm, mac->digestAlgorithm);
    DERW_Primitive(w, algorithm, DER_NULL, nullptr, 0);
    DerNode* value = DERW_String(w, digest_info, DER_OCTET_STRING, mac->digest);
    DERW_String(w, node, DER_OCTET_STRING, mac->macSalt);
    if (mac->iterations) DERW_Integer(w, node, mac->iterations);
    if (digest) *digest = value;
    return node;
}

int MACDATA_Encode(const MacData* mac, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return MACDATA_Write(w, nullptr, mac); });
}

int MACDATA_Decode(const DerElement* element, MacData** out) {
    if (!element || !out) return 0;
    const int count = DER_ItemCount(element);
    if (count < 2 || count > 3) return 0;
    MacDataPtr mac(MEM_New<MacData>());
    DerElementPtr digest_info = Sequence(element, 0);
    DerElementPtr algorithm = digest_info ? Sequence(digest_info.get(), 0) : nullptr;
    AlgorithmId* id = nullptr;
    if (!mac || !algorithm || !ALGID_Decode(algorithm.get(), &id)) return 0;
    mac->digestAlgorithm = std::exchange(id->algorithm, nullptr);
    mac->digestParameters = std::exchange(id->parameters, nullptr);
    ALGID_Free(id);
    if (!(mac->digest = Octets(digest_info.get(), 1)) || !(mac->macSalt = Octets(element, 1))) return 0;
    if (count == 3 && !(mac->iterations = static_cast<BigNum*>(DER_GetExactItem(element, 2, DER_INTEGER))))
        return 0;
    MACDATA_Free(*out);
    *out = mac.release();
    return 1;
}

// ---- Pfx ----------------------------------------------------------------------------------

void PFX_Free(Pfx* pfx) {
    if (!pfx) return;
    BIGNUM_Free(pfx->version);
    MACDATA_Free(pfx->macData);
    CONTENTINFO_Free(pfx->authSafe);
    MEM_Free(pfx);
}

DerNode* PFX_Write(DerWriter* w, DerNode* parent, const Pfx* pfx) {
    if (!pfx) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Integer(w, node, pfx->version);
    CONTENTINFO_Write(w, node, pfx->authSafe);
    MACDATA_Write(w, node, pfx->macData);
    return node;
}

int PFX_Encode(const Pfx* pfx, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return PFX_Write(w, nullptr, pfx); });
}

int PFX_Decode(const DerElement* element, Pfx** out) {
    if (!element || !element->identifier || *element->identifier != kDerSequenceId || !out) return 0;
    if (DER_ItemCount(element) != 3) return 0;
    PfxPtr pfx(MEM_New<Pfx>());
    DerElementPtr auth = Sequence(element, 1);
    DerElementPtr mac = Sequence(element, 2);
    if (!pfx || !auth || !mac ||
        !(pfx->version = static_cast<BigNum*>(DER_GetExactItem(element, 0, DER_INTEGER))) ||
        !CONTENTINFO_Decode(auth.get(), &pfx->authSafe) || !MACDATA_Decode(mac.get(), &pfx->macData))
        return 0;
    PFX_Free(*out);
    *out = pfx.release();
    return 1;
}

// ---- SafeBag ------------------------------------------------------------------------------

void SAFEBAG_Free(SafeBag* bag) {
    if (!bag) return;
    ASNVALUE_Free(bag->bagId);
    DER_Free(bag->bagValue);
    MEM_Free(bag);
}

DerNode* SAFECONTENTS_Write(DerWriter* w, DerNode* parent, const AsnValue* bag_id, DerNode** value) {
    DerNode* node = DERW_Sequence(w, parent);
    DerNode* bag = DERW_Sequence(w, node);
    DERW_Oid(w, bag, bag_id);
    *value = DERW_Constructed(w, bag, kDerExplicit0Id);
    return node;
}

int SAFECONTENTS_Encode(const SafeBag* bag, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) {
        DerNode* value = nullptr;
        DerNode* node = bag ? SAFECONTENTS_Write(w, nullptr, bag->bagId, &value) : DERW_Fail(w);
        DERW_Element(w, value, bag ? bag->bagValue : nullptr);
        return node;
    });
}

int SAFECONTENTS_Decode(const DerElement* element, SafeBag** out) {
    if (!element || !element->identifier || *element->identifier != kDerSequenceId || !out) return 0;
    DerElementPtr item = Sequence(element, 0);
    DerElementPtr wrapped(item ? DER_GetExactElement(item.get(), 1, kDerExplicit0Id) : nullptr);
    SafeBagPtr bag(MEM_New<SafeBag>());
    if (!bag || !wrapped || !(bag->bagValue = Sequence(wrapped.get(), 0).release()) ||
        !(bag->bagId = static_cast<AsnValue*>(DER_GetExactItem(item.get(), 0, DER_OID))))
        return 0;
    SAFEBAG_Free(*out);
    *out = bag.release();
    return 1;
}

}  // namespace quillon
