"""PKCS#7 enveloped data (PKCS7_EncryptData, PKCS7_DecryptData): data encrypted for the holder of
an RSA certificate, and opened by that holder.

    der = envelope(Certificate-file bytes or path, b"message")   # OpenSSL's `cms -decrypt` opens it
    data = cms_decrypt(private_key, "signCert.der", der)
"""
from __future__ import annotations

import ctypes

from ._library import (BINSTR_P, OutputBinstr, SecretBinstr, binstr_bytes, check_code, export, input_binstr,
                       read_source)

_encrypt = export("PKCS7_EncryptData", ctypes.c_int32, ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P)
_decrypt = export("PKCS7_DecryptData", ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P, BINSTR_P)


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


def cms_decrypt(private_key, certificate, enveloped: bytes) -> bytes:
    """Opens enveloped data (DER, bare or in a ContentInfo) addressed to certificate (a Certificate,
    DER bytes or a path) with its PrivateKey. Raises QuillonError: -58 not addressed to the
    certificate, -75 the key does not open it or the envelope was changed, -51 not enveloped data
    or an algorithm not supported, -50, -12, -72, -71."""
    cert = input_binstr(certificate.der if hasattr(certificate, "der") else read_source(certificate))
    data = input_binstr(bytes(enveloped))
    with SecretBinstr(private_key._bytes()) as plain, OutputBinstr() as out:
        check_code(_decrypt(ctypes.byref(plain), ctypes.byref(cert), ctypes.byref(data), ctypes.byref(out)),
                   "PKCS7_DecryptData")
        return binstr_bytes(out)
