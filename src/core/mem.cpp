#include "core/mem.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace quillon {
namespace {

// Each block is preceded by a header that records its size, so that MEM_Free can wipe it
// whoever releases it. The header keeps the block as aligned as malloc's own result.
constexpr size_t kHeader = 16;
static_assert(kHeader >= sizeof(size_t) && kHeader % alignof(std::max_align_t) == 0);

std::atomic<long> g_fail_countdown{0};
std::atomic<bool> g_failure_fired{false};
std::atomic<long> g_live_blocks{0};
std::atomic<MemReleaseObserver> g_release_observer{nullptr};
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

// A block of `size` usable bytes behind its header. Zero-byte requests still get a real block
// so that an empty result is distinguishable from failure.
void* Allocate(size_t size, bool zeroed) {
    if (size > SIZE_MAX - kHeader) return nullptr;
    const size_t total = kHeader + (size ? size : 1);
    auto* base = static_cast<uint8_t*>(zeroed ? std::calloc(1, total) : std::malloc(total));
    if (!base) return nullptr;
    std::memcpy(base, &size, sizeof size);
    g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    return base + kHeader;
}

uint8_t* HeaderOf(void* block) { return static_cast<uint8_t*>(block) - kHeader; }

size_t SizeOf(void* block) {
    size_t size;
    std::memcpy(&size, HeaderOf(block), sizeof size);
    return size;
}

}  // namespace

void* MEM_Alloc(size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    return Counted(Allocate(size, false));
}

void* MEM_Calloc(size_t count, size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    if (size && count > SIZE_MAX / size) return Counted(nullptr);
    return Counted(Allocate(count * size, true));
}

void MEM_Free(void* block) {
    if (!block) return;
    const size_t size = SizeOf(block);
    MEM_Wipe(block, size);
    if (const MemReleaseObserver observe = g_release_observer.load(std::memory_order_relaxed)) {
        observe(static_cast<const uint8_t*>(block), size);
    }
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(HeaderOf(block));
}

// Never resized in place: the old block is copied out, then wiped and released like any other.
void* MEM_Realloc(void* block, size_t size) {
    if (InjectFailure()) return Counted(nullptr);
    void* grown = Allocate(size, false);
    if (!grown) return Counted(nullptr);
    if (block) {
        const size_t old_size = SizeOf(block);
        std::memcpy(grown, block, old_size < size ? old_size : size);
        MEM_Free(block);
    }
    return grown;
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

void MEM_SetReleaseObserver(MemReleaseObserver observer) {
    g_release_observer.store(observer, std::memory_order_relaxed);
}

}  // namespace quillon
