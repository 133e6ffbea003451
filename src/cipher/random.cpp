// Random generator: rounds after FIPS 186-2 (XKEY, XSEED, G from the SHA-1 compression),
// with b taken from XKEY every round and one SHA-1 chaining state for the generator's life.
#include "cipher/random.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include "core/mem.h"
#include "core/secret.h"
#include "bignum/bignum.h"
#include "cipher/sha1.h"
#include "platform/entropy.h"

namespace quillon {

namespace {

// The process-wide pool. It starts from OS entropy on first use; every seeding that builds
// its own xseed and every successful RANDOM_Bytes rewrites it.
std::mutex g_pool_mutex;
uint8_t g_pool[kRandomPoolSize];
bool g_pool_ready = false;

// The OS source costs microseconds per call, more than a whole draw: small requests are served
// from a block read ahead, each byte handed out once and wiped.
std::mutex g_entropy_mutex;
uint8_t g_entropy[1024];
size_t g_entropy_left = 0;

thread_local uint32_t t_lcg_state = 1;

// Set only by the test hook; seed and xseed of 20 bytes each.
std::atomic<bool> g_fixed_seeding{false};
uint8_t g_fixed_material[2 * kRandomMinSeed];

// A forked child must neither replay its parent's read-ahead entropy nor inherit a lock that
// another thread held at the fork. Locks are always taken pool first, then entropy.
void InstallForkHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        ENTROPY_AtFork(
            [] {
                g_pool_mutex.lock();
                g_entropy_mutex.lock();
            },
            [] {
                g_entropy_mutex.unlock();
                g_pool_mutex.unlock();
            },
            [] {
                MEM_Wipe(g_entropy, sizeof g_entropy);
                g_entropy_left = 0;
                g_entropy_mutex.unlock();
                g_pool_mutex.unlock();
            });
    });
}

bool PoolReadyLocked() {
    if (!g_pool_ready) g_pool_ready = RANDOM_SystemEntropy(g_pool, sizeof g_pool);
    return g_pool_ready;
}

// Takes the pool lock, first making sure a fork cannot strand it.
std::unique_lock<std::mutex> LockPool() {
    InstallForkHandlers();
    return std::unique_lock<std::mutex>(g_pool_mutex);
}

}  // namespace

void LCG_Srand(uint32_t seed) { t_lcg_state = seed; }

uint32_t LCG_Rand() {
    t_lcg_state = t_lcg_state * 214013u + 2531011u;
    return (t_lcg_state >> 16) & 0x7FFF;
}

bool RANDOM_SystemEntropy(uint8_t* out, size_t length) {
    if (length > sizeof g_entropy / 4) return ENTROPY_Read(out, length) == 1;
    InstallForkHandlers();
    std::lock_guard lock(g_entropy_mutex);
    if (g_entropy_left < length) {
        if (!ENTROPY_Read(g_entropy, sizeof g_entropy)) return false;
        g_entropy_left = sizeof g_entropy;
    }
    g_entropy_left -= length;
    std::memcpy(out, g_entropy + g_entropy_left, length);
    MEM_Wipe(g_entropy + g_entropy_left, length);
    return true;
}

void RANDOM_PoolSnapshot(uint8_t out[kRandomPoolSize]) {
    auto lock = LockPool();
    PoolReadyLocked();
    std::memcpy(out, g_pool, kRandomPoolSize);
}

void RANDOM_PoolReplace(const uint8_t in[kRandomPoolSize]) {
    auto lock = LockPool();
    std::memcpy(g_pool, in, kRandomPoolSize);
    g_pool_ready = true;
}

void RANDOM_FixSelfSeedingForTesting(const uint8_t* material) {
    g_fixed_seeding.store(false, std::memory_order_release);
    if (!material) return;
    std::memcpy(g_fixed_material, material, sizeof g_fixed_material);
    g_fixed_seeding.store(true, std::memory_order_release);
}

RandomGenerator* RANDOM_New() {
    return MEM_New<RandomGenerator>();
}

void RANDOM_Clear(RandomGenerator* rng) {
    if (!rng || rng->seeded != kRandomSeeded) return;
    BIGNUM_Free(rng->xkey);
    BIGNUM_Free(rng->xseed);
    MEM_Free(rng->hash);
    *rng = RandomGenerator{};
}

void RANDOM_Free(RandomGenerator* rng) {
    if (!rng) return;
    RANDOM_Clear(rng);
    MEM_Free(rng);
}

int RANDOM_Seed(RandomGenerator* rng, const uint8_t* seed, uint32_t seed_len, const uint8_t* xseed,
                uint32_t xseed_len) {
    if (!rng) return 0;
    RANDOM_Clear(rng);
    rng->seeded = kRandomSeeded;

    rng->hash = static_cast<Sha1Context*>(MEM_Alloc(sizeof(Sha1Context)));
    if (!rng->hash) return 0;
    SHA1_Init(rng->hash);
    rng->hash_size = sizeof(Sha1Context);

    if (seed && (seed_len < kRandomMinSeed || seed_len > kRandomMaxSeed)) return 0;
    if (!seed && !xseed && g_fixed_seeding.load(std::memory_order_acquire)) {
        seed = g_fixed_material;
        xseed = g_fixed_material + kRandomMinSeed;
        seed_len = xseed_len = kRandomMinSeed;
    }

    // The clock only seeds the LCG that picks the lengths of self-built seeds; the
    // bytes themselves come from the operating system.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    LCG_Srand(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000));

    // Self-built seeds live on the stack (at most 64 bytes each) and are wiped on every path.
    SecretArray<uint8_t, kRandomMaxSeed> built_seed, built_xseed;
    if (!seed) {
        seed_len = LCG_Rand() % 45 + kRandomMinSeed;
        if (!RANDOM_SystemEntropy(built_seed.data, seed_len)) return 0;
        seed = built_seed.data;
    }
    if (!xseed) {
        xseed_len = LCG_Rand() % 45 + kRandomMinSeed;
        if (!RANDOM_SystemEntropy(built_xseed.data, xseed_len)) return 0;
        // The seed is also folded through the pool's hash chain, so the pool keeps evolving.
        auto lock = LockPool();
        if (!PoolReadyLocked()) return 0;
        for (size_t i = 0; i < kRandomPoolSize; ++i) {
            g_pool[i] ^= seed[i];
            if (!SHA1_Digest(g_pool, kRandomPoolSize, g_pool)) return 0;
            built_xseed.data[i] ^= g_pool[i];
        }
        xseed = built_xseed.data;
    }

    rng->xseed = BIGNUM_FromBytes(xseed, xseed_len, nullptr);
    if (!rng->xseed) return 0;
    rng->xkey = BIGNUM_FromBytes(seed, seed_len, nullptr);
    return rng->xkey ? 1 : 0;
}

