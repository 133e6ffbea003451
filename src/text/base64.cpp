// Base64 (RFC 4648 alphabet, '=' padding): 76-character lines joined by a single LF when
// encoding; LF and CR LF accepted and other bytes outside the alphabet skipped when decoding.
#include <array>
#include <cstring>

#include "text/base64.h"

#include "core/mem.h"

namespace quillon {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineChars = 76;
constexpr uint8_t kPad = 0x40;
constexpr uint8_t kSkip = 0x80;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) entry = kSkip;
    for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
    table['='] = kPad;
    return table;
}
constexpr auto kDecode = MakeDecodeTable();

// Writes the four characters of one complete group.
inline uint8_t* EncodeGroup(const uint8_t* in, uint8_t* out) {
    const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    out[0] = kAlphabet[v >> 18];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = kAlphabet[v & 63];
    return out + 4;
}

}  // namespace

uint8_t* BASE64_EncodeBytes(const uint8_t* input, size_t length, size_t* out_length) {
    const uint64_t in_len = length;
    const uint64_t data_chars = (in_len + 2) / 3 * 4;
    if (data_chars == 0 || !input) return nullptr;
    // A line feed after every complete run of 76 characters, but none at the very end.
    const uint64_t line_feeds = data_chars / kLineChars - (data_chars % kLineChars == 0 ? 1 : 0);
    const uint64_t total = data_chars + line_feeds;
    if (total > INT32_MAX) return nullptr;
    // Every byte is written below, so the block needs no zero fill.
    auto* out = static_cast<uint8_t*>(MEM_Alloc(total + 1));
    if (!out) return nullptr;

    const uint8_t* in = input;
    const uint8_t* const in_end = in + in_len;
    uint8_t* o = out;
    const size_t groups_per_line = kLineChars / 4;
    size_t full_groups = in_len / 3;
    uint64_t written_feeds = 0;
    while (full_groups > 0) {
        const size_t run = full_groups < groups_per_line ? full_groups : groups_per_line;
        for (size_t g = 0; g < run; ++g, in += 3) o = EncodeGroup(in, o);
        full_groups -= run;
        if (run == groups_per_line && written_feeds < line_feeds) {
            *o++ = '\n';
            ++written_feeds;
        }
    }
    const size_t rest = static_cast<size_t>(in_end - in);
    if (rest == 1) {
        o[0] = kAlphabet[in[0] >> 2];
        o[1] = kAlphabet[(in[0] & 3) << 4];
        o[2] = '=';
        o[3] = '=';
        o += 4;
    } else if (rest == 2) {
        o[0] = kAlphabet[in[0] >> 2];
        o[1] = kAlphabet[((in[0] & 3) << 4) | (in[1] >> 4)];
        o[2] = kAlphabet[(in[1] & 15) << 2];
        o[3] = '=';
        o += 4;
    }
    if (static_cast<uint64_t>(o - out) != total) {
        MEM_Free(out);
        return nullptr;
    }
    *o = 0;
    *out_length = static_cast<size_t>(total);
    return out;
}

uint8_t* BASE64_DecodeBytes(const uint8_t* text, size_t len, size_t* out_length) {
    if (len == 0 || !text) return nullptr;

    // Size estimate from the length and the trailing pads. Malformed input can decode to
    // more than this before its error shows, so every write is checked against it (the
    // last byte of the buffer stays zero as the terminator).
    int64_t estimate = static_cast<int64_t>(len / 4) * 3;
    if (text[len - 1] == '=') {
        --estimate;
        if (len >= 2 && text[len - 2] == '=') --estimate;
    }
    const size_t capacity = static_cast<size_t>(estimate > 0 ? estimate : 0) + 1;
    auto* buf = static_cast<uint8_t*>(MEM_Calloc(capacity, 1));
    if (!buf) return nullptr;
    auto fail = [&]() -> uint8_t* {
        MEM_Free(buf);
        return nullptr;
    };

    size_t written = 0;
    uint32_t accumulator = 0;
    int symbols = 0;
    int pads = 0;
    for (size_t i = 0; i < len; ++i) {
        const uint8_t c = text[i];
        // Fast path: four alphabet characters forming a whole group, before any padding.
        if (symbols == 0 && pads == 0 && i + 4 <= len) {
            const uint8_t a = kDecode[text[i]], b = kDecode[text[i + 1]], d = kDecode[text[i + 2]],
                          e = kDecode[text[i + 3]];
            if (((a | b | d | e) & (kPad | kSkip)) == 0) {
                if (written + 3 >= capacity) return fail();
                const uint32_t v = (uint32_t{a} << 18) | (uint32_t{b} << 12) | (uint32_t{d} << 6) | e;
                buf[written] = static_cast<uint8_t>(v >> 16);
                buf[written + 1] = static_cast<uint8_t>(v >> 8);
                buf[written + 2] = static_cast<uint8_t>(v);
                written += 3;
                i += 3;
                continue;
            }
        }
        if (c == '\r') {
            if (i + 1 >= len || text[i + 1] != '\n') return fail();
            ++i;
            continue;
        }
        const uint8_t value = kDecode[c];
        if (value == kSkip) continue;  // LF and every byte outside the alphabet
        if (value == kPad) {
            if (++pads > 2) return fail();
            accumulator <<= 6;
        } else {
            if (pads > 0) return fail();
            accumulator = (accumulator << 6) | value;
        }
        if (++symbols < 4) continue;
        const size_t count = pads == 0 ? 3 : (pads == 1 ? 2 : 1);
        if (written + count >= capacity) return fail();
        buf[written++] = static_cast<uint8_t>(accumulator >> 16);
        if (count > 1) buf[written++] = static_cast<uint8_t>(accumulator >> 8);
        if (count > 2) buf[written++] = static_cast<uint8_t>(accumulator);
        accumulator = 0;
        symbols = 0;
    }
    if (symbols != 0) return fail();

    // Zero results hand out no buffer, so a caller that treats 0 as failure leaks nothing.
    // Otherwise the working buffer is the output: zero-filled, so a zero byte follows the data.
    if (written == 0 || written > INT32_MAX) return fail();
    *out_length = written;
    return buf;
}

}  // namespace quillon
