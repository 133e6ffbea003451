// The DER writer: a structure is described as a small tree of nodes, sized bottom-up and then
// written top-down, each element once and in place, into one buffer of exactly the final size.
// Contents are referenced, not copied, until that write: whatever a node points at must stay
// put until the last DERW_Write that covers it.
//
// Failure is sticky: once a node cannot be made (no memory, a value the encoders refuse) every
// later call gives null or 0, so a builder can describe a whole structure and check once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "core/mem.h"

namespace quillon {

struct BigNum;
struct DerNode;
struct DerChunk;

// Holds the nodes (and the few bytes they own) in chunks of MEM_ memory, released with it.
struct DerWriter {
    DerChunk* chunks = nullptr;  // newest first
    size_t used = 0;             // bytes taken from the newest chunk
    size_t room = 0;             // its capacity
    bool failed = false;

    DerWriter() = default;
    DerWriter(const DerWriter&) = delete;
    DerWriter& operator=(const DerWriter&) = delete;
    ~DerWriter();
};

// Each maker adds a node as the last child of `parent` (null: a node of its own, to be written
// alone) and returns it; null once the writer has failed.
DerNode* DERW_Constructed(DerWriter* w, DerNode* parent, uint8_t identifier);
inline DerNode* DERW_Sequence(DerWriter* w, DerNode* parent) { return DERW_Constructed(w, parent, kDerSequenceId); }
// SET OF, its members written in DER order (ascending by their encodings), whatever the order
// they were added in.
DerNode* DERW_SetOf(DerWriter* w, DerNode* parent);
// `length` contents octets at `contents` (null only when there are none).
DerNode* DERW_Primitive(DerWriter* w, DerNode* parent, uint8_t identifier, const uint8_t* contents, uint32_t length);
// An OCTET STRING or other string value's bytes under `identifier`; a null value fails.
DerNode* DERW_String(DerWriter* w, DerNode* parent, uint8_t identifier, const AsnValue* value);
// INTEGER of a non-negative number, its bytes taken at write time; a null number fails.
DerNode* DERW_Integer(DerWriter* w, DerNode* parent, const BigNum* value);
// OBJECT IDENTIFIER from an AsnValue holding dotted text (converted now, kept by the writer).
DerNode* DERW_Oid(DerWriter* w, DerNode* parent, const AsnValue* oid);
// Any value the element codec encodes with tag 32 (the AsnValue says its own type), as
// DER_Append would append it; the encoding is kept by the writer. Meant for small values.
DerNode* DERW_Any(DerWriter* w, DerNode* parent, const AsnValue* value);
// A complete encoded element: `length` bytes at `der`, written as they are.
DerNode* DERW_Encoded(DerWriter* w, DerNode* parent, const uint8_t* der, uint32_t length);
// A finished DerElement, written exactly as it holds it (length octets included).
DerNode* DERW_Element(DerWriter* w, DerNode* parent, const DerElement* element);
// The same from a copy, for an element that is released before the write.
DerNode* DERW_ElementCopy(DerWriter* w, DerNode* parent, const DerElement* element);

// Marks the writer failed; null, for builders to return.
DerNode* DERW_Fail(DerWriter* w);
// Changes a node's identifier octet, e.g. a SET hashed as 0x31 and then written as [0] 0xA0.
void DERW_SetIdentifier(DerNode* node, uint8_t identifier);

// Sizes `node` and everything under it, then writes its encoding into a new MEM_ buffer of
// exactly that size. Its length, or 0 (failed writer, over kDerMaxLength, no memory); *out is
// written only on success. Any node may be written, any number of times.
int32_t DERW_Write(DerWriter* w, DerNode* node, MemBlock* out);
// The same into an element's three arrays (emptied first, left empty on failure). 1 or 0.
int DERW_WriteElement(DerWriter* w, DerNode* node, DerElement* element);

// Where the last write that covered `node` put it, valid while that output lives: its first
// octet and size, and its contents. All null and 0 before any write.
struct DerPlacement {
    uint8_t* element;
    uint32_t size;
    uint8_t* contents;
    uint32_t content_length;
};
DerPlacement DERW_Placed(const DerNode* node);

// Encoders over the writer: `element` is emptied, then filled with the root `build` returns
// for a fresh writer (left empty on failure). 1 or 0.
template <class Build>
int DERW_Encode(DerElement* element, Build&& build) {
    if (!element) return 0;
    DER_Reset(element);
    DerWriter writer;
    DerNode* root = build(&writer);
    return root ? DERW_WriteElement(&writer, root, element) : 0;
}

}  // namespace quillon
