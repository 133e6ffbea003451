#include "platform/entropy.h"

#if defined(_WIN32)
#include <windows.h>
#include <bcrypt.h>
#include <climits>
#else
#include <pthread.h>
#include <sys/random.h>

#include <cerrno>
#endif

namespace quillon {

#if defined(_WIN32)

int ENTROPY_Read(uint8_t* out, size_t length) {
    while (length > 0) {
        const ULONG chunk = length > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(length);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return 0;
        out += chunk;
        length -= chunk;
    }
    return 1;
}

void ENTROPY_AtFork(void (*)(), void (*)(), void (*)()) {}

#else

int ENTROPY_Read(uint8_t* out, size_t length) {
    while (length > 0) {
        const ssize_t got = getrandom(out, length, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        out += got;
        length -= static_cast<size_t>(got);
    }
    return 1;
}

void ENTROPY_AtFork(void (*prepare)(), void (*parent)(), void (*child)()) { pthread_atfork(prepare, parent, child); }

#endif

}  // namespace quillon
