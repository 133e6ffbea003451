#include <gtest/gtest.h>

#include <cstring>

#include "core/mem.h"
#include "quilloncrypto.h"

namespace {

using quillon::MEM_LiveBlocks;

TEST(Binstr, NullRecordOrSourceIsRefusedBeforeAnyWork) {
    const unsigned char bytes[] = {1, 2, 3};
    BINSTR record;
    BINSTR_Create(&record);
    EXPECT_EQ(BINSTR_Create(nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_Delete(nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_SetData(bytes, 3, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(BINSTR_SetData(nullptr, 3, nullptr), QC_ERR_NULL_ARGUMENT);

    ASSERT_EQ(BINSTR_SetData(bytes, 3, &record), QC_OK);
    EXPECT_EQ(BINSTR_SetData(nullptr, 3, &record), QC_ERR_NULL_ARGUMENT);
    ASSERT_NE(record.data, nullptr) << "a refused call must leave the record unchanged";
    EXPECT_EQ(record.length, 3u);
    BINSTR_Delete(&record);
}

TEST(Binstr, SetReplacesDeleteEmptiesAndRepeats) {
    const long live = MEM_LiveBlocks();
    const unsigned char first[] = {1, 2, 3, 4}, second[] = {9, 8};
    BINSTR record;
    ASSERT_EQ(BINSTR_Create(&record), QC_OK);
    EXPECT_EQ(record.data, nullptr);
    EXPECT_EQ(record.length, 0u);

    ASSERT_EQ(BINSTR_SetData(first, 4, &record), QC_OK);
    ASSERT_EQ(BINSTR_SetData(second, 2, &record), QC_OK);
    EXPECT_EQ(record.length, 2u);
    EXPECT_EQ(std::memcmp(record.data, second, 2), 0);
    EXPECT_EQ(MEM_LiveBlocks(), live + 1) << "the first bytes must be released when replaced";

    ASSERT_EQ(BINSTR_Delete(&record), QC_OK);
    EXPECT_EQ(record.data, nullptr);
    EXPECT_EQ(record.length, 0u);
    EXPECT_EQ(BINSTR_Delete(&record), QC_OK);
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

TEST(Binstr, EmptySourceGivesAnEmptyButHeldBuffer) {
    const unsigned char byte = 7;
    BINSTR record;
    BINSTR_Create(&record);
    ASSERT_EQ(BINSTR_SetData(&byte, 0, &record), QC_OK);
    EXPECT_NE(record.data, nullptr);
    EXPECT_EQ(record.length, 0u);
    BINSTR_Delete(&record);
}

TEST(Binstr, DeleteOfAnEmptyRecordKeepsItsLength) {
    BINSTR record{nullptr, 42};
    EXPECT_EQ(BINSTR_Delete(&record), QC_OK);
    EXPECT_EQ(record.length, 42u);
}

TEST(Binstr, SourceMayBeTheRecordsOwnBytes) {
    const unsigned char bytes[] = {10, 20, 30, 40, 50};
    BINSTR record;
    BINSTR_Create(&record);
    ASSERT_EQ(BINSTR_SetData(bytes, 5, &record), QC_OK);
    ASSERT_EQ(BINSTR_SetData(record.data + 1, 3, &record), QC_OK);
    ASSERT_EQ(record.length, 3u);
    EXPECT_EQ(record.data[0], 20);
    EXPECT_EQ(record.data[2], 40);
    BINSTR_Delete(&record);
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
    EXPECT_EQ(record.data, nullptr);
    EXPECT_EQ(record.length, 0u);
    EXPECT_EQ(MEM_LiveBlocks(), live) << "the old bytes are released even though the copy failed";
}

TEST(Binstr, FreeCesMessageReleasesAndIgnoresNull) {
    const long live = MEM_LiveBlocks();
    FreeCesMessage(nullptr);
    FreeCesMessage(quillon::MEM_Alloc(16));
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

}  // namespace
