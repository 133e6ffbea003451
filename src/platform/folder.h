// Listing a folder: the seam to the operating system's directory API (dirent, which mingw-w64
// provides on Windows too).
#pragma once

#include <string>
#include <vector>

#include "core/mem.h"

namespace quillon {

using Path = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;

// The paths (folder, separator, name) of the folder's entries other than "." and "..", sorted by
// name, subfolders and other non-files included: FILE_ReadAll refuses what is not a regular file.
// False when the folder cannot be opened.
bool FOLDER_List(const char* folder, std::vector<Path, MemAllocator<Path>>* out);

}  // namespace quillon
