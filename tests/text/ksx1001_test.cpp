#include <gtest/gtest.h>
#include <iconv.h>

#include "asn1/asn_value.h"
#include "text/ksx1001.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using namespace std::string_literals;

constexpr int Cell(int first, int second) { return (first - 0xA1) * 94 + (second - 0xA1); }
AsnValue Contents(uint32_t type, const std::string& s) {
    return AsnValue{type, reinterpret_cast<uint8_t*>(const_cast<char*>(s.data())), static_cast<uint32_t>(s.size()), 0};
}

// The platform's EUC-KR decoding of one code as a UTF-16 unit; kKsx1001Empty when it has none.
uint16_t PlatformCell(iconv_t cd, int first, int second) {
    char in[2] = {static_cast<char>(first), static_cast<char>(second)}, out[4];
    char *src = in, *dst = out;
    size_t src_left = 2, dst_left = 4;
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1) || dst_left != 2) return kKsx1001Empty;
    return static_cast<uint16_t>(static_cast<uint8_t>(out[0]) << 8 | static_cast<uint8_t>(out[1]));
}

TEST(Ksx1001Table, ShapeLandmarksAndThePlatformCodec) {
    int empty = 0;
    for (uint16_t cell : kKsx1001Table) empty += cell == kKsx1001Empty;
    EXPECT_EQ(std::size(kKsx1001Table), 8742u);
    EXPECT_EQ(empty, 518);
    for (int first : {0xAD, 0xAE, 0xAF, 0xC9})
        for (int second = 0xA1; second <= 0xFE; ++second) EXPECT_EQ(kKsx1001Table[Cell(first, second)], kKsx1001Empty);
    EXPECT_EQ(kKsx1001Table[Cell(0xA4, 0xD4)], 0x3164);
    for (const auto& [code, euc_kr] : {std::pair<uint32_t, std::string>{0xAC00, "\xB0\xA1"}, {0x3000, "\xA1\xA1"},
                                       {0x3164, "\xA4\xD4"}, {0xD7A3, ""}, {0x41, ""}, {0x1AC00, ""}}) {
        MemBlock bytes(KSX_FromUnicode(code));
        EXPECT_EQ(bytes ? std::string(reinterpret_cast<char*>(bytes.get()), 2) : "", euc_kr) << std::hex << code;
    }
    // The platform also knows the later editions' 0xA2E6 to 0xA2E8, which the table leaves out.
    iconv_t cd = iconv_open("UTF-16BE", "EUC-KR");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no EUC-KR converter";
    for (int first = 0xA1; first <= 0xFD; ++first) {
        for (int second = 0xA1; second <= 0xFE; ++second) {
            const bool later = first == 0xA2 && second >= 0xE6 && second <= 0xE8;
            if (later && second == 0xE8) continue;
            EXPECT_EQ(kKsx1001Table[Cell(first, second)], later ? kKsx1001Empty : PlatformCell(cd, first, second))
                << std::hex << first << second;
        }
    }
    iconv_close(cd);
}

