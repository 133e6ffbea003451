"""PKCS#7 enveloped data (PKCS7_EncryptData): data encrypted for the holder of an RSA certificate.

    der = envelope(Certificate-file bytes or path, b"message")   # OpenSSL's `cms -decrypt` opens it
"""
from __future__ import annotations

import ctypes

from ._library import BINSTR_P, OutputBinstr, binstr_bytes, check_code, export, input_binstr, read_source

_encrypt = export("PKCS7_EncryptData", ctypes.c_int32, ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P)


def envelope(certificate, data: bytes, content_info: bool = True) -> bytes:
    """SEED-CBC under a fresh key, the key RSA-encrypted to the certificate (DER bytes or a path).
    Returns a DER ContentInfo, or with content_info=False the bare EnvelopedData. Raises
    QuillonError: -50 not a certificate, -78 a key that is not RSA, -72, -79, -52, -71."""
    cert = input_binstr(read_source(certificate))
    plain = input_binstr(bytes(data))
    with OutputBinstr() as out:
        check_code(_encrypt(1 if content_info else 0, ctypes.byref(cert), ctypes.byref(plain), ctypes.byref(out)),
                   "PKCS7_EncryptData")
        return binstr_bytes(out)
