// BASE64_Decode on arbitrary text: never reads or writes out of bounds, never leaks, and
// whatever it accepts re-encodes to text that decodes to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quilloncrypto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exact-size copy so that any read past the end is caught.
    auto* text = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(text, data, size);
    BINSTR input{text, static_cast<uint32_t>(size)}, decoded, encoded, again;
    BINSTR_Create(&decoded);
    BINSTR_Create(&encoded);
    BINSTR_Create(&again);

    const int32_t n = BASE64_Decode(&input, &decoded);
    if (n > 0) {
        if (decoded.data[decoded.length] != 0) std::abort();
        if (BASE64_Encode(&decoded, &encoded) <= 0) std::abort();
        if (BASE64_Decode(&encoded, &again) != n || std::memcmp(again.data, decoded.data, n) != 0) std::abort();
    } else if (decoded.data != nullptr || decoded.length != 0) {
        std::abort();
    }

    BINSTR_Delete(&again);
    BINSTR_Delete(&encoded);
    BINSTR_Delete(&decoded);
    std::free(text);
    return 0;
}
