"""The trust store (TRUST_*): trusted root certificates, untrusted intermediates and CRLs, and
the verification of a certificate's path to a root at a given time, as RFC 5280 section 6.1
describes without policy processing (certificate policies are not enforced)."""
from __future__ import annotations

import ctypes
from datetime import datetime

from ._library import BINSTR_P, OutputBinstr, binstr_bytes, c_path, check_code, export, input_binstr, read_source
from .errors import QuillonError

_P = ctypes.c_void_p
_create = export("TRUST_Create", _P)
_free = export("TRUST_Free", None, _P)
_add_trusted = export("TRUST_AddTrusted", ctypes.c_int32, _P, BINSTR_P)
_add_untrusted = export("TRUST_AddUntrusted", ctypes.c_int32, _P, BINSTR_P)
_add_crl = export("TRUST_AddCrl", ctypes.c_int32, _P, BINSTR_P)
_add_folder = export("TRUST_AddFolder", ctypes.c_int32, _P, ctypes.c_char_p)
_verify = export("TRUST_Verify", ctypes.c_int32, _P, BINSTR_P, ctypes.c_int64, ctypes.c_uint32)
_path_length = export("TRUST_GetPathLength", ctypes.c_int32, _P)
_path_cert = export("TRUST_GetPathCert", ctypes.c_int32, _P, ctypes.c_int32, BINSTR_P)
_reason = export("TRUST_GetRevocationReason", ctypes.c_int32, _P)
REQUIRE_CRL = 1
IGNORE_VALIDITY = 2
_ALLOC = -71


class TrustStore:
    """A store of roots, intermediates and CRLs. Certificates and CRLs are DER or PEM, given as
    bytes or a path. Use it in a with block, or call close()."""

    def __init__(self):
        self._handle = _create()
        if not self._handle:
            raise QuillonError(_ALLOC, "TRUST_Create")

    def close(self) -> None:
        if self._handle:
            _free(self._handle)
            self._handle = None

    def __enter__(self) -> "TrustStore":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        self.close()

    def _open(self):
        if not self._handle:
            raise ValueError("the trust store is closed")
        return self._handle

    def _add(self, function, name: str, source) -> None:
        check_code(function(self._open(), ctypes.byref(input_binstr(read_source(source)))), name)

    def add_trusted(self, certificate) -> None:
        """Trusted root certificates (every one of a PEM file)."""
        self._add(_add_trusted, "TRUST_AddTrusted", certificate)

    def add_untrusted(self, certificate) -> None:
        """Intermediate certificates that a path may go through."""
        self._add(_add_untrusted, "TRUST_AddUntrusted", certificate)

    def add_crl(self, crl) -> None:
        self._add(_add_crl, "TRUST_AddCrl", crl)

    def add_folder(self, folder) -> int:
        """Every certificate of the folder's files, as trusted roots; how many were added. A folder
        name with a NUL raises ValueError, a missing folder QuillonError -54."""
        result = _add_folder(self._open(), c_path(folder, "folder"))
        if result < 0:
            raise QuillonError(result, "TRUST_AddFolder")
        return result

    def verify(self, certificate, at: datetime | int | None = None, require_crl: bool = False,
               ignore_validity: bool = False) -> bool:
        """True when the certificate has a valid path to a trusted root at `at` (a datetime with
        its zone, seconds since 1970, or None for now); otherwise QuillonError with the reason
        (.code -60 to -70). With require_crl, every certificate but the root needs a CRL."""
        when = 0 if at is None else int(at.timestamp()) if isinstance(at, datetime) else int(at)
        flags = (REQUIRE_CRL if require_crl else 0) | (IGNORE_VALIDITY if ignore_validity else 0)
        record = input_binstr(read_source(certificate))
        check_code(_verify(self._open(), ctypes.byref(record), when, flags), "TRUST_Verify")
        return True

    @property
    def path(self) -> list[bytes]:
        """The DER certificates of the last verification's path: the certificate first, up to the
        root (or as far as the path reached)."""
        handle = self._open()
        out = []
        for index in range(_path_length(handle)):
            with OutputBinstr() as der:
                check_code(_path_cert(handle, index, ctypes.byref(der)), "TRUST_GetPathCert")
                out.append(binstr_bytes(der))
        return out

    @property
    def revocation_reason(self) -> int | None:
        """The CRLReason of the revocation the last verification found (0 when unspecified), or None."""
        reason = _reason(self._open())
        return None if reason < 0 else reason
