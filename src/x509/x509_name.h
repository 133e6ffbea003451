// Distinguished names: decoding, re-encoding and the text form of the certificate queries.
#pragma once

#include <cstdint>

#include "asn1/der.h"
#include "container/pointer_list.h"

namespace quillon {

// Decodes a Name (SEQUENCE OF SET OF AttributeTypeAndValue) into a new list of
// X509NameEntry, one per RDN: only the first attribute of a multi-valued RDN is kept.
// An empty Name is refused. 1 or 0; *out is set only on success.
int X509Name_Decode(const DerElement* name, PointerList** out);

// Rebuilds the Name from its entries, one attribute per SET; null when it cannot be encoded.
DerElement* X509Name_Encode(const PointerList* name);

// Writes the name last entry first as SN=value pairs joined by ","; values in EUC-KR, the
// country as it is. Never writes past `size`. 1; 0 when it does not fit or a value has no
// EUC-KR form; -1 when memory runs out.
int X509Name_ToText(const PointerList* name, char* buffer, int32_t size);

}  // namespace quillon
