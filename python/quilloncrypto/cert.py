"""X.509 certificates (CERT_*): the decoded certificate and its basic queries.

Texts come from the library in EUC-KR and are returned as str. Each extension is a property
holding the library's text of it, or None when the certificate has no such extension.
"""
from __future__ import annotations

import ctypes
from dataclasses import dataclass, field
from datetime import datetime, timedelta, timezone

from ._library import (BINSTR_P, OutputBinstr, binstr_bytes, c_size, check_code, export, input_binstr, read_source,
                       without_nul)

KOREA_TIME = timezone(timedelta(hours=9), "KST")
_ENCODING = "euc-kr"

_P = ctypes.c_void_p
_load = export("CERT_Load", ctypes.c_int32, ctypes.POINTER(_P), BINSTR_P)
_unload = export("CERT_Unload", ctypes.c_int32, _P)
_version = export("CERT_GetVersion", ctypes.c_int32, _P, ctypes.POINTER(ctypes.c_uint32))
_serial = export("CERT_GetSerialNum", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)
_signature_algorithm = export("CERT_GetSignatureAlgorithm", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)
_subject = export("CERT_GetSubjectName", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)
_issuer = export("CERT_GetIssuerName", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)
_validity = export("CERT_GetValidity", ctypes.c_int32, _P, ctypes.c_char_p, ctypes.c_char_p)
_subject_der = export("CERT_GetSubjectName_DERFormat", ctypes.c_int32, _P, BINSTR_P)
_public_key = export("CERT_GetPubKey", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p)
_signature = export("CERT_GetSignature", ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)
_verify_data = export("CERT_VerifyData", ctypes.c_int32, _P, ctypes.c_int32, BINSTR_P, BINSTR_P)
_verify_issued_by = export("CERT_VerifyIssuedBy", ctypes.c_int32, _P, _P)
_get_vid = export("CERT_GetVID", ctypes.c_int32, _P, ctypes.POINTER(ctypes.c_int32), BINSTR_P)
_check_vid = export("CERT_CheckVID", ctypes.c_int32, _P, ctypes.c_char_p, BINSTR_P)
_SIGNATURE_INVALID = -56
_IDENTITY_MISMATCH = -57
# VID hashes by the object-table number CERT_GetVID reports.
_VID_HASHES = {29: "sha1", 93: "sha224", 94: "sha256", 95: "sha384", 96: "sha512"}

# Signature algorithms by name, numbered as the header's QC_SIGN_* numbers them: RSA PKCS#1 v1.5
# with the hash, and RSASSA-PSS with SHA-256, MGF1-SHA-256 and a 32-byte salt.
SIGNATURE_ALGORITHMS = {"sha256": 98, "sha1": 30, "sha224": 97, "sha384": 99, "sha512": 100, "pss-sha256": 101}


def signature_algorithm_number(name: str) -> int:
    if name not in SIGNATURE_ALGORITHMS:
        raise ValueError("unknown signature algorithm %r (one of %s)" % (name, ", ".join(SIGNATURE_ALGORITHMS)))
    return SIGNATURE_ALGORITHMS[name]
_EXTENSION_ABSENT = -53
_TOO_SMALL = -10
_LARGEST_TEXT = 1 << 22


def _extension(name: str, doc: str):
    function = export(name, ctypes.c_int32, _P, ctypes.c_int32, ctypes.c_char_p)

    def get(self) -> str | None:
        size = self._text_size
        while True:
            buffer = ctypes.create_string_buffer(size)
            result = function(self._open_handle(), size, buffer)
            # The buffer is sized from the certificate; a text that still does not fit gets room.
            if result == _TOO_SMALL and size < _LARGEST_TEXT:
                size *= 4
                continue
            if result == _EXTENSION_ABSENT:
                return None
            check_code(result, name)
            return buffer.value.decode(_ENCODING)

    return property(get, doc=doc)


