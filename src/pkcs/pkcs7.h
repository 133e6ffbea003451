// PKCS#7 ContentInfo with the two contents it carries here, EnvelopedData (content encrypted
// for a certificate's RSA key) and EncryptedData (content encrypted under a key both sides
// hold), with their records and DER codecs. One module because ContentInfo decodes into both.
//
// Writers add a record's encoding under a DerWriter node (null: a root of its own) and return
// its node; a record that cannot be encoded fails the writer. Encoders do the same into the
// caller's element (emptied first, left empty on failure). Both write only the fields present. Decoders read by position, build a new record and, on success,
// release what *out held and store it there; on failure *out is left as it was.
#pragma once

#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "asn1/der_writer.h"
#include "container/pointer_list.h"
#include "core/mem.h"
#include "pkcs/epki.h"

namespace quillon {

struct BigNum;

struct IssuerAndSerialNumber {
    PointerList* issuer;  // X509NameEntry*, one per RDN
    BigNum* serialNumber;
    // The issuer Name and serial INTEGER exactly as encoded. The encoder prefers them, so that a
    // recipient matching on bytes finds its certificate whatever string types its issuer uses.
    DerElement* issuerDer;
    DerElement* serialNumberDer;
};

struct RecipientInfo {
    BigNum* version;
    IssuerAndSerialNumber* issuerAndSerialNumber;  // null when the recipient is named by key identifier
    AlgorithmId* keyEncryptionAlgorithm;
    AsnValue* encryptedKey;  // OCTET STRING
    AsnValue* subjectKeyIdentifier;  // read from [0] (version 2); null for issuer and serial
};

struct EncryptedContentInfo {
    AsnValue* contentType;  // OBJECT IDENTIFIER, dotted text
    AlgorithmId* contentEncryptionAlgorithm;
    AsnValue* encryptedContent;  // OCTET STRING, or null
};

struct EnvelopedData {
    BigNum* version;
    PointerList* recipientInfos;  // RecipientInfo*
    EncryptedContentInfo* encryptedContentInfo;
};

struct EncryptedData {
    BigNum* version;
    EncryptedContentInfo* encryptedContentInfo;
};

// content by contentType: an OCTET STRING AsnValue (pkcs7-data), an EnvelopedData
// (pkcs7-envelopedData), an EncryptedData (pkcs7-encryptedData), or null.
struct ContentInfo {
    AsnValue* contentType;
    void* content;
};

void ISSUERSERIAL_Free(IssuerAndSerialNumber* ias);
DerNode* ISSUERSERIAL_Write(DerWriter* w, DerNode* parent, const IssuerAndSerialNumber* ias);
int ISSUERSERIAL_Encode(const IssuerAndSerialNumber* ias, DerElement* element);
int ISSUERSERIAL_Decode(const DerElement* element, IssuerAndSerialNumber** out);

void RECIPINFO_Free(RecipientInfo* info);
DerNode* RECIPINFO_Write(DerWriter* w, DerNode* parent, const RecipientInfo* info);
int RECIPINFO_Encode(const RecipientInfo* info, DerElement* element);
int RECIPINFO_Decode(const DerElement* element, RecipientInfo** out);

void ENCCONTENT_Free(EncryptedContentInfo* info);
DerNode* ENCCONTENT_Write(DerWriter* w, DerNode* parent, const EncryptedContentInfo* info);
int ENCCONTENT_Encode(const EncryptedContentInfo* info, DerElement* element);
int ENCCONTENT_Decode(const DerElement* element, EncryptedContentInfo** out);

void ENVDATA_Free(EnvelopedData* data);
// Fails for a record without recipients.
DerNode* ENVDATA_Write(DerWriter* w, DerNode* parent, const EnvelopedData* data);
int ENVDATA_Encode(const EnvelopedData* data, DerElement* element);
int ENVDATA_Decode(const DerElement* element, EnvelopedData** out);

void ENCDATA_Free(EncryptedData* data);
DerNode* ENCDATA_Write(DerWriter* w, DerNode* parent, const EncryptedData* data);
int ENCDATA_Encode(const EncryptedData* data, DerElement* element);
int ENCDATA_Decode(const DerElement* element, EncryptedData** out);

void CONTENTINFO_Free(ContentInfo* info);
// The content goes under [0] EXPLICIT; a null content writes the type alone. Content types
// other than the three above fail.
DerNode* CONTENTINFO_Write(DerWriter* w, DerNode* parent, const ContentInfo* info);
int CONTENTINFO_Encode(const ContentInfo* info, DerElement* element);
int CONTENTINFO_Decode(const DerElement* element, ContentInfo** out);
// NID of the content type; 0 when unset or unknown.
int CONTENTINFO_TypeNid(const ContentInfo* info);

using IssuerAndSerialNumberPtr = Owned<IssuerAndSerialNumber, ISSUERSERIAL_Free>;
using RecipientInfoPtr = Owned<RecipientInfo, RECIPINFO_Free>;
using EncryptedContentInfoPtr = Owned<EncryptedContentInfo, ENCCONTENT_Free>;
using EnvelopedDataPtr = Owned<EnvelopedData, ENVDATA_Free>;
using EncryptedDataPtr = Owned<EncryptedData, ENCDATA_Free>;
using ContentInfoPtr = Owned<ContentInfo, CONTENTINFO_Free>;

// Content-encryption record: the type's OID, the algorithm's OID with `parameters` (null
// parameters are written as NULL) and a copy of the ciphertext. Null when memory runs out.
EncryptedContentInfo* ENCCONTENT_Make(int content_nid, int algorithm_nid, const AsnValue* parameters,
                                      const uint8_t* ciphertext, uint32_t length);

}  // namespace quillon
