// AsnValue: one decoded primitive DER value (or one waiting to be encoded) with its type.
#pragma once

#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct AsnValue {
    uint32_t type;         // universal tag number; for any-type values the whole identifier octet
    uint8_t* data;         // owned bytes; text types carry a zero byte after `length` bytes
    uint32_t length;       // value bytes, terminator not counted
    uint32_t unused_bits;  // BIT STRING only
};

AsnValue* ASNVALUE_New();
void ASNVALUE_Clear(AsnValue* value);
void ASNVALUE_Free(AsnValue* value);
using AsnValuePtr = Owned<AsnValue, ASNVALUE_Free>;
int ASNVALUE_Set(AsnValue* value, uint32_t type, const uint8_t* bytes, uint32_t length);
AsnValue* ASNVALUE_Dup(const AsnValue* value);
AsnValue* ASNVALUE_FromOctets(const uint8_t* bytes, uint32_t length);
AsnValue* ASNVALUE_FromIa5(const uint8_t* bytes, uint32_t length);
// New type-6 value holding a copy of zero-terminated dotted text; null for text the
// OBJECT IDENTIFIER encoder would refuse (see OID_TextToContents).
AsnValue* ASNVALUE_FromOidText(const char* text);
AsnValue* ASNVALUE_DupText(const AsnValue* value);
int ASNVALUE_Compare(const AsnValue* a, const AsnValue* b);

}  // namespace quillon
