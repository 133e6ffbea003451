#include "x509/x509_cert.h"

#include <cstring>

#include "core/mem.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "rsa/rsa_der.h"
#include "rsa/rsa_key.h"
#include "x509/x509_name.h"

namespace quillon {
namespace {

void FreeValidity(X509Validity* validity) {
    if (!validity) return;
    ASNVALUE_Free(validity->notBefore);
    ASNVALUE_Free(validity->notAfter);
    MEM_Free(validity);
}

void FreePubKey(X509PubKey* key) {
    if (!key) return;
    ASNVALUE_Free(key->algorithm);
    ASNVALUE_Free(key->publicKey);
    RSAKEY_Free(key->rsaKey);
    if (key->kcdsaParams) {
        for (int i = 0; i < kKcdsaSlots; ++i) BIGNUM_Free(key->kcdsaParams[i]);
        MEM_Free(key->kcdsaParams);
    }
    MEM_Free(key);
}

void FreeExtensions(PointerList* extensions) { PLIST_FreeAll(extensions, X509_FreeExtension); }

void FreeTbs(X509Tbs* tbs) {
    if (!tbs) return;
    X509_FreeName(tbs->issuer);
    X509_FreeName(tbs->subject);
    FreePubKey(tbs->subjectPublicKeyInfo);
    BIGNUM_Free(tbs->serialNumber);
    FreeExtensions(tbs->extensions);
    ASNVALUE_Free(tbs->signature);
    FreeValidity(tbs->validity);
    DER_Free(tbs->serialNumberDer);
    DER_Free(tbs->issuerDer);
    DER_Free(tbs->subjectDer);
    MEM_Free(tbs);
}

using Tbs = Owned<X509Tbs, FreeTbs>;
using PubKey = Owned<X509PubKey, FreePubKey>;
using Validity = Owned<X509Validity, FreeValidity>;
using Extensions = Owned<PointerList, FreeExtensions>;
using Extension = Owned<X509Extension, X509_FreeExtension>;
using Cert = Owned<X509Cert, X509_Free>;
using Flag = Owned<uint8_t, MEM_Free>;

DerElementPtr GetElement(const DerElement* parent, int index, int tag) {
    return DerElementPtr(static_cast<DerElement*>(DER_GetItem(parent, index, tag)));
}
AsnValuePtr GetValue(const DerElement* parent, int index, int tag) {
    return AsnValuePtr(static_cast<AsnValue*>(DER_GetItem(parent, index, tag)));
}
BigNumPtr GetNumber(const DerElement* parent, int index) {
    return BigNumPtr(static_cast<BigNum*>(DER_GetItem(parent, index, DER_INTEGER)));
}

// The OID that opens an AlgorithmIdentifier found at parent[index].
AsnValuePtr AlgorithmOid(const DerElement* parent, int index) {
    DerElementPtr algorithm = GetElement(parent, index, DER_SEQUENCE);
    if (!algorithm) return nullptr;
    return GetValue(algorithm.get(), 0, DER_OID);
}

// The BIT STRING of an rsaEncryption key holds an RSAPublicKey.
RsaKey* DecodeRsaKey(const AsnValue* bits) { return RSA_DecodePublicKey(bits->data, bits->length); }

// The BIT STRING of a KCDSA1 key holds one DER INTEGER, y.
BigNum* DecodeKcdsaY(const AsnValue* bits) {
    if (!bits->data || bits->length == 0) return nullptr;
    DerElementPtr integer(DER_Parse(bits->data, bits->length));
    if (!integer || *integer->identifier != DER_INTEGER) return nullptr;
    const int32_t length = DER_ContentLength(integer.get());
    if (length <= 0) return nullptr;
    return BIGNUM_FromBytes(integer->contents, static_cast<uint32_t>(length), nullptr);
}

X509PubKey* DecodePubKey(const DerElement* info) {
    PubKey key(MEM_New<X509PubKey>());
    if (!key) return nullptr;
    DerElementPtr algorithm = GetElement(info, 0, DER_SEQUENCE);
    if (!algorithm) return nullptr;
    key->algorithm = GetValue(algorithm.get(), 0, DER_OID).release();
    if (!key->algorithm) return nullptr;
    const int nid = OBJ_NidFromValue(key->algorithm);
    if (nid != NID_RSA_ENCRYPTION && nid != NID_KCDSA1) return nullptr;
    key->publicKey = GetValue(info, 1, DER_BIT_STRING).release();
    if (!key->publicKey) return nullptr;
    if (nid == NID_RSA_ENCRYPTION) {
        key->rsaKey = DecodeRsaKey(key->publicKey);
        return key->rsaKey ? key.release() : nullptr;
    }
    DerElementPtr params = GetElement(algorithm.get(), 1, DER_SEQUENCE);
    if (!params) return nullptr;
    key->kcdsaParams = static_cast<BigNum**>(MEM_Calloc(kKcdsaSlots, sizeof(BigNum*)));
    if (!key->kcdsaParams) return nullptr;
    for (int slot : {kKcdsaP, kKcdsaQ, kKcdsaG})
        if (!(key->kcdsaParams[slot] = GetNumber(params.get(), slot).release())) return nullptr;
    key->kcdsaParams[kKcdsaY] = DecodeKcdsaY(key->publicKey);
    return key->kcdsaParams[kKcdsaY] ? key.release() : nullptr;
}

X509Validity* DecodeValidity(const DerElement* tbs) {
    DerElementPtr sequence = GetElement(tbs, 4, DER_SEQUENCE);
    if (!sequence || DER_ItemCount(sequence.get()) != 2) return nullptr;
    Validity validity(MEM_New<X509Validity>());
    if (!validity) return nullptr;
    validity->notBefore = GetValue(sequence.get(), 0, DER_UTC_TIME).release();
    validity->notAfter = GetValue(sequence.get(), 1, DER_UTC_TIME).release();
    if (!validity->notBefore || !validity->notAfter) return nullptr;
    return validity.release();
}

X509Extension* DecodeExtension(const DerElement* sequence) {
    Extension extension(MEM_New<X509Extension>());
    if (!extension) return nullptr;
    const int count = DER_ItemCount(sequence);
    extension->object = GetValue(sequence, 0, DER_OID).release();
    if (!extension->object) return nullptr;
    int value_index = 1;
    if (count >= 3) {
        Flag critical(static_cast<uint8_t*>(DER_GetItem(sequence, 1, DER_BOOLEAN)));
        if (!critical) return nullptr;
        extension->critical = *critical ? 0xFFFFFFFFu : 0;
        value_index = 2;
    }
    extension->value = GetValue(sequence, value_index, DER_OCTET_STRING).release();
    return extension->value ? extension.release() : nullptr;
}

PointerList* DecodeExtensions(const DerElement* tbs) {
    DerElementPtr wrapper = GetElement(tbs, 7, DER_SEQUENCE);
    if (!wrapper) return nullptr;
    DerElementPtr sequence = GetElement(wrapper.get(), 0, DER_SEQUENCE);
    if (!sequence) return nullptr;
    const int count = DER_ItemCount(sequence.get());
    if (count <= 0) return nullptr;
    Extensions list(PLIST_New());
    if (!list) return nullptr;
    for (int i = 0; i < count; ++i) {
        DerElementPtr item = GetElement(sequence.get(), i, DER_SEQUENCE);
        if (!item) return nullptr;
        Extension extension(DecodeExtension(item.get()));
        if (!extension || PLIST_Push(list.get(), extension.get()) == 0) return nullptr;
        extension.release();
    }
    return list.release();
}

// Version: [0] EXPLICIT INTEGER of one or two significant bytes; the first is kept.
bool DecodeVersion(const DerElement* tbs, uint32_t* version) {
    DerElementPtr wrapper = GetElement(tbs, 0, DER_SEQUENCE);
    if (!wrapper) return false;
    BigNumPtr number = GetNumber(wrapper.get(), 0);
    if (!number) return false;
    const int bytes = (BIGNUM_NumBits(number.get()) + 7) / 8;
    if (bytes < 1 || bytes > 2) return false;
    uint8_t out[2];
    BIGNUM_ToBytes(number.get(), out);
    *version = out[0];
    return true;
}

X509Tbs* DecodeTbs(const DerElement* der) {
    const int count = DER_ItemCount(der);
    if (count < 8) return nullptr;  // version and extensions are required
    Tbs tbs(MEM_New<X509Tbs>());
    if (!tbs || !DecodeVersion(der, &tbs->version)) return nullptr;
    tbs->serialNumber = GetNumber(der, 1).release();
    tbs->serialNumberDer = DER_GetItemElement(der, 1);
    tbs->signature = AlgorithmOid(der, 2).release();
    if (!tbs->serialNumber || !tbs->serialNumberDer || !tbs->signature) return nullptr;
    DerElementPtr issuer = GetElement(der, 3, DER_SEQUENCE);
    if (!issuer || !X509Name_Decode(issuer.get(), &tbs->issuer)) return nullptr;
    tbs->issuerDer = issuer.release();
    if (!(tbs->validity = DecodeValidity(der))) return nullptr;
    DerElementPtr subject = GetElement(der, 5, DER_SEQUENCE);
    if (!subject || !X509Name_Decode(subject.get(), &tbs->subject)) return nullptr;
    tbs->subjectDer = subject.release();
    DerElementPtr info = GetElement(der, 6, DER_SEQUENCE);
    if (!info || !(tbs->subjectPublicKeyInfo = DecodePubKey(info.get()))) return nullptr;
    // With unique identifiers present (more than eight elements) extensions are not read.
    if (count == 8) {
        const int tag = DER_ItemTag(der, 7);
        if (tag < 0 || (tag & 0x0F) != 3) return nullptr;
        if (!(tbs->extensions = DecodeExtensions(der))) return nullptr;
    }
    return tbs.release();
}

void FreeContents(X509Cert* cert) {
    ASNVALUE_Free(cert->signatureAlgorithm);
    ASNVALUE_Free(cert->signatureValue);
    FreeTbs(cert->tbs);
    DER_Free(cert->tbsDer);
    DER_Free(cert->signatureAlgorithmDer);
}

}  // namespace

int X509_Decode(const DerElement* der, X509Cert** out) {
    if (!der || !out) return 0;
    Cert cert(MEM_New<X509Cert>());
    if (!cert) return 0;
    DerElementPtr tbs = GetElement(der, 0, DER_SEQUENCE);
    if (!tbs || !(cert->tbs = DecodeTbs(tbs.get()))) return 0;
    cert->signatureAlgorithm = AlgorithmOid(der, 1).release();
    cert->signatureValue = GetValue(der, 2, DER_BIT_STRING).release();
    cert->tbsDer = DER_GetItemElement(der, 0);
    cert->signatureAlgorithmDer = DER_GetItemElement(der, 1);
    if (!cert->signatureAlgorithm || !cert->signatureValue || !cert->tbsDer || !cert->signatureAlgorithmDer) return 0;
    if (*out) {
        // Refill the caller's object: its old contents go, the record stays.
        X509Cert* target = *out;
        X509Cert* fresh = cert.release();
        FreeContents(target);
        *target = *fresh;
        MEM_Free(fresh);
    } else {
        *out = cert.release();
    }
    return 1;
}

X509CertPtr X509_DecodeBytes(const uint8_t* der, size_t available) {
    DerElementPtr element(der ? DER_Parse(der, available) : nullptr);
    X509Cert* decoded = nullptr;
    return X509CertPtr(element && X509_Decode(element.get(), &decoded) ? decoded : nullptr);
}

void X509_Free(X509Cert* cert) {
    if (!cert) return;
    FreeContents(cert);
    MEM_Free(cert);
}

void X509_FreeNameEntry(void* entry) {
    auto* e = static_cast<X509NameEntry*>(entry);
    if (!e) return;
    ASNVALUE_Free(e->object);
    ASNVALUE_Free(e->value);
    MEM_Free(e);
}

void X509_FreeName(PointerList* name) { PLIST_FreeAll(name, X509_FreeNameEntry); }

void X509_FreeExtension(void* extension) {
    auto* e = static_cast<X509Extension*>(extension);
    if (!e) return;
    ASNVALUE_Free(e->object);
    ASNVALUE_Free(e->value);
    MEM_Free(e);
}

int X509Ext_FindByNid(const PointerList* extensions, int nid, int last) {
    if (!extensions) return -1;
    if (nid <= 0 || nid >= kObjectCount) return -2;
    const char* oid = OBJ_Row(nid)->oid;
    const size_t length = std::strlen(oid);
    if (length == 0) return -2;
    const int count = X509_ListCount(extensions);
    for (int64_t i = int64_t{last < -1 ? -1 : last} + 1; i < count; ++i) {
        const auto* extension = static_cast<const X509Extension*>(PLIST_Get(extensions, static_cast<int32_t>(i)));
        const AsnValue* object = extension ? extension->object : nullptr;
        if (object && object->data && object->length == length && std::memcmp(object->data, oid, length) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void* X509_ListGet(const PointerList* list, int index) { return list ? PLIST_Get(list, index) : nullptr; }

int X509_ListCount(const PointerList* list) { return list ? PLIST_Count(list) : 0; }

}  // namespace quillon
