"""PKCS#7 (PKCS7_*): enveloped data encrypted for the holder of an RSA certificate and opened by
that holder, and signed data made with a key and its certificate and checked against the
certificates it carries.

    der = envelope(Certificate-file bytes or path, b"message")   # OpenSSL's `cms -decrypt` opens it
    data = cms_decrypt(private_key, "signCert.der", der)
    signed = cms_sign("signCert.der", private_key, b"challenge")
    content, signer = cms_verify(signed)
"""
from __future__ import annotations

import ctypes

from ._library import (BINSTR_P, OutputBinstr, SecretBinstr, binstr_bytes, check_code, export, input_binstr,
                       read_source)
from .cert import signature_algorithm_number

_encrypt = export("PKCS7_EncryptData", ctypes.c_int32, ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P)
_decrypt = export("PKCS7_DecryptData", ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P, BINSTR_P)
_sign = export("PKCS7_SignData", ctypes.c_int32, ctypes.c_int32, BINSTR_P, BINSTR_P, ctypes.c_int32, BINSTR_P,
               BINSTR_P)
_verify = export("PKCS7_VerifyData", ctypes.c_int32, BINSTR_P, BINSTR_P, BINSTR_P, BINSTR_P)
_DETACHED, _NO_ATTRIBUTES, _BARE = 1, 2, 4


def _certificate_der(certificate) -> bytes:
    return certificate.der if hasattr(certificate, "der") else read_source(certificate)


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
    cert = input_binstr(_certificate_der(certificate))
    data = input_binstr(bytes(enveloped))
    with SecretBinstr(private_key._bytes()) as plain, OutputBinstr() as out:
        check_code(_decrypt(ctypes.byref(plain), ctypes.byref(cert), ctypes.byref(data), ctypes.byref(out)),
                   "PKCS7_DecryptData")
        return binstr_bytes(out)


def cms_sign(certificate, private_key, data: bytes, algorithm: str = "sha256", detached: bool = False,
             attributes: bool = True, content_info: bool = True) -> bytes:
    """A DER SignedData over data by private_key, carrying certificate (a Certificate, DER bytes or a
    path): the algorithm one of cert.SIGNATURE_ALGORITHMS; detached leaves the content out;
    attributes adds contentType, signingTime and messageDigest; content_info=False gives the bare
    SignedData. Raises QuillonError: -14 the key is not the certificate's, -50, -12, -72, -71."""
    flags = (_DETACHED if detached else 0) | (0 if attributes else _NO_ATTRIBUTES) | (0 if content_info else _BARE)
    number = signature_algorithm_number(algorithm)
    cert, content = input_binstr(_certificate_der(certificate)), input_binstr(bytes(data))
    with SecretBinstr(private_key._bytes()) as plain, OutputBinstr() as out:
        check_code(_sign(flags, ctypes.byref(cert), ctypes.byref(plain), number, ctypes.byref(content),
                         ctypes.byref(out)), "PKCS7_SignData")
        return binstr_bytes(out)


def cms_verify(signed_data: bytes, detached: bytes | None = None) -> tuple[bytes, bytes]:
    """Checks every signer of a SignedData against the certificates it carries; returns (content,
    the first signer's certificate as DER). Signatures only: not the certificates' paths, validity
    or revocation. Raises QuillonError: -56 a signature or digest does not match, -59 no
    certificate for a signer, -51 not SignedData or not supported, -71."""
    record = input_binstr(bytes(signed_data))
    content = None if detached is None else input_binstr(bytes(detached))
    with OutputBinstr() as content_out, OutputBinstr() as signer_out:
        check_code(_verify(ctypes.byref(record), None if content is None else ctypes.byref(content),
                           ctypes.byref(content_out), ctypes.byref(signer_out)), "PKCS7_VerifyData")
        return binstr_bytes(content_out), binstr_bytes(signer_out)
