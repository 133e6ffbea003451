// Windows only: UTF-8 paths to and from the wide-character form the system's file APIs take.
#pragma once

#if defined(_WIN32)

#include <string>

#include "platform/folder.h"

namespace quillon {

using WidePath = std::basic_string<wchar_t, std::char_traits<wchar_t>, MemAllocator<wchar_t>>;

// Strict: text that is not valid UTF-8 gives false (the caller may then try the ANSI code page).
bool WIDE_FromUtf8(const char* text, WidePath* out);
// A name the system gave back; false only when it holds an unpaired surrogate.
bool WIDE_ToUtf8(const wchar_t* text, size_t length, PathText* out);

}  // namespace quillon

#endif
