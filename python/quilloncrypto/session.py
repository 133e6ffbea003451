"""Session keys and keyboard input: a generated RSA key in a certificate template, RSA-OAEP session
keys under it or under an encrypted key file, and SEED-CBC keystroke messages.

    with GeneratedKeyPair.generate(template) as pair:
        peer.send(pair.pem)
        session_key = pair.decrypt_session_key(peer.receive())
"""
from __future__ import annotations

import ctypes

from ._library import (BINSTR_P, UINT32_MAX, Binstr, SecretBinstr, c_size, c_text, check_code, check_count, export,
                       input_binstr)
from .base64 import base64_encode

SESSION_KEY_MAX = 214  # what OAEP with SHA-1 carries under a 2048-bit key

_P = ctypes.c_void_p
_BYTES = ctypes.c_char_p
_generate = export("GenKeyPairNGenCert", ctypes.c_int32, ctypes.POINTER(_P), ctypes.c_void_p, ctypes.c_uint32,
                   ctypes.c_void_p)
_decrypt = export("DecryptSessionKey", ctypes.c_int32, _P, _BYTES, ctypes.c_uint32, ctypes.c_void_p)
_decrypt_with_pem = export("DecryptSessionKeyWithPEMKey", ctypes.c_int32, _BYTES, ctypes.c_uint32, _BYTES, _BYTES,
                           ctypes.c_uint32, ctypes.c_void_p)
_keyboard = export("DecodeCertKeyboard", ctypes.c_int32, ctypes.POINTER(Binstr), ctypes.c_int32, BINSTR_P, BINSTR_P,
                   ctypes.c_void_p)
_keyboard_blocks = export("DecryptCBCKeyWithSessionKey", ctypes.c_int32, _BYTES, _BYTES, ctypes.c_int32,
                          ctypes.c_void_p, ctypes.c_int32)


def _pem_size(template_length: int) -> int:
    text = (template_length + 2) // 3 * 4
    return 53 + text + (text + 75) // 76 - 1


def _session_key(out, length: int) -> bytes:
    try:
        return out.raw[:length]
    finally:
        ctypes.memset(out, 0, SESSION_KEY_MAX)


def _check_length(length: int) -> None:
    if not 0 < length <= SESSION_KEY_MAX:
        raise ValueError("a session key is 1 to %d bytes" % SESSION_KEY_MAX)


class GeneratedKeyPair:
    """A fresh 2048-bit RSA key (e = 3) whose modulus is patched into a certificate template.
    .certificate is the patched DER, .pem its PEM text. The private key lives in the library and
    serves one decrypt_session_key call; close() releases it if that call never comes."""

    def __init__(self, key: ctypes.c_void_p, certificate: bytes, pem: str):
        self._key = key
        self.certificate = certificate
        self.pem = pem

    @classmethod
    def generate(cls, template: bytes) -> "GeneratedKeyPair":
        """template: a DER certificate with a 2048-bit RSA key (e = 3) whose modulus sits at bytes 304..559."""
        template = bytes(template)
        patched = ctypes.create_string_buffer(template, len(template))
        pem = ctypes.create_string_buffer(_pem_size(len(template)))
        key = _P()
        length = _generate(ctypes.byref(key), patched, c_size(len(template), "template", UINT32_MAX), pem)
        check_count(length, "GenKeyPairNGenCert")
        return cls(key, patched.raw, pem.raw[:length].decode("ascii"))

    def decrypt_session_key(self, encrypted: bytes, length: int = 16) -> bytes:
        """RSA-OAEP (SHA-1) decryption of the peer's session key; length is the key's size, which the
        library does not report. The key pair is used up either way."""
        _check_length(length)
        key = self._take_key()
        encrypted = bytes(encrypted)
        out = ctypes.create_string_buffer(SESSION_KEY_MAX)
        check_count(_decrypt(key, encrypted, c_size(len(encrypted), "encrypted", UINT32_MAX), out),
                    "DecryptSessionKey")
        return _session_key(out, length)

    def _take_key(self):
        if not self._key:
            raise ValueError("the key pair is used up or closed")
        key, self._key = self._key, None
        return key

    def close(self) -> None:
        if self._key:
            _decrypt(self._take_key(), None, 0, None)  # a refused call still releases the key

    def __enter__(self) -> "GeneratedKeyPair":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        if getattr(self, "_key", None):
            self.close()


def decrypt_session_key(key_file: bytes, password, encrypted: bytes, length: int = 16) -> bytes:
    """RSA-OAEP (SHA-1) decryption of a session key with an encrypted RSA key file
    (EncryptedPrivateKeyInfo DER, or its bare Base64 text) and its password."""
    _check_length(length)
    password = c_text(password, "password")
    if isinstance(key_file, str):
        text = key_file.encode("ascii")
    else:
        text = base64_encode(bytes(key_file)).encode("ascii")
    encrypted = bytes(encrypted)
    out = ctypes.create_string_buffer(SESSION_KEY_MAX)
    check_count(_decrypt_with_pem(text, c_size(len(text), "key_file", UINT32_MAX), password, encrypted,
                                  c_size(len(encrypted), "encrypted", UINT32_MAX), out),
                "DecryptSessionKeyWithPEMKey")
    return _session_key(out, length)


def decode_keyboard(messages, key: bytes, iv: bytes) -> bytes:
    """One SEED-CBC message (block padding, from iv afresh) per keystroke: the keystrokes."""
    messages = [bytes(m) for m in messages]
    if not c_size(len(messages), "the number of messages"):
        return b""
    inputs = [input_binstr(m) for m in messages]
    records = (Binstr * len(inputs))(*inputs)  # copies the records; inputs keeps their bytes alive
    out = ctypes.create_string_buffer(len(messages))
    with SecretBinstr(key) as key_record, SecretBinstr(iv) as iv_record:
        check_code(_keyboard(records, len(messages), ctypes.byref(key_record), ctypes.byref(iv_record), out),
                   "DecodeCertKeyboard")
    try:
        return out.raw
    finally:
        ctypes.memset(out, 0, len(messages))


def decode_keyboard_blocks(key_and_iv: bytes, blocks: bytes) -> bytes:
    """As decode_keyboard with the 16-byte key then the 16-byte IV in key_and_iv and one 16-byte
    block per keystroke in blocks."""
    key_and_iv, blocks = bytes(key_and_iv), bytes(blocks)
    if len(key_and_iv) != 32 or len(blocks) % 16:
        raise ValueError("key_and_iv is 32 bytes and blocks a multiple of 16")
    count = c_size(len(blocks) // 16, "the number of blocks")
    if not count:
        return b""
    out = ctypes.create_string_buffer(count)
    check_code(_keyboard_blocks(key_and_iv, blocks, 0, out, count), "DecryptCBCKeyWithSessionKey")
    try:
        return out.raw
    finally:
        ctypes.memset(out, 0, count)
