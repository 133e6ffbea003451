"""The one exception type of the package: a result code and its meaning."""
from __future__ import annotations

MEANINGS = {
    0: "the operation failed",  # count-shape exports carry no reason
    -1: "PKCS#12 integrity check failed",
    -10: "output buffer too small, or a name not convertible to EUC-KR",
    -11: "a required pointer argument is null",
    -12: "not a private key, unsupported key algorithm, or undecodable key or certificate",
    -13: "empty password, or decryption failed",
    -14: "key does not belong to the certificate",
    -15: "encrypting the key failed",
    -50: "certificate cannot be decoded",
    -51: "malformed DER or not an accepted structure",
    -52: "encoding the result gave nothing",
    -53: "extension absent",
    -54: "file cannot be read",
    -71: "allocation failed",
    -72: "random generation failed",
    -74: "encryption failed",
    -75: "decryption failed",
    -76: "key not 16 bytes",
    -77: "IV not 16 bytes",
    -78: "RSA key encryption failed",
    -79: "content encryption failed",
    -100: "PC/SC library, context, reader, connection or release failure",
    -102: "card transmission failed or a write was refused",
    -103: "PIN rejected",
    -104: "master-file selection refused",
}


class QuillonError(Exception):
    """A library call failed: .code is its result code, .meaning the code's description and
    .function the export that reported it."""

    def __init__(self, code: int, function: str = ""):
        self.code = code
        self.function = function
        self.meaning = MEANINGS.get(code, "unknown result code")
        self.tries_left = None  # PIN tries the card still allows, when it reported them
        where = f"{function}: " if function else ""
        super().__init__(f"{where}{self.meaning} ({code})")
