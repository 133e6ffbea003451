#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "quilloncrypto.h"

namespace {

constexpr const char* kUnknown = "unknown result code";

// The README's result-code table, "| -13 | `QC_ERR_DECRYPT_KEY` | ... |", read afresh so that a
// code added there without a text here fails.
std::map<int32_t, std::string> ReadmeCodes() {
    std::ifstream readme(QUILLON_SOURCE_DIR "/README.md");
    const std::regex row(R"(^\| (-?[0-9]+) \| `(QC_[A-Z0-9_]+)` \|)");
    std::map<int32_t, std::string> codes;
    std::smatch match;
    for (std::string line; std::getline(readme, line);)
        if (std::regex_search(line, match, row)) codes[std::stoi(match[1])] = match[2];
    return codes;
}

TEST(ErrorText, EveryCodeHasATextOfItsOwn) {
    auto codes = ReadmeCodes();
    ASSERT_GE(codes.size(), 24u);
    codes[QC_OK] = "QC_OK";
    codes[0] = "count-shape failure";
    std::set<std::string> texts;
    for (const auto& [code, name] : codes) {
        const char* text = QC_ErrorText(code);
        ASSERT_NE(text, nullptr) << name;
        EXPECT_STRNE(text, kUnknown) << name;
        EXPECT_STRNE(text, "") << name;
        EXPECT_TRUE(texts.insert(text).second) << name << " shares its text: " << text;
    }
}

TEST(ErrorText, AnyOtherValueGivesTheGenericText) {
    for (int32_t code : {2, -2, -16, -73, -101, -105, INT32_MIN, INT32_MAX}) EXPECT_STREQ(QC_ErrorText(code), kUnknown) << code;
}

}  // namespace
