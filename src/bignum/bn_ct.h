// Declassification points of the constant-time code: values derived from secrets that the
// caller is told anyway (a success flag, a message length, the parity of a prime). In the
// constant-time check build (QUILLON_CT_CHECK, run under valgrind with the secrets marked
// undefined) they are marked defined here; in every other build they compile to nothing.
#pragma once

#if defined(QUILLON_CT_CHECK) && __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define QUILLON_CT_DECLASSIFY(addr, len) VALGRIND_MAKE_MEM_DEFINED((addr), (len))
#else
#define QUILLON_CT_DECLASSIFY(addr, len) ((void)(addr), (void)(len))
#endif

namespace quillon {

template <class T>
inline T CT_Declassify(T value) {
    QUILLON_CT_DECLASSIFY(&value, sizeof value);
    return value;
}

}  // namespace quillon
