"""Base64 (BASE64_*): lines of 76 characters joined by LF, none at the end."""
from __future__ import annotations

import ctypes

from ._library import BINSTR_P, OutputBinstr, binstr_bytes, check_count, export, input_binstr
from .errors import QuillonError

_encode = export("BASE64_Encode", ctypes.c_int32, BINSTR_P, BINSTR_P)
_decode = export("BASE64_Decode", ctypes.c_int32, BINSTR_P, BINSTR_P)
_ALPHABET = frozenset(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=")


def base64_encode(data: bytes) -> str:
    if not data:
        return ""
    source = input_binstr(data)
    with OutputBinstr() as out:
        check_count(_encode(ctypes.byref(source), ctypes.byref(out)), "BASE64_Encode")
        return binstr_bytes(out).decode("ascii")


def base64_decode(text) -> bytes:
    """Decodes text (str or bytes); an input that yields no bytes gives b""."""
    raw = text.encode("ascii") if isinstance(text, str) else bytes(text)
    source = input_binstr(raw)
    with OutputBinstr() as out:
        count = _decode(ctypes.byref(source), ctypes.byref(out))
        if count > 0:
            return binstr_bytes(out)
    # 0 means malformed, or nothing to decode: only text without alphabet bytes decodes to nothing.
    if not any(byte in _ALPHABET for byte in raw):
        return b""
    raise QuillonError(count, "BASE64_Decode")
