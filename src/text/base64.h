// Base64 (RFC 4648 alphabet, '=' padding) over MEM_ buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Text in 76-character lines joined by a single LF, followed by a zero byte that the length
// leaves out; null for empty input, or output longer than INT32_MAX.
uint8_t* BASE64_EncodeBytes(const uint8_t* input, size_t length, size_t* out_length);
// Accepts LF and CR LF, skips other bytes outside the alphabet; a zero byte follows the data.
// Null for malformed text, text that decodes to nothing, or output longer than INT32_MAX.
uint8_t* BASE64_DecodeBytes(const uint8_t* text, size_t length, size_t* out_length);

}  // namespace quillon
