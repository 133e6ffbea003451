"""Certificate and key pairs in NPKI folders (MEDIA_DISK_FindCertificates): found without asking
for paths or passwords.

    for pair in find_certificates():          # the platform's NPKI folders
        print(pair.subject, pair.not_after, "EXPIRED" if pair.expired else "")
"""
from __future__ import annotations

import ctypes
import os
from dataclasses import dataclass
from datetime import datetime

from ._library import c_path, c_size, check_code, export
from .cert import KOREA_TIME


class _Entry(ctypes.Structure):
    _fields_ = [("cert_path", ctypes.c_char_p), ("key_path", ctypes.c_char_p), ("subject", ctypes.c_char_p),
                ("issuer", ctypes.c_char_p), ("serial", ctypes.c_char_p), ("not_before", ctypes.c_char_p),
                ("not_after", ctypes.c_char_p), ("expired", ctypes.c_int32), ("vid", ctypes.c_int32),
                ("key_cipher", ctypes.c_int32), ("key_scheme", ctypes.c_char_p), ("key_plain", ctypes.c_int32),
                ("random_num", ctypes.c_int32)]


class _List(ctypes.Structure):
    _fields_ = [("count", ctypes.c_uint32), ("truncated", ctypes.c_int32), ("entries", ctypes.POINTER(_Entry))]


_find = export("MEDIA_DISK_FindCertificates", ctypes.c_int32, ctypes.POINTER(ctypes.c_char_p), ctypes.c_int32,
               ctypes.POINTER(ctypes.POINTER(_List)))
_free = export("MEDIA_DISK_FreeCertificates", ctypes.c_int32, ctypes.POINTER(_List))


def _time(text: bytes) -> datetime:
    return datetime.strptime(text.decode("ascii"), "%Y-%m-%d %H:%M:%S").replace(tzinfo=KOREA_TIME)


def _tristate(value: int) -> bool | None:
    return None if value < 0 else bool(value)


@dataclass(frozen=True)
class NpkiPair:
    """One signCert.der with its signPri.key. subject and issuer as Certificate gives them; validity
    in Korean time (see Certificate.validity); key_cipher a KeyCipher number, as PrivateKey.cipher gives it, or
    the negative code when the key file cannot be used (-54 unreadable, -51 not an encrypted key);
    random_num and vid None when the library cannot tell (an encrypted key; a malformed
    subjectAltName)."""
    cert_path: str
    key_path: str
    subject: str
    issuer: str
    serial: str
    not_before: datetime
    not_after: datetime
    expired: bool
    vid: bool | None
    key_cipher: int
    key_scheme: str
    key_plain: bool
    random_num: bool | None


def find_certificates(*roots) -> list[NpkiPair]:
    """The pairs under the roots given (str or path-like), or under the platform's NPKI folders
    when none is, sorted by certificate path. Missing roots and folders without both files are
    passed over. A root with a NUL raises ValueError."""
    names = [c_path(root, "root") for root in roots]
    array = (ctypes.c_char_p * len(names))(*names) if names else None
    found = ctypes.POINTER(_List)()
    check_code(_find(array, c_size(len(names), "the number of roots"), ctypes.byref(found)),
               "MEDIA_DISK_FindCertificates")
    try:
        listed = found.contents
        return [NpkiPair(os.fsdecode(e.cert_path), os.fsdecode(e.key_path), e.subject.decode("euc-kr"),
                         e.issuer.decode("euc-kr"), e.serial.decode("ascii"), _time(e.not_before), _time(e.not_after),
                         bool(e.expired), _tristate(e.vid), e.key_cipher, e.key_scheme.decode("ascii"),
                         bool(e.key_plain), _tristate(e.random_num))
                for e in (listed.entries[i] for i in range(listed.count))]
    finally:
        _free(found)
