// Hex helpers for the cipher tests.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

inline std::vector<uint8_t> Hex(std::string_view text) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw std::invalid_argument("bad hex");
    };
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : text) {
        if (c == ' ') continue;
        if (high < 0) {
            high = nibble(c);
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | nibble(c)));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd hex");
    return out;
}

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline std::string ToHex(const uint8_t* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

inline std::string ToHex(const std::vector<uint8_t>& data) { return ToHex(data.data(), data.size()); }

}  // namespace quillon::test
