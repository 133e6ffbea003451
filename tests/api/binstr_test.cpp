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

// Replacing releases the old bytes, the source may lie in them, an empty source still holds a
// buffer, and deleting twice is harmless.
TEST(Binstr, SetReplacesDeleteEmptiesAndRepeats) {
    const long live = MEM_LiveBlocks();
    const unsigned char first[] = {10, 20, 30, 40, 50};
    BINSTR record;
    ASSERT_EQ(BINSTR_Create(&record), QC_OK);
    EXPECT_TRUE(record.data == nullptr && record.length == 0u);
    ASSERT_EQ(BINSTR_SetData(first, 5, &record), QC_OK);
    ASSERT_EQ(BINSTR_SetData(record.data + 1, 3, &record), QC_OK);
    ASSERT_EQ(record.length, 3u);
    EXPECT_EQ(std::memcmp(record.data, first + 1, 3), 0);
    EXPECT_EQ(MEM_LiveBlocks(), live + 1) << "the first bytes must be released when replaced";
    ASSERT_EQ(BINSTR_SetData(first, 0, &record), QC_OK);
    EXPECT_TRUE(record.data != nullptr && record.length == 0u);
    ASSERT_EQ(BINSTR_Delete(&record), QC_OK);
    EXPECT_TRUE(record.data == nullptr && record.length == 0u);
    EXPECT_EQ(BINSTR_Delete(&record), QC_OK);
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

TEST(Binstr, AllocationFailureLeavesTheRecordEmpty) {
    const long live = MEM_LiveBlocks();
    const unsigned char old_bytes[] = {1}, bytes[] = {5, 6, 7};
    BINSTR record;
    BINSTR_Create(&record);
    ASSERT_EQ(BINSTR_SetData(old_bytes, 1, &record), QC_OK);
    quillon::MEM_FailNthAllocation(1);
    EXPECT_EQ(BINSTR_SetData(bytes, 3, &record), QC_ERR_ALLOC);
    quillon::MEM_FailNthAllocation(0);
    EXPECT_TRUE(record.data == nullptr && record.length == 0u);
    EXPECT_EQ(MEM_LiveBlocks(), live) << "the old bytes are released even though the copy failed";
    FreeCesMessage(nullptr);
    FreeCesMessage(quillon::MEM_Alloc(16));
    EXPECT_EQ(MEM_LiveBlocks(), live) << "FreeCesMessage releases and ignores null";
}

}  // namespace
