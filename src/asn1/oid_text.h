// Object identifiers between their dotted text form (how the library holds them) and the
// DER contents octets (base-128 sub-identifiers).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Longest dotted text either direction produces or accepts.
inline constexpr size_t kOidTextMax = 99;

// Contents octets for `text[0..length)`, written to `out` (room for `capacity` bytes).
// Returns the number written, or 0 when the text is refused or does not fit. The contents
// are never longer than the text. Refused: characters other than digits and dots, empty
// arcs, fewer than two arcs, a first arc above 2, a second arc above 39 under a first arc
// of 0 or 1, and texts over 99 bytes. Arcs of any size are taken (2.25.<UUID> has 128 bits).
size_t OID_TextToContents(const char* text, size_t length, uint8_t* out, size_t capacity);

// Dotted text for `contents[0..length)`, zero-terminated in `text` (room for `capacity`
// bytes, 100 always suffice). Returns the text length, or 0 when there is no complete
// sub-identifier or the text would pass 99 characters. Sub-identifiers of any size are
// written in full. An unfinished sub-identifier at the very end is dropped.
size_t OID_ContentsToText(const uint8_t* contents, size_t length, char* text, size_t capacity);

}  // namespace quillon
