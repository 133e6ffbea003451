#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "quilloncrypto.h"

namespace {

TEST(GetRandomByte, FillsExactlyCountBytes) {
    for (int32_t count : {0, 1, 16, 20, 257}) {
        std::vector<unsigned char> out(static_cast<size_t>(count) + 4, 0xEE);
        EXPECT_EQ(GetRandomByte(out.data(), count), 1) << count;
        EXPECT_TRUE(std::all_of(out.end() - 4, out.end(), [](unsigned char b) { return b == 0xEE; })) << count;
    }
}

TEST(GetRandomByte, RejectsNullOutputAndNegativeCount) {
    unsigned char out[4];
    EXPECT_EQ(GetRandomByte(nullptr, 4), 0);
    EXPECT_EQ(GetRandomByte(out, -1), 0);
    EXPECT_EQ(GetRandomByte(nullptr, 0), 1);
}

}  // namespace
