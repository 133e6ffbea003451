#include "core/mem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

#include "support/release_observer.h"

namespace {

using namespace quillon;
using quillon::test::ReleaseRecorder;

bool Aligned(const void* p) { return reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t) == 0; }

// Every way to get a block: the size it must report on release, and whether it starts zeroed.
TEST(Mem, EveryBlockIsReleasedWipedWhole) {
    struct Case {
        const char* what;
        std::function<void*()> allocate;
        size_t size;
        bool zeroed;
    };
    const Case cases[] = {
        {"alloc 0", [] { return MEM_Alloc(0); }, 0, false},
        {"alloc 1", [] { return MEM_Alloc(1); }, 1, false},
        {"alloc 33", [] { return MEM_Alloc(33); }, 33, false},
        {"alloc 4096", [] { return MEM_Alloc(4096); }, 4096, false},
        {"calloc 3x7", [] { return MEM_Calloc(3, 7); }, 21, true},
        {"calloc 0x5", [] { return MEM_Calloc(0, 5); }, 0, true},
        {"calloc 5x0", [] { return MEM_Calloc(5, 0); }, 0, true},
        {"realloc null to 40", [] { return MEM_Realloc(nullptr, 40); }, 40, false},
    };
    for (const Case& c : cases) {
        const long live = MEM_LiveBlocks();
        auto* block = static_cast<uint8_t*>(c.allocate());
        ASSERT_NE(block, nullptr) << c.what << ": a zero-byte request still gets a block";
        EXPECT_TRUE(Aligned(block)) << c.what;
        EXPECT_EQ(MEM_LiveBlocks(), live + 1) << c.what;
        if (c.zeroed) {
            for (size_t i = 0; i < c.size; ++i) ASSERT_EQ(block[i], 0) << c.what << " byte " << i;
        }
        std::memset(block, 0xA5, c.size);
        ReleaseRecorder recorder;
        MEM_Free(block);
        ASSERT_EQ(recorder.all().size(), 1u) << c.what;
        EXPECT_EQ(recorder.all()[0].block, block) << c.what;
        EXPECT_EQ(recorder.all()[0].size, c.size) << c.what;
        EXPECT_TRUE(recorder.all()[0].all_zero) << c.what;
        EXPECT_EQ(MEM_LiveBlocks(), live) << c.what;
    }
    ReleaseRecorder recorder;
    MEM_Free(nullptr);
    EXPECT_TRUE(recorder.all().empty());
}

// Growing and shrinking always move: the old block is wiped whole and the contents kept.
TEST(Mem, ReallocMovesAndWipesTheOldBlock) {
    struct Case {
        size_t from, to;
    };
    for (const Case c : {Case{16, 64}, Case{64, 16}, Case{0, 8}, Case{8, 0}, Case{100, 100}}) {
        const long live = MEM_LiveBlocks();
        auto* old_block = static_cast<uint8_t*>(MEM_Alloc(c.from));
        ASSERT_NE(old_block, nullptr);
        for (size_t i = 0; i < c.from; ++i) old_block[i] = static_cast<uint8_t>(i + 1);
        ReleaseRecorder recorder;
        auto* block = static_cast<uint8_t*>(MEM_Realloc(old_block, c.to));
        ASSERT_NE(block, nullptr) << c.from << " -> " << c.to;
        EXPECT_TRUE(Aligned(block));
        ASSERT_EQ(recorder.all().size(), 1u) << c.from << " -> " << c.to;
        EXPECT_EQ(recorder.all()[0].block, old_block);
        EXPECT_EQ(recorder.all()[0].size, c.from);
        EXPECT_TRUE(recorder.all()[0].all_zero) << c.from << " -> " << c.to;
        for (size_t i = 0; i < std::min(c.from, c.to); ++i) ASSERT_EQ(block[i], i + 1) << c.from << " -> " << c.to;
        EXPECT_EQ(MEM_LiveBlocks(), live + 1);
        MEM_Free(block);
        EXPECT_EQ(recorder.all().back().size, c.to);
        EXPECT_EQ(MEM_LiveBlocks(), live);
    }
}

}  // namespace
