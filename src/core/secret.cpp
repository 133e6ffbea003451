#include "core/secret.h"

namespace quillon {

bool CT_Equal(const uint8_t* a, size_t a_length, const uint8_t* b, size_t b_length) {
    if (a_length != b_length || (a_length && (!a || !b))) return false;
    // Through a volatile accumulator, so the compiler cannot turn the loop into one that stops early.
    volatile uint8_t difference = 0;
    for (size_t i = 0; i < a_length; ++i) difference = difference | (a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace quillon
