// Names compared as RFC 5280 asks: equal when encoded alike, or when their values agree after
// PrintableString and UTF8String values are normalised (ASCII letters folded to lower case,
// runs of spaces collapsed to one, leading and trailing spaces dropped). Both string types
// normalise to the same form, so "Korea" in one equals "KOREA" in the other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// The comparison key of an encoded Name (SEQUENCE OF SET OF AttributeTypeAndValue): two names
// match exactly when their keys are equal. False for a Name that does not decode.
bool X509Name_MatchKey(const uint8_t* name, size_t size, Bytes* out);

// A 64-bit digest of a key, for indexing.
uint64_t X509Name_KeyHash(const Bytes& key);

}  // namespace quillon
