// A MEM_* array that is wiped before release: plaintext, key bytes and secret workspaces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// Converts to false when the allocation failed; zero-filled when asked.
template <class T>
class WipedArray {
public:
    explicit WipedArray(size_t count, bool zeroed = false) : count_(count) {
        const size_t n = count ? count : 1;
        if (n <= SIZE_MAX / sizeof(T)) data_ = static_cast<T*>(zeroed ? MEM_Calloc(n, sizeof(T)) : MEM_Alloc(n * sizeof(T)));
    }
    ~WipedArray() {
        if (data_) MEM_Wipe(data_, sizeof(T) * count_);
        MEM_Free(data_);
    }
    WipedArray(const WipedArray&) = delete;
    WipedArray& operator=(const WipedArray&) = delete;
    T* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    T* data_ = nullptr;
    size_t count_;
};

}  // namespace quillon
