// KS X 1001 text: Unicode, UTF-8 and BMPString contents to EUC-KR.
//
// Converted text is a MEM_Alloc'd buffer ending in a NUL that the returned length does not
// count; the caller releases it with MEM_Free.
#pragma once

#include <cstdint>

namespace quillon {

inline constexpr uint32_t kKsx1001Rows = 93;
inline constexpr uint32_t kKsx1001RowCells = 94;
inline constexpr uint32_t kKsx1001Cells = 8742;
inline constexpr uint16_t kKsx1001Empty = 0xFFFF;

// Row-major: cell i is the code (0xA1 + i / 94, 0xA1 + i % 94); generated table.
extern const uint16_t kKsx1001Table[kKsx1001Cells];

// Writes the EUC-KR bytes of the first cell holding `code`; 0 if no cell does. 0xFFFF finds
// the first empty cell, as a scan of the table would.
int KSX_Encode(uint32_t code, uint8_t out[2]);

// New two-byte buffer with the EUC-KR code of `code`, or null.
uint8_t* KSX_FromUnicode(uint32_t code);

// UTF-8 contents to EUC-KR. ASCII passes through; every other character is looked up.
// Returns the output length; 0 on failure (a character without a code, a stray or invalid
// lead or continuation byte, a sequence cut off by the end) with nothing stored, or 0 with
// *out set to the empty text for empty input.
uint32_t KSX_FromUtf8(const uint8_t* text, uint32_t length, uint8_t** out);

// Big-endian UCS-2 contents to EUC-KR. Characters from U+8000 are looked up; below that
// each becomes one byte, the low seven bits of its low byte. An odd length fails. Neither
// conversion takes U+FFFF for the empty cells' marker: it fails like any missing character.
uint32_t KSX_FromBmp(const uint8_t* text, uint32_t length, uint8_t** out);

}  // namespace quillon
