#include "pkcs/pkcs12.h"

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
    ASNVALUE_Free(mac->digest);
    ASNVALUE_Free(mac->macSalt);
    BIGNUM_Free(mac->iterations);
    MEM_Free(mac);
}

int MACDATA_Encode(const MacData* mac, DerElement* element) {
    if (!element) return 0;
    DER_Reset(element);
    if (!mac || !mac->digestAlgorithm || !mac->digest || !mac->macSalt) return 0;
    DerElementPtr algorithm(DER_New());
    DerElementPtr digest_info(DER_New());
    const bool ok =
        algorithm && digest_info &&
        DER_Append(algorithm.get(), DER_OID, mac->digestAlgorithm, static_cast<int32_t>(mac->digestAlgorithm->length)) &&
        DER_Append(algorithm.get(), DER_NULL, nullptr, 0) &&
        DER_Append(digest_info.get(), DER_SEQUENCE, algorithm.get(), 0) &&
        DER_Append(digest_info.get(), DER_OCTET_STRING, mac->digest, static_cast<int32_t>(mac->digest->length)) &&
        DER_Append(element, DER_SEQUENCE, digest_info.get(), 0) &&
        DER_Append(element, DER_OCTET_STRING, mac->macSalt, static_cast<int32_t>(mac->macSalt->length)) &&
        (!mac->iterations || DER_AppendInteger(element, mac->iterations));
    if (!ok) DER_Reset(element);
    return ok ? 1 : 0;
}

int MACDATA_Decode(const DerElement* element, MacData** out) {
    if (!element || !out) return 0;
    const int count = DER_ItemCount(element);
    if (count < 2 || count > 3) return 0;
    MacDataPtr mac(MEM_New<MacData>());
    DerElementPtr digest_info = Sequence(element, 0);
    DerElementPtr algorithm = digest_info ? Sequence(digest_info.get(), 0) : nullptr;
    if (!mac || !algorithm ||
        !(mac->digestAlgorithm = static_cast<AsnValue*>(DER_GetExactItem(algorithm.get(), 0, DER_OID))) ||
        !(mac->digest = Octets(digest_info.get(), 1)) || !(mac->macSalt = Octets(element, 1)))
        return 0;
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

int PFX_Encode(const Pfx* pfx, DerElement* element) {
    if (!element) return 0;
    DER_Reset(element);
    if (!pfx) return 0;
    DerElementPtr auth(DER_New());
    DerElementPtr mac(DER_New());
    const bool ok = auth && mac && CONTENTINFO_Encode(pfx->authSafe, auth.get()) &&
                    MACDATA_Encode(pfx->macData, mac.get()) && DER_AppendInteger(element, pfx->version) &&
                    DER_Append(element, DER_SEQUENCE, auth.get(), 0) && DER_Append(element, DER_SEQUENCE, mac.get(), 0);
    if (!ok) DER_Reset(element);
    return ok ? 1 : 0;
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

int SAFECONTENTS_Encode(const SafeBag* bag, DerElement* element) {
    if (!element) return 0;
    DER_Reset(element);
    if (!bag || !bag->bagId || !bag->bagValue) return 0;
    DerElementPtr wrapped(DER_New());
    DerElementPtr item(DER_New());
    const bool ok =
        wrapped && item && DER_AppendExplicit(wrapped.get(), 0, DER_SEQUENCE, bag->bagValue, 0) &&
        DER_Append(item.get(), DER_OID, bag->bagId, static_cast<int32_t>(bag->bagId->length)) &&
        DER_Append(item.get(), DER_SEQUENCE, wrapped.get(), 0) && DER_Append(element, DER_SEQUENCE, item.get(), 0);
    if (!ok) DER_Reset(element);
    return ok ? 1 : 0;
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
