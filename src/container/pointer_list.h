// PointerList: a growable array of untyped pointers for repeated items. The list does not
// own what its items point to.
#pragma once

#include <cstdint>

namespace quillon {

struct PointerList {
    int32_t count;
    void** items;
    int32_t capacity;
};

PointerList* PLIST_New();
// Stores `item` at `index` (0..count-1, shifting the rest up) or, for any other index, at
// the end. Returns the new count; 0 for a null list or when growing fails (list unchanged).
int32_t PLIST_Insert(PointerList* list, void* item, int32_t index);
int32_t PLIST_Push(PointerList* list, void* item);
int32_t PLIST_Count(const PointerList* list);  // -1 for a null list
void* PLIST_Get(const PointerList* list, int32_t index);
void PLIST_Free(PointerList* list);
// Calls `release` on every non-null item in order, then PLIST_Free.
void PLIST_FreeAll(PointerList* list, void (*release)(void*));

}  // namespace quillon
