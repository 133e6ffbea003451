#include "platform/wide_path.h"

#if defined(_WIN32)

#include <climits>
#include <cstring>

#include <windows.h>

namespace quillon {

bool WIDE_FromUtf8(const char* text, WidePath* out) {
    const size_t length = std::strlen(text);
    out->clear();
    if (length == 0) return true;
    if (length > INT_MAX) return false;
    const int size = static_cast<int>(length);
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, nullptr, 0);
    if (wide <= 0) return false;
    out->resize(static_cast<size_t>(wide));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, out->data(), wide) == wide;
}

bool WIDE_ToUtf8(const wchar_t* text, size_t length, PathText* out) {
    out->clear();
    if (length == 0) return true;
    if (length > INT_MAX / 3) return false;
    const int size = static_cast<int>(length);
    const int narrow = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, size, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return false;
    out->resize(static_cast<size_t>(narrow));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, size, out->data(), narrow, nullptr, nullptr) ==
           narrow;
}

}  // namespace quillon

#endif
