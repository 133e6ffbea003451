"""NPKI private keys (PRIKEY_*, MEDIA_DISK_*): password-protected PKCS#8 files and their plain keys.

    with PrivateKey.decrypt("signPri.key", "password") as key:
        assert key.matches(Certificate.load("signCert.der"))
        backup = key.encrypt("new password")
"""
from __future__ import annotations

import ctypes
import enum
import os
import tempfile

from ._library import (BINSTR_P, OutputBinstr, SecretBinstr, binstr_bytes, binstr_secret, c_path, c_text,
                       check_code, export, input_binstr, read_source)
from .cert import signature_algorithm_number
from .errors import QuillonError

_read_key = export("MEDIA_DISK_ReadPriKey", ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p, BINSTR_P)
_cipher_index = export("MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index", ctypes.c_int32, ctypes.c_char_p,
                       ctypes.c_char_p)
_decrypt = export("PRIKEY_Decrypt", ctypes.c_int32, ctypes.c_char_p, BINSTR_P, BINSTR_P)
_encrypt = export("PRIKEY_Encrypt", ctypes.c_int32, ctypes.c_char_p, BINSTR_P, BINSTR_P)
_encrypt_pbes2 = export("PRIKEY_EncryptPbes2", ctypes.c_int32, ctypes.c_char_p, BINSTR_P, ctypes.c_int32,
                        ctypes.c_int32, ctypes.c_int32, BINSTR_P)
_check_pair = export("PRIKEY_CheckKeyPair", ctypes.c_int32, BINSTR_P, BINSTR_P)
_sign = export("PRIKEY_Sign", ctypes.c_int32, BINSTR_P, ctypes.c_int32, BINSTR_P, BINSTR_P)
_random_num = export("PRIKEY_GetRandomNum", ctypes.c_int32, BINSTR_P, BINSTR_P)
_KEY_MISMATCH = -14
_ATTRIBUTE_ABSENT = -53

# The schemes encrypt() writes, named as `quillon key reencrypt --scheme` names them: "seed" is
# PRIKEY_Encrypt's own, the others PBES2 with (PRF, cipher) as the header numbers them.
SCHEMES = {
    "seed": None,
    "pbes2-sha1-seed": (59, 70),
    "pbes2-sha256-seed": (106, 70),
    "pbes2-sha256-aria128": (106, 92),
    "pbes2-sha256-aes256": (106, 111),
}
_PBES2_ITERATIONS = 2048


class KeyCipher(enum.IntEnum):
    """The cipher that protects a key file, as the library numbers it."""
    SEED_CBC = 0            # pbeWithSHA1AndSEED-CBC, SEED-CBC with the fixed IV, or PBES2 with another cipher
    PBES2_SEED_CBC = 70
    SEED_CBC_PKCS12 = 89    # SEED-CBC with the PKCS#12 key derivation
    PBES2_ARIA_CBC = 92     # ARIA-128-CBC under either identifier
    PBES2_AES128_CBC = 109
    PBES2_AES192_CBC = 110
    PBES2_AES256_CBC = 111
    PBES2_DES_EDE3_CBC = 112
    PKCS12_3DES = 113       # pbeWithSHAAnd3-KeyTripleDES-CBC
    PKCS12_RC2_128 = 114    # pbeWithSHAAnd128BitRC2-CBC
    PKCS12_RC2_40 = 115     # pbeWithSHAAnd40BitRC2-CBC
    PBES2_ARIA192_CBC = 117
    PBES2_ARIA256_CBC = 118


def _path(source) -> bytes | None:
    return c_path(source) if isinstance(source, (str, os.PathLike)) else None


