// PKCS#12 records and their codecs: the PFX, its MacData, and SafeContents of bags.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "asn1/der_writer.h"
#include "core/mem.h"
#include "pkcs/pkcs7.h"

namespace quillon {

struct BigNum;

struct MacData {
    AsnValue* digestAlgorithm;  // OBJECT IDENTIFIER, dotted text
    AsnValue* digestParameters; // as read (PBMAC1's), null when absent; writers put NULL
    AsnValue* digest;           // OCTET STRING
    AsnValue* macSalt;          // OCTET STRING
    BigNum* iterations;         // or null
};

struct Pfx {
    BigNum* version;
    MacData* macData;
    ContentInfo* authSafe;
};

struct SafeBag {
    AsnValue* bagId;        // OBJECT IDENTIFIER, dotted text
    DerElement* bagValue;   // the SEQUENCE inside [0], as encoded
};

void MACDATA_Free(MacData* mac);
// Writers and encoders as in pkcs7.h. `digest`, when given, receives the digest's node, for a
// caller that computes the MAC over the written authSafe and fills it in place.
DerNode* MACDATA_Write(DerWriter* w, DerNode* parent, const MacData* mac, DerNode** digest = nullptr);
int MACDATA_Encode(const MacData* mac, DerElement* element);
int MACDATA_Decode(const DerElement* element, MacData** out);

void PFX_Free(Pfx* pfx);
DerNode* PFX_Write(DerWriter* w, DerNode* parent, const Pfx* pfx);
int PFX_Encode(const Pfx* pfx, DerElement* element);
// Items 0 (INTEGER), 1 (the authSafe ContentInfo) and 2 (MacData), and no others.
int PFX_Decode(const DerElement* element, Pfx** out);

void SAFEBAG_Free(SafeBag* bag);
// SafeContents holding exactly one bag of type `bag_id`, whose value the caller writes under
// *value (the bag's [0]).
DerNode* SAFECONTENTS_Write(DerWriter* w, DerNode* parent, const AsnValue* bag_id, DerNode** value);
// SafeContents holding exactly this one bag.
int SAFECONTENTS_Encode(const SafeBag* bag, DerElement* element);
// The first bag of a SafeContents, whose value must be a SEQUENCE; its identifier is not examined.
int SAFECONTENTS_Decode(const DerElement* element, SafeBag** out);

using MacDataPtr = Owned<MacData, MACDATA_Free>;
using PfxPtr = Owned<Pfx, PFX_Free>;
using SafeBagPtr = Owned<SafeBag, SAFEBAG_Free>;

}  // namespace quillon
