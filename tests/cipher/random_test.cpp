#include "cipher/random.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <set>
#include <thread>

#include "core/mem.h"
#include "cipher/openssl_oracle.h"
#include "support/alloc_fault.h"

namespace quillon {
namespace {

using namespace test;
using RandomPtr = Owned<RandomGenerator, RANDOM_Free>;
using Pool = std::array<uint8_t, kRandomPoolSize>;

Pool PoolNow() {
    Pool pool;
    RANDOM_PoolSnapshot(pool.data());
    return pool;
}

// From the generator, or from RANDOM_Bytes when null; nothing may be written past the length.
std::string Draw(RandomGenerator* rng, size_t length = 32) {
    Buffer out(length + 1, 0xEE);
    EXPECT_EQ(rng ? RANDOM_Generate(rng, out.data(), length) : RANDOM_Bytes(out.data(), length), 1);
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the requested length";
    return ToHex(out.data(), length);
}

// Streams of an independent model, on one reseeded object; a given seed and xseed keep the pool.
TEST(RandomGenerator, FixedSeedAndXseedReproduceRecordedStreams) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/random/streams.txt");
    RandomPtr rng(RANDOM_New());
    std::string kind, a, b;
    int cases = 0;
    while (in >> kind >> a >> b) {
        const Pool before = PoolNow();
        if (kind == "case") {
            ASSERT_EQ(RANDOM_Seed(rng.get(), Hex(a).data(), a.size() / 2, Hex(b).data(), b.size() / 2), 1);
            ++cases;
        } else {
            EXPECT_EQ(Draw(rng.get(), std::stoul(a)), b == "-" ? "" : b) << "case " << cases << " draw of " << a;
        }
        EXPECT_EQ(PoolNow(), before);
    }
    EXPECT_EQ(cases, 5);
    const Buffer seed(65, 0x5A);
    for (const auto& [length, seeded] : {std::pair{0u, 0}, {19u, 0}, {20u, 1}, {64u, 1}, {65u, 0}}) {
        RandomPtr bounded(RANDOM_New());
        EXPECT_EQ(RANDOM_Seed(bounded.get(), seed.data(), length, seed.data(), 20), seeded) << length;
        uint8_t out[8];
        EXPECT_EQ(RANDOM_Generate(bounded.get(), out, sizeof out), seeded) << "unseeded generators refuse";
    }
}

TEST(RandomBytes, ConcurrentCallersGetDistinctBytes) {
    std::vector<std::set<std::string>> seen(4);
    std::vector<std::thread> threads;
    for (auto& s : seen) {
        threads.emplace_back([&s] {
            RandomPtr rng(RANDOM_New());
            for (int i = 0; i < 200; ++i) s.insert(Draw(nullptr, 16));
            if (RANDOM_Seed(rng.get(), nullptr, 0, nullptr, 0) == 1) s.insert(Draw(rng.get(), 16));
        });
    }
    std::set<std::string> all;
    for (size_t t = 0; t < seen.size(); ++t) threads[t].join(), all.insert(seen[t].begin(), seen[t].end());
    EXPECT_EQ(all.size(), 4 * 201u);
}

TEST(RandomBytes, ForkedChildDoesNotReplayTheParentsEntropy) {
    uint8_t mine[32], theirs[32];
    int fds[2], status = 0;
    ASSERT_TRUE(RANDOM_SystemEntropy(mine, 8) && pipe(fds) == 0);  // read ahead in the parent
    const pid_t child = fork();
    if (child == 0) _exit(RANDOM_SystemEntropy(theirs, 32) && write(fds[1], theirs, 32) == 32 ? 0 : 1);
    ASSERT_TRUE(RANDOM_SystemEntropy(mine, 32));
    ASSERT_EQ(read(fds[0], theirs, 32), 32);
    waitpid(child, &status, 0);
    close(fds[0]), close(fds[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ToHex(mine, 32), ToHex(theirs, 32));
}

}  // namespace
}  // namespace quillon
