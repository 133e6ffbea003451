// Object identifier conversions on arbitrary bytes, read both as contents octets and as
// dotted text: never out of bounds, and whatever is accepted converts back and forth stably.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/mem.h"
#include "asn1/asn_value.h"
#include "asn1/oid_text.h"

using namespace quillon;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void AsContents(const uint8_t* data, size_t size) {
    char text[kOidTextMax + 1];
    const size_t n = OID_ContentsToText(data, size, text, sizeof text);
    if (n == 0) return;
    Check(n <= kOidTextMax && text[n] == 0 && std::strlen(text) == n);
    // Text made from contents always encodes, and reads back to itself.
    auto* contents = static_cast<uint8_t*>(std::malloc(n));
    const size_t m = OID_TextToContents(text, n, contents, n);
    Check(m > 0 && m <= size);
    char again[kOidTextMax + 1];
    Check(OID_ContentsToText(contents, m, again, sizeof again) == n && std::memcmp(again, text, n + 1) == 0);
    std::free(contents);
}

void AsText(const uint8_t* data, size_t size) {
    // Exact-size buffers so that any overrun is caught.
    auto* text = static_cast<char*>(std::malloc(size ? size : 1));
    auto* contents = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(text, data, size);
    const size_t m = OID_TextToContents(text, size, contents, size);
    if (m) {
        Check(m <= size);
        char back[kOidTextMax + 1];
        const size_t n = OID_ContentsToText(contents, m, back, sizeof back);
        Check(n > 0 && n <= size);  // equal unless arcs had leading zeros
        uint8_t again[kOidTextMax];
        Check(OID_TextToContents(back, n, again, sizeof again) == m && std::memcmp(again, contents, m) == 0);
    }
    // The value constructor accepts exactly what the encoder accepts.
    if (!std::memchr(data, 0, size)) {
        auto* terminated = static_cast<char*>(std::malloc(size + 1));
        if (size) std::memcpy(terminated, data, size);
        terminated[size] = 0;
        AsnValue* value = ASNVALUE_FromOidText(terminated);
        Check((value != nullptr) == (m != 0));
        if (value) Check(value->type == 6 && value->length == size && value->data[size] == 0);
        ASNVALUE_Free(value);
        std::free(terminated);
    }
    std::free(contents);
    std::free(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(copy, data, size);
    AsContents(copy, size);
    AsText(copy, size);
    std::free(copy);
    Check(MEM_LiveBlocks() == 0);
    return 0;
}
