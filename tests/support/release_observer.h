// Records every block the allocator releases, as it looks after the wipe, while in scope.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mem.h"

namespace quillon::test {

struct ReleasedBlock {
    const void* block;
    size_t size;
    bool all_zero;
};

class ReleaseRecorder {
public:
    ReleaseRecorder() {
        released().clear();
        MEM_SetReleaseObserver(Record);
    }
    ~ReleaseRecorder() { MEM_SetReleaseObserver(nullptr); }
    ReleaseRecorder(const ReleaseRecorder&) = delete;
    ReleaseRecorder& operator=(const ReleaseRecorder&) = delete;

    const std::vector<ReleasedBlock>& all() const { return released(); }
    // The release of `block`, or null when it has not been released.
    const ReleasedBlock* Find(const void* block) const {
        for (const ReleasedBlock& r : released())
            if (r.block == block) return &r;
        return nullptr;
    }

private:
    // std::allocator, not MEM_*: recording never releases a block of ours.
    static std::vector<ReleasedBlock>& released() {
        static std::vector<ReleasedBlock> blocks;
        return blocks;
    }
    static void Record(const uint8_t* block, size_t size) {
        released().push_back({block, size, std::all_of(block, block + size, [](uint8_t b) { return b == 0; })});
    }
};

}  // namespace quillon::test
