// An array of T on the library heap, released with its owner: plaintext, key bytes and secret
// workspaces. The allocator wipes the block when it is released, so the owner need not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// Converts to false when the allocation failed; zero-filled when asked.
template <class T>
class MemArray {
public:
    explicit MemArray(size_t count, bool zeroed = false) {
        const size_t n = count ? count : 1;
        if (n <= SIZE_MAX / sizeof(T)) data_ = static_cast<T*>(zeroed ? MEM_Calloc(n, sizeof(T)) : MEM_Alloc(n * sizeof(T)));
    }
    ~MemArray() { MEM_Free(data_); }
    MemArray(const MemArray&) = delete;
    MemArray& operator=(const MemArray&) = delete;
    T* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    T* data_ = nullptr;
};

}  // namespace quillon
