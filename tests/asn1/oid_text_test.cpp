#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <random>

#include "core/mem.h"
#include "asn1/asn_value.h"
#include "asn1/oid_text.h"

namespace {

using namespace quillon;
using Octets = std::vector<uint8_t>;

Octets Contents(const std::string& text) {
    uint8_t out[kOidTextMax];
    return Octets(out, out + OID_TextToContents(text.data(), text.size(), out, sizeof out));
}
std::string Text(const Octets& contents) {
    char text[kOidTextMax + 1];
    const size_t n = OID_ContentsToText(contents.data(), contents.size(), text, sizeof text);
    return n ? std::string(text, n) : "<refused>";
}

TEST(OidText, TextsTheEncoderRefuses) {
    std::string longest = "1.2";
    while (longest.size() < kOidTextMax) longest += ".9";
    const std::string too_long = longest + "1";
    EXPECT_FALSE(Contents(longest).empty());
    for (const std::string text : {"", ".1.2", "1.2.", "1..2", "1.2a", "1.-2", "1", "3.1", "1.40", "0.40", "1.99999999999",
                                   "1.2.3 ", too_long.c_str()}) {
        EXPECT_TRUE(Contents(text).empty()) << text;
        EXPECT_EQ(ASNVALUE_FromOidText(text.c_str()), nullptr) << text;
    }
    uint8_t small[2];
    EXPECT_EQ(OID_TextToContents("1.2.840", 7, small, sizeof small), 0u) << "must not write past the buffer";
}

// Boundary arcs, then random identifiers with arcs of every magnitude: 32-bit ones and
// decimal ones of up to 45 digits (a UUID arc has 39).
TEST(OidText, MatchesOpenSsl) {
    std::vector<std::string> texts = {"0.0", "1.39", "2.47", "2.48", "1.2.128", "1.2.2147483647", "2.2147483567",
                                      "2.2147483568", "1.2.2147483648", "1.2.4294967296", "1.2.99999999999",
                                      "2.25.329800735698586629295641978511506172918", "1.2.007"};
    std::mt19937 rng(4);
    auto arc = [&] {
        if (rng() % 4 == 0) {
            std::string digits(1, static_cast<char>('1' + rng() % 9));
            for (int n = static_cast<int>(rng() % 45); n > 0; --n) digits += static_cast<char>('0' + rng() % 10);
            return digits;
        }
        const uint32_t bits = rng() % 33;
        return std::to_string(bits == 0 ? 0u : rng() & (bits == 32 ? ~0u : (1u << bits) - 1));
    };
    while (texts.size() < 1000) {
        const uint32_t first = rng() % 3;
        std::string text = std::to_string(first) + "." + (first < 2 ? std::to_string(rng() % 40) : arc());
        for (int more = static_cast<int>(rng() % 12); more > 0; --more) {
            const std::string next = arc();
            if (text.size() + 1 + next.size() > kOidTextMax) break;
            text.append(1, '.').append(next);
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const Octets ours = Contents(text);
        ASN1_OBJECT* obj = OBJ_txt2obj(text.c_str(), 1);
        ASSERT_TRUE(obj);
        EXPECT_EQ(ours, Octets(OBJ_get0_data(obj), OBJ_get0_data(obj) + OBJ_length(obj)));
        char theirs[128];
        OBJ_obj2txt(theirs, sizeof theirs, obj, 1);
        ASN1_OBJECT_free(obj);
        EXPECT_EQ(Text(ours), theirs);
        Owned<AsnValue, ASNVALUE_Free> v(ASNVALUE_FromOidText(text.c_str()));
        EXPECT_TRUE(v && v->length == text.size());
        EXPECT_LE(ours.size(), text.size());
    }
}

}  // namespace
