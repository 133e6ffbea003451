#include "cipher/random.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/mem.h"
#include "cipher/hex.h"
#include "support/alloc_fault.h"

namespace quillon {
namespace {

using test::Hex;
using test::ToHex;
using RandomPtr = Owned<RandomGenerator, RANDOM_Free>;
using Pool = std::array<uint8_t, kRandomPoolSize>;

Pool PoolNow() {
    Pool pool;
    RANDOM_PoolSnapshot(pool.data());
    return pool;
}

struct Draw {
    size_t length;
    std::string hex;
};
struct StreamCase {
    std::vector<uint8_t> seed, xseed;
    std::vector<Draw> draws;
};

std::vector<StreamCase> LoadStreams() {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/random/streams.txt");
    std::vector<StreamCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "case") {
            std::string seed, xseed;
            fields >> seed >> xseed;
            cases.push_back({Hex(seed), Hex(xseed), {}});
        } else if (kind == "draw" && !cases.empty()) {
            Draw draw;
            fields >> draw.length >> draw.hex;
            if (draw.hex == "-") draw.hex.clear();
            cases.back().draws.push_back(draw);
        }
    }
    return cases;
}

// The recorded streams come from an independent model of the rounds (see the fixture script):
// b taken from XKEY each round, one continued SHA-1 state, significant bytes only, a round
// even for 0 bytes.
TEST(RandomGenerator, FixedSeedAndXseedReproduceRecordedStreams) {
    const auto cases = LoadStreams();
    ASSERT_EQ(cases.size(), 5u);
    for (const auto& c : cases) {
        RandomPtr rng(RANDOM_New());
        ASSERT_TRUE(rng);
        // Twice on the same object: reseeding starts the stream over.
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_EQ(RANDOM_Seed(rng.get(), c.seed.data(), static_cast<uint32_t>(c.seed.size()), c.xseed.data(),
                                  static_cast<uint32_t>(c.xseed.size())),
                      1);
            for (const auto& draw : c.draws) {
                std::vector<uint8_t> out(draw.length + 1, 0xEE);
                ASSERT_EQ(RANDOM_Generate(rng.get(), out.data(), draw.length), 1);
                EXPECT_EQ(out.back(), 0xEE) << "wrote past the requested length";
                EXPECT_EQ(ToHex(out.data(), draw.length), draw.hex) << "seed " << ToHex(c.seed) << " draw of "
                                                                    << draw.length;
            }
        }
    }
}

TEST(RandomGenerator, DeterministicSeedingLeavesThePoolAlone) {
    const std::vector<uint8_t> seed(20, 7), xseed(20, 9);
    const Pool before = PoolNow();
    RandomPtr rng(RANDOM_New());
    ASSERT_EQ(RANDOM_Seed(rng.get(), seed.data(), 20, xseed.data(), 20), 1);
    EXPECT_EQ(PoolNow(), before);
}

TEST(RandomGenerator, SeedLengthBounds) {
    struct Case {
        uint32_t length;
        int seeded;
    };
    const std::vector<uint8_t> xseed(20, 1);
    for (const Case c : {Case{0, 0}, Case{19, 0}, Case{20, 1}, Case{64, 1}, Case{65, 0}}) {
        std::vector<uint8_t> seed(c.length + 1, 0x5A);
        RandomPtr rng(RANDOM_New());
        EXPECT_EQ(RANDOM_Seed(rng.get(), seed.data(), c.length, xseed.data(), 20), c.seeded) << c.length;
        uint8_t out[8];
        EXPECT_EQ(RANDOM_Generate(rng.get(), out, sizeof out), c.seeded) << c.length;
    }
    RandomPtr never(RANDOM_New());
    uint8_t out[1];
    EXPECT_EQ(RANDOM_Generate(never.get(), out, 1), 0);
}

