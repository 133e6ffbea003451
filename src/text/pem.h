// PEM blocks (RFC 7468): the Base64 between "-----BEGIN LABEL-----" and "-----END LABEL-----".
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Whether the text opens (after white space) with a PEM boundary.
bool PEM_Looks(const uint8_t* text, size_t length);

// Decodes the next block labelled `label` at or after *offset into a new MEM_ block (*out,
// *out_length) and moves *offset past it. 1; 0 when no further block has the label; -1 for a
// block without its end line or whose Base64 does not decode.
int PEM_Next(const uint8_t* text, size_t length, size_t* offset, const char* label, uint8_t** out,
             size_t* out_length);

}  // namespace quillon
