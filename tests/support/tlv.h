// DER built by hand: an independent encoder for test peers and fuzz harnesses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quillon::test {

using ByteVec = std::vector<uint8_t>;

// Tag-length-value in DER with the minimal length form.
inline ByteVec Tlv(uint8_t tag, const ByteVec& contents) {
    ByteVec out{tag};
    const size_t n = contents.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        ByteVec len;
        for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(0x80 | len.size()));
        out.insert(out.end(), len.begin(), len.end());
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

inline ByteVec Concat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace quillon::test
