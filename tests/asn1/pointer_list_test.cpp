#include <gtest/gtest.h>

#include <vector>

#include "api/mem.h"
#include "asn1/pointer_list.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using List = Owned<PointerList, PLIST_Free>;

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

std::vector<intptr_t> Items(const PointerList* list) {
    std::vector<intptr_t> out;
    for (int32_t i = 0; i < PLIST_Count(list); ++i) out.push_back(reinterpret_cast<intptr_t>(PLIST_Get(list, i)));
    return out;
}

TEST(PointerList, InsertShiftsOrAppendsAndGrowsPastTheFirstCapacity) {
    List list(PLIST_New());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->capacity, 4);
    std::vector<intptr_t> model;
    struct Step { intptr_t item; int32_t index; };
    const Step steps[] = {{1, 0}, {2, 5}, {3, 0}, {4, 1}, {5, -1}, {6, 4}, {7, 6}, {8, 99}, {9, 3}, {10, 0}};
    for (const Step& s : steps) {
        const auto at = s.index >= 0 && s.index < static_cast<int32_t>(model.size()) ? model.begin() + s.index : model.end();
        model.insert(at, s.item);
        EXPECT_EQ(PLIST_Insert(list.get(), P(s.item), s.index), static_cast<int32_t>(model.size()));
        EXPECT_EQ(Items(list.get()), model);
        EXPECT_GT(list->capacity, list->count);
    }
    EXPECT_EQ(PLIST_Push(list.get(), P(11)), 11);
    EXPECT_EQ(PLIST_Get(list.get(), 10), P(11));
    EXPECT_EQ(PLIST_Get(list.get(), 11), nullptr);
    EXPECT_EQ(PLIST_Get(list.get(), -1), nullptr);
}

TEST(PointerList, NullListsAndFreeAllOrder) {
    EXPECT_EQ(PLIST_Insert(nullptr, P(1), 0), 0);
    EXPECT_EQ(PLIST_Push(nullptr, P(1)), 0);
    EXPECT_EQ(PLIST_Count(nullptr), -1);
    EXPECT_EQ(PLIST_Get(nullptr, 0), nullptr);
    PLIST_Free(nullptr);
    PLIST_FreeAll(nullptr, MEM_Free);

    static std::vector<intptr_t> released;
    released.clear();
    PointerList* list = PLIST_New();
    for (intptr_t n : {3, 0, 5, 7}) PLIST_Push(list, P(n));
    PLIST_FreeAll(list, [](void* item) { released.push_back(reinterpret_cast<intptr_t>(item)); });
    EXPECT_EQ(released, (std::vector<intptr_t>{3, 5, 7})) << "null items are skipped, order kept";
}

TEST(PointerList, FailedGrowthLeavesTheListUnchanged) {
    test::WalkAllocationFailures(
        [] {
            List list(PLIST_New());
            if (!list) return true;
            for (intptr_t n = 1; n <= 20; ++n) {
                const int32_t before = list->count;
                if (PLIST_Push(list.get(), P(n)) == 0) {
                    EXPECT_EQ(list->count, before);
                    for (int32_t i = 0; i < before; ++i) EXPECT_EQ(PLIST_Get(list.get(), i), P(i + 1));
                    return true;
                }
            }
            return false;
        },
        [](bool fired, bool failed) { EXPECT_EQ(fired, failed); });
}

}  // namespace
