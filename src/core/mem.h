// The library allocator and the memory helpers built on it.
//
// Every allocation of the library goes through MEM_*; containers use MemAllocator so that
// they do too. Every block remembers its size and is wiped when it is released, whoever
// releases it (the library, or the host through BINSTR_Delete), so heap secrets need no type
// of their own. A test-only hook makes a chosen allocation fail, so that every failure path
// can be walked.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace quillon {

// Zero-byte requests still get a real block: an empty result is not a failure.
void* MEM_Alloc(size_t size);
void* MEM_Calloc(size_t count, size_t size);
// Wipes the whole block, then releases it; null is ignored.
void MEM_Free(void* block);
// Always a new block: the contents are copied and the old block wiped and released. On
// failure the old block is left as it was.
void* MEM_Realloc(void* block, size_t size);

// Overwrites memory with zeros in a way the optimiser cannot drop.
void MEM_Wipe(void* block, size_t size);

// Fault injection for tests: the nth allocation from now (1-based) fails; 0 disarms.
void MEM_FailNthAllocation(long n);
// Whether the armed failure has fired since it was armed.
bool MEM_InjectedFailureFired();
// Blocks currently allocated and not yet released (a cheap leak check for tests).
long MEM_LiveBlocks();
// Allocations requested on this thread so far, failed ones included (to place injected failures).
unsigned long MEM_AllocationCount();

// Allocations that have failed on this thread so far. Decoders report bad input and
// exhausted memory alike as 0; comparing this count before and after tells them apart.
unsigned long MEM_FailureCount();

// Runs `body`; when it returns an error among `blamed` and an allocation failed meanwhile, the
// result is `memory` instead: the error may have been the failed allocation's.
template <class Result, class Body>
Result MEM_BlameExhaustion(Result memory, std::initializer_list<Result> blamed, Body&& body) {
    const unsigned long failures = MEM_FailureCount();
    const Result result = body();
    if (MEM_FailureCount() == failures) return result;
    for (const Result b : blamed)
        if (b == result) return memory;
    return result;
}

// Tests only: called with every block MEM_Free releases, after the wipe and before the memory
// goes back to the system. Null (the default) turns it off.
using MemReleaseObserver = void (*)(const uint8_t* block, size_t size);
void MEM_SetReleaseObserver(MemReleaseObserver observer);

// std allocator over MEM_*; throws std::bad_alloc, which the export guard turns into a result code.
template <class T>
struct MemAllocator {
    using value_type = T;
    MemAllocator() noexcept = default;
    template <class U>
    MemAllocator(const MemAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = MEM_Alloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { MEM_Free(p); }
    template <class U>
    bool operator==(const MemAllocator<U>&) const noexcept { return true; }
};

using Bytes = std::vector<uint8_t, MemAllocator<uint8_t>>;
// The growable buffer for keys, passwords and plaintext keys. The same type as Bytes: every
// block the allocator releases (a grown vector's old one too) is wiped first; the name says
// what the bytes are.
using SecureBytes = Bytes;

// A new zero-filled record of type T (a plain record: no constructor runs), or null.
template <class T>
T* MEM_New() {
    return static_cast<T*>(MEM_Calloc(1, sizeof(T)));
}

// unique_ptr owner that releases through a record's *_Free function.
template <auto FreeFn>
struct FreeWith {
    template <class T>
    void operator()(T* p) const noexcept { FreeFn(p); }
};
template <class T, auto FreeFn>
using Owned = std::unique_ptr<T, FreeWith<FreeFn>>;

// Buffer owned through MEM_Free.
using MemBlock = std::unique_ptr<uint8_t, FreeWith<MEM_Free>>;

// A MEM_ block with its length, as encoders hand their output over.
struct MemBytes {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    MemBytes() = default;
    MemBytes(const MemBytes&) = delete;
    MemBytes& operator=(const MemBytes&) = delete;
    ~MemBytes() { MEM_Free(data); }
    // Releases what it held and takes `bytes`.
    void Reset(uint8_t* bytes = nullptr, uint32_t size = 0) {
        MEM_Free(data);
        data = bytes;
        length = size;
    }
    uint8_t* Release() {
        uint8_t* out = data;
        data = nullptr;
        length = 0;
        return out;
    }
};

}  // namespace quillon
