"""Certificates and keys on a smart card in the first PC/SC reader (MEDIA_CARD_*).

Each call connects, verifies the PIN, works on one slot (1 or 2) and disconnects. A refused PIN
raises QuillonError with code -103 and, when the card reports them, .tries_left.
"""
from __future__ import annotations

import ctypes

from ._library import (BINSTR_P, OutputBinstr, SecretBinstr, binstr_bytes, c_text, export, input_binstr)
from .errors import QuillonError

_INT_P = ctypes.POINTER(ctypes.c_int32)
_write_cert = export("MEDIA_CARD_WriteCert", ctypes.c_int32, ctypes.c_int32, ctypes.c_char_p, BINSTR_P, _INT_P)
_read_cert = export("MEDIA_CARD_ReadCert", ctypes.c_int32, ctypes.c_int32, ctypes.c_char_p, BINSTR_P, _INT_P)
_write_key = export("MEDIA_CARD_WritePriKey", ctypes.c_int32, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p,
                    BINSTR_P, _INT_P)
_read_key = export("MEDIA_CARD_ReadPriKey", ctypes.c_int32, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p,
                   BINSTR_P, _INT_P)
_NOT_REPORTED = -1


class SmartCard:
    """SmartCard(pin): the card in the first reader, opened afresh by every call."""

    def __init__(self, pin):
        self._pin = c_text(pin, "pin", "ascii")

    def _call(self, function, name: str, *args) -> None:
        tries = ctypes.c_int32(_NOT_REPORTED)
        result = function(*args, ctypes.byref(tries))
        if result != 1:
            error = QuillonError(result, name)
            error.tries_left = None if tries.value == _NOT_REPORTED else tries.value
            raise error

    def read_certificate(self, slot: int = 1) -> bytes:
        with OutputBinstr() as out:
            self._call(_read_cert, "MEDIA_CARD_ReadCert", slot, self._pin, ctypes.byref(out))
            return binstr_bytes(out)

    def write_certificate(self, certificate: bytes, slot: int = 1) -> None:
        record = input_binstr(certificate)
        self._call(_write_cert, "MEDIA_CARD_WriteCert", slot, self._pin, ctypes.byref(record))

    def read_private_key(self, password, slot: int = 1) -> bytes:
        """The slot's key as a disk key file (EncryptedPrivateKeyInfo DER) under password."""
        with OutputBinstr() as out:
            self._call(_read_key, "MEDIA_CARD_ReadPriKey", slot, self._pin, c_text(password, "password"),
                       ctypes.byref(out))
            return binstr_bytes(out)

    def write_private_key(self, key, password, slot: int = 1) -> None:
        """key: a PrivateKey (or its plain PrivateKeyInfo DER) that carries its randomNum attribute."""
        plain = key.der if hasattr(key, "der") else bytes(key)
        with SecretBinstr(plain) as record:
            self._call(_write_key, "MEDIA_CARD_WritePriKey", slot, self._pin, c_text(password, "password"),
                       ctypes.byref(record))
