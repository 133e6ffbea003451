#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <string>
#include <vector>

#include "api/mem.h"
#include "asn1/ksx1001.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;

constexpr int Cell(int first, int second) { return (first - 0xA1) * 94 + (second - 0xA1); }

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Converts with glibc's iconv; nullopt-like empty flag when it cannot.
bool Iconv(const char* to, const char* from, const std::string& in, std::string* out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return false;
    buffer.resize(buffer.size() - dst_left);
    *out = buffer;
    return true;
}

std::string Utf8(uint32_t code) {
    std::string s;
    if (code < 0x80) {
        s += static_cast<char>(code);
    } else if (code < 0x800) {
        s += static_cast<char>(0xC0 | code >> 6);
        s += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | code >> 12);
        s += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (code & 0x3F));
    }
    return s;
}

AsnValue Contents(uint32_t type, const std::string& bytes) {
    return AsnValue{type, reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data())),
                    static_cast<uint32_t>(bytes.size()), 0};
}

TEST(Ksx1001Table, ShapeAndLandmarks) {
    int empty = 0;
    for (uint32_t i = 0; i < kKsx1001Cells; ++i) empty += kKsx1001Table[i] == kKsx1001Empty;
    EXPECT_EQ(kKsx1001Cells, 8742u);
    EXPECT_EQ(sizeof kKsx1001Table / sizeof kKsx1001Table[0], 8742u);
    EXPECT_EQ(empty, 518);
    for (int first : {0xAD, 0xAE, 0xAF, 0xC9})
        for (int second = 0xA1; second <= 0xFE; ++second)
            EXPECT_EQ(kKsx1001Table[Cell(first, second)], kKsx1001Empty) << std::hex << first << second;
    EXPECT_EQ(kKsx1001Table[Cell(0xA4, 0xD4)], 0x3164);
    EXPECT_EQ(kKsx1001Table[Cell(0xA2, 0xE6)], kKsx1001Empty);
    EXPECT_EQ(kKsx1001Table[Cell(0xA2, 0xE7)], kKsx1001Empty);

    struct Lookup {
        uint32_t code;
        const char* euc_kr;  // null: no code
    };
    for (const Lookup& c : {Lookup{0xAC00, "\xB0\xA1"}, Lookup{0x3000, "\xA1\xA1"}, Lookup{0x3164, "\xA4\xD4"},
                            Lookup{0xD7A3, nullptr}, Lookup{0x20AC, nullptr}, Lookup{0x41, nullptr},
                            Lookup{0x1AC00, nullptr}, Lookup{0xFFFFFFFF, nullptr}}) {
        MemBlock code(KSX_FromUnicode(c.code));
        if (!c.euc_kr) {
            EXPECT_FALSE(code) << std::hex << c.code;
            continue;
        }
        ASSERT_TRUE(code) << std::hex << c.code;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(code.get()), 2), c.euc_kr);
    }
}

// The reverse index must answer exactly as a front-to-back scan, first match included.
TEST(Ksx1001Table, LookupAgreesWithAScan) {
    std::vector<int> first(0x10000, -1);
    for (uint32_t i = 0; i < kKsx1001Cells; ++i)
        if (first[kKsx1001Table[i]] < 0) first[kKsx1001Table[i]] = static_cast<int>(i);
    for (uint32_t code = 0; code <= 0x10001; ++code) {
        uint8_t bytes[2];
        const int expected = code <= 0xFFFF ? first[code] : -1;
        ASSERT_EQ(KSX_Encode(code, bytes), expected >= 0) << std::hex << code;
        if (expected < 0) continue;
        ASSERT_EQ(bytes[0], 0xA1 + expected / 94) << std::hex << code;
        ASSERT_EQ(bytes[1], 0xA1 + expected % 94) << std::hex << code;
    }
    uint8_t bytes[2];
    ASSERT_EQ(KSX_Encode(0xFFFF, bytes), 1) << "0xFFFF finds the first empty cell";
}

// Every cell against the platform's own EUC-KR decoder (which also knows the later
// editions' 0xA2E6-0xA2E8, absent here).
TEST(Ksx1001Table, MatchesThePlatformCodec) {
    std::string probe;
    if (!Iconv("UTF-8", "EUC-KR", "\xB0\xA1", &probe)) GTEST_SKIP() << "no EUC-KR converter";
    int compared = 0;
    for (int first = 0xA1; first <= 0xFD; ++first) {
        for (int second = 0xA1; second <= 0xFE; ++second) {
            if (first == 0xA2 && second >= 0xE6 && second <= 0xE8) continue;
            const std::string code{static_cast<char>(first), static_cast<char>(second)};
            std::string utf8;
            const uint16_t cell = kKsx1001Table[Cell(first, second)];
            if (!Iconv("UTF-8", "EUC-KR", code, &utf8) || utf8.empty()) {
                EXPECT_EQ(cell, kKsx1001Empty) << Hex(code);
            } else {
                EXPECT_EQ(Utf8(cell), utf8) << Hex(code);
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 8224);
}

// All of Hangul and Hanja (three-byte UTF-8) in one text against the platform's encoder.
TEST(Ksx1001Convert, WholeTableFromUtf8AndBmp) {
    std::string utf8, bmp;
    for (uint32_t i = 0; i < kKsx1001Cells; ++i) {
        const uint16_t c = kKsx1001Table[i];
        if (c == kKsx1001Empty || c < 0x800) continue;
        utf8 += Utf8(c);
        if (c >= 0x8000) {
            bmp += static_cast<char>(c >> 8);
            bmp += static_cast<char>(c & 0xFF);
        }
    }
    std::string expected;
    if (!Iconv("EUC-KR", "UTF-8", utf8, &expected)) GTEST_SKIP() << "no EUC-KR converter";
    AsnValue in = Contents(12, utf8);
    uint8_t* out = nullptr;
    const uint32_t n = KSX_FromUtf8(&in, &out);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(n, expected.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), expected);
    EXPECT_EQ(out[n], 0);
    MEM_Free(out);

    std::string expected_bmp;
    ASSERT_TRUE(Iconv("EUC-KR", "UTF-16BE", bmp, &expected_bmp));
    in = Contents(30, bmp);
    const uint32_t m = KSX_FromBmp(&in, &out);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), m), expected_bmp);
    MEM_Free(out);
}

