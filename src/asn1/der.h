// The DER element codec: one element held as identifier, length octets and contents;
// structures are built by appending typed values and read by asking for the n-th item as
// a given type. Only definite lengths and single-octet identifiers are handled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"
#include "asn1/asn_value.h"

namespace quillon {

struct BigNum;

struct DerElement {
    uint8_t* identifier;     // one octet; null while the element is empty
    uint8_t* length_octets;  // as encoded: short form, or 0x80 + n then n big-endian octets
    uint8_t* contents;       // as many octets as length_octets says
};

// Tags understood by the encoders and by DER_GetItem (universal tag numbers, plus 32).
enum DerTag : int {
    DER_BOOLEAN = 1,
    DER_INTEGER = 2,
    DER_BIT_STRING = 3,
    DER_OCTET_STRING = 4,
    DER_NULL = 5,
    DER_OID = 6,
    DER_ENUMERATED = 10,
    DER_UTF8_STRING = 12,
    DER_SEQUENCE = 16,
    DER_SET = 17,
    DER_PRINTABLE_STRING = 19,
    DER_T61_STRING = 20,
    DER_IA5_STRING = 22,
    DER_UTC_TIME = 23,
    DER_VISIBLE_STRING = 26,
    DER_BMP_STRING = 30,
    DER_ANY = 32,
    DER_SEQUENCE_CONSTRUCTED = 48,
    DER_SET_CONSTRUCTED = 49,
};

// Identifier octets, for readers that check an item's exact form.
inline constexpr uint8_t kDerSequenceId = 0x30;
inline constexpr uint8_t kDerSetId = 0x31;
inline constexpr uint8_t kDerExplicit0Id = 0xA0;  // [0], constructed
inline constexpr uint8_t kDerConstructed = 0x20;
inline constexpr uint8_t kDerContextClass = 0x80;  // class bits of a context-specific [n]
inline constexpr uint8_t kDerClassMask = 0xC0;
inline constexpr uint8_t kDerTagNumberMask = 0x1F;  // all ones: a high tag number follows

// Lengths at or above this are refused everywhere.
inline constexpr uint32_t kDerMaxLength = 0x7FFFFFFF;

// Life cycle.
DerElement* DER_New();
void DER_Reset(DerElement* element);
void DER_Free(DerElement* element);
using DerElementPtr = Owned<DerElement, DER_Free>;

// Length octets.
int DER_LengthOctetCount(const uint8_t* first);
// Content length encoded at `octets`; -1 for null, the indefinite form, more than four
// length bytes or a value of 2^31 or more. Trusts the octets to be there: use only on an
// element's own length octets.
int32_t DER_ReadLength(const uint8_t* octets);
int32_t DER_ContentLength(const DerElement* element);
int DER_NeedsLongForm(int tag, int64_t length);
// Writes the length octets for `length` (short form up to 127, else 0x80 + n and n bytes) to
// `out`, which has room for 5; their count.
size_t DER_PutLength(uint32_t length, uint8_t* out);

// Primitive encoders: each writes `tag` as identifier. 1 on success; 0 leaves `target` empty.
int DER_EncodeBoolean(DerElement* target, int tag, const uint8_t* value, int32_t length);
int DER_EncodeInteger(DerElement* target, int tag, const BigNum* value, int32_t length);
int DER_EncodeBitString(DerElement* target, int tag, const AsnValue* value, int32_t length);
int DER_EncodeString(DerElement* target, int tag, const AsnValue* value, int32_t length);
int DER_EncodeNull(DerElement* target, int tag, const void* value, int32_t length);
int DER_EncodeOid(DerElement* target, int tag, const AsnValue* value, int32_t length);
int DER_EncodeTime(DerElement* target, int tag, const AsnValue* value, int32_t length);

// Builders. `value` is what the tag calls for: a byte (BOOLEAN), a BigNum (INTEGER,
// ENUMERATED), a finished DerElement (SEQUENCE, SET) or an AsnValue (the rest, and 32).
int DER_EncodeValue(DerElement* target, int tag, const void* value, int32_t length);
int DER_EncodeImplicit(DerElement* target, int context, int tag, const void* value, int32_t length);
int DER_Append(DerElement* element, int tag, const void* value, int32_t length);
int DER_AppendToSet(DerElement* element, int tag, const void* value, int32_t length);
int DER_AppendToSetOrEmpty(DerElement* element, int tag, const void* value, int32_t length);
int DER_AppendExplicit(DerElement* element, int context, int tag, const void* value, int32_t length);
int DER_WrapConstructed(const AsnValue* value, DerElement** out);
// Bytes of an INTEGER's minimal magnitude: (bits + 7) / 8, or 1 for zero.
int32_t DER_IntegerLength(const BigNum* value);
// Appends the number as an INTEGER of that length; 0 for a null number.
int DER_AppendInteger(DerElement* element, const BigNum* value);
// An INTEGER's contents for a non-null number: the magnitude, after a 0x00 when its top bit is
// set. Their count, and writing them to `out`.
uint32_t DER_IntegerContentLength(const BigNum* value);
void DER_PutIntegerContents(const BigNum* value, uint8_t* out);

// Reading. DER_Parse reads one element from the first `available` bytes (trailing bytes
// are left alone); the walk never leaves the element's contents.
DerElement* DER_Parse(const uint8_t* bytes, size_t available);
int DER_ItemCount(const DerElement* element);
int DER_ItemTag(const DerElement* element, int index);
// New object of the kind the tag calls for (DerElement, AsnValue, BigNum, or a MEM_ block
// for BOOLEAN and NULL), released by its owner's matching operation; null on failure.
void* DER_GetItem(const DerElement* element, int index, int tag);
// The item at `index` as a new element, whatever its tag, with its identifier, length
// octets and contents exactly as encoded; null past the last item.
DerElement* DER_GetItemElement(const DerElement* element, int index);

// Strict forms: the item only when its identifier octet is exactly `identifier`, so that a
// context-tagged or constructed look-alike is not taken for the universal type.
// DER_GetExactItem decodes as DER_GetItem (the identifier is a primitive universal tag);
// DER_GetExactElement gives the element as encoded (0x30 SEQUENCE, 0x31 SET, 0xA0 [0] ...).
void* DER_GetExactItem(const DerElement* element, int index, int identifier);
DerElement* DER_GetExactElement(const DerElement* element, int index, int identifier);

// Whether two elements are encoded identically (identifier, length octets, contents); false
// when either is null or empty.
bool DER_Equal(const DerElement* a, const DerElement* b);

// Serialising. Total length with a new MEM_ buffer in *out, or 0.
int32_t DER_ToBytes(const DerElement* element, uint8_t** out);

using DerBuildFn = int (*)(const void* object, DerElement* element);
using DerReadFn = int (*)(const DerElement* element, void* out);
int32_t DER_EncodeWith(const void* object, DerBuildFn build, uint8_t** out);
int DER_DecodeWith(void* out, DerReadFn read, const uint8_t* bytes, size_t available);

// ---- elements that arrive without a length ------------------------------------------------
// Some callers hand over a bare pointer (a PFX passed to an export with no length argument).
// The element's own header then says how much there is: it is read octet by octet, never
// past the first octet that disqualifies it, and exactly the declared element is taken;
// nothing after it is read. Refused: a null pointer, a high tag number, the indefinite
// length, more than four length octets, and a declared size (header included) above
// kDerUnsizedMax, far beyond any certificate, key or PFX. The caller vouches that the
// declared bytes are there; nothing can check that without a length.
inline constexpr size_t kDerUnsizedMax = size_t{4} << 20;  // 4 MiB
// Size of the whole element (identifier, length octets, contents) its header declares; 0 if refused.
size_t DER_UnsizedLength(const uint8_t* bytes);
// DER_Parse of exactly that many bytes; null if refused.
DerElement* DER_ParseUnsized(const uint8_t* bytes);

}  // namespace quillon
