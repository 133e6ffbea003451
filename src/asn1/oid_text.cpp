#include "asn1/oid_text.h"

namespace quillon {
namespace {

constexpr uint32_t kArcMax = 0x7FFFFFFF;

// Base-128, most significant group first, high bit set on all but the last octet.
size_t PutSubIdentifier(uint32_t value, uint8_t* out, size_t at, size_t capacity) {
    uint8_t groups[5];
    size_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value);
    if (capacity - at < n) return 0;
    for (size_t i = 0; i < n; ++i) out[at + i] = static_cast<uint8_t>(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return n;
}

// Appends the decimal form of `value`; false when the text would pass kOidTextMax.
bool PutDecimal(uint32_t value, char* text, size_t& at) {
    char digits[10];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    if (at + n > kOidTextMax) return false;
    while (n) text[at++] = digits[--n];
    return true;
}

}  // namespace

size_t OID_TextToContents(const char* text, size_t length, uint8_t* out, size_t capacity) {
    if (!text || !out || length == 0 || length > kOidTextMax) return 0;

    uint32_t first = 0;
    size_t arcs = 0, written = 0, i = 0;
    while (i <= length) {
        // One arc: at least one digit, ended by a dot or the end of the text.
        uint32_t arc = 0;
        size_t digits = 0;
        for (; i < length && text[i] != '.'; ++i, ++digits) {
            const char c = text[i];
            if (c < '0' || c > '9') return 0;
            const uint32_t d = static_cast<uint32_t>(c - '0');
            if (arc > (kArcMax - d) / 10) return 0;
            arc = arc * 10 + d;
        }
        if (digits == 0) return 0;
        ++i;  // past the dot, or past the end

        if (arcs == 0) {
            if (arc > 2) return 0;
            first = arc;
        } else {
            uint32_t sub = arc;
            if (arcs == 1) {
                // Below 2 the second arc must stay under 40, or the identifier reads back differently.
                if (first < 2 && arc > 39) return 0;
                if (arc > kArcMax - 40 * first) return 0;
                sub = 40 * first + arc;
            }
            const size_t n = PutSubIdentifier(sub, out, written, capacity);
            if (n == 0) return 0;
            written += n;
        }
        ++arcs;
    }
    return arcs >= 2 ? written : 0;
}

size_t OID_ContentsToText(const uint8_t* contents, size_t length, char* text, size_t capacity) {
    if (!contents || !text || length == 0) return 0;

    char buffer[kOidTextMax + 1];
    size_t at = 0;
    bool first = true;
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (value > (kArcMax >> 7)) return 0;  // the next group would reach 2^31
        value = (value << 7) | (contents[i] & 0x7F);
        if (contents[i] & 0x80) continue;

        if (first) {
            const uint32_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            if (!PutDecimal(top, buffer, at)) return 0;
            value -= 40 * top;
            first = false;
        }
        if (at + 1 > kOidTextMax) return 0;
        buffer[at++] = '.';
        if (!PutDecimal(value, buffer, at)) return 0;
        value = 0;
    }
    // A run still open at the end is dropped; with nothing complete there is no identifier.
    if (first || capacity < at + 1) return 0;
    for (size_t i = 0; i < at; ++i) text[i] = buffer[i];
    text[at] = 0;
    return at;
}

}  // namespace quillon
