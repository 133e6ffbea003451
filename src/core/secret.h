// Secret-holding types. Heap blocks need no type of their own: the allocator wipes every block
// it frees, so a SecureBytes (or any MEM_ block) is wiped whoever releases it. Memory on the
// stack is not the allocator's: a SecretArray wipes itself when its scope ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"

namespace quillon {

// A fixed-size array of secret values on the stack (keys, digests, derived bytes, workspaces),
// wiped on every path out of its scope.
template <class T, size_t N>
struct SecretArray {
    T data[N];
    SecretArray() = default;
    SecretArray(const SecretArray&) = delete;
    SecretArray& operator=(const SecretArray&) = delete;
    ~SecretArray() { MEM_Wipe(data, sizeof data); }
    static constexpr size_t size() { return N; }
    T& operator[](size_t i) { return data[i]; }
    const T& operator[](size_t i) const { return data[i]; }
};

// Whether two byte strings are equal: lengths must match exactly (a length is public), and the
// bytes are compared without an early exit, so the time taken says nothing about where they
// differ. Every MAC and tag check goes through here.
bool CT_Equal(const uint8_t* a, size_t a_length, const uint8_t* b, size_t b_length);

}  // namespace quillon
