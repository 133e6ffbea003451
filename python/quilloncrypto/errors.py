"""The one exception type of the package: a result code and the library's text for it."""
from __future__ import annotations

import ctypes
from functools import lru_cache


@lru_cache(maxsize=None)
def _error_text():
    from ._library import export  # imported here: that module imports this one
    return export("QC_ErrorText", ctypes.c_char_p, ctypes.c_int32)


def meaning(code: int) -> str:
    """The library's description of a result code (0 for the exports that report no reason)."""
    return _error_text()(code).decode("utf-8")


class QuillonError(Exception):
    """A library call failed: .code is its result code, .meaning the code's description and
    .function the export that reported it."""

    def __init__(self, code: int, function: str = ""):
        self.code = code
        self.function = function
        self.meaning = meaning(code)
        self.tries_left = None  # PIN tries the card still allows, when it reported them
        where = f"{function}: " if function else ""
        super().__init__(f"{where}{self.meaning} ({code})")
