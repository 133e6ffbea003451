// The first 2,048 primes (2 .. 17,863), computed at compile time. Prime generation sieves
// candidates with the odd ones before any big-number work.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon {

constexpr size_t kSmallPrimeCount = 2048;
constexpr uint32_t kLargestSmallPrime = 17863;

namespace detail {
constexpr std::array<uint16_t, kSmallPrimeCount> MakeSmallPrimes() {
    std::array<bool, kLargestSmallPrime + 1> composite{};
    std::array<uint16_t, kSmallPrimeCount> primes{};
    size_t count = 0;
    for (uint32_t i = 2; i <= kLargestSmallPrime && count < kSmallPrimeCount; ++i) {
        if (composite[i]) continue;
        primes[count++] = static_cast<uint16_t>(i);
        for (uint32_t j = i * i; j <= kLargestSmallPrime; j += i) composite[j] = true;
    }
    return primes;
}
}  // namespace detail

inline constexpr std::array<uint16_t, kSmallPrimeCount> kSmallPrimes = detail::MakeSmallPrimes();
static_assert(kSmallPrimes[0] == 2 && kSmallPrimes[1] == 3);
static_assert(kSmallPrimes[kSmallPrimeCount - 1] == kLargestSmallPrime, "table must end at the 2048th prime");

}  // namespace quillon
