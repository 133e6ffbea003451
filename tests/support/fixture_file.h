// Reading the committed fixtures under tests/fixtures.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillon::test {

inline std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// `path` is relative to the fixture folder, e.g. "rsa/message.bin".
inline std::vector<uint8_t> FixtureBytes(const std::string& path) { return ReadFile(std::string(QUILLON_FIXTURES) + "/" + path); }

}  // namespace quillon::test
