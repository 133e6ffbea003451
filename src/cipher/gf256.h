// Arithmetic in GF(2^8), for deriving cipher S-boxes at compile time. `Poly` is the field's
// reduction polynomial with its x^8 bit (0x11B for x^8 + x^4 + x^3 + x + 1).
#pragma once

#include <array>
#include <cstdint>

namespace quillon {

template <unsigned Poly>
constexpr uint8_t Gf256Mul(unsigned a, unsigned b) {
    unsigned r = 0;
    for (; b; b >>= 1) {
        if (b & 1) r ^= a;
        a <<= 1;
        if (a & 0x100) a ^= Poly;
    }
    return static_cast<uint8_t>(r);
}

template <unsigned Poly>
constexpr uint8_t Gf256Pow(uint8_t x, unsigned e) {
    uint8_t r = 1;
    for (; e; e >>= 1) {
        if (e & 1) r = Gf256Mul<Poly>(r, x);
        x = Gf256Mul<Poly>(x, x);
    }
    return r;
}

// The S-box x -> M * x^exponent + constant, the bit matrix M given by its columns (the
// images of bits 0..7).
template <unsigned Poly>
constexpr std::array<uint8_t, 256> Gf256PowerSbox(const uint8_t (&columns)[8], unsigned exponent, uint8_t constant) {
    std::array<uint8_t, 256> box{};
    for (unsigned x = 0; x < 256; ++x) {
        const uint8_t p = Gf256Pow<Poly>(static_cast<uint8_t>(x), exponent);
        uint8_t y = constant;
        for (int bit = 0; bit < 8; ++bit)
            if ((p >> bit) & 1) y ^= columns[bit];
        box[x] = y;
    }
    return box;
}

}  // namespace quillon