TEST(Ksx1001Convert, Utf8AndBmp) {
    struct Case { bool bmp; std::string in, out; bool ok; };
    const Case cases[] = {
        {false, "", "", true}, {false, "A\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99 1", "A\xC8\xAB\xB1\xE6\xB5\xBF 1", true},
        // Two-byte characters go through the table too; what it lacks fails, whatever the length.
        {false, "\xCE\xB1\xD0\x96\xC3\x97", "\xA5\xE1\xAC\xA8\xA1\xBF", true}, {false, "x\xC3\xA9", "", false},
        {false, "\xF0\x9F\x98\x80x", "", false}, {false, "\xED\x9E\xA3", "", false},
        {false, "\xCE\x41", "", false}, {false, "\xEA\xB0\xC0", "", false},  // a continuation byte missing
        {false, "a\x80", "", false}, {false, "\xBF", "", false}, {false, "\xF8\x88\x80\x80\x80", "", false},
        {false, "\xFF", "", false}, {false, "\xEA\xB0", "", false}, {false, "\xC3", "", false},
        {false, "\xF0\x9F\x98", "", false}, {true, "", "", true}, {true, "\xAC\x00\x00k\xD6\x4D"s, "\xB0\xA1k\xC8\xAB", true},
        {true, "\x4E\x00"s, "\0"s, true}, {true, "\x00\xC1"s, "\x41", true},  // below U+8000: the low seven bits
        {true, "\xD7\xA3", "", false}, {true, "\xFF\xFF", "", false}, {false, "\xEF\xBF\xBF", "", false},  // no empty cell
        {true, "\xAC\x00\x00"s, "", false}, {true, "\x41", "", false},  // odd lengths
    };
    for (const Case& c : cases) {
        AsnValue in = Contents(c.bmp ? 30 : 12, c.in);
        uint8_t sentinel = 0;
        uint8_t* out = &sentinel;
        const uint32_t n = c.bmp ? KSX_FromBmp(in.data, in.length, &out) : KSX_FromUtf8(in.data, in.length, &out);
        if (!c.ok) {
            EXPECT_TRUE(n == 0 && out == &sentinel) << testing::PrintToString(c.in) << ": nothing stored";
            continue;
        }
        ASSERT_TRUE(out && out != &sentinel) << testing::PrintToString(c.in);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n + 1), c.out + '\0') << testing::PrintToString(c.in);
        MEM_Free(out);
    }
    const std::string text = "kr";
    AsnValue kr = Contents(12, text), no_data{12, nullptr, 4, 0};
    uint8_t* out = nullptr;
    EXPECT_FALSE(KSX_FromUtf8(kr.data, kr.length, nullptr) || KSX_FromBmp(kr.data, kr.length, nullptr) ||
                 KSX_FromUtf8(no_data.data, no_data.length, &out) || KSX_FromBmp(no_data.data, no_data.length, &out) || out);
}

// The reverse index answers exactly as a front-to-back scan, first match included. Every
// character of the Basic Multilingual Plane in UTF-8 converts as the platform's EUC-KR codec
// converts it, or fails where the platform has no code; the later editions' three additions
// (euro, registered sign, U+327E) are not in the table.
TEST(Ksx1001Convert, LookupAgreesWithAScanAndUtf8WithThePlatformCodec) {
    std::vector<int> first(0x10000, -1);
    for (int i = kKsx1001Cells - 1; i >= 0; --i) first[kKsx1001Table[i]] = i;
    for (uint32_t code = 0; code <= 0x10001; ++code) {
        uint8_t bytes[2];
        const int expected = code <= 0xFFFF ? first[code] : -1;
        ASSERT_EQ(KSX_Encode(code, bytes), expected >= 0) << std::hex << code;
        if (expected >= 0) {
            ASSERT_EQ(Cell(bytes[0], bytes[1]), expected) << std::hex << code;
        }
    }
    iconv_t cd = iconv_open("EUC-KR", "UTF-8"), reverse = iconv_open("UTF-8", "EUC-KR");
    if (cd == reinterpret_cast<iconv_t>(-1) || reverse == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no EUC-KR converter";
    for (uint32_t code = 0x80; code <= 0xFFFF; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) continue;
        std::string utf8 = code < 0x800 ? std::string{static_cast<char>(0xC0 | code >> 6)}
                                        : std::string{static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F))};
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
        char out[8];
        char *src = utf8.data(), *dst = out;
        size_t src_left = utf8.size(), dst_left = sizeof out;
        const bool later = code == 0x20AC || code == 0xAE || code == 0x327E;
        // Only codes that lead back to the character count: C1 controls pass through the
        // platform as single bytes, and a few characters have a one-way code (U+20A9 -> A3DC).
        bool platform =
            iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) && dst_left == sizeof out - 2 && !later;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (platform) {
            char back[8];
            char *bsrc = out, *bdst = back;
            size_t bsrc_left = 2, bdst_left = sizeof back;
            platform = iconv(reverse, &bsrc, &bsrc_left, &bdst, &bdst_left) != static_cast<size_t>(-1) &&
                       std::string(back, sizeof back - bdst_left) == utf8;
        }
        AsnValue in = Contents(12, utf8);
        uint8_t* ours = nullptr;
        const uint32_t n = KSX_FromUtf8(in.data, in.length, &ours);
        ASSERT_EQ(n == 2, platform) << std::hex << code;
        if (n) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(ours), n), std::string(out, sizeof out - dst_left)) << std::hex << code;
        }
        MEM_Free(ours);
    }
    iconv_close(cd);
    iconv_close(reverse);
}

}  // namespace
