// Scratch numbers for the arithmetic: a context slot when the caller gave a context, else a
// fresh record that is wiped and released when the scratch goes out of scope.
#pragma once

#include "bignum/bignum.h"

namespace quillon {

struct Scratch {
    BigNum* num = nullptr;
    bool owned = false;

    Scratch(bool wanted, BigNumContext* ctx, int slot) {
        if (!wanted) return;
        if (ctx) {
            num = ctx->slot[slot];
        } else {
            num = BIGNUM_New();
            owned = true;
        }
    }
    ~Scratch() {
        if (owned) BIGNUM_Free(num);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

}  // namespace quillon
