// 1 KiB of random bytes: our one-shot generator beside OpenSSL's default DRBG.
#include <benchmark/benchmark.h>
#include <openssl/rand.h>

#include <cstdint>

#include "cipher/random.h"

namespace {

void RandomBytes_1KiB_quillon(benchmark::State& state) {
    uint8_t out[1024];
    for (auto _ : state) {
        if (quillon::RANDOM_Bytes(out, sizeof out) != 1) state.SkipWithError("RANDOM_Bytes failed");
        benchmark::DoNotOptimize(out);
    }
}

void RandomBytes_1KiB_openssl(benchmark::State& state) {
    uint8_t out[1024];
    for (auto _ : state) {
        if (RAND_bytes(out, sizeof out) != 1) state.SkipWithError("RAND_bytes failed");
        benchmark::DoNotOptimize(out);
    }
}

}  // namespace

BENCHMARK(RandomBytes_1KiB_quillon)->Name("RandomBytes_1KiB/quillon");
BENCHMARK(RandomBytes_1KiB_openssl)->Name("RandomBytes_1KiB/openssl");
