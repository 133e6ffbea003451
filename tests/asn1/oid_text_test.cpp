#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/mem.h"
#include "asn1/asn_value.h"
#include "asn1/object_table.h"
#include "asn1/oid_text.h"

namespace {

using namespace quillon;
using Value = Owned<AsnValue, ASNVALUE_Free>;
using Octets = std::vector<uint8_t>;

Octets Contents(const std::string& text) {
    uint8_t out[kOidTextMax];
    const size_t n = OID_TextToContents(text.data(), text.size(), out, sizeof out);
    return Octets(out, out + n);
}

std::string Text(const Octets& contents) {
    char text[kOidTextMax + 1];
    const size_t n = OID_ContentsToText(contents.data(), contents.size(), text, sizeof text);
    return n ? std::string(text, n) : std::string("<refused>");
}

// The oracle's contents octets for a dotted text, empty when it refuses the text.
Octets OpenSslContents(const std::string& text) {
    ASN1_OBJECT* obj = OBJ_txt2obj(text.c_str(), 1);
    if (!obj) return {};
    const uint8_t* data = OBJ_get0_data(obj);
    Octets out(data, data + OBJ_length(obj));
    ASN1_OBJECT_free(obj);
    return out;
}

std::string OpenSslText(const Octets& contents) {
    ASN1_OBJECT* obj = ASN1_OBJECT_create(NID_undef, const_cast<uint8_t*>(contents.data()),
                                          static_cast<int>(contents.size()), nullptr, nullptr);
    char buffer[256];
    const int n = OBJ_obj2txt(buffer, sizeof buffer, obj, 1);
    ASN1_OBJECT_free(obj);
    return std::string(buffer, n);
}

TEST(OidText, KnownConversions) {
    struct Case { const char* text; Octets contents; };
    const Case cases[] = {
        {"1.2.840.113549.1.1.1", {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}},
        {"2.5.4.3", {0x55, 0x04, 0x03}},
        {"2.5", {0x55}},
        {"0.0", {0x00}},
        {"1.39", {0x4F}},
        {"2.47", {0x7F}},
        {"2.48", {0x81, 0x00}},
        {"1.2.128", {0x2A, 0x81, 0x00}},
        {"1.2.2147483647", {0x2A, 0x87, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"2.2147483567", {0x87, 0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Contents(c.text), c.contents);
        EXPECT_EQ(Text(c.contents), c.text);
    }
}

TEST(OidText, TextsTheEncoderRefuses) {
    const char* refused[] = {
        "", ".1.2", "1.2.", "1..2", "1.2a", "1.-2", "1", "3.1", "1.40", "0.40",
        "1.2.2147483648", "1.2.99999999999", "2.2147483568", "1.2.3 ",
    };
    for (const char* text : refused) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(Contents(text).empty());
        EXPECT_EQ(ASNVALUE_FromOidText(text), nullptr);
    }
    std::string longest = "1.2";
    while (longest.size() < kOidTextMax) longest += ".9";
    longest.resize(kOidTextMax);
    if (longest.back() == '.') longest.back() = '7';
    EXPECT_FALSE(Contents(longest).empty());
    EXPECT_TRUE(Contents(longest + "1").empty()) << "100 characters";
    EXPECT_EQ(ASNVALUE_FromOidText((longest + "1").c_str()), nullptr);

    uint8_t small[2];
    EXPECT_EQ(OID_TextToContents("1.2.840", 7, small, sizeof small), 0u) << "must not write past the buffer";
}

TEST(OidText, ContentsTheDecoderRefusesOrTrims) {
    EXPECT_EQ(Text({}), "<refused>");
    EXPECT_EQ(Text({0x81}), "<refused>") << "no complete sub-identifier";
    EXPECT_EQ(Text({0x55, 0x04, 0x83}), "2.5.4") << "an unfinished run at the end is dropped";
    EXPECT_EQ(Text({0x2A, 0x88, 0x80, 0x80, 0x80, 0x00}), "<refused>") << "2^31";
    EXPECT_EQ(Text({0x2A, 0x87, 0xFF, 0xFF, 0xFF, 0x7F}), "1.2.2147483647");

    // 1.2 followed by 2147483647 twelve times gives 4 + 12 * 11 characters.
    Octets huge = {0x2A};
    for (int i = 0; i < 12; ++i) huge.insert(huge.end(), {0x87, 0xFF, 0xFF, 0xFF, 0x7F});
    EXPECT_EQ(Text(huge), "<refused>");

    char tight[6];
    EXPECT_EQ(OID_ContentsToText(std::array<uint8_t, 3>{0x55, 0x04, 0x03}.data(), 3, tight, sizeof tight), 0u);
    char exact[8];
    EXPECT_EQ(OID_ContentsToText(std::array<uint8_t, 3>{0x55, 0x04, 0x03}.data(), 3, exact, sizeof exact), 7u);
    EXPECT_STREQ(exact, "2.5.4.3");
}

TEST(OidText, MatchesOpenSslOverTheWholeTable) {
    for (int nid = 1; nid < kObjectCount; ++nid) {
        if (nid == NID_PLACEHOLDER) continue;
        const std::string text = OBJ_Row(nid)->oid;
        SCOPED_TRACE(text);
        const Octets ours = Contents(text);
        EXPECT_EQ(ours, OpenSslContents(text));
        EXPECT_EQ(Text(ours), OpenSslText(ours));
        EXPECT_EQ(Text(ours), text);
    }
}

TEST(OidText, MatchesOpenSslOnRandomIdentifiers) {
    std::mt19937 rng(4);
    auto arc = [&] {
        const uint32_t bits = rng() % 32;  // every magnitude up to 2^31 - 1
        return bits == 0 ? 0u : (rng() & ((1u << bits) - 1)) & 0x7FFFFFFFu;
    };
    for (int round = 0; round < 3000; ++round) {
        const uint32_t first = rng() % 3;
        std::string text = std::to_string(first) + "." +
                           std::to_string(first < 2 ? rng() % 40 : arc() % (0x7FFFFFFFu - 80));
        for (int more = static_cast<int>(rng() % 12); more > 0; --more) {
            const std::string next = std::to_string(arc());
            if (text.size() + 1 + next.size() > kOidTextMax) break;
            text.append(1, '.').append(next);
        }
        SCOPED_TRACE(text);
        const Octets ours = Contents(text);
        ASSERT_FALSE(ours.empty());
        EXPECT_LE(ours.size(), text.size());
        EXPECT_EQ(ours, OpenSslContents(text));
        EXPECT_EQ(Text(ours), text);
        EXPECT_EQ(OpenSslText(ours), text);
        Value v(ASNVALUE_FromOidText(text.c_str()));
        ASSERT_TRUE(v);
        EXPECT_EQ(v->length, text.size());
    }
}

}  // namespace
