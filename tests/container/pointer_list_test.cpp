#include <gtest/gtest.h>

#include "container/pointer_list.h"
#include "support/alloc_fault.h"

namespace {

using namespace quillon;
using List = Owned<PointerList, PLIST_Free>;

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

TEST(PointerList, InsertShiftsOrAppendsAndGrowsPastTheFirstCapacity) {
    List list(PLIST_New());
    std::vector<void*> model;
    const int32_t indexes[] = {0, 5, 0, 1, -1, 4, 6, 99, 3, 0};
    for (intptr_t item = 1; item <= 10; ++item) {
        const int32_t at = indexes[item - 1];
        model.insert(at >= 0 && at < static_cast<int32_t>(model.size()) ? model.begin() + at : model.end(), P(item));
        ASSERT_EQ(PLIST_Insert(list.get(), P(item), at), static_cast<int32_t>(model.size()));
        EXPECT_EQ(std::vector<void*>(list->items, list->items + list->count), model);
    }
    EXPECT_EQ(PLIST_Push(list.get(), P(11)), 11);
    EXPECT_EQ(PLIST_Get(list.get(), 10), P(11));
    EXPECT_FALSE(PLIST_Get(list.get(), 11) || PLIST_Get(list.get(), -1) || PLIST_Get(nullptr, 0));
    EXPECT_EQ(PLIST_Insert(nullptr, P(1), 0) + PLIST_Push(nullptr, P(1)) + PLIST_Count(nullptr), -1);
    static std::vector<void*> released;
    PointerList* owner = PLIST_New();
    for (intptr_t n : {3, 0, 5, 7}) PLIST_Push(owner, P(n));
    PLIST_FreeAll(owner, [](void* item) { released.push_back(item); });
    EXPECT_EQ(released, (std::vector<void*>{P(3), P(5), P(7)})) << "null items are skipped, order kept";
}

TEST(PointerList, FailedGrowthLeavesTheListUnchanged) {
    test::WalkAllocationFailures([] {
        List list(PLIST_New());
        for (intptr_t n = 1; list && n <= 20; ++n) {
            if (PLIST_Push(list.get(), P(n))) continue;
            EXPECT_EQ(list->count, n - 1);
            for (int32_t i = 0; i < list->count; ++i) EXPECT_EQ(PLIST_Get(list.get(), i), P(i + 1));
            return true;
        }
        return !list;
    }, [](bool fired, bool failed) { EXPECT_EQ(fired, failed); });
}

}  // namespace
