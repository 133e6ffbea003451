"""Random bytes (GetRandomByte) from the library's generator, seeded by the operating system."""
from __future__ import annotations

import ctypes

from ._library import c_size, check_count, export

_random = export("GetRandomByte", ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32)


def random_bytes(count: int) -> bytes:
    """count random bytes; a count below 0 or above 2**31 - 1 raises ValueError."""
    if c_size(count, "count") == 0:
        return b""
    buffer = ctypes.create_string_buffer(count)
    check_count(_random(buffer, count), "GetRandomByte")
    return buffer.raw
