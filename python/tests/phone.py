"""The phone's side of the certificate exchange, written for the tests from the protocol alone:
SHA-1 and HMAC from the standard library, RSA with pow(), SEED-CBC from the library under test
(no other SEED is at hand)."""
import hashlib
import hmac
import os

from quilloncrypto import SeedCbc

HMAC_WITH_SHA1 = bytes.fromhex("06082a864886f70d0207")


def der(tag: int, body: bytes) -> bytes:
    n = len(body)
    if n < 0x80:
        return bytes([tag, n]) + body
    size = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(size)]) + size + body


def der_items(data: bytes):
    """(tag, body) of each element in data; refuses anything that runs past the end."""
    items, i = [], 0
    while i < len(data):
        tag, n = data[i], data[i + 1]
        i += 2
        if n & 0x80:
            count = n & 0x7F
            n = int.from_bytes(data[i:i + count], "big")
            i += count
        if i + n > len(data):
            raise ValueError("truncated DER")
        items.append((tag, data[i:i + n]))
        i += n
    return items


def sequence_items(data: bytes):
    (tag, body), = der_items(data)
    assert tag == 0x30
    return der_items(body)


class Phone:
    def __init__(self, code: str, session_key: bytes = None):
        self.code_key = hashlib.sha1(code.encode("ascii")).digest()[:16]
        self.session_key = session_key or os.urandom(16)
        self.modulus = None

    def _seed(self, key: bytes) -> SeedCbc:
        return SeedCbc(key[:16], bytes(16))

    def answer_public_key(self, message: bytes) -> bytes:
        (t0, version), (t1, encrypted) = sequence_items(message)
        assert (t0, version, t1) == (0x02, b"\x00", 0x04)
        modulus = self._seed(self.code_key).decrypt(encrypted)
        assert len(modulus) == 128 and modulus[0] & 0x80
        self.modulus = int.from_bytes(modulus, "big")
        # PKCS#1 v1.5 type 2 under (n, 3).
        padding = bytes(b or 1 for b in os.urandom(128 - 3 - len(self.session_key)))
        block = int.from_bytes(b"\x00\x02" + padding + b"\x00" + self.session_key, "big")
        sealed = pow(block, 3, self.modulus).to_bytes(128, "big")
        return der(0x30, der(0x02, b"\x00") + der(0x04, sealed))

    def _mac(self, plain: bytes) -> bytes:
        mac_key = hashlib.sha1(self.code_key + self.session_key).digest()
        return hmac.new(mac_key, plain, hashlib.sha1).digest()

    def open(self, message: bytes):
        (t0, version), (t1, ciphertext), (t2, mac_sequence) = sequence_items(message)
        assert (t0, version, t1, t2) == (0x02, b"\x01", 0x04, 0x30)
        (_, oid), (_, mac) = der_items(mac_sequence)
        assert der(0x06, oid) == HMAC_WITH_SHA1
        plain = self._seed(self.session_key).decrypt(ciphertext)
        assert hmac.compare_digest(mac, self._mac(plain))
        (_, certificate), (_, private_key) = sequence_items(plain)
        return certificate, private_key

    def seal(self, certificate: bytes, private_key: bytes) -> bytes:
        plain = der(0x30, der(0x04, certificate) + der(0x04, private_key))
        mac = der(0x30, HMAC_WITH_SHA1 + der(0x04, self._mac(plain)))
        return der(0x30, der(0x02, b"\x01") + der(0x04, self._seed(self.session_key).encrypt(plain)) + mac)
