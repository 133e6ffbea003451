// Reading a whole file: the one seam between the disk exports and the operating system's
// file API.
#pragma once

#include <cstdint>

namespace quillon {

// Largest file read whole: what the exports' lengths and a DER element can describe.
inline constexpr uint32_t kFileMaxSize = 0x7FFFFFFF;

// Reads the regular file at `path` into a new MEM_ block (*out, *length). Returns 1, or 0
// with nothing allocated for: a missing or unreadable path, a directory or other non-regular
// file, an empty file, one larger than `max_size` (at most kFileMaxSize), and one whose size
// changes while read. On Windows a path that is valid UTF-8 is taken as UTF-8, any other as
// the ANSI code page.
int FILE_ReadAll(const char* path, uint8_t** out, uint32_t* length, uint32_t max_size = kFileMaxSize);

}  // namespace quillon
