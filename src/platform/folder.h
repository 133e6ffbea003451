// Folders: listing one, resolving a path's links, and where the platform keeps NPKI folders;
// the one seam between the certificate finder and the operating system's folder API. Paths
// are UTF-8 (POSIX: the bytes of the names as they are; Windows: the wide-character APIs,
// converted).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/mem.h"

namespace quillon {

using PathText = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;
using PathList = std::vector<PathText, MemAllocator<PathText>>;

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

enum class FolderEntryKind : uint8_t { kOther, kFile, kFolder };

struct FolderEntry {
    PathText name;
    FolderEntryKind kind;  // what the entry leads to, links followed; kOther for a dangling link
    bool link;             // a symbolic link, junction or other reparse point
};
using FolderEntries = std::vector<FolderEntry, MemAllocator<FolderEntry>>;

// The entries of the folder at `path` ("." and ".." left out), at most `max_entries`; *truncated
// tells whether there were more. 1, or 0 when the folder cannot be opened or read.
int FOLDER_List(const char* path, size_t max_entries, FolderEntries* out, bool* truncated);

// The absolute path with every link resolved: 1, or 0 for a missing path, a link loop or a
// path the process may not look through.
int FOLDER_Resolve(const char* path, PathText* out);

// The platform's standard NPKI folders, existing or not: Windows the user's LocalLow, both
// Program Files and every removable drive; macOS three under the home folder; elsewhere ~/NPKI.
// None where the home folder is unknown.
void FOLDER_NpkiRoots(PathList* out);

}  // namespace quillon
