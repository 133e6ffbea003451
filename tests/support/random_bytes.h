// Seeded test data, so that every run of the suite sees the same inputs.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace quillon::test {

inline std::vector<uint8_t> SeededBytes(std::mt19937& rng, size_t count) {
    std::vector<uint8_t> out(count);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

}  // namespace quillon::test
