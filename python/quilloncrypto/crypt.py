"""SEED-CBC with block padding under a 16-byte key and IV (CRYPT_*)."""
from __future__ import annotations

import ctypes

from ._library import BINSTR_P, OutputBinstr, binstr_bytes, check_code, export, input_binstr


class SeedCbcContext(ctypes.Structure):
    _fields_ = [("direction", ctypes.c_uint32), ("key", ctypes.c_ubyte * 16), ("iv", ctypes.c_ubyte * 16),
                ("chain", ctypes.c_ubyte * 16), ("round_keys", ctypes.c_uint32 * 32)]


_CONTEXT_P = ctypes.POINTER(SeedCbcContext)
_gen = export("CRYPT_GenKeyAndIV", ctypes.c_int32, _CONTEXT_P)
_get = export("CRYPT_GetKeyAndIV", ctypes.c_int32, _CONTEXT_P, BINSTR_P, BINSTR_P)
_set = export("CRYPT_SetKeyAndIV", ctypes.c_int32, _CONTEXT_P, BINSTR_P, BINSTR_P)
_encrypt = export("CRYPT_Encrypt", ctypes.c_int32, _CONTEXT_P, BINSTR_P, BINSTR_P)
_decrypt = export("CRYPT_Decrypt", ctypes.c_int32, _CONTEXT_P, BINSTR_P, BINSTR_P)


class SeedCbc:
    """SeedCbc(key, iv) for a known key and IV, SeedCbc() for a fresh random pair. Each call to
    encrypt or decrypt processes one whole message from the IV."""

    def __init__(self, key: bytes | None = None, iv: bytes | None = None):
        self._context = SeedCbcContext()
        if key is None and iv is None:
            check_code(_gen(ctypes.byref(self._context)), "CRYPT_GenKeyAndIV")
        else:
            key_record, iv_record = input_binstr(key or b""), input_binstr(iv or b"")
            check_code(_set(ctypes.byref(self._context), ctypes.byref(key_record), ctypes.byref(iv_record)),
                       "CRYPT_SetKeyAndIV")

    @property
    def key(self) -> bytes:
        return self._key_and_iv()[0]

    @property
    def iv(self) -> bytes:
        return self._key_and_iv()[1]

    def _key_and_iv(self) -> tuple[bytes, bytes]:
        with OutputBinstr() as key, OutputBinstr() as iv:
            check_code(_get(ctypes.byref(self._context), ctypes.byref(key), ctypes.byref(iv)), "CRYPT_GetKeyAndIV")
            return binstr_bytes(key), binstr_bytes(iv)

    def encrypt(self, plaintext: bytes) -> bytes:
        return self._run(_encrypt, "CRYPT_Encrypt", plaintext)

    def decrypt(self, ciphertext: bytes) -> bytes:
        return self._run(_decrypt, "CRYPT_Decrypt", ciphertext)

    def _run(self, function, name: str, data: bytes) -> bytes:
        source = input_binstr(data)
        with OutputBinstr() as out:
            check_code(function(ctypes.byref(self._context), ctypes.byref(source), ctypes.byref(out)), name)
            return binstr_bytes(out)

    def __del__(self):
        # The context lives in Python's memory: clear the key schedule before it is released.
        context = getattr(self, "_context", None)
        if context is not None:
            ctypes.memset(ctypes.byref(context), 0, ctypes.sizeof(context))