struct ConvertCase {
    bool bmp;
    std::string input;
    std::string output;  // EUC-KR bytes
    bool ok;
};

class Ksx1001Text : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(Ksx1001Text, Converts) {
    const ConvertCase& c = GetParam();
    AsnValue in = Contents(c.bmp ? 30 : 12, c.input);
    uint8_t sentinel = 0;
    uint8_t* out = &sentinel;
    const uint32_t n = c.bmp ? KSX_FromBmp(&in, &out) : KSX_FromUtf8(&in, &out);
    if (!c.ok) {
        EXPECT_EQ(n, 0u) << Hex(c.input);
        EXPECT_EQ(out, &sentinel) << "nothing stored after a failure";
        return;
    }
    ASSERT_NE(out, &sentinel) << Hex(c.input);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(out), n)), Hex(c.output)) << Hex(c.input);
    EXPECT_EQ(out[n], 0);
    MEM_Free(out);
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    Utf8, Ksx1001Text,
    ::testing::Values(ConvertCase{false, "kr", "kr", true}, ConvertCase{false, "", "", true},
                      ConvertCase{false, "\xEA\xB0\x80", "\xB0\xA1", true},
                      ConvertCase{false, "A\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99 1", "A\xC8\xAB\xB1\xE6\xB5\xBF 1", true},
                      ConvertCase{false, "\xE3\x80\x80", "\xA1\xA1", true},
                      ConvertCase{false, "\xC3\xA9", "\0\0"s, true},                 // two-byte: zeros
                      ConvertCase{false, "\xF0\x9F\x98\x80x", "\0\0x"s, true},       // four-byte: zeros
                      ConvertCase{false, "\xED\x9E\xA3", "", false},                 // U+D7A3 has no code
                      ConvertCase{false, "a\x80", "", false}, ConvertCase{false, "\xBF", "", false},
                      ConvertCase{false, "\xF8\x88\x80\x80\x80", "", false}, ConvertCase{false, "\xFF", "", false},
                      ConvertCase{false, "\xEA\xB0", "", false},                     // cut off
                      ConvertCase{false, "\xC3", "", false}, ConvertCase{false, "\xF0\x9F\x98", "", false}));

INSTANTIATE_TEST_SUITE_P(
    Bmp, Ksx1001Text,
    ::testing::Values(ConvertCase{true, "\x00\x41"s, "A", true}, ConvertCase{true, "", "", true},
                      ConvertCase{true, "\x4E\x00"s, "\0"s, true},                  // Hanja below U+8000
                      ConvertCase{true, "\x00\xC1"s, "\x41", true},                  // low seven bits
                      ConvertCase{true, "\xAC\x00\x00k\xD6\x4D"s, "\xB0\xA1k\xC8\xAB", true},
                      ConvertCase{true, "\xD7\xA3"s, "", false},                     // no code
                      ConvertCase{true, "\xAC\x00\x00"s, "", false},                 // odd length
                      ConvertCase{true, "\x41"s, "", false}));

TEST(Ksx1001Convert, NullArguments) {
    std::string text = "kr";
    AsnValue in = Contents(12, text);
    uint8_t* out = nullptr;
    EXPECT_EQ(KSX_FromUtf8(nullptr, &out), 0u);
    EXPECT_EQ(KSX_FromUtf8(&in, nullptr), 0u);
    EXPECT_EQ(KSX_FromBmp(nullptr, &out), 0u);
    EXPECT_EQ(KSX_FromBmp(&in, nullptr), 0u);
    AsnValue no_data{12, nullptr, 4, 0};
    EXPECT_EQ(KSX_FromUtf8(&no_data, &out), 0u);
    EXPECT_EQ(out, nullptr);
}

TEST(Ksx1001Convert, AllocationFailureLeavesNull) {
    const std::string text = "\xEA\xB0\x80kr";
    AsnValue in = Contents(12, text);
    quillon::test::WalkAllocationFailures(
        [&] {
            uint8_t sentinel = 0;
            uint8_t* out = &sentinel;
            const uint32_t n = KSX_FromUtf8(&in, &out);
            if (n == 0) return out == nullptr ? 0 : -1;
            MEM_Free(out);
            return static_cast<int>(n);
        },
        [](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 4); });
}

}  // namespace
