#include "x509/x509_ext.h"

#include <cstring>

#include "asn1/der.h"
#include "core/mem.h"
#include "bignum/bignum.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"

namespace quillon {
namespace {

DerElementPtr GetElement(const DerElement* parent, int index, int tag = DER_SEQUENCE) {
    return DerElementPtr(static_cast<DerElement*>(DER_GetItem(parent, index, tag)));
}
AsnValuePtr GetValue(const DerElement* parent, int index, int tag) {
    return AsnValuePtr(static_cast<AsnValue*>(DER_GetItem(parent, index, tag)));
}

// The extension's own element, read within the OCTET STRING; `identifier` 0 takes any.
DerElementPtr ParseValue(const AsnValue* value, int identifier) {
    if (!value || !value->data || value->length == 0) return nullptr;
    DerElementPtr element(DER_Parse(value->data, value->length));
    if (!element || (identifier && *element->identifier != identifier)) return nullptr;
    return element;
}

// Item count; 0 for empty contents, -1 when the contents do not walk as items.
int Items(const DerElement* element) {
    const int count = DER_ItemCount(element);
    if (count > 0) return count;
    return DER_ContentLength(element) == 0 ? 0 : -1;
}

// (A primitive universal item's identifier octet is its tag number.)
bool IsString(int identifier) {
    return identifier == DER_UTF8_STRING || identifier == DER_IA5_STRING || identifier == DER_VISIBLE_STRING ||
           identifier == DER_BMP_STRING;
}

void FreeBigNum(void* number) { BIGNUM_Free(static_cast<BigNum*>(number)); }
void FreeValue(void* value) { ASNVALUE_Free(static_cast<AsnValue*>(value)); }

void FreeUserNotice(UserNotice* notice) {
    if (!notice) return;
    ASNVALUE_Free(notice->organization);
    PLIST_FreeAll(notice->noticeNumbers, FreeBigNum);
    ASNVALUE_Free(notice->explicitText);
    MEM_Free(notice);
}

void FreeQualifier(void* item) {
    auto* q = static_cast<PolicyQualifierInfo*>(item);
    if (!q) return;
    ASNVALUE_Free(q->policyQualifierId);
    ASNVALUE_Free(q->cps);
    FreeUserNotice(q->userNotice);
    MEM_Free(q);
}

void FreePolicy(void* item) {
    auto* p = static_cast<PolicyInformation*>(item);
    if (!p) return;
    ASNVALUE_Free(p->policyIdentifier);
    PLIST_FreeAll(p->qualifiers, FreeQualifier);
    MEM_Free(p);
}

void FreeVid(VID* vid) {
    if (!vid) return;
    ASNVALUE_Free(vid->hashAlg);
    ASNVALUE_Free(vid->virtualID);
    MEM_Free(vid);
}

void FreeIdentifyData(IdentifyData* data) {
    if (!data) return;
    ASNVALUE_Free(data->realName);
    ASNVALUE_Free(data->idType);
    FreeVid(data->vid);
    MEM_Free(data);
}

void FreeGeneralName(void* item) {
    auto* name = static_cast<GeneralName*>(item);
    if (!name) return;
    ASNVALUE_Free(name->typeId);
    ASNVALUE_Free(name->value);
    X509_FreeName(name->directoryName);
    FreeIdentifyData(name->identifyData);
    MEM_Free(name);
}

void FreeDistPoint(void* item) {
    auto* point = static_cast<DistributionPoint*>(item);
    if (!point) return;
    X509Ext_FreeGeneralNames(point->fullName);
    X509_FreeName(point->relativeName);
    ASNVALUE_Free(point->reasons);
    X509Ext_FreeGeneralNames(point->cRLIssuer);
    MEM_Free(point);
}

using UserNoticePtr = Owned<UserNotice, FreeUserNotice>;
using QualifierPtr = Owned<PolicyQualifierInfo, FreeQualifier>;
using PolicyPtr = Owned<PolicyInformation, FreePolicy>;
using VidPtr = Owned<VID, FreeVid>;
using IdentifyDataPtr = Owned<IdentifyData, FreeIdentifyData>;
using GeneralNamePtr = Owned<GeneralName, FreeGeneralName>;
using DistPointPtr = Owned<DistributionPoint, FreeDistPoint>;
void FreeNumbers(PointerList* numbers) { PLIST_FreeAll(numbers, FreeBigNum); }
using NumbersPtr = Owned<PointerList, FreeNumbers>;

// Pushes an owned item; the list takes it only when the push succeeds.
template <class Ptr>
bool Push(PointerList* list, Ptr& item) {
    if (PLIST_Push(list, item.get()) == 0) return false;
    item.release();
    return true;
}

// ---- certificate policies ------------------------------------------------------------

// UserNotice: each element told by its tag, the explicit text (a string) and the noticeRef
// { organization, SEQUENCE OF INTEGER }; each at most once.
UserNotice* DecodeUserNotice(const DerElement* sequence) {
    const int count = Items(sequence);
    if (count < 0) return nullptr;
    UserNoticePtr notice(MEM_New<UserNotice>());
    if (!notice) return nullptr;
    for (int i = 0; i < count; ++i) {
        const int tag = DER_ItemTag(sequence, i);
        if (IsString(tag) && !notice->explicitText) {
            if (!(notice->explicitText = GetValue(sequence, i, DER_ANY).release())) return nullptr;
        } else if (tag == kDerSequenceId && !notice->organization) {
            DerElementPtr reference = GetElement(sequence, i);
            if (!reference || Items(reference.get()) != 2 || !IsString(DER_ItemTag(reference.get(), 0))) return nullptr;
            notice->organization = GetValue(reference.get(), 0, DER_ANY).release();
            DerElementPtr numbers = GetElement(reference.get(), 1);
            const int n = numbers ? Items(numbers.get()) : -1;
            if (!notice->organization || n < 0) return nullptr;
            NumbersPtr list(PLIST_New());
            if (!list) return nullptr;
            for (int j = 0; j < n; ++j) {
                BigNumPtr number(static_cast<BigNum*>(DER_GetItem(numbers.get(), j, DER_INTEGER)));
                if (!number || !Push(list.get(), number)) return nullptr;
            }
            notice->noticeNumbers = list.release();
        } else {
            return nullptr;
        }
    }
    return notice.release();
}

// PolicyQualifierInfo: exactly { OID, CPS IA5String | UserNotice SEQUENCE }.
PolicyQualifierInfo* DecodeQualifier(const DerElement* sequence) {
    if (Items(sequence) != 2) return nullptr;
    QualifierPtr qualifier(MEM_New<PolicyQualifierInfo>());
    if (!qualifier || !(qualifier->policyQualifierId = GetValue(sequence, 0, DER_OID).release())) return nullptr;
    const int tag = DER_ItemTag(sequence, 1);
    if (tag == DER_IA5_STRING) {
        qualifier->cps = GetValue(sequence, 1, DER_IA5_STRING).release();
        return qualifier->cps ? qualifier.release() : nullptr;
    }
    if (tag != kDerSequenceId) return nullptr;
    DerElementPtr notice = GetElement(sequence, 1);
    qualifier->userNotice = notice ? DecodeUserNotice(notice.get()) : nullptr;
    return qualifier->userNotice ? qualifier.release() : nullptr;
}

// PolicyInformation: the OID, and the qualifiers only when there are exactly two elements.
PolicyInformation* DecodePolicy(const DerElement* sequence) {
    const int count = Items(sequence);
    if (count < 1) return nullptr;
    PolicyPtr policy(MEM_New<PolicyInformation>());
    if (!policy || !(policy->policyIdentifier = GetValue(sequence, 0, DER_OID).release())) return nullptr;
    if (count != 2) return policy.release();
    DerElementPtr qualifiers = GetElement(sequence, 1);
    const int n = qualifiers ? Items(qualifiers.get()) : -1;
    if (n < 0) return nullptr;
    if (n == 0) return policy.release();  // an empty list counts as none
    if (!(policy->qualifiers = PLIST_New())) return nullptr;
    for (int i = 0; i < n; ++i) {
        DerElementPtr item = GetElement(qualifiers.get(), i);
        QualifierPtr qualifier(item ? DecodeQualifier(item.get()) : nullptr);
        if (!qualifier || !Push(policy->qualifiers, qualifier)) return nullptr;
    }
    return policy.release();
}

// ---- general names -------------------------------------------------------------------

VID* DecodeVid(const DerElement* sequence) {
    // The hash algorithm alone names nothing: a VID must carry its virtualID.
    if (Items(sequence) != 2 || DER_ItemTag(sequence, 1) != kDerExplicit0Id) return nullptr;
    VidPtr vid(MEM_New<VID>());
    if (!vid) return nullptr;
    DerElementPtr algorithm = GetElement(sequence, 0);
    DerElementPtr wrapper = GetElement(sequence, 1);
    if (!algorithm || !wrapper || Items(wrapper.get()) != 1) return nullptr;
    vid->hashAlg = GetValue(algorithm.get(), 0, DER_OID).release();
    vid->virtualID = GetValue(wrapper.get(), 0, DER_OCTET_STRING).release();
    return vid->hashAlg && vid->virtualID ? vid.release() : nullptr;
}

// IdentifyData: { realName UTF8String [, SEQUENCE { SEQUENCE { idType OID, VID }, ... }] }.
IdentifyData* DecodeIdentifyData(const AsnValue* value) {
    DerElementPtr sequence = ParseValue(value, kDerSequenceId);
    const int count = sequence ? Items(sequence.get()) : -1;
    if (count != 1 && count != 2) return nullptr;
    IdentifyDataPtr data(MEM_New<IdentifyData>());
    if (!data || DER_ItemTag(sequence.get(), 0) != DER_UTF8_STRING ||
        !(data->realName = GetValue(sequence.get(), 0, DER_UTF8_STRING).release()))
        return nullptr;
    if (count == 1) return data.release();
    DerElementPtr infos = GetElement(sequence.get(), 1);
    DerElementPtr info = infos ? GetElement(infos.get(), 0) : nullptr;
    if (!info || Items(info.get()) < 2) return nullptr;
    data->idType = GetValue(info.get(), 0, DER_OID).release();
    DerElementPtr vid = GetElement(info.get(), 1);
    if (!data->idType || !vid || !(data->vid = DecodeVid(vid.get()))) return nullptr;
    return data.release();
}

GeneralName* DecodeGeneralName(const DerElement* names, int index) {
    const int tag = DER_ItemTag(names, index);
    if (tag < 0 || (tag & kDerClassMask) != kDerContextClass || (tag & kDerTagNumberMask) > 8) return nullptr;
    GeneralNamePtr name(MEM_New<GeneralName>());
    if (!name) return nullptr;
    name->tag = tag & kDerTagNumberMask;
    if (name->tag == 0 || name->tag == 4) {
        // otherName [0] { type-id, [0] EXPLICIT value }; directoryName [4] EXPLICIT Name.
        DerElementPtr wrapper = (tag & kDerConstructed) ? GetElement(names, index) : nullptr;
        if (!wrapper) return nullptr;
        if (name->tag == 4) {
            DerElementPtr directory = Items(wrapper.get()) == 1 ? GetElement(wrapper.get(), 0) : nullptr;
            if (!directory || !X509Name_Decode(directory.get(), &name->directoryName)) return nullptr;
            return name.release();
        }
        if (Items(wrapper.get()) != 2 || DER_ItemTag(wrapper.get(), 1) != kDerExplicit0Id) return nullptr;
        name->typeId = GetValue(wrapper.get(), 0, DER_OID).release();
        name->value = GetValue(wrapper.get(), 1, DER_ANY).release();
        if (!name->typeId || !name->value) return nullptr;
        if (name->typeId->length == sizeof kIdentifyDataOid - 1 &&
            std::memcmp(name->typeId->data, kIdentifyDataOid, sizeof kIdentifyDataOid - 1) == 0 &&
            !(name->identifyData = DecodeIdentifyData(name->value)))
            return nullptr;
        return name.release();
    }
    name->value = GetValue(names, index, DER_ANY).release();
    return name->value ? name.release() : nullptr;
}

// GeneralNames inside `element` (a SEQUENCE or an implicitly tagged one).
PointerList* DecodeNames(const DerElement* element, bool allow_empty) {
    const int count = element ? Items(element) : -1;
    if (count < 0 || (count == 0 && !allow_empty)) return nullptr;
    GeneralNamesPtr list(PLIST_New());
    if (!list) return nullptr;
    for (int i = 0; i < count; ++i) {
        GeneralNamePtr name(DecodeGeneralName(element, i));
        if (!name || !Push(list.get(), name)) return nullptr;
    }
    return list.release();
}

// ---- distribution points -------------------------------------------------------------

// RelativeDistinguishedName: every AttributeTypeAndValue of the set, in order.
PointerList* DecodeRelativeName(const DerElement* set) {
    const int count = Items(set);
    if (count < 0) return nullptr;
    X509NamePtr list(PLIST_New());
    if (!list) return nullptr;
    for (int i = 0; i < count; ++i) {
        DerElementPtr attribute = GetElement(set, i);
        if (!attribute) return nullptr;
        Owned<X509NameEntry, X509_FreeNameEntry> entry(MEM_New<X509NameEntry>());
        if (!entry) return nullptr;
        entry->object = GetValue(attribute.get(), 0, DER_OID).release();
        entry->value = GetValue(attribute.get(), 1, DER_ANY).release();
        if (!entry->object || !entry->value || !Push(list.get(), entry)) return nullptr;
    }
    return list.release();
}

// DistributionPoint { [0] name, [1] reasons, [2] cRLIssuer }, each optional and at most once.
DistributionPoint* DecodeDistPoint(const DerElement* sequence) {
    const int count = Items(sequence);
    if (count < 0) return nullptr;
    DistPointPtr point(MEM_New<DistributionPoint>());
    if (!point) return nullptr;
    bool seen[3] = {};
    for (int i = 0; i < count; ++i) {
        const int tag = DER_ItemTag(sequence, i);
        const int number = tag & kDerTagNumberMask;
        if ((tag & kDerClassMask) != kDerContextClass || number > 2 || seen[number]) return nullptr;
        seen[number] = true;
        if (number == 1) {
            if (!(point->reasons = GetValue(sequence, i, DER_BIT_STRING).release())) return nullptr;
            continue;
        }
        DerElementPtr wrapper = (tag & kDerConstructed) ? GetElement(sequence, i) : nullptr;
        if (!wrapper) return nullptr;
        if (number == 2) {
            if (!(point->cRLIssuer = DecodeNames(wrapper.get(), true))) return nullptr;
            continue;
        }
        // DistributionPointName: fullName [0] GeneralNames | nameRelativeToCRLIssuer [1] RDN.
        const int kind_tag = Items(wrapper.get()) == 1 ? DER_ItemTag(wrapper.get(), 0) : -1;
        DerElementPtr name = kind_tag >= 0 && (kind_tag & kDerConstructed) ? GetElement(wrapper.get(), 0) : nullptr;
        if (!name) return nullptr;
        if (kind_tag == (kDerContextClass | kDerConstructed | kFullName)) {
            point->kind = kFullName;
            if (!(point->fullName = DecodeNames(name.get(), true))) return nullptr;
        } else if (kind_tag == (kDerContextClass | kDerConstructed | kNameRelativeToCrlIssuer)) {
            point->kind = kNameRelativeToCrlIssuer;
            if (!(point->relativeName = DecodeRelativeName(name.get()))) return nullptr;
        } else {
            return nullptr;
        }
    }
    return point.release();
}

}  // namespace

void X509Ext_FreeBasicConstraints(BasicConstraints* constraints) {
    if (!constraints) return;
    BIGNUM_Free(constraints->pathLenConstraint);
    MEM_Free(constraints);
}
void X509Ext_FreePolicies(PointerList* policies) { PLIST_FreeAll(policies, FreePolicy); }
void X509Ext_FreeOids(PointerList* oids) { PLIST_FreeAll(oids, FreeValue); }
void X509Ext_FreeGeneralNames(PointerList* names) { PLIST_FreeAll(names, FreeGeneralName); }
void X509Ext_FreeAuthKeyId(AuthorityKeyIdentifier* key_id) {
    if (!key_id) return;
    ASNVALUE_Free(key_id->keyIdentifier);
    X509Ext_FreeGeneralNames(key_id->authorityCertIssuer);
    BIGNUM_Free(key_id->authorityCertSerialNumber);
    MEM_Free(key_id);
}
void X509Ext_FreeDistPoints(PointerList* points) { PLIST_FreeAll(points, FreeDistPoint); }

int X509Ext_DecodeKeyUsage(const AsnValue* extension, AsnValue** out) {
    DerElementPtr bits = ParseValue(extension, DER_BIT_STRING);
    if (!bits || !out || DER_ContentLength(bits.get()) < 1) return 0;
    AsnValue* value = ASNVALUE_New();
    if (!value || !ASNVALUE_Set(value, DER_BIT_STRING, bits->contents + 1,
                                static_cast<uint32_t>(DER_ContentLength(bits.get()) - 1))) {
        ASNVALUE_Free(value);
        return 0;
    }
    value->unused_bits = bits->contents[0];
    *out = value;
    return 1;
}

int X509Ext_DecodeBasicConstraints(const AsnValue* extension, BasicConstraints** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    if (!sequence || !out) return 0;
    BasicConstraintsPtr constraints(MEM_New<BasicConstraints>());
    if (!constraints) return 0;
    MemBlock ca(static_cast<uint8_t*>(DER_GetItem(sequence.get(), 0, DER_BOOLEAN)));
    constraints->pathLenConstraint = static_cast<BigNum*>(DER_GetItem(sequence.get(), 1, DER_INTEGER));
    if (!ca || !constraints->pathLenConstraint) return 0;
    constraints->cA = *ca;
    *out = constraints.release();
    return 1;
}

int X509Ext_DecodePolicies(const AsnValue* extension, PointerList** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    const int count = sequence ? Items(sequence.get()) : -1;
    if (count <= 0 || !out) return 0;
    PoliciesPtr list(PLIST_New());
    if (!list) return 0;
    for (int i = 0; i < count; ++i) {
        DerElementPtr item = GetElement(sequence.get(), i);
        PolicyPtr policy(item ? DecodePolicy(item.get()) : nullptr);
        if (!policy || !Push(list.get(), policy)) return 0;
    }
    *out = list.release();
    return 1;
}

int X509Ext_DecodeExtKeyUsage(const AsnValue* extension, PointerList** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    const int count = sequence ? Items(sequence.get()) : -1;
    if (count <= 0 || !out) return 0;
    OidsPtr list(PLIST_New());
    if (!list) return 0;
    for (int i = 0; i < count; ++i) {
        AsnValuePtr oid = GetValue(sequence.get(), i, DER_OID);
        if (!oid || !Push(list.get(), oid)) return 0;
    }
    *out = list.release();
    return 1;
}

int X509Ext_DecodeGeneralNames(const AsnValue* extension, PointerList** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    if (!sequence || !out) return 0;
    PointerList* names = DecodeNames(sequence.get(), false);
    if (!names) return 0;
    *out = names;
    return 1;
}

int X509Ext_DecodeAuthKeyId(const AsnValue* extension, AuthorityKeyIdentifier** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    const int count = sequence ? Items(sequence.get()) : -1;
    if (count < 0 || !out) return 0;
    AuthKeyIdPtr key_id(MEM_New<AuthorityKeyIdentifier>());
    if (!key_id) return 0;
    for (int i = 0; i < count; ++i) {
        const int tag = DER_ItemTag(sequence.get(), i);
        if (tag == (kDerContextClass | 0) && !key_id->keyIdentifier) {
            if (!(key_id->keyIdentifier = GetValue(sequence.get(), i, DER_OCTET_STRING).release())) return 0;
        } else if (tag == (kDerContextClass | kDerConstructed | 1) && !key_id->authorityCertIssuer) {
            DerElementPtr names = GetElement(sequence.get(), i);
            if (!(key_id->authorityCertIssuer = DecodeNames(names.get(), true))) return 0;
        } else if (tag == (kDerContextClass | 2) && !key_id->authorityCertSerialNumber) {
            key_id->authorityCertSerialNumber = static_cast<BigNum*>(DER_GetItem(sequence.get(), i, DER_INTEGER));
            if (!key_id->authorityCertSerialNumber) return 0;
        } else {
            return 0;
        }
    }
    *out = key_id.release();
    return 1;
}

int X509Ext_DecodeSubjectKeyId(const AsnValue* extension, AsnValue** out) {
    DerElementPtr octets = ParseValue(extension, DER_OCTET_STRING);
    if (!octets || !out) return 0;
    const int32_t length = DER_ContentLength(octets.get());
    AsnValue* value = length > 0 ? ASNVALUE_FromOctets(octets->contents, static_cast<uint32_t>(length)) : ASNVALUE_New();
    if (!value) return 0;
    value->type = DER_OCTET_STRING;
    *out = value;
    return 1;
}

int X509Ext_DecodeDistPoints(const AsnValue* extension, PointerList** out) {
    DerElementPtr sequence = ParseValue(extension, kDerSequenceId);
    const int count = sequence ? Items(sequence.get()) : -1;
    if (count <= 0 || !out) return 0;
    DistPointsPtr list(PLIST_New());
    if (!list) return 0;
    for (int i = 0; i < count; ++i) {
        DerElementPtr item = GetElement(sequence.get(), i);
        DistPointPtr point(item ? DecodeDistPoint(item.get()) : nullptr);
        if (!point || !Push(list.get(), point)) return 0;
    }
    *out = list.release();
    return 1;
}

}  // namespace quillon
