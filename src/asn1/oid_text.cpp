#include "asn1/oid_text.h"

namespace quillon {
namespace {

// A non-negative decimal number of at most kOidTextMax digits, most significant first.
// Arcs are not limited to 32 bits (2.25.<UUID> carries 128), so they are worked on in
// decimal, which is also the form they are read from and written to.
struct Decimal {
    uint8_t digit[kOidTextMax] = {};
    size_t count = 0;  // 0 stands for zero

    // this = this * factor + add (factor and add below 256); false when it outgrows the text.
    bool MulAdd(uint32_t factor, uint32_t add) {
        uint32_t carry = add;
        for (size_t i = count; i-- > 0;) {
            const uint32_t v = digit[i] * factor + carry;
            digit[i] = static_cast<uint8_t>(v % 10);
            carry = v / 10;
        }
        while (carry) {
            if (count == kOidTextMax) return false;
            for (size_t i = count; i > 0; --i) digit[i] = digit[i - 1];
            digit[0] = static_cast<uint8_t>(carry % 10);
            carry /= 10;
            ++count;
        }
        return true;
    }
    // this = this / divisor, returning the remainder.
    uint32_t DivMod(uint32_t divisor) {
        uint32_t rest = 0;
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            const uint32_t v = rest * 10 + digit[i];
            const auto q = static_cast<uint8_t>(v / divisor);
            rest = v % divisor;
            if (kept || q) digit[kept++] = q;
        }
        count = kept;
        return rest;
    }
    // Below `limit` (at most 255): the value, else -1.
    int Small(uint32_t limit) const {
        if (count > 3) return -1;
        uint32_t v = 0;
        for (size_t i = 0; i < count; ++i) v = v * 10 + digit[i];
        return v < limit ? static_cast<int>(v) : -1;
    }
    // this = this - value, for a value not above this and below 256.
    void Subtract(uint32_t value) {
        for (size_t i = count; i-- > 0 && value;) {
            const uint32_t d = value % 10;
            value /= 10;
            if (digit[i] >= d) {
                digit[i] = static_cast<uint8_t>(digit[i] - d);
            } else {
                digit[i] = static_cast<uint8_t>(digit[i] + 10 - d);
                ++value;  // borrow
            }
        }
        size_t lead = 0;
        while (lead < count && digit[lead] == 0) ++lead;
        for (size_t i = lead; i < count; ++i) digit[i - lead] = digit[i];
        count -= lead;
    }
};

// Base-128, most significant group first, high bit set on all but the last octet.
size_t PutSubIdentifier(Decimal value, uint8_t* out, size_t at, size_t capacity) {
    uint8_t groups[kOidTextMax];
    size_t n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value.DivMod(128));
    } while (value.count);
    if (capacity - at < n) return 0;
    for (size_t i = 0; i < n; ++i) out[at + i] = static_cast<uint8_t>(groups[n - 1 - i] | (i + 1 < n ? 0x80 : 0));
    return n;
}

// Appends the decimal form of `value`; false when the text would pass kOidTextMax.
bool PutDecimal(const Decimal& value, char* text, size_t& at) {
    const size_t n = value.count ? value.count : 1;
    if (at + n > kOidTextMax) return false;
    if (!value.count) text[at++] = '0';
    for (size_t i = 0; i < value.count; ++i) text[at++] = static_cast<char>('0' + value.digit[i]);
    return true;
}

}  // namespace

size_t OID_TextToContents(const char* text, size_t length, uint8_t* out, size_t capacity) {
    if (!text || !out || length == 0 || length > kOidTextMax) return 0;

    uint32_t first = 0;
    size_t arcs = 0, written = 0, i = 0;
    while (i <= length) {
        // One arc: at least one digit, ended by a dot or the end of the text.
        Decimal arc;
        size_t digits = 0;
        for (; i < length && text[i] != '.'; ++i, ++digits) {
            const char c = text[i];
            if (c < '0' || c > '9') return 0;
            arc.MulAdd(10, static_cast<uint32_t>(c - '0'));  // never outgrows the text it comes from
        }
        if (digits == 0) return 0;
        ++i;  // past the dot, or past the end

        if (arcs == 0) {
            const int top = arc.Small(3);
            if (top < 0) return 0;
            first = static_cast<uint32_t>(top);
        } else {
            if (arcs == 1) {
                // Below 2 the second arc must stay under 40, or the identifier reads back differently.
                if (first < 2 && arc.Small(40) < 0) return 0;
                if (!arc.MulAdd(1, 40 * first)) return 0;
            }
            const size_t n = PutSubIdentifier(arc, out, written, capacity);
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
    Decimal value;
    for (size_t i = 0; i < length; ++i) {
        if (!value.MulAdd(128, contents[i] & 0x7Fu)) return 0;  // no text could hold it
        if (contents[i] & 0x80) continue;

        if (first) {
            const int small = value.Small(80);
            const uint32_t top = small < 0 ? 2 : small < 40 ? 0 : 1;
            Decimal arc;
            arc.MulAdd(1, top);
            if (!PutDecimal(arc, buffer, at)) return 0;
            value.Subtract(40 * top);
            first = false;
        }
        if (at + 1 > kOidTextMax) return 0;
        buffer[at++] = '.';
        if (!PutDecimal(value, buffer, at)) return 0;
        value = Decimal{};
    }
    // A run still open at the end is dropped; with nothing complete there is no identifier.
    if (first || capacity < at + 1) return 0;
    for (size_t i = 0; i < at; ++i) text[i] = buffer[i];
    text[at] = 0;
    return at;
}

}  // namespace quillon
