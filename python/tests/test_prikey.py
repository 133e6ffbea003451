import hashlib

import pytest

from conftest import FIXTURES
from quilloncrypto import Certificate, KeyCipher, PrivateKey
from quilloncrypto.cert import SIGNATURE_ALGORITHMS

KEYS = FIXTURES / "pkcs8"
PASSWORD = "quillon-test"  # of every encrypted fixture (make_pkcs8.sh)
USER_CERT = FIXTURES / "certs/user_utf8.der"
USER_PLAIN = (KEYS / "user_plain.der").read_bytes()


@pytest.mark.parametrize("name, cipher", [("scheme73.der", KeyCipher.SEED_CBC),
                                          ("pbes2_aria.der", KeyCipher.PBES2_ARIA_CBC)])
def test_decrypt_from_path_or_bytes(name, cipher):
    path = KEYS / name
    for source in (path, str(path), path.read_bytes()):  # a file, or bytes the cipher query gets as a file
        with PrivateKey.decrypt(source, PASSWORD) as key:
            assert key.der == USER_PLAIN and key.cipher is cipher
            assert key.matches(USER_CERT) and key.matches(Certificate.load(USER_CERT))
            assert key.matches((FIXTURES / "certs/ca.der").read_bytes()) is False


@pytest.mark.parametrize("scheme, cipher", [("seed", KeyCipher.SEED_CBC),
                                            ("pbes2-sha1-seed", KeyCipher.PBES2_SEED_CBC),
                                            ("pbes2-sha256-seed", KeyCipher.PBES2_SEED_CBC),
                                            ("pbes2-sha256-aria128", KeyCipher.PBES2_ARIA_CBC),
                                            ("pbes2-sha256-aes256", KeyCipher.PBES2_AES256_CBC)])
def test_encrypt_by_scheme_name_under_a_korean_password(scheme, cipher):
    with PrivateKey(USER_PLAIN) as key:
        encrypted = key.encrypt("새 비밀번호", scheme=scheme)
    assert (bytes.fromhex("06082A864886F70D0209") in encrypted) == ("sha256" in scheme)  # the PRF
    with PrivateKey.decrypt(encrypted, "새 비밀번호".encode("euc-kr")) as again:
        assert again.der == USER_PLAIN and again.cipher is cipher


def test_sign_by_algorithm_name():
    with PrivateKey(USER_PLAIN) as key, Certificate.load(USER_CERT) as cert:
        n, e = cert.public_key.parameters["n"], cert.public_key.parameters["e"]
        for algorithm in SIGNATURE_ALGORITHMS:
            signature = key.sign(b"challenge", algorithm)
            if algorithm in hashlib.algorithms_available:  # PKCS#1 v1.5: the digest ends the opened block
                opened = pow(int.from_bytes(signature, "big"), e, n).to_bytes(256, "big")
                assert opened.endswith(hashlib.new(algorithm, b"challenge").digest())
            assert cert.verify(b"challenge", signature, algorithm) is True
            assert cert.verify(b"challengE", signature, algorithm) is False
        assert cert.verify(b"", key.sign(bytearray()))  # the default, PKCS#1 v1.5 with SHA-256
