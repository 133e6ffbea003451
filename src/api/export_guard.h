// The one guard around every export body: no C++ exception crosses the C boundary.
// The library throws only on allocation failure (std::bad_alloc from MemAllocator, or a
// container's length_error), so every exception maps to the export's allocation-failure value.
#pragma once

#include <cstdint>
#include <utility>

#include "quilloncrypto.h"

namespace quillon {

template <class Result, class Body>
Result GuardExport(Result on_exception, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return on_exception;
    }
}

// Code shape: 1 or a negative code; an exception becomes QC_ERR_ALLOC.
template <class Body>
int32_t GuardCode(Body&& body) noexcept {
    return GuardExport<int32_t>(QC_ERR_ALLOC, std::forward<Body>(body));
}

// Count shape: 0 for any failure.
template <class Body>
int32_t GuardCount(Body&& body) noexcept {
    return GuardExport<int32_t>(0, std::forward<Body>(body));
}

}  // namespace quillon
