#include "pkcs/pkcs7.h"

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"

namespace quillon {
namespace {

DerElementPtr Sequence(const DerElement* parent, int index) {
    return DerElementPtr(DER_GetExactElement(parent, index, kDerSequenceId));
}

BigNum* Integer(const DerElement* parent, int index) {
    return static_cast<BigNum*>(DER_GetExactItem(parent, index, DER_INTEGER));
}

AsnValue* Octets(const DerElement* parent, int index) {
    return static_cast<AsnValue*>(DER_GetExactItem(parent, index, DER_OCTET_STRING));
}

bool IsSequence(const DerElement* element) {
    return element && element->identifier && *element->identifier == kDerSequenceId;
}

// Runs `build` on a fresh element and appends the result to `parent` as it stands.
template <class Build>
bool AppendBuilt(DerElement* parent, Build&& build) {
    DerElementPtr item(DER_New());
    return item && build(item.get()) && DER_Append(parent, DER_SEQUENCE, item.get(), 0);
}

// The encoders' common frame: empty the element, build, and leave it empty on failure.
template <class Build>
int Encode(DerElement* element, Build&& build) {
    if (!element) return 0;
    DER_Reset(element);
    if (build() && element->identifier) return 1;
    DER_Reset(element);
    return 0;
}

// The decoders' common frame: a new record, filled by `read`, replaces *out on success.
template <class T, auto FreeFn, class Read>
int Decode(const DerElement* element, T** out, Read&& read) {
    if (!IsSequence(element) || !out) return 0;
    Owned<T, FreeFn> record(MEM_New<T>());
    if (!record || !read(record.get())) return 0;
    FreeFn(*out);
    *out = record.release();
    return 1;
}

void FreeRecipient(void* info) { RECIPINFO_Free(static_cast<RecipientInfo*>(info)); }

}  // namespace

// ---- IssuerAndSerialNumber ----------------------------------------------------------------

void ISSUERSERIAL_Free(IssuerAndSerialNumber* ias) {
    if (!ias) return;
    X509_FreeName(ias->issuer);
    BIGNUM_Free(ias->serialNumber);
    DER_Free(ias->issuerDer);
    DER_Free(ias->serialNumberDer);
    MEM_Free(ias);
}

int ISSUERSERIAL_Encode(const IssuerAndSerialNumber* ias, DerElement* element) {
    return Encode(element, [&] {
        if (!ias) return false;
        DerElementPtr rebuilt(ias->issuerDer ? nullptr : X509Name_Encode(ias->issuer));
        const DerElement* issuer = ias->issuerDer ? ias->issuerDer : rebuilt.get();
        if (!issuer || !DER_Append(element, DER_SEQUENCE, issuer, 0)) return false;
        return ias->serialNumberDer ? DER_Append(element, DER_SEQUENCE, ias->serialNumberDer, 0) == 1
                                    : DER_AppendInteger(element, ias->serialNumber) == 1;
    });
}

int ISSUERSERIAL_Decode(const DerElement* element, IssuerAndSerialNumber** out) {
    return Decode<IssuerAndSerialNumber, ISSUERSERIAL_Free>(element, out, [&](IssuerAndSerialNumber* ias) {
        if (DER_ItemCount(element) != 2) return false;
        ias->issuerDer = DER_GetExactElement(element, 0, kDerSequenceId);
        ias->serialNumberDer = DER_GetExactElement(element, 1, DER_INTEGER);
        return ias->issuerDer && ias->serialNumberDer && X509Name_Decode(ias->issuerDer, &ias->issuer) &&
               (ias->serialNumber = Integer(element, 1));
    });
}

// ---- RecipientInfo ------------------------------------------------------------------------

void RECIPINFO_Free(RecipientInfo* info) {
    if (!info) return;
    BIGNUM_Free(info->version);
    ISSUERSERIAL_Free(info->issuerAndSerialNumber);
    ALGID_Free(info->keyEncryptionAlgorithm);
    ASNVALUE_Free(info->encryptedKey);
    ASNVALUE_Free(info->subjectKeyIdentifier);
    MEM_Free(info);
}

int RECIPINFO_Encode(const RecipientInfo* info, DerElement* element) {
    return Encode(element, [&] {
        return info && info->encryptedKey && DER_AppendInteger(element, info->version) &&
               AppendBuilt(element, [&](DerElement* e) { return ISSUERSERIAL_Encode(info->issuerAndSerialNumber, e); }) &&
               AppendBuilt(element, [&](DerElement* e) { return ALGID_Encode(info->keyEncryptionAlgorithm, e); }) &&
               DER_Append(element, DER_OCTET_STRING, info->encryptedKey,
                          static_cast<int32_t>(info->encryptedKey->length));
    });
}

int RECIPINFO_Decode(const DerElement* element, RecipientInfo** out) {
    return Decode<RecipientInfo, RECIPINFO_Free>(element, out, [&](RecipientInfo* info) {
        if (DER_ItemCount(element) != 4) return false;
        DerElementPtr ias = Sequence(element, 1);
        DerElementPtr algorithm = Sequence(element, 2);
        // The recipient by issuer and serial, or by [0] IMPLICIT SubjectKeyIdentifier.
        const bool by_key_id = DER_ItemTag(element, 1) == kDerContextClass;
        if (by_key_id && !(info->subjectKeyIdentifier = static_cast<AsnValue*>(DER_GetItem(element, 1, DER_OCTET_STRING))))
            return false;
        return (info->version = Integer(element, 0)) &&
               (by_key_id || (ias && ISSUERSERIAL_Decode(ias.get(), &info->issuerAndSerialNumber))) && algorithm &&
               ALGID_Decode(algorithm.get(), &info->keyEncryptionAlgorithm) &&
               (info->encryptedKey = Octets(element, 3));
    });
}

// ---- EncryptedContentInfo -----------------------------------------------------------------

void ENCCONTENT_Free(EncryptedContentInfo* info) {
    if (!info) return;
    ASNVALUE_Free(info->contentType);
    ALGID_Free(info->contentEncryptionAlgorithm);
    ASNVALUE_Free(info->encryptedContent);
    MEM_Free(info);
}

EncryptedContentInfo* ENCCONTENT_Make(int content_nid, int algorithm_nid, const AsnValue* parameters,
                                      const uint8_t* ciphertext, uint32_t length) {
    EncryptedContentInfoPtr info(MEM_New<EncryptedContentInfo>());
    AsnValuePtr algorithm(OBJ_ValueFromNid(algorithm_nid));
    if (!info || !algorithm || !(info->contentType = OBJ_ValueFromNid(content_nid)) ||
        !(info->contentEncryptionAlgorithm = ALGID_New()) ||
        !ALGID_Set(info->contentEncryptionAlgorithm, algorithm.get(), parameters) ||
        !(info->encryptedContent = ASNVALUE_FromOctets(ciphertext, length)))
        return nullptr;
    return info.release();
}

int ENCCONTENT_Encode(const EncryptedContentInfo* info, DerElement* element) {
    return Encode(element, [&] {
        if (!info || !info->contentType ||
            !DER_Append(element, DER_OID, info->contentType, static_cast<int32_t>(info->contentType->length)) ||
            !AppendBuilt(element, [&](DerElement* e) { return ALGID_Encode(info->contentEncryptionAlgorithm, e); }))
            return false;
        if (!info->encryptedContent) return true;
        // [0] IMPLICIT OCTET STRING: primitive, identifier 0x80.
        return AppendBuilt(element, [&](DerElement* e) {
            return DER_EncodeImplicit(e, 0, DER_OCTET_STRING, info->encryptedContent,
                                      static_cast<int32_t>(info->encryptedContent->length));
        });
    });
}

int ENCCONTENT_Decode(const DerElement* element, EncryptedContentInfo** out) {
    return Decode<EncryptedContentInfo, ENCCONTENT_Free>(element, out, [&](EncryptedContentInfo* info) {
        const int count = DER_ItemCount(element);
        if (count < 2 || count > 3) return false;
        DerElementPtr algorithm = Sequence(element, 1);
        if (!(info->contentType = static_cast<AsnValue*>(DER_GetExactItem(element, 0, DER_OID))) || !algorithm ||
            !ALGID_Decode(algorithm.get(), &info->contentEncryptionAlgorithm))
            return false;
        if (count == 2) return true;
        // The content's octets, under any tag, but only in the primitive form.
        if (DER_ItemTag(element, 2) & kDerConstructed) return false;
        return (info->encryptedContent = static_cast<AsnValue*>(DER_GetItem(element, 2, DER_OCTET_STRING))) != nullptr;
    });
}

// ---- EnvelopedData ------------------------------------------------------------------------

void ENVDATA_Free(EnvelopedData* data) {
    if (!data) return;
    BIGNUM_Free(data->version);
    PLIST_FreeAll(data->recipientInfos, FreeRecipient);
    ENCCONTENT_Free(data->encryptedContentInfo);
    MEM_Free(data);
}

int ENVDATA_Encode(const EnvelopedData* data, DerElement* element) {
    return Encode(element, [&] {
        const int32_t count = data ? PLIST_Count(data->recipientInfos) : 0;
        if (count < 1 || !DER_AppendInteger(element, data->version)) return false;
        DerElementPtr set(DER_New());
        if (!set) return false;
        for (int32_t i = 0; i < count; ++i) {
            DerElementPtr recipient(DER_New());
            if (!recipient ||
                !RECIPINFO_Encode(static_cast<const RecipientInfo*>(PLIST_Get(data->recipientInfos, i)),
                                  recipient.get()) ||
                !DER_AppendToSet(set.get(), DER_SEQUENCE, recipient.get(), 0))
                return false;
        }
        return DER_Append(element, DER_SET, set.get(), 0) &&
               AppendBuilt(element, [&](DerElement* e) { return ENCCONTENT_Encode(data->encryptedContentInfo, e); });
    });
}

int ENVDATA_Decode(const DerElement* element, EnvelopedData** out) {
    return Decode<EnvelopedData, ENVDATA_Free>(element, out, [&](EnvelopedData* data) {
        if (DER_ItemCount(element) != 3 || !(data->version = Integer(element, 0))) return false;
        DerElementPtr set(DER_GetExactElement(element, 1, kDerSetId));
        const int count = DER_ItemCount(set.get());
        if (count < 1 || !(data->recipientInfos = PLIST_New())) return false;
        for (int i = 0; i < count; ++i) {
            DerElementPtr item = Sequence(set.get(), i);
            RecipientInfo* info = nullptr;
            if (!item || !RECIPINFO_Decode(item.get(), &info)) return false;
            if (!PLIST_Push(data->recipientInfos, info)) {
                RECIPINFO_Free(info);
                return false;
            }
        }
        DerElementPtr content = Sequence(element, 2);
        return content && ENCCONTENT_Decode(content.get(), &data->encryptedContentInfo);
    });
}

// ---- EncryptedData ------------------------------------------------------------------------

void ENCDATA_Free(EncryptedData* data) {
    if (!data) return;
    BIGNUM_Free(data->version);
    ENCCONTENT_Free(data->encryptedContentInfo);
    MEM_Free(data);
}

int ENCDATA_Encode(const EncryptedData* data, DerElement* element) {
    return Encode(element, [&] {
        return data && DER_AppendInteger(element, data->version) &&
               AppendBuilt(element, [&](DerElement* e) { return ENCCONTENT_Encode(data->encryptedContentInfo, e); });
    });
}

int ENCDATA_Decode(const DerElement* element, EncryptedData** out) {
    return Decode<EncryptedData, ENCDATA_Free>(element, out, [&](EncryptedData* data) {
        if (DER_ItemCount(element) != 2 || !(data->version = Integer(element, 0))) return false;
        DerElementPtr content = Sequence(element, 1);
        return content && ENCCONTENT_Decode(content.get(), &data->encryptedContentInfo);
    });
}

// ---- ContentInfo --------------------------------------------------------------------------

int CONTENTINFO_TypeNid(const ContentInfo* info) {
    return info && info->contentType ? OBJ_NidFromValue(info->contentType) : 0;
}

void CONTENTINFO_Free(ContentInfo* info) {
    if (!info) return;
    switch (CONTENTINFO_TypeNid(info)) {
        case NID_PKCS7_DATA:
            ASNVALUE_Free(static_cast<AsnValue*>(info->content));
            break;
        case NID_PKCS7_ENVELOPED_DATA:
            ENVDATA_Free(static_cast<EnvelopedData*>(info->content));
            break;
        case NID_PKCS7_ENCRYPTED_DATA:
            ENCDATA_Free(static_cast<EncryptedData*>(info->content));
            break;
        default:
            break;  // no content is ever stored under another type
    }
    ASNVALUE_Free(info->contentType);
    MEM_Free(info);
}

int CONTENTINFO_Encode(const ContentInfo* info, DerElement* element) {
    return Encode(element, [&] {
        if (!info || !info->contentType ||
            !DER_Append(element, DER_OID, info->contentType, static_cast<int32_t>(info->contentType->length)))
            return false;
        if (!info->content) return true;
        DerElementPtr wrapped(DER_New());
        if (!wrapped) return false;
        bool ok = false;
        switch (CONTENTINFO_TypeNid(info)) {
            case NID_PKCS7_DATA: {
                const auto* octets = static_cast<const AsnValue*>(info->content);
                ok = DER_AppendExplicit(wrapped.get(), 0, DER_OCTET_STRING, octets, static_cast<int32_t>(octets->length));
                break;
            }
            case NID_PKCS7_ENVELOPED_DATA:
            case NID_PKCS7_ENCRYPTED_DATA: {
                DerElementPtr inner(DER_New());
                ok = inner &&
                     (CONTENTINFO_TypeNid(info) == NID_PKCS7_ENVELOPED_DATA
                          ? ENVDATA_Encode(static_cast<const EnvelopedData*>(info->content), inner.get())
                          : ENCDATA_Encode(static_cast<const EncryptedData*>(info->content), inner.get())) &&
                     DER_AppendExplicit(wrapped.get(), 0, DER_SEQUENCE, inner.get(), 0);
                break;
            }
            default:
                return false;
        }
        return ok && DER_Append(element, DER_SEQUENCE, wrapped.get(), 0);
    });
}

int CONTENTINFO_Decode(const DerElement* element, ContentInfo** out) {
    return Decode<ContentInfo, CONTENTINFO_Free>(element, out, [&](ContentInfo* info) {
        const int count = DER_ItemCount(element);
        if (count < 1 || count > 2 || !(info->contentType = static_cast<AsnValue*>(DER_GetExactItem(element, 0, DER_OID))))
            return false;
        if (count == 1) return true;
        DerElementPtr wrapped(DER_GetExactElement(element, 1, kDerExplicit0Id));
        if (!wrapped) return false;
        switch (CONTENTINFO_TypeNid(info)) {
            case NID_PKCS7_DATA:
                return (info->content = Octets(wrapped.get(), 0)) != nullptr;
            case NID_PKCS7_ENVELOPED_DATA: {
                DerElementPtr inner = Sequence(wrapped.get(), 0);
                EnvelopedData* data = nullptr;
                if (!inner || !ENVDATA_Decode(inner.get(), &data)) return false;
                info->content = data;
                return true;
            }
            case NID_PKCS7_ENCRYPTED_DATA: {
                DerElementPtr inner = Sequence(wrapped.get(), 0);
                EncryptedData* data = nullptr;
                if (!inner || !ENCDATA_Decode(inner.get(), &data)) return false;
                info->content = data;
                return true;
            }
            default:
                return false;
        }
    });
}

}  // namespace quillon
