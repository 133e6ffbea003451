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

DerNode* ISSUERSERIAL_Write(DerWriter* w, DerNode* parent, const IssuerAndSerialNumber* ias) {
    if (!ias) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    if (ias->issuerDer) {
        DERW_Element(w, node, ias->issuerDer);
    } else {
        DerElementPtr rebuilt(X509Name_Encode(ias->issuer));
        DERW_ElementCopy(w, node, rebuilt.get());
    }
    if (ias->serialNumberDer)
        DERW_Element(w, node, ias->serialNumberDer);
    else
        DERW_Integer(w, node, ias->serialNumber);
    return node;
}

int ISSUERSERIAL_Encode(const IssuerAndSerialNumber* ias, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return ISSUERSERIAL_Write(w, nullptr, ias); });
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

DerNode* RECIPINFO_Write(DerWriter* w, DerNode* parent, const RecipientInfo* info) {
    if (!info) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Integer(w, node, info->version);
    if (!info->issuerAndSerialNumber && info->subjectKeyIdentifier) {
        DERW_String(w, node, kDerContextClass, info->subjectKeyIdentifier);  // [0] IMPLICIT
    } else {
        ISSUERSERIAL_Write(w, node, info->issuerAndSerialNumber);
    }
    ALGID_Write(w, node, info->keyEncryptionAlgorithm);
    DERW_String(w, node, DER_OCTET_STRING, info->encryptedKey);
    return node;
}

int RECIPINFO_Encode(const RecipientInfo* info, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return RECIPINFO_Write(w, nullptr, info); });
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

DerNode* ENCCONTENT_Write(DerWriter* w, DerNode* parent, const EncryptedContentInfo* info) {
    if (!info) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Oid(w, node, info->contentType);
    ALGID_Write(w, node, info->contentEncryptionAlgorithm);
    // [0] IMPLICIT OCTET STRING: primitive, identifier 0x80.
    if (info->encryptedContent) DERW_String(w, node, kDerContextClass, info->encryptedContent);
    return node;
}

int ENCCONTENT_Encode(const EncryptedContentInfo* info, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return ENCCONTENT_Write(w, nullptr, info); });
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

DerNode* ENVDATA_Write(DerWriter* w, DerNode* parent, const EnvelopedData* data) {
    const int32_t count = data ? PLIST_Count(data->recipientInfos) : 0;
    if (count < 1) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Integer(w, node, data->version);
    // In list order, as the recipients were given.
    DerNode* recipients = DERW_Constructed(w, node, kDerSetId);
    for (int32_t i = 0; i < count; ++i)
        RECIPINFO_Write(w, recipients, static_cast<const RecipientInfo*>(PLIST_Get(data->recipientInfos, i)));
    ENCCONTENT_Write(w, node, data->encryptedContentInfo);
    return node;
}

int ENVDATA_Encode(const EnvelopedData* data, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return ENVDATA_Write(w, nullptr, data); });
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

DerNode* ENCDATA_Write(DerWriter* w, DerNode* parent, const EncryptedData* data) {
    if (!data) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Integer(w, node, data->version);
    ENCCONTENT_Write(w, node, data->encryptedContentInfo);
    return node;
}

int ENCDATA_Encode(const EncryptedData* data, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return ENCDATA_Write(w, nullptr, data); });
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

DerNode* CONTENTINFO_Write(DerWriter* w, DerNode* parent, const ContentInfo* info) {
    if (!info) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Oid(w, node, info->contentType);
    if (!info->content) return node;
    DerNode* content = DERW_Constructed(w, node, kDerExplicit0Id);
    switch (CONTENTINFO_TypeNid(info)) {
        case NID_PKCS7_DATA:
            DERW_String(w, content, DER_OCTET_STRING, static_cast<const AsnValue*>(info->content));
            break;
        case NID_PKCS7_ENVELOPED_DATA:
            ENVDATA_Write(w, content, static_cast<const EnvelopedData*>(info->content));
            break;
        case NID_PKCS7_ENCRYPTED_DATA:
            ENCDATA_Write(w, content, static_cast<const EncryptedData*>(info->content));
            break;
        default:
            return DERW_Fail(w);
    }
    return node;
}

int CONTENTINFO_Encode(const ContentInfo* info, DerElement* element) {
    return DERW_Encode(element, [&](DerWriter* w) { return CONTENTINFO_Write(w, nullptr, info); });
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
