// A DER element's bytes as a vector, for comparing what the encoders write.
#pragma once

#include <cstdint>
#include <vector>

#include "asn1/der.h"
#include "core/mem.h"

namespace quillon::test {

// Empty when the element cannot be serialised.
inline std::vector<uint8_t> DerBytes(const DerElement* element) {
    uint8_t* bytes = nullptr;
    const int32_t n = DER_ToBytes(element, &bytes);
    std::vector<uint8_t> out(bytes, bytes + (n > 0 ? n : 0));
    MEM_Free(bytes);
    return out;
}

}  // namespace quillon::test
