"""PFX (PKCS#12) files (PFX_Import, PFX_Export): a certificate and its private key under one
password, as browsers and operating systems export and import them.

    certificate, key = Pfx.load(Path("me.pfx").read_bytes(), "password")
    data = Pfx.dump(certificate, key, "password")                # PBES2 AES-256-CBC, SHA-256 MAC
    data = Pfx.dump(certificate, key, "password", legacy=True)   # 3DES, RC2-40, SHA-1 MAC

A str password is passed as UTF-8, which the PKCS#12 derivation reads as the UTF-16 other
programs use; bytes are passed as they are.
"""
from __future__ import annotations

import ctypes

from ._library import BINSTR_P, OutputBinstr, SecretBinstr, binstr_bytes, binstr_secret, c_text, check_code, export, \
    input_binstr, read_source
from .cert import Certificate
from .prikey import PrivateKey

_import = export("PFX_Import", ctypes.c_int32, ctypes.c_char_p, BINSTR_P, BINSTR_P, BINSTR_P)
_export = export("PFX_Export", ctypes.c_int32, ctypes.c_char_p, BINSTR_P, BINSTR_P, ctypes.c_int32, BINSTR_P)
_LEGACY = 1


class Pfx:
    """Reading and writing PFX files; a wrong password or a changed file raises QuillonError -13."""

    @staticmethod
    def load(data, password) -> tuple[Certificate, PrivateKey]:
        """The certificate and the plain key (randomNum kept) of a PFX given as bytes or a path."""
        record = input_binstr(read_source(data))
        with OutputBinstr() as cert, OutputBinstr() as key:
            check_code(_import(c_text(password, "password", "utf-8"), ctypes.byref(record), ctypes.byref(cert),
                               ctypes.byref(key)), "PFX_Import")
            der = binstr_secret(key)
            certificate = Certificate.load(binstr_bytes(cert))
        private_key = PrivateKey(der)
        der[:] = bytes(len(der))
        return certificate, private_key

    @staticmethod
    def dump(certificate, key: PrivateKey, password, legacy: bool = False) -> bytes:
        """The PFX of a certificate (a Certificate, DER bytes or a path) and its PrivateKey."""
        der = certificate.der if hasattr(certificate, "der") else read_source(certificate)
        record = input_binstr(der)
        with SecretBinstr(key.der) as plain, OutputBinstr() as out:
            check_code(_export(c_text(password, "password", "utf-8"), ctypes.byref(record), ctypes.byref(plain),
                               _LEGACY if legacy else 0, ctypes.byref(out)), "PFX_Export")
            return binstr_bytes(out)
