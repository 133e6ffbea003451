// A BINSTR that releases its bytes when it goes out of scope.
#pragma once

#include <cstdint>
#include <vector>

#include "quilloncrypto.h"

namespace quillon::test {

struct Binstr {
    Binstr() { BINSTR_Create(&b); }
    explicit Binstr(const std::vector<uint8_t>& bytes) : Binstr() { BINSTR_SetData(bytes.data(), bytes.size(), &b); }
    ~Binstr() { BINSTR_Delete(&b); }
    Binstr(const Binstr&) = delete;
    Binstr& operator=(const Binstr&) = delete;
    std::vector<uint8_t> bytes() const { return b.data ? std::vector<uint8_t>(b.data, b.data + b.length) : std::vector<uint8_t>(); }
    BINSTR b;
};

}  // namespace quillon::test
