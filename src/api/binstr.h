// Handing library-allocated bytes to the host through its BINSTR records.
#pragma once

#include <cstdint>

#include "quilloncrypto.h"

namespace quillon {

// An input record the exports can read: present, and with bytes whenever it has a length.
inline bool BINSTR_IsReadable(const BINSTR* record) { return record && (record->data || record->length == 0); }

// A NUL-terminated password or other text as the bytes the library works on.
inline const uint8_t* PasswordBytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// Replaces what `record` held with `length` bytes from MEM_Alloc, which the record now owns.
void BINSTR_Adopt(BINSTR* record, uint8_t* bytes, uint32_t length);
// Replaces what `record` held with a copy of `length` bytes: 1, or 0 with the record
// untouched when the copy cannot be allocated.
int BINSTR_Replace(BINSTR* record, const uint8_t* bytes, uint32_t length);

}  // namespace quillon
