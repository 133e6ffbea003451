#include "text/pem.h"

#include <cstring>
#include <string_view>

#include "text/base64.h"

namespace quillon {

bool PEM_Looks(const uint8_t* text, size_t length) {
    size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    return length - i >= 10 && std::memcmp(text + i, "-----BEGIN", 10) == 0;
}

int PEM_Next(const uint8_t* text, size_t length, size_t* offset, const char* label, uint8_t** out,
             size_t* out_length) {
    const std::string_view all(reinterpret_cast<const char*>(text), length);
    const std::string_view name(label);
    for (size_t at = *offset; (at = all.find("-----BEGIN ", at)) != std::string_view::npos;) {
        const size_t after = at + 11;
        if (all.substr(after, name.size()) != name || all.substr(after + name.size(), 5) != "-----") {
            at = after;
            continue;
        }
        const size_t body = after + name.size() + 5;
        const size_t end = all.find("-----END ", body);
        if (end == std::string_view::npos || all.substr(end + 9, name.size()) != name ||
            all.substr(end + 9 + name.size(), 5) != "-----")
            return -1;
        *out = BASE64_DecodeBytes(text + body, end - body, out_length);
        if (!*out) return -1;
        *offset = end + 9 + name.size() + 5;
        return 1;
    }
    return 0;
}

}  // namespace quillon
