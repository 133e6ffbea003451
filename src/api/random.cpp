// GetRandomByte: the library's random generator behind a count-shape export.
#include "api/export_guard.h"
#include "cipher/random.h"
#include "quilloncrypto.h"

using namespace quillon;

extern "C" QUILLON_API int32_t GetRandomByte(unsigned char* output, int32_t count) {
    return GuardCount([&]() -> int32_t {
        if (count < 0 || (count > 0 && !output)) return 0;
        return RANDOM_Bytes(output, static_cast<size_t>(count));
    });
}
