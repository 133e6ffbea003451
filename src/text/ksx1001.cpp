#include "text/ksx1001.h"

#include <algorithm>
#include <array>

#include "core/mem.h"

namespace quillon {
namespace {

// Every cell as (character << 16 | cell index), sorted: the first entry for a character is
// its lowest cell, which is what a front-to-back scan would find.
class ReverseIndex {
public:
    ReverseIndex() {
        for (uint32_t i = 0; i < kKsx1001Cells; ++i) entries_[i] = uint32_t{kKsx1001Table[i]} << 16 | i;
        std::sort(entries_.begin(), entries_.end());
    }
    int Find(uint32_t code) const {
        if (code > 0xFFFF) return -1;
        auto it = std::lower_bound(entries_.begin(), entries_.end(), code << 16);
        if (it == entries_.end() || (*it >> 16) != code) return -1;
        return static_cast<int>(*it & 0xFFFF);
    }

private:
    std::array<uint32_t, kKsx1001Cells> entries_;
};

const ReverseIndex& Index() {
    static const ReverseIndex index;
    return index;
}

// Output never outgrows the input (1 -> 1, 2 -> 2, 3 -> 2, 4 -> 2 bytes), so one buffer of
// input size plus the NUL is enough. Returns the length, or -1 to fail the conversion.
template <class Walk>
uint32_t Convert(const uint8_t* text, uint32_t n, uint8_t** out, Walk walk) {
    if (!out || (n && !text)) return 0;
    auto* buffer = static_cast<uint8_t*>(MEM_Alloc(size_t{n} + 1));
    if (!buffer) {
        *out = nullptr;
        return 0;
    }
    const int64_t length = walk(text, n, buffer);
    if (length < 0) {
        MEM_Free(buffer);
        return 0;
    }
    buffer[length] = 0;
    *out = buffer;
    return static_cast<uint32_t>(length);
}

// A character of a text: 0xFFFF marks the table's empty cells and is never one of its codes.
bool EncodeCharacter(uint32_t code, uint8_t out[2]) { return code != kKsx1001Empty && KSX_Encode(code, out); }

}  // namespace

int KSX_Encode(uint32_t code, uint8_t out[2]) {
    const int cell = Index().Find(code);
    if (cell < 0) return 0;
    out[0] = static_cast<uint8_t>(0xA1 + cell / kKsx1001RowCells);
    out[1] = static_cast<uint8_t>(0xA1 + cell % kKsx1001RowCells);
    return 1;
}

uint8_t* KSX_FromUnicode(uint32_t code) {
    uint8_t bytes[2];
    if (!KSX_Encode(code, bytes)) return nullptr;
    auto* out = static_cast<uint8_t*>(MEM_Alloc(2));
    if (out) {
        out[0] = bytes[0];
        out[1] = bytes[1];
    }
    return out;
}

uint32_t KSX_FromUtf8(const uint8_t* text, uint32_t length, uint8_t** out) {
    return Convert(text, length, out, [](const uint8_t* in, uint32_t n, uint8_t* o) -> int64_t {
        uint32_t i = 0, w = 0;
        while (i < n) {
            const uint8_t b = in[i];
            if (b <= 0x7F) {
                o[w++] = b;
                i += 1;
                continue;
            }
            // Every other character goes through the table, whatever its length: one the
            // table lacks fails the whole text rather than leaving a hole in it.
            uint32_t size, code;
            if ((b & 0xE0) == 0xC0) {
                size = 2, code = b & 0x1Fu;
            } else if ((b & 0xF0) == 0xE0) {
                size = 3, code = b & 0x0Fu;
            } else if ((b & 0xF8) == 0xF0) {
                size = 4, code = b & 0x07u;
            } else {
                return -1;  // continuation byte or 0xF8-0xFF where a sequence should start
            }
            if (n - i < size) return -1;
            for (uint32_t k = 1; k < size; ++k) {
                if ((in[i + k] & 0xC0) != 0x80) return -1;
                code = code << 6 | (in[i + k] & 0x3Fu);
            }
            if (!EncodeCharacter(code, o + w)) return -1;
            w += 2;
            i += size;
        }
        return w;
    });
}

uint32_t KSX_FromBmp(const uint8_t* text, uint32_t length, uint8_t** out) {
    if (length % 2) return 0;
    return Convert(text, length, out, [](const uint8_t* in, uint32_t n, uint8_t* o) -> int64_t {
        uint32_t w = 0;
        for (uint32_t i = 0; i < n; i += 2) {
            const uint8_t hi = in[i], lo = in[i + 1];
            if (hi > 0x7F) {
                if (!EncodeCharacter(uint32_t{hi} << 8 | lo, o + w)) return -1;
                w += 2;
            } else {
                o[w++] = lo & 0x7F;
            }
        }
        return w;
    });
}

}  // namespace quillon
