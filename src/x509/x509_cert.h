// The decoded X.509 certificate: positional decoding of the DER, no signature check.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "container/pointer_list.h"

namespace quillon {

struct BigNum;
struct RsaKey;

struct X509NameEntry {
    AsnValue* object;  // attribute type, dotted OID text
    AsnValue* value;   // attribute value with its own universal tag (19, 12, 30, ...)
};

struct X509Validity {
    AsnValue* notBefore;  // UTCTime
    AsnValue* notAfter;
};

inline constexpr int kKcdsaSlots = 8;
inline constexpr int kKcdsaP = 0, kKcdsaQ = 1, kKcdsaG = 2, kKcdsaY = 4;

struct X509PubKey {
    AsnValue* algorithm;    // OID
    AsnValue* publicKey;    // BIT STRING contents after the unused-bits octet
    RsaKey* rsaKey;         // rsaEncryption only
    BigNum** kcdsaParams;   // KCDSA1 only: kKcdsaSlots slots, p q g and y filled
};

struct X509Extension {
    AsnValue* object;   // extnID
    uint32_t critical;  // 0, or 0xFFFFFFFF when marked critical
    AsnValue* value;    // OCTET STRING: the extension's own DER
};

struct X509Tbs {
    uint32_t version;  // as encoded: 2 for v3
    BigNum* serialNumber;
    AsnValue* signature;  // OID of the TBS signature algorithm
    PointerList* issuer;  // X509NameEntry*, encoded order
    X509Validity* validity;
    PointerList* subject;
    X509PubKey* subjectPublicKeyInfo;
    PointerList* extensions;  // X509Extension*, or null
    // The serial number INTEGER, the issuer Name and the subject Name exactly as the
    // certificate encodes them (identifier, length octets, contents), never rebuilt: a
    // structure that quotes them (PKCS#7 IssuerAndSerialNumber, the subject query) must
    // match the certificate byte for byte, whatever the string types, multi-valued RDNs
    // (the lists above keep one value each) or INTEGER form (the BigNum drops a sign).
    // Append one to a structure with DER_Append(parent, DER_SEQUENCE, element, 0), which
    // copies an element as it stands, or serialise it with DER_ToBytes. Never null in a
    // decoded certificate.
    DerElement* serialNumberDer;
    DerElement* issuerDer;
    DerElement* subjectDer;
};

struct X509Cert {
    X509Tbs* tbs;
    AsnValue* signatureAlgorithm;  // OID of the outer AlgorithmIdentifier
    AsnValue* signatureValue;      // BIT STRING
    // The signed TBSCertificate and the outer AlgorithmIdentifier (parameters included) exactly
    // as encoded, for checking the signature. Never null in a decoded certificate.
    DerElement* tbsDer;
    DerElement* signatureAlgorithmDer;
};

// Decodes a whole Certificate SEQUENCE. A null *out gets a new object; an existing one is
// refilled only on success. On failure *out is left as it was. 1 or 0.
int X509_Decode(const DerElement* der, X509Cert** out);
void X509_Free(X509Cert* cert);
using X509CertPtr = Owned<X509Cert, X509_Free>;
// The Certificate in the first `available` bytes (what follows it ignored); null when it does not decode.
X509CertPtr X509_DecodeBytes(const uint8_t* der, size_t available);

// Index of the first extension after `last` whose extnID is the NID's identifier; -1 when
// none (or a null list), -2 when the NID has no identifier. `last` below -1 counts as -1.
int X509Ext_FindByNid(const PointerList* extensions, int nid, int last);

// Null-tolerant list access: null for a null list or an index out of range; 0 entries for null.
void* X509_ListGet(const PointerList* list, int index);
int X509_ListCount(const PointerList* list);

void X509_FreeNameEntry(void* entry);
void X509_FreeName(PointerList* name);
using X509NamePtr = Owned<PointerList, X509_FreeName>;
void X509_FreeExtension(void* extension);

}  // namespace quillon