class PrivateKey:
    """A plain PrivateKeyInfo (DER) of an RSA or KCDSA key. close() (or leaving the with block)
    clears the key bytes held here; .der hands out a copy that the caller looks after."""

    def __init__(self, der: bytes, cipher: KeyCipher | None = None):
        self._der = bytearray(der)
        self.cipher = cipher  # what protected the file it came from, None for a plain key

    @classmethod
    def decrypt(cls, source, password) -> "PrivateKey":
        """Decrypts an EncryptedPrivateKeyInfo given as bytes or as the path of a key file. A path
        or password with a NUL raises ValueError; a wrong password QuillonError -13."""
        password = c_text(password, "password")
        path = _path(source)
        if path is None:
            encrypted = read_source(source)
            with OutputBinstr() as out:
                record = input_binstr(encrypted)
                check_code(_decrypt(password, ctypes.byref(record), ctypes.byref(out)), "PRIKEY_Decrypt")
                der = binstr_secret(out)
            # The cipher query reads files only; the encrypted bytes are no secret.
            with tempfile.NamedTemporaryFile(prefix="quillon-key-") as file:
                file.write(encrypted)
                file.flush()
                cipher = _cipher(os.fsencode(file.name), password)
        else:
            with OutputBinstr() as out:
                check_code(_read_key(path, password, ctypes.byref(out)), "MEDIA_DISK_ReadPriKey")
                der = binstr_secret(out)
            cipher = _cipher(path, password)
        key = cls(der, cipher)
        der[:] = bytes(len(der))
        return key

    def _bytes(self) -> bytearray:
        if self._der is None:  # an empty key is not a closed one: the library refuses it
            raise ValueError("the private key is closed")
        return self._der

    @property
    def der(self) -> bytes:
        return bytes(self._bytes())

    def encrypt(self, password, scheme: str = "seed") -> bytes:
        """The key as an EncryptedPrivateKeyInfo (DER) under password and one of SCHEMES: a
        fresh salt every call."""
        if scheme not in SCHEMES:
            raise ValueError("unknown scheme %r (one of %s)" % (scheme, ", ".join(SCHEMES)))
        password = c_text(password, "password")
        with SecretBinstr(self._bytes()) as plain, OutputBinstr() as out:
            if SCHEMES[scheme] is None:
                check_code(_encrypt(password, ctypes.byref(plain), ctypes.byref(out)), "PRIKEY_Encrypt")
            else:
                prf, cipher = SCHEMES[scheme]
                check_code(_encrypt_pbes2(password, ctypes.byref(plain), prf, cipher, _PBES2_ITERATIONS,
                                          ctypes.byref(out)), "PRIKEY_EncryptPbes2")
            return binstr_bytes(out)

    def matches(self, certificate) -> bool:
        """Whether the key belongs to certificate (a Certificate, DER bytes or a path)."""
        der = certificate.der if hasattr(certificate, "der") else read_source(certificate)
        record = input_binstr(der)
        with SecretBinstr(self._bytes()) as plain:
            result = _check_pair(ctypes.byref(record), ctypes.byref(plain))
        if result == _KEY_MISMATCH:
            return False
        check_code(result, "PRIKEY_CheckKeyPair")
        return True

    def sign(self, data: bytes, algorithm: str = "sha256") -> bytes:
        """The RSA signature over data, as long as the modulus (the algorithm one of
        cert.SIGNATURE_ALGORITHMS: PKCS#1 v1.5 with a hash, or pss-sha256)."""
        number = signature_algorithm_number(algorithm)
        record = input_binstr(data)
        with SecretBinstr(self._bytes()) as plain, OutputBinstr() as out:
            check_code(_sign(ctypes.byref(plain), number, ctypes.byref(record), ctypes.byref(out)), "PRIKEY_Sign")
            return binstr_bytes(out)

    @property
    def random_num(self) -> bytes | None:
        """The randomNum attribute (what the certificate's VID was made with), or None without one."""
        with SecretBinstr(self._bytes()) as plain, OutputBinstr() as out:
            result = _random_num(ctypes.byref(plain), ctypes.byref(out))
            if result == _ATTRIBUTE_ABSENT:
                return None
            check_code(result, "PRIKEY_GetRandomNum")
            return binstr_bytes(out)

    def close(self) -> None:
        if self._der is not None:
            self._der[:] = bytes(len(self._der))
            self._der = None

    def __enter__(self) -> "PrivateKey":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        if getattr(self, "_der", None):
            self.close()

    def __repr__(self) -> str:
        return "<PrivateKey %s>" % ("closed" if self._der is None else "%d bytes" % len(self._der))


def _cipher(path: bytes, password: bytes) -> KeyCipher:
    index = _cipher_index(path, password)
    if index < 0:
        raise QuillonError(index, "MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index")
    return KeyCipher(index)
