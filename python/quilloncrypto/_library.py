"""Loading the shared library, the BINSTR record, and turning result codes into exceptions."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
from pathlib import Path
from typing import Callable

from .errors import QuillonError

ENVIRONMENT_VARIABLE = "QUILLONCRYPTO_LIBRARY"
QC_OK = 1
INT32_MAX, UINT32_MAX = (1 << 31) - 1, (1 << 32) - 1


def _candidates() -> list[str]:
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        return [explicit]  # an explicit choice never silently falls back to another copy
    here = Path(__file__).resolve().parent
    beside = sorted(str(p) for p in here.glob("libquilloncrypto.so*"))
    found = ctypes.util.find_library("quilloncrypto")
    return beside + ["libquilloncrypto.so.0"] + ([found] if found else [])


def _load() -> tuple[ctypes.CDLL, str]:
    failures = []
    for candidate in _candidates():
        try:
            return ctypes.CDLL(candidate), candidate
        except OSError as error:
            failures.append(f"{candidate}: {error}")
    raise ImportError("libquilloncrypto not found (set %s to its path); tried:\n  %s"
                      % (ENVIRONMENT_VARIABLE, "\n  ".join(failures)))


LIB, LIBRARY_PATH = _load()


def library_path() -> str:
    """The path or name the shared library was loaded from."""
    return LIBRARY_PATH


def export(name: str, restype, *argtypes) -> Callable:
    """Declares one export's prototype and returns it."""
    function = getattr(LIB, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


def check_code(result: int, function: str) -> int:
    """Code shape: QC_OK or a negative code."""
    if result != QC_OK:
        raise QuillonError(result, function)
    return result


def check_count(result: int, function: str) -> int:
    """Count shape: 0 (or a negative code) is a failure, anything else the count."""
    if result <= 0:
        raise QuillonError(result, function)
    return result


class Binstr(ctypes.Structure):
    _fields_ = [("data", ctypes.POINTER(ctypes.c_ubyte)), ("length", ctypes.c_uint32)]


BINSTR_P = ctypes.POINTER(Binstr)
_create = export("BINSTR_Create", ctypes.c_int32, BINSTR_P)
_delete = export("BINSTR_Delete", ctypes.c_int32, BINSTR_P)


class OutputBinstr:
    """A BINSTR the library fills; its bytes are released on leaving the with block."""

    def __enter__(self) -> Binstr:
        self.record = Binstr()
        _create(ctypes.byref(self.record))
        return self.record

    def __exit__(self, *exc) -> None:
        _delete(ctypes.byref(self.record))


def input_binstr(data: bytes) -> Binstr:
    """A BINSTR over the caller's bytes: exports only read their inputs, so nothing is copied
    into the library's heap and nothing needs releasing."""
    data = bytes(data)
    c_size(len(data), "a byte string's length", UINT32_MAX)
    buffer = (ctypes.c_ubyte * len(data)).from_buffer_copy(data) if data else None
    record = Binstr(ctypes.cast(buffer, ctypes.POINTER(ctypes.c_ubyte)) if buffer else None, len(data))
    record._keep = buffer  # the record must not outlive its bytes
    return record


def binstr_bytes(record: Binstr) -> bytes:
    return ctypes.string_at(record.data, record.length) if record.length else b""


def binstr_secret(record: Binstr) -> bytearray:
    """Copies out bytes that must not linger (a plain private key) into a bytearray the caller can
    clear; the library wipes its own copy when BINSTR_Delete releases it."""
    copy = bytearray(record.length)
    if record.length:
        ctypes.memmove((ctypes.c_char * record.length).from_buffer(copy), record.data, record.length)
    return copy


class SecretBinstr:
    """An input BINSTR over secret bytes whose ctypes copy is cleared on leaving the with block."""

    def __init__(self, data):
        self.record = input_binstr(data)

    def __enter__(self) -> Binstr:
        return self.record

    def __exit__(self, *exc) -> None:
        if self.record.length:
            ctypes.memset(self.record.data, 0, self.record.length)


def c_size(value: int, name: str, limit: int = INT32_MAX) -> int:
    """A length or count for an int32 parameter (a uint32 one with limit=UINT32_MAX). ctypes would
    pass only the low 32 bits of a larger number, so anything outside 0..limit raises ValueError
    here, before the library is called."""
    if not 0 <= value <= limit:
        raise ValueError("%s must be 0 to %d, not %d" % (name, limit, value))
    return value


def without_nul(data, name: str):
    """data, unless it holds a NUL, which would end it early in C: then ValueError."""
    if b"\0" in data:
        raise ValueError("%s must not contain a NUL" % name)
    return data


def c_text(value, name: str, encoding: str = "euc-kr") -> bytes:
    """A NUL-terminated argument: bytes as they are, str in the library's encoding. A NUL raises
    ValueError, as does a str the encoding cannot carry."""
    return without_nul(value.encode(encoding) if isinstance(value, str) else bytes(value), name)


def c_path(path, name: str = "path") -> bytes:
    """A file or folder name (str, bytes or path-like) in the file system's encoding; a NUL
    raises ValueError, as Python's own file functions do."""
    return c_text(os.fsencode(path), name)


def read_source(source) -> bytes:
    """bytes-like objects as they are; str and path-like objects name a file (c_path)."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        return bytes(source)
    if isinstance(source, (str, os.PathLike)):
        with open(c_path(source), "rb") as file:
            return file.read()
    raise TypeError("expected bytes or a path, got %s" % type(source).__name__)
