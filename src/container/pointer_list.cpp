#include "container/pointer_list.h"

#include <cstring>

#include "core/mem.h"

namespace quillon {
namespace {

constexpr int32_t kInitialCapacity = 4;
constexpr int32_t kMaxCapacity = INT32_MAX / 2;

}  // namespace

PointerList* PLIST_New() {
    auto* list = MEM_New<PointerList>();
    if (!list) return nullptr;
    list->items = static_cast<void**>(MEM_Calloc(kInitialCapacity, sizeof(void*)));
    if (!list->items) {
        MEM_Free(list);
        return nullptr;
    }
    list->capacity = kInitialCapacity;
    return list;
}

int32_t PLIST_Insert(PointerList* list, void* item, int32_t index) {
    if (!list) return 0;
    if (list->capacity <= list->count + 1) {
        if (list->capacity > kMaxCapacity) return 0;
        const int32_t grown = list->capacity * 2;
        auto* items = static_cast<void**>(MEM_Realloc(list->items, sizeof(void*) * static_cast<size_t>(grown)));
        if (!items) return 0;
        list->items = items;
        list->capacity = grown;
    }
    if (index >= 0 && index < list->count) {
        std::memmove(list->items + index + 1, list->items + index, sizeof(void*) * static_cast<size_t>(list->count - index));
    } else {
        index = list->count;
    }
    list->items[index] = item;
    return ++list->count;
}

int32_t PLIST_Push(PointerList* list, void* item) { return PLIST_Insert(list, item, -1); }

int32_t PLIST_Count(const PointerList* list) { return list ? list->count : -1; }

void* PLIST_Get(const PointerList* list, int32_t index) {
    if (!list || index < 0 || index >= list->count) return nullptr;
    return list->items[index];
}

void PLIST_Free(PointerList* list) {
    if (!list) return;
    MEM_Free(list->items);
    MEM_Free(list);
}

void PLIST_FreeAll(PointerList* list, void (*release)(void*)) {
    if (!list) return;
    if (release)
        for (int32_t i = 0; i < list->count; ++i)
            if (list->items[i]) release(list->items[i]);
    PLIST_Free(list);
}

}  // namespace quillon