@dataclass(frozen=True)
class PublicKey:
    """algorithm: e.g. "rsaEncryption"; parameters: n and e (RSA) or p, q, g and y (KCDSA)."""
    algorithm: str
    parameters: dict = field(default_factory=dict)

    @property
    def text(self) -> str:
        return ",".join("%s=%X" % item for item in self.parameters.items())


class Certificate:
    """A decoded certificate. Use Certificate.load(path_or_bytes); release it with close() or a
    with block (it is also released when collected)."""

    def __init__(self, handle: ctypes.c_void_p, der: bytes):
        self._handle = handle
        self.der = der
        # Every text fits in a buffer several times the certificate's size: names in EUC-KR are no
        # longer than their DER, hex is twice the bytes.
        self._text_size = c_size(8 * len(der) + 256, "the text buffer")

    @classmethod
    def load(cls, source) -> "Certificate":
        """source: DER bytes or a path. A path with a NUL raises ValueError, an undecodable
        certificate QuillonError."""
        der = read_source(source)
        record = input_binstr(der)
        handle = _P()
        check_code(_load(ctypes.byref(handle), ctypes.byref(record)), "CERT_Load")
        return cls(handle, der)

    def close(self) -> None:
        if self._handle:
            _unload(self._handle)
            self._handle = None

    def __enter__(self) -> "Certificate":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            self.close()

    def _open_handle(self) -> ctypes.c_void_p:
        if not self._handle:
            raise ValueError("the certificate is closed")
        return self._handle

    def _text(self, function, name: str) -> str:
        buffer = ctypes.create_string_buffer(self._text_size)
        check_code(function(self._open_handle(), self._text_size, buffer), name)
        return buffer.value.decode(_ENCODING)

    @property
    def version(self) -> int:
        """The X.509 version number: 3 for a v3 certificate (the encoded value plus one)."""
        value = ctypes.c_uint32()
        check_code(_version(self._open_handle(), ctypes.byref(value)), "CERT_GetVersion")
        return value.value + 1

    @property
    def serial(self) -> str:
        """Serial number in upper-case hex."""
        return self._text(_serial, "CERT_GetSerialNum")

    @property
    def signature_algorithm(self) -> str:
        return self._text(_signature_algorithm, "CERT_GetSignatureAlgorithm")

    @property
    def subject(self) -> str:
        """e.g. "CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR"."""
        return self._text(_subject, "CERT_GetSubjectName")

    @property
    def issuer(self) -> str:
        return self._text(_issuer, "CERT_GetIssuerName")

    @property
    def subject_der(self) -> bytes:
        with OutputBinstr() as out:
            check_code(_subject_der(self._open_handle(), ctypes.byref(out)), "CERT_GetSubjectName_DERFormat")
            return binstr_bytes(out)

    @property
    def validity(self) -> tuple[datetime, datetime]:
        """(not_before, not_after) as aware datetimes in Korean time. The library converts through
        the C library's local time: run with TZ=Asia/Seoul (or KST-9) for exact values."""
        not_before, not_after = ctypes.create_string_buffer(20), ctypes.create_string_buffer(20)
        check_code(_validity(self._open_handle(), not_before, not_after), "CERT_GetValidity")
        return tuple(datetime.strptime(t.value.decode("ascii"), "%Y-%m-%d %H:%M:%S").replace(tzinfo=KOREA_TIME)
                     for t in (not_before, not_after))

    @property
    def public_key(self) -> PublicKey:
        algorithm = ctypes.create_string_buffer(self._text_size)
        key_text = ctypes.create_string_buffer(self._text_size)
        check_code(_public_key(self._open_handle(), self._text_size, algorithm, key_text), "CERT_GetPubKey")
        parameters = {}
        for item in filter(None, key_text.value.decode("ascii").split(",")):
            name, _, value = item.partition("=")
            parameters[name] = int(value, 16)
        return PublicKey(algorithm.value.decode("ascii"), parameters)

    @property
    def signature(self) -> bytes:
        return bytes.fromhex(self._text(_signature, "CERT_GetSignature"))

    def verify(self, data: bytes, signature: bytes, algorithm: str = "sha256") -> bool:
        """Whether signature is this certificate's key's signature over data (the algorithm one
        of SIGNATURE_ALGORITHMS). False when it does not verify; other failures raise."""
        number = signature_algorithm_number(algorithm)
        record, sig = input_binstr(data), input_binstr(signature)
        return self._verdict(_verify_data(self._open_handle(), number, ctypes.byref(record), ctypes.byref(sig)),
                             "CERT_VerifyData")

    def verify_issued_by(self, issuer: "Certificate") -> bool:
        """Whether issuer's key made this certificate's signature. The signature alone: names,
        validity, constraints and revocation are not checked."""
        return self._verdict(_verify_issued_by(self._open_handle(), issuer._open_handle()), "CERT_VerifyIssuedBy")

    @staticmethod
    def _verdict(result: int, name: str, mismatch: int = _SIGNATURE_INVALID) -> bool:
        if result == mismatch:
            return False
        check_code(result, name)
        return True

    @property
    def vid(self) -> tuple[str, bytes] | None:
        """The virtual identifier of the holder's identification data: (hash name, e.g. "sha256",
        or "nid <n>" for one the library does not name; the virtualID), or None without one."""
        nid = ctypes.c_int32()
        with OutputBinstr() as out:
            result = _get_vid(self._open_handle(), ctypes.byref(nid), ctypes.byref(out))
            if result == _EXTENSION_ABSENT:
                return None
            check_code(result, "CERT_GetVID")
            return _VID_HASHES.get(nid.value, "nid %d" % nid.value), binstr_bytes(out)

    def check_vid(self, idn, random_num: bytes) -> bool:
        """Whether idn (the digits alone, str or bytes) with the key's random_num (PrivateKey.random_num)
        gives this certificate's VID. A number with a hyphen or space raises (code -11)."""
        number = without_nul(bytearray(idn.encode("ascii") if isinstance(idn, str) else idn), "idn")
        record = input_binstr(random_num)
        # Copied without an intermediate bytes object, so that both copies made here can be cleared.
        buffer = ctypes.create_string_buffer(len(number) + 1)
        if number:
            ctypes.memmove(buffer, (ctypes.c_char * len(number)).from_buffer(number), len(number))
        try:
            result = _check_vid(self._open_handle(), buffer, ctypes.byref(record))
        finally:
            ctypes.memset(buffer, 0, len(buffer))
            number[:] = bytes(len(number))
        return self._verdict(result, "CERT_CheckVID", _IDENTITY_MISMATCH)

    key_usage = _extension("CERT_GetKeyUsage", 'e.g. "digitalSignature, nonRepudiation".')
    basic_constraints = _extension("CERT_GetBasicConstraints", 'e.g. "CA : TRUE, PathLenConstraint : 0".')
    certificate_policies = _extension("CERT_GetCertPolicy", "Every policy with its qualifiers, one per line group.")
    extended_key_usage = _extension("CERT_GetExtKeyUsage", 'Short names joined by ", "; "UNDEF" for one unknown.')
    subject_alt_name = _extension("CERT_GetSubjectAltName", "E-mail names and the Korean identification data.")
    authority_key_id = _extension("CERT_GetAuthKeyID", 'From "KeyID=<hex>", with the issuer and serial if present.')
    subject_key_id = _extension("CERT_GetSubKeyID", "The key identifier in upper-case hex.")
    crl_distribution_points = _extension("CERT_GetCRLDP", "Every distribution point with its names and flags.")
    _policy_ids = _extension("CERT_GetCertPolicy_PolicyID", None)
    _crl_urls = _extension("CERT_GetCRLDP_URL", None)

    @property
    def policy_ids(self) -> list[str] | None:
        """The policy OIDs in dotted form."""
        text = self._policy_ids
        return None if text is None else [oid for oid in text.split(",") if oid]

    @property
    def crl_urls(self) -> list[str] | None:
        """Every full-name URI of every distribution point."""
        text = self._crl_urls
        return None if text is None else [url for url in text.split("|\n") if url]

    def __repr__(self) -> str:
        return "<Certificate %s>" % (self.subject if self._handle else "closed")
