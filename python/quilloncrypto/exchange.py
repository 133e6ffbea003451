"""The certificate exchange between this PC and a phone (CreateCertExchangeSession and friends).

    with ExchangeSession() as session:
        phone.send(session.public_key_message(code))   # the code the user reads off the PC
        session.set_session_key(phone.receive())
        phone.send(session.seal(certificate_der, private_key_file))   # or seal_pkcs12: a PFX
"""
from __future__ import annotations

import ctypes

from ._library import c_size, c_text, check_count, export
from .errors import QuillonError

_P = ctypes.c_void_p
_BYTES_P = ctypes.POINTER(ctypes.c_ubyte)
_INT_P = ctypes.POINTER(ctypes.c_int32)
_create = export("CreateCertExchangeSession", _P)
_close = export("CloseCertExchangeSession", None, _P)
_public_key = export("GetCertExchangePublicKey", ctypes.c_int32, _P, ctypes.c_char_p, ctypes.POINTER(_BYTES_P))
_set_session_key = export("SetCertExchangeSessionKey", ctypes.c_int32, _P, ctypes.c_char_p, ctypes.c_int32)
_encrypt = export("EncryptCertExchange", ctypes.c_int32, _P, ctypes.POINTER(_BYTES_P),
                  ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32)
_decrypt = export("DecryptCertExchange", ctypes.c_int32, _P, ctypes.POINTER(_BYTES_P), _INT_P,
                  ctypes.POINTER(_BYTES_P), _INT_P, ctypes.c_char_p, ctypes.c_int32)
_encrypt_pkcs12 = export("EncryptCertExchange_PKCS12", ctypes.c_int32, _P, ctypes.POINTER(_BYTES_P),
                         ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32)
_decrypt_pkcs12 = export("DecryptCertExchange_PKCS12", ctypes.c_int32, _P, ctypes.POINTER(_BYTES_P), _INT_P,
                         ctypes.POINTER(_BYTES_P), _INT_P, ctypes.c_char_p)
_free = export("FreeCesMessage", None, ctypes.c_void_p)


def _take(message: _BYTES_P, length: int) -> bytes:
    """Copies a library message out and releases it."""
    try:
        return ctypes.string_at(message, length)
    finally:
        _free(message)


def _declared_size(der: bytes) -> int:
    """Size of the DER element at the start of `der` as its header declares it (the library
    takes a PFX's size from its header alone, so the bytes must be there); 0 when unreadable."""
    first = der[1]
    if first < 0x80:
        return 2 + first
    count = first & 0x7F
    if count == 0 or count > 4 or len(der) < 2 + count:
        return 0
    return 2 + count + int.from_bytes(der[2:2 + count], "big")


class ExchangeSession:
    """One exchange. Every failure of the library raises QuillonError with code 0: these exports
    report no reason.
    close() (or leaving the with block) wipes the session's keys."""

    def __init__(self):
        self._session = _create()
        if not self._session:
            raise QuillonError(-71, "CreateCertExchangeSession")

    def _handle(self) -> int:
        if not self._session:
            raise ValueError("the exchange session is closed")
        return self._session

    def public_key_message(self, exchange_code) -> bytes:
        """Makes the session's RSA key and returns the message for the phone (153 bytes). The code
        is str or ASCII bytes; one with a NUL or a non-ASCII character raises ValueError."""
        code = c_text(exchange_code, "exchange_code", "ascii")
        message = _BYTES_P()
        length = _public_key(self._handle(), code, ctypes.byref(message))
        check_count(length, "GetCertExchangePublicKey")
        return _take(message, length)

    def set_session_key(self, reply: bytes) -> None:
        """Takes the phone's answer, which carries the session key under the session's RSA key."""
        reply = bytes(reply)
        check_count(_set_session_key(self._handle(), reply, c_size(len(reply), "reply")), "SetCertExchangeSessionKey")

    def _seal(self, export_function, name: str, certificate: bytes, private_key: bytes) -> bytes:
        certificate, private_key = bytes(certificate), bytes(private_key)
        message = _BYTES_P()
        length = export_function(self._handle(), ctypes.byref(message), certificate,
                                 c_size(len(certificate), "certificate"), private_key,
                                 c_size(len(private_key), "private_key"))
        check_count(length, name)
        return _take(message, length)

    def _open(self, name: str, call) -> tuple[bytes, bytes]:
        certificate, private_key = _BYTES_P(), _BYTES_P()
        certificate_length, private_key_length = ctypes.c_int32(), ctypes.c_int32()
        check_count(call(ctypes.byref(certificate), ctypes.byref(certificate_length), ctypes.byref(private_key),
                         ctypes.byref(private_key_length)), name)
        try:
            return (ctypes.string_at(certificate, certificate_length.value),
                    ctypes.string_at(private_key, private_key_length.value))
        finally:
            _free(certificate)
            _free(private_key)

    def seal(self, certificate: bytes, private_key: bytes) -> bytes:
        """Encrypts and authenticates a certificate and its private-key file for the peer; refused
        until set_session_key has succeeded."""
        return self._seal(_encrypt, "EncryptCertExchange", certificate, private_key)

    def open(self, message: bytes) -> tuple[bytes, bytes]:
        """Checks and decrypts a sealed message from the peer: (certificate, private key)."""
        message = bytes(message)
        c_size(len(message), "message")
        return self._open("DecryptCertExchange",
                          lambda *out: _decrypt(self._handle(), *out, message, len(message)))

    def seal_pkcs12(self, certificate: bytes, private_key: bytes) -> bytes:
        """The same pair as a PKCS#12 PFX (SEED-CBC under the session key, HMAC-SHA1 with a fresh salt)."""
        return self._seal(_encrypt_pkcs12, "EncryptCertExchange_PKCS12", certificate, private_key)

    def open_pkcs12(self, pfx: bytes) -> tuple[bytes, bytes]:
        """Opens a PFX from the peer: (certificate, private key). A failed integrity check raises
        QuillonError with code -1, any other failure code 0. Bytes after the PFX's DER element are
        ignored; a PFX shorter than its header declares is refused here, before the library sees it."""
        pfx = bytes(pfx)
        if len(pfx) < 2 or _declared_size(pfx) > len(pfx):
            raise QuillonError(0, "DecryptCertExchange_PKCS12")
        return self._open("DecryptCertExchange_PKCS12", lambda *out: _decrypt_pkcs12(self._handle(), *out, pfx))

    def close(self) -> None:
        if self._session:
            _close(self._session)
            self._session = None

    def __enter__(self) -> "ExchangeSession":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        if getattr(self, "_session", None):
            self.close()
