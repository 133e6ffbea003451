// Decoded X.509 v3 extensions: short-lived records made from an extension's OCTET STRING
// and released by the query that asked for them. Every decoder reads only the `length`
// bytes of the value it is given, returns 1 with *out set, or 0 with *out untouched.
#pragma once

#include <cstdint>

#include "asn1/asn_value.h"
#include "container/pointer_list.h"
#include "core/mem.h"

namespace quillon {

struct BigNum;

// The otherName type that carries the Korean identification data.
inline constexpr char kIdentifyDataOid[] = "1.2.410.200004.10.1.1";

struct BasicConstraints {
    uint8_t cA;                  // the BOOLEAN's content octet
    BigNum* pathLenConstraint;
};

struct UserNotice {
    AsnValue* organization;     // noticeRef's organization, any string type (identifier as type)
    PointerList* noticeNumbers; // BigNum*
    AsnValue* explicitText;     // type is the identifier: 0x0C, 0x16, 0x1A or 0x1E
};

struct PolicyQualifierInfo {
    AsnValue* policyQualifierId;  // OID
    AsnValue* cps;                // IA5String, or null
    UserNotice* userNotice;       // or null
};

struct PolicyInformation {
    AsnValue* policyIdentifier;  // OID
    PointerList* qualifiers;     // PolicyQualifierInfo*, or null
};

struct VID {
    AsnValue* hashAlg;    // the AlgorithmIdentifier's OID
    AsnValue* virtualID;  // OCTET STRING
};

struct IdentifyData {
    AsnValue* realName;  // UTF8String
    AsnValue* idType;    // OID, or null
    VID* vid;            // or null
};

struct GeneralName {
    int tag;                     // 0-8, the context-specific tag number
    AsnValue* typeId;            // otherName: the type-id OID
    AsnValue* value;             // otherName: contents of the [0] wrapper; the string choices: their contents
    PointerList* directoryName;  // X509NameEntry*
    IdentifyData* identifyData;  // otherName of kIdentifyDataOid
};

struct AuthorityKeyIdentifier {
    AsnValue* keyIdentifier;            // or null
    PointerList* authorityCertIssuer;   // GeneralName*, or null
    BigNum* authorityCertSerialNumber;  // or null
};

inline constexpr int kFullName = 0, kNameRelativeToCrlIssuer = 1;

struct DistributionPoint {
    int kind;                  // kFullName or kNameRelativeToCrlIssuer, when a name is present
    PointerList* fullName;     // GeneralName*, or null
    PointerList* relativeName; // X509NameEntry*, or null
    AsnValue* reasons;         // BIT STRING, or null
    PointerList* cRLIssuer;    // GeneralName*, or null
};

void X509Ext_FreeBasicConstraints(BasicConstraints* constraints);
void X509Ext_FreePolicies(PointerList* policies);
void X509Ext_FreeOids(PointerList* oids);
void X509Ext_FreeGeneralNames(PointerList* names);
void X509Ext_FreeAuthKeyId(AuthorityKeyIdentifier* key_id);
void X509Ext_FreeDistPoints(PointerList* points);

using BasicConstraintsPtr = Owned<BasicConstraints, X509Ext_FreeBasicConstraints>;
using PoliciesPtr = Owned<PointerList, X509Ext_FreePolicies>;
using OidsPtr = Owned<PointerList, X509Ext_FreeOids>;
using GeneralNamesPtr = Owned<PointerList, X509Ext_FreeGeneralNames>;
using AuthKeyIdPtr = Owned<AuthorityKeyIdentifier, X509Ext_FreeAuthKeyId>;
using DistPointsPtr = Owned<PointerList, X509Ext_FreeDistPoints>;

// keyUsage: the BIT STRING (anything else is refused).
int X509Ext_DecodeKeyUsage(const AsnValue* extension, AsnValue** out);
// basicConstraints: SEQUENCE { BOOLEAN, INTEGER }, both required.
int X509Ext_DecodeBasicConstraints(const AsnValue* extension, BasicConstraints** out);
// certificatePolicies: a non-empty SEQUENCE OF PolicyInformation.
int X509Ext_DecodePolicies(const AsnValue* extension, PointerList** out);
// extendedKeyUsage: a non-empty SEQUENCE OF OBJECT IDENTIFIER.
int X509Ext_DecodeExtKeyUsage(const AsnValue* extension, PointerList** out);
// subjectAltName: a non-empty SEQUENCE OF GeneralName; the identification data of an
// otherName of kIdentifyDataOid is decoded too.
int X509Ext_DecodeGeneralNames(const AsnValue* extension, PointerList** out);
int X509Ext_DecodeAuthKeyId(const AsnValue* extension, AuthorityKeyIdentifier** out);
// subjectKeyIdentifier: the OCTET STRING.
int X509Ext_DecodeSubjectKeyId(const AsnValue* extension, AsnValue** out);
// crlDistributionPoints: a non-empty SEQUENCE OF DistributionPoint.
int X509Ext_DecodeDistPoints(const AsnValue* extension, PointerList** out);

}  // namespace quillon
