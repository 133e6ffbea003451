#include <gtest/gtest.h>

#include <cstring>

#include "core/mem.h"
#include "quilloncrypto.h"

namespace {

using quillon::MEM_LiveBlocks;

TEST(Binstr, RefusalsComeFirstAndLeaveTheRecord) {
    const unsigned char bytes[] = {1, 2, 3};
    BINSTR record;
    BINSTR_Create(&record);
    EXPECT_EQ(BINSTR_Create(nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_Delete(nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_SetData(bytes, 3, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_SetData(nullptr, 3, nullptr), QC_ERR_NULL_ARGUMENT);
    ASSERT_EQ(BINSTR_SetData(bytes, 3, &record), QC_OK);
    EXPECT_EQ(BINSTR_SetData(nullptr, 3, &record), QC_ERR_NULL_ARGUMENT);
    EXPECT_TRUE(record.data && record.length == 3u) << "a refused call must leave the record unchanged";
    BINSTR_Delete(&record);
    BINSTR unowned{nullptr, 42};
    EXPECT_EQ(BINSTR_Delete(&unowned), QC_OK);
    EXPECT_EQ(unowned.length, 42u) << "deleting an empty record keeps its length";
}

}  // namespace