// Seeds the generator builds itself come from OS entropy: with the pool forced back to the
// same bytes (and within the same millisecond), two generators still differ.
TEST(RandomGenerator, SelfBuiltSeedsComeFromSystemEntropy) {
    const Pool fixed{};
    std::set<std::string> streams;
    for (int i = 0; i < 4; ++i) {
        RANDOM_PoolReplace(fixed.data());
        RandomPtr rng(RANDOM_New());
        ASSERT_EQ(RANDOM_Seed(rng.get(), nullptr, 0, nullptr, 0), 1);
        EXPECT_NE(PoolNow(), fixed) << "building an xseed must advance the pool";
        uint8_t out[32];
        ASSERT_EQ(RANDOM_Generate(rng.get(), out, sizeof out), 1);
        streams.insert(ToHex(out, sizeof out));

        // A given seed with a self-built xseed: the xseed still differs each time.
        RANDOM_PoolReplace(fixed.data());
        const std::vector<uint8_t> seed(20, 3);
        ASSERT_EQ(RANDOM_Seed(rng.get(), seed.data(), 20, nullptr, 0), 1);
        ASSERT_EQ(RANDOM_Generate(rng.get(), out, sizeof out), 1);
        streams.insert(ToHex(out, sizeof out));

        RANDOM_PoolReplace(fixed.data());
        ASSERT_EQ(RANDOM_Bytes(out, sizeof out), 1);
        streams.insert(ToHex(out, sizeof out));
    }
    EXPECT_EQ(streams.size(), 12u);
}

TEST(RandomBytes, WritesExactlyTheRequestedBytesAndAdvancesThePool) {
    for (size_t length : {0, 1, 19, 20, 21, 100, 1024}) {
        std::vector<uint8_t> out(length + 8, 0xEE);
        const Pool before = PoolNow();
        ASSERT_EQ(RANDOM_Bytes(out.data(), length), 1) << length;
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(length), out.end(), [](uint8_t b) { return b == 0xEE; }))
            << length;
        EXPECT_NE(PoolNow(), before) << length;
    }
    uint8_t a[16], b[16];
    ASSERT_EQ(RANDOM_Bytes(a, sizeof a), 1);
    ASSERT_EQ(RANDOM_Bytes(b, sizeof b), 1);
    EXPECT_NE(ToHex(a, 16), ToHex(b, 16));
}

TEST(RandomBytes, AllocationFailureFailsCleanlyAndKeepsThePool) {
    uint8_t out[40];
    Pool before;
    test::WalkAllocationFailures(
        [&] {
            before = PoolNow();
            return RANDOM_Bytes(out, sizeof out);
        },
        [&](bool fired, int result) {
            EXPECT_EQ(result, fired ? 0 : 1);
            if (fired) {
                EXPECT_EQ(PoolNow(), before);
            }
        });
}

TEST(RandomBytes, ConcurrentCallersAreSafe) {
    constexpr int kThreads = 4, kDraws = 200;
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kDraws; ++i) {
                uint8_t out[16];
                if (RANDOM_Bytes(out, sizeof out) == 1) seen[t].push_back(ToHex(out, sizeof out));
                if (i % 50 == 0) {
                    RandomPtr rng(RANDOM_New());
                    if (RANDOM_Seed(rng.get(), nullptr, 0, nullptr, 0) == 1) RANDOM_Generate(rng.get(), out, 16);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::string> all;
    for (const auto& v : seen) all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kDraws));
}

// Entropy read ahead in the parent must not be replayed in a forked child.
TEST(RandomBytes, ForkedChildDrawsDifferentEntropy) {
    uint8_t warm[8];
    ASSERT_TRUE(RANDOM_SystemEntropy(warm, sizeof warm));
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        uint8_t out[32] = {};
        const bool ok = RANDOM_SystemEntropy(out, sizeof out);
        const ssize_t written = write(pipe_fds[1], out, sizeof out);
        _exit(ok && written == sizeof out ? 0 : 1);
    }
    uint8_t mine[32], theirs[32];
    ASSERT_TRUE(RANDOM_SystemEntropy(mine, sizeof mine));
    ASSERT_EQ(read(pipe_fds[0], theirs, sizeof theirs), static_cast<ssize_t>(sizeof theirs));
    int status = 0;
    waitpid(child, &status, 0);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ToHex(mine, sizeof mine), ToHex(theirs, sizeof theirs));
}

// The runtime-style generator: state * 214013 + 2531011, bits 16..30.
TEST(Lcg, MatchesTheRuntimeSequence) {
    struct Case {
        uint32_t seed;
        std::array<uint32_t, 4> first;
    };
    for (const Case& c : {Case{1, {41, 18467, 6334, 26500}}, Case{0, {38, 7719, 21238, 2437}},
                          Case{999, {3300, 30241, 8985, 22743}}}) {
        LCG_Srand(c.seed);
        for (uint32_t expected : c.first) EXPECT_EQ(LCG_Rand(), expected) << "seed " << c.seed;
    }
}

}  // namespace
}  // namespace quillon
