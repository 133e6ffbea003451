#include "core/mem.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quillon {
namespace {

std::atomic<long> g_fail_countdown{0};
std::atomic<bool> g_failure_fired{false};
std::atomic<long> g_live_blocks{0};
thread_local unsigned long t_failures = 0;
thread_local unsigned long t_allocations = 0;

void* Counted(void* p) {
    if (!p) ++t_failures;
    return p;
}

// True when this allocation is the one the test hook asked to fail.
bool InjectFailure() {
    ++t_allocations;
    long current = g_fail_countdown.load(std::memory_order_relaxed);
    while (current > 0) {
        if (g_fail_countdown.compare_exchange_weak(current, current - 1, std::memory_order_relaxed)) {
            if (current == 1) {
                g_failure_fired.store(true, std::memory_order_relaxed);
                return true;
            }
            return false;
        }
    }
    return false;
}

}  // namespace

// Zero-byte requests get a real block so that an empty result is still distinguishable from failure.
void* MEM_Alloc(size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    void* p = std::malloc(size ? size : 1);
    if (p) g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    return Counted(p);
}

void* MEM_Calloc(size_t count, size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    void* p = (count && size) ? std::calloc(count, size) : std::calloc(1, 1);
    if (p) g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    return Counted(p);
}

void MEM_Free(void* block) {
    if (!block) return;
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

void* MEM_Realloc(void* block, size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    void* p = std::realloc(block, size ? size : 1);
    if (p && !block) g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    return Counted(p);
}

void MEM_Wipe(void* block, size_t size) {
    if (!block || !size) return;
#if defined(__GNUC__) || defined(__clang__)
    std::memset(block, 0, size);
    // The empty asm takes the pointer and may read any memory, so the stores above are never dead,
    // not even right before the block is released.
    __asm__ __volatile__("" : : "r"(block) : "memory");
#else
    volatile uint8_t* p = static_cast<volatile uint8_t*>(block);
    while (size--) *p++ = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
#endif
}

void MEM_FailNthAllocation(long n) {
    g_failure_fired.store(false, std::memory_order_relaxed);
    g_fail_countdown.store(n > 0 ? n : 0, std::memory_order_relaxed);
}

bool MEM_InjectedFailureFired() { return g_failure_fired.load(std::memory_order_relaxed); }

long MEM_LiveBlocks() { return g_live_blocks.load(std::memory_order_relaxed); }

unsigned long MEM_FailureCount() { return t_failures; }

unsigned long MEM_AllocationCount() { return t_allocations; }

}  // namespace quillon
