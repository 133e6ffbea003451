#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "api/export_table.h"

namespace {

struct Entry {
    int ordinal;
    const char* name;
};
#define QUILLON_TEST_ENTRY(ordinal, name) Entry{ordinal, #name},
constexpr Entry kTable[] = {QUILLON_EXPORT_TABLE(QUILLON_TEST_ENTRY)};
#undef QUILLON_TEST_ENTRY

// The original 57 and the later ones after them, numbered without gaps.
TEST(ExportTable, HoldsUniqueExportsInOrdinalOrder) {
    ASSERT_EQ(std::size(kTable), 83u);
    EXPECT_STREQ(kTable[56].name, "DecryptSessionKeyWithPEMKey");
    std::set<std::string> names;
    for (size_t i = 0; i < std::size(kTable); ++i) {
        EXPECT_EQ(kTable[i].ordinal, static_cast<int>(i) + 1);
        EXPECT_TRUE(names.insert(kTable[i].name).second) << kTable[i].name;
    }
}

// The shared library's dynamic symbol table holds the exports and nothing else.
TEST(ExportTable, SharedLibraryExportsExactlyTheTable) {
    const std::string command = std::string("nm -D --defined-only ") + QUILLON_SHARED_LIBRARY;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        char address[64], kind[8], name[400];
        if (sscanf(line, "%63s %7s %399s", address, kind, name) == 3) exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);

    std::set<std::string> expected;
    for (const Entry& e : kTable) expected.insert(e.name);
    EXPECT_EQ(exported, expected);
}

}  // namespace
