// Zero-copy reading of DER: a view is where one element sits inside bytes the caller keeps,
// and a cursor walks the elements of a range in order. Every read is bounded by the range;
// only definite lengths and single-octet identifiers are taken.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

struct DerView {
    uint8_t identifier;
    const uint8_t* start;     // the identifier octet
    const uint8_t* contents;
    uint32_t length;          // contents only
    size_t size;              // identifier, length octets and contents
};

// Reads the element at the start of the `available` bytes: true when its header is sound and it
// fits, whatever follows it.
bool DERVIEW_Read(const uint8_t* bytes, size_t available, DerView* out);

struct DerCursor {
    const uint8_t* at;
    size_t left;
    bool failed;  // an element that does not fit was met: the range is malformed
};

// A cursor over an element's contents.
inline DerCursor DERVIEW_Items(const DerView& element) { return {element.contents, element.length, false}; }

// The next element, or false at the end of the range (and on a malformed one, with `failed` set).
bool DERVIEW_Next(DerCursor* cursor, DerView* out);

// The next element only when its identifier is `identifier`; the cursor moves only then.
bool DERVIEW_NextIf(DerCursor* cursor, uint8_t identifier, DerView* out);

// Whether two views hold the same bytes.
bool DERVIEW_Equal(const DerView& a, const DerView& b);

}  // namespace quillon