// The round works on XKEY's words in place: reducing mod 2^b never needs more words than XKEY
// already has, and with b <= 512 everything fits 16 words, so a round allocates nothing.
int RANDOM_Generate(RandomGenerator* rng, uint8_t* out, size_t length) {
    if (!rng || !rng->xkey || !rng->xseed || !rng->hash) return 0;
    if (length > 0 && !out) return 0;
    BigNum* xkey = rng->xkey;
    const BigNum* xseed = rng->xseed;
    constexpr int kMaxWords = static_cast<int>(kRandomMaxSeed / 4);
    if (xkey->used > kMaxWords) return 0;

    uint32_t xval[kMaxWords];
    uint8_t block[kSha1BlockSize];
    uint8_t x[kSha1DigestSize];
    size_t remaining = length;
    int ok = 1;
    do {
        const int b = BIGNUM_NumBits(xkey);
        const int words = (b + 31) / 32;
        const uint32_t top_mask = b % 32 ? (1u << (b % 32)) - 1 : 0xFFFFFFFFu;

        // XVAL = (XKEY + XSEED) mod 2^b
        uint64_t carry = 0;
        for (int i = 0; i < words; ++i) {
            carry += static_cast<uint64_t>(xkey->words[i]) + (i < xseed->used ? xseed->words[i] : 0);
            xval[i] = static_cast<uint32_t>(carry);
            carry >>= 32;
        }
        if (words) xval[words - 1] &= top_mask;
        int used = words;
        while (used > 0 && xval[used - 1] == 0) --used;

        // G: XVAL's significant big-endian bytes, zero-filled to a block, continue the chaining
        // state (which holds no partial block, so the update compresses at once).
        std::memset(block, 0, sizeof block);
        size_t n = 0;
        for (int i = used - 1; i >= 0; --i) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                const uint8_t byte = static_cast<uint8_t>(xval[i] >> shift);
                if (n == 0 && byte == 0) continue;
                block[n++] = byte;
            }
        }
        if (!SHA1_Update(rng->hash, block, sizeof block)) {
            ok = 0;
            break;
        }
        const uint32_t* h = rng->hash->chaining;
        for (int i = 0; i < 5; ++i) {
            x[4 * i] = static_cast<uint8_t>(h[i] >> 24);
            x[4 * i + 1] = static_cast<uint8_t>(h[i] >> 16);
            x[4 * i + 2] = static_cast<uint8_t>(h[i] >> 8);
            x[4 * i + 3] = static_cast<uint8_t>(h[i]);
        }

        // XKEY = (1 + XKEY + x) mod 2^b, with this round's b; x's low word is h[4].
        carry = 1;
        for (int i = 0; i < words; ++i) {
            carry += static_cast<uint64_t>(xkey->words[i]) + (i < 5 ? h[4 - i] : 0);
            xkey->words[i] = static_cast<uint32_t>(carry);
            carry >>= 32;
        }
        if (words) xkey->words[words - 1] &= top_mask;
        xkey->used = words;
        while (xkey->used > 0 && xkey->words[xkey->used - 1] == 0) --xkey->used;

        // Only the significant bytes of x are output.
        size_t skip = 0;
        while (skip < sizeof x && x[skip] == 0) ++skip;
        const size_t k = sizeof x - skip;
        const size_t take = k < remaining ? k : remaining;
        if (take) std::memcpy(out + (length - remaining), x + skip, take);
        remaining -= take;
    } while (remaining > 0);

    MEM_Wipe(xval, sizeof xval);
    MEM_Wipe(block, sizeof block);
    MEM_Wipe(x, sizeof x);
    return ok;
}

int RANDOM_Bytes(uint8_t* out, size_t length) {
    if (length > 0 && !out) return 0;
    RandomGeneratorPtr rng(RANDOM_New());
    if (!rng) return 0;
    uint8_t pool[kRandomPoolSize];
    {
        auto lock = LockPool();
        if (!PoolReadyLocked()) return 0;
        std::memcpy(pool, g_pool, sizeof pool);
    }
    const int seeded = RANDOM_Seed(rng.get(), nullptr, 0, pool, sizeof pool);
    MEM_Wipe(pool, sizeof pool);
    if (seeded != 1) return 0;
    if (RANDOM_Generate(rng.get(), out, length) != 1) return 0;
    uint8_t fold[kRandomPoolSize];
    if (RANDOM_Generate(rng.get(), fold, sizeof fold) != 1) return 0;
    {
        auto lock = LockPool();
        for (size_t i = 0; i < kRandomPoolSize; ++i) g_pool[i] ^= fold[i];
    }
    MEM_Wipe(fold, sizeof fold);
    return 1;
}

}  // namespace quillon
