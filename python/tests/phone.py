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
    size = (n.bit_length() + 7) // 8
    return bytes([tag]) + (bytes([n]) if n < 0x80 else bytes([0x80 | size]) + n.to_bytes(size, "big")) + body


def der_items(data: bytes):
    """The bodies of the elements in data; refuses anything that runs past the end."""
    items, i = [], 0
    while i < len(data):
        n, i = data[i + 1], i + 2
        if n & 0x80:
            count = n & 0x7F
            n, i = int.from_bytes(data[i:i + count], "big"), i + count
        if i + n > len(data):
            raise ValueError("truncated DER")
        items.append(data[i:i + n])
        i += n
    return items


def sequence_items(data: bytes):
    (body,) = der_items(data)
    return der_items(body)


def seed(key: bytes) -> SeedCbc:
    return SeedCbc(key[:16], bytes(16))


class Phone:
    def __init__(self, code: str):
        self.code_key = hashlib.sha1(code.encode("ascii")).digest()[:16]
        self.session_key = os.urandom(16)

    def answer_public_key(self, message: bytes) -> bytes:
        modulus = int.from_bytes(seed(self.code_key).decrypt(sequence_items(message)[1]), "big")
        # PKCS#1 v1.5 type 2 under (n, 3).
        padding = bytes(b or 1 for b in os.urandom(128 - 3 - len(self.session_key)))
        block = int.from_bytes(b"\x00\x02" + padding + b"\x00" + self.session_key, "big")
        return der(0x30, der(0x02, b"\x00") + der(0x04, pow(block, 3, modulus).to_bytes(128, "big")))

    def _mac(self, plain: bytes) -> bytes:
        mac_key = hashlib.sha1(self.code_key + self.session_key).digest()
        return hmac.new(mac_key, plain, hashlib.sha1).digest()

    def open(self, message: bytes):
        _, ciphertext, mac_sequence = sequence_items(message)
        plain = seed(self.session_key).decrypt(ciphertext)
        assert hmac.compare_digest(der_items(mac_sequence)[1], self._mac(plain))
        return tuple(sequence_items(plain))

    def seal(self, certificate: bytes, private_key: bytes) -> bytes:
        plain = der(0x30, der(0x04, certificate) + der(0x04, private_key))
        mac = der(0x30, HMAC_WITH_SHA1 + der(0x04, self._mac(plain)))
        return der(0x30, der(0x02, b"\x01") + der(0x04, seed(self.session_key).encrypt(plain)) + mac)
