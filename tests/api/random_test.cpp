#include <gtest/gtest.h>

#include <vector>

#include "quilloncrypto.h"

TEST(GetRandomByte, FillsExactlyCountBytesAndRefusesBadArguments) {
    for (int32_t count : {0, 1, 20, 257}) {
        std::vector<unsigned char> out(count + 4, 0xEE);
        EXPECT_EQ(GetRandomByte(out.data(), count), 1) << count;
        EXPECT_EQ(std::vector<unsigned char>(out.end() - 4, out.end()), std::vector<unsigned char>(4, 0xEE)) << count;
    }
    unsigned char out[4];
    EXPECT_EQ(GetRandomByte(nullptr, 4) + GetRandomByte(out, -1), 0);
    EXPECT_EQ(GetRandomByte(nullptr, 0), 1);
}
