// Random generator: rounds after FIPS 186-2 (XKEY, XSEED, G from the SHA-1 compression),
// with b taken from XKEY every round and one SHA-1 chaining state for the generator's life.
#include "cipher/random.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "api/mem.h"
#include "bignum/bignum.h"
#include "cipher/sha1.h"

namespace quillon {

namespace {

// The process-wide pool. It starts from OS entropy on first use; every seeding that builds
// its own xseed and every successful RANDOM_Bytes rewrites it.
std::mutex g_pool_mutex;
uint8_t g_pool[kRandomPoolSize];
bool g_pool_ready = false;

bool PoolReadyLocked() {
    if (!g_pool_ready) g_pool_ready = RANDOM_SystemEntropy(g_pool, sizeof g_pool);
    return g_pool_ready;
}

thread_local uint32_t t_lcg_state = 1;

// a = a mod 2^bits, by dropping words and masking the top one.
void TruncateToBits(BigNum* a, int bits) {
    const int words = (bits + 31) / 32;
    if (a->used < words) return;
    a->used = words;
    if (bits % 32 != 0) a->words[words - 1] &= (1u << (bits % 32)) - 1;
    while (a->used > 0 && a->words[a->used - 1] == 0) --a->used;
}

using OwnedBigNum = Owned<BigNum, BIGNUM_Free>;

}  // namespace

void LCG_Srand(uint32_t seed) { t_lcg_state = seed; }

uint32_t LCG_Rand() {
    t_lcg_state = t_lcg_state * 214013u + 2531011u;
    return (t_lcg_state >> 16) & 0x7FFF;
}

bool RANDOM_SystemEntropy(uint8_t* out, size_t length) {
    while (length > 0) {
        const ssize_t got = getrandom(out, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out += got;
        length -= static_cast<size_t>(got);
    }
    return true;
}

void RANDOM_PoolSnapshot(uint8_t out[kRandomPoolSize]) {
    std::lock_guard lock(g_pool_mutex);
    PoolReadyLocked();
    std::memcpy(out, g_pool, kRandomPoolSize);
}

void RANDOM_PoolReplace(const uint8_t in[kRandomPoolSize]) {
    std::lock_guard lock(g_pool_mutex);
    std::memcpy(g_pool, in, kRandomPoolSize);
    g_pool_ready = true;
}

RandomGenerator* RANDOM_New() {
    return static_cast<RandomGenerator*>(MEM_Calloc(1, sizeof(RandomGenerator)));
}

void RANDOM_Clear(RandomGenerator* rng) {
    if (!rng || rng->seeded != kRandomSeeded) return;
    BIGNUM_Free(rng->xkey);
    BIGNUM_Free(rng->xseed);
    if (rng->hash) {
        MEM_Wipe(rng->hash, rng->hash_size);
        MEM_Free(rng->hash);
    }
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

    // The clock only seeds the LCG that picks the lengths of self-built seeds; the
    // bytes themselves come from the operating system.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    LCG_Srand(static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 1000));

    // Self-built seeds live on the stack (at most 64 bytes each) and are wiped on every path.
    struct Wiped {
        uint8_t bytes[kRandomMaxSeed] = {};
        ~Wiped() { MEM_Wipe(bytes, sizeof bytes); }
    } built_seed, built_xseed;
    if (!seed) {
        seed_len = LCG_Rand() % 45 + kRandomMinSeed;
        if (!RANDOM_SystemEntropy(built_seed.bytes, seed_len)) return 0;
        seed = built_seed.bytes;
    }
    if (!xseed) {
        xseed_len = LCG_Rand() % 45 + kRandomMinSeed;
        if (!RANDOM_SystemEntropy(built_xseed.bytes, xseed_len)) return 0;
        // The seed is also folded through the pool's hash chain, so the pool keeps evolving.
        std::lock_guard lock(g_pool_mutex);
        if (!PoolReadyLocked()) return 0;
        for (size_t i = 0; i < kRandomPoolSize; ++i) {
            g_pool[i] ^= seed[i];
            if (!SHA1_Digest(g_pool, kRandomPoolSize, g_pool)) return 0;
            built_xseed.bytes[i] ^= g_pool[i];
        }
        xseed = built_xseed.bytes;
    }

    rng->xseed = BIGNUM_FromBytes(xseed, xseed_len, nullptr);
    if (!rng->xseed) return 0;
    rng->xkey = BIGNUM_FromBytes(seed, seed_len, nullptr);
    return rng->xkey ? 1 : 0;
}

int RANDOM_Generate(RandomGenerator* rng, uint8_t* out, size_t length) {
    if (!rng || !rng->xkey || !rng->xseed || !rng->hash) return 0;
    if (length > 0 && !out) return 0;
    OwnedBigNum xval(BIGNUM_New());
    OwnedBigNum xnum(BIGNUM_New());
    if (!xval || !xnum) return 0;

    uint8_t block[kSha1BlockSize];
    uint8_t x[kSha1DigestSize];
    int ok = 1;
    size_t remaining = length;
    do {
        const int b = BIGNUM_NumBits(rng->xkey);
        // XVAL = (XKEY + XSEED) mod 2^b; b never exceeds 512, so XVAL fits one block.
        if (!BIGNUM_Add(xval.get(), rng->xkey, rng->xseed)) { ok = 0; break; }
        TruncateToBits(xval.get(), b);
        if (BIGNUM_NumBits(xval.get()) > static_cast<int>(8 * kSha1BlockSize)) { ok = 0; break; }
        std::memset(block, 0, sizeof block);
        BIGNUM_ToBytes(xval.get(), block);

        // G continues the generator's chaining state: the state holds no partial block, so
        // the update compresses at once and the chaining words are x.
        if (!SHA1_Update(rng->hash, block, sizeof block)) { ok = 0; break; }
        for (int i = 0; i < 5; ++i) {
            const uint32_t w = rng->hash->chaining[i];
            x[4 * i] = static_cast<uint8_t>(w >> 24);
            x[4 * i + 1] = static_cast<uint8_t>(w >> 16);
            x[4 * i + 2] = static_cast<uint8_t>(w >> 8);
            x[4 * i + 3] = static_cast<uint8_t>(w);
        }

        // XKEY = (1 + XKEY + x) mod 2^b, with this round's b.
        if (!BIGNUM_FromBytes(x, sizeof x, xnum.get()) || !BIGNUM_Add(rng->xkey, rng->xkey, xnum.get()) ||
            !BIGNUM_AddWord(rng->xkey, 1)) {
            ok = 0;
            break;
        }
        TruncateToBits(rng->xkey, b);

        // Only the significant bytes of x are output.
        size_t skip = 0;
        while (skip < sizeof x && x[skip] == 0) ++skip;
        const size_t k = sizeof x - skip;
        const size_t take = k < remaining ? k : remaining;
        if (take) std::memcpy(out + (length - remaining), x + skip, take);
        remaining -= take;
    } while (remaining > 0);

    MEM_Wipe(block, sizeof block);
    MEM_Wipe(x, sizeof x);
    return ok;
}

int RANDOM_Bytes(uint8_t* out, size_t length) {
    if (length > 0 && !out) return 0;
    Owned<RandomGenerator, RANDOM_Free> rng(RANDOM_New());
    if (!rng) return 0;
    uint8_t pool[kRandomPoolSize];
    {
        std::lock_guard lock(g_pool_mutex);
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
        std::lock_guard lock(g_pool_mutex);
        for (size_t i = 0; i < kRandomPoolSize; ++i) g_pool[i] ^= fold[i];
    }
    MEM_Wipe(fold, sizeof fold);
    return 1;
}

}  // namespace quillon
