// Appends text to a caller's buffer of `size` bytes, never writing at or past buffer[size].
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "asn1/asn_value.h"

namespace quillon {

class TextWriter {
public:
    TextWriter(char* buffer, int32_t size) : buffer_(buffer), size_(size) {}
    // Every piece must leave at least one byte after it, for the closing NUL.
    bool Put(const void* bytes, size_t n) {
        if (used_ >= size_ || n >= static_cast<size_t>(size_ - used_)) return false;
        if (n) std::memcpy(buffer_ + used_, bytes, n);
        used_ += static_cast<int32_t>(n);
        return true;
    }
    bool Put(const char* text) { return Put(text, std::strlen(text)); }
    bool Put(const AsnValue* value) { return Put(value->data, value->length); }
    bool PutChar(char c) { return Put(&c, 1); }
    bool PutHex(const uint8_t* bytes, uint32_t n) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (uint32_t i = 0; i < n; ++i) {
            const char pair[2] = {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 0x0F]};
            if (!Put(pair, 2)) return false;
        }
        return true;
    }
    char* Rest() { return buffer_ + used_; }
    int32_t Left() const { return size_ - used_; }
    void Advance(size_t n) { used_ += static_cast<int32_t>(n); }
    // Writes the NUL if at least `room` bytes are left (the name text asks for two).
    bool Finish(int32_t room = 1) {
        if (Left() < room || Left() < 1) return false;
        buffer_[used_] = '\0';
        return true;
    }

private:
    char* buffer_;
    int32_t size_;
    int32_t used_ = 0;
};

}  // namespace quillon
