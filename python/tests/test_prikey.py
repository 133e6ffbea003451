import pytest

from conftest import REPOSITORY
from quilloncrypto import Certificate, KeyCipher, PrivateKey, QuillonError

FIXTURES = REPOSITORY / "tests/fixtures"
KEYS = FIXTURES / "pkcs8"
PASSWORD = "quillon-test"  # of every encrypted fixture (make_pkcs8.sh)
USER_CERT = FIXTURES / "certs/user_utf8.der"
USER_PLAIN = (KEYS / "user_plain.der").read_bytes()


@pytest.mark.parametrize("name, cipher", [("scheme73.der", KeyCipher.SEED_CBC), ("scheme70.der", KeyCipher.SEED_CBC),
                                          ("scheme89_rsa.der", KeyCipher.SEED_CBC_PKCS12),
                                          ("pbes2_seed.der", KeyCipher.PBES2_SEED_CBC),
                                          ("pbes2_aria.der", KeyCipher.PBES2_ARIA_CBC),
                                          ("schemes/pbes2_sha256_aes_256.der", KeyCipher.PBES2_AES256_CBC),
                                          ("schemes/pbes2_sha256_aria_192.der", KeyCipher.PBES2_ARIA192_CBC),
                                          ("schemes/pbes2_sha256_des_ede3.der", KeyCipher.PBES2_DES_EDE3_CBC),
                                          ("schemes/pbe_sha1_3des.der", KeyCipher.PKCS12_3DES),
                                          ("schemes/pbe_sha1_rc2_40.der", KeyCipher.PKCS12_RC2_40)])
def test_decrypt_from_path_or_bytes(name, cipher):
    path = KEYS / name
    for source in (path, str(path), path.read_bytes()):
        with PrivateKey.decrypt(source, PASSWORD) as key:
            assert key.der == USER_PLAIN and key.cipher == cipher
            assert key.matches(USER_CERT) and key.matches(Certificate.load(USER_CERT))
            assert not key.matches(FIXTURES / "certs/ca.der")


def test_kcdsa_key_matches_its_certificate():
    with PrivateKey.decrypt(KEYS / "scheme73_kcdsa.der", PASSWORD.encode()) as key:
        assert key.matches(FIXTURES / "certs/user_kcdsa.der")
        assert not key.matches(USER_CERT)


def test_encrypt_round_trip_under_a_new_password():
    with PrivateKey(USER_PLAIN) as key:
        encrypted = key.encrypt("새 비밀번호")
        assert encrypted != key.encrypt("새 비밀번호")  # a fresh salt every time
    with PrivateKey.decrypt(encrypted, "새 비밀번호") as again:
        assert again.der == USER_PLAIN and again.cipher == KeyCipher.SEED_CBC


@pytest.mark.parametrize("scheme, cipher", [("pbes2-sha1-seed", KeyCipher.PBES2_SEED_CBC),
                                            ("pbes2-sha256-seed", KeyCipher.PBES2_SEED_CBC),
                                            ("pbes2-sha256-aria128", KeyCipher.PBES2_ARIA_CBC),
                                            ("pbes2-sha256-aes256", KeyCipher.PBES2_AES256_CBC)])
def test_encrypt_under_each_pbes2_scheme(scheme, cipher):
    with PrivateKey(USER_PLAIN) as key:
        encrypted = key.encrypt("새 비밀번호", scheme=scheme)
    sha256_prf = bytes.fromhex("06082A864886F70D0209")
    assert (sha256_prf in encrypted) == ("sha256" in scheme)
    with PrivateKey.decrypt(encrypted, "새 비밀번호") as again:
        assert again.der == USER_PLAIN and again.cipher == cipher


def test_encrypt_refuses_an_unknown_scheme():
    with pytest.raises(ValueError):
        PrivateKey(USER_PLAIN).encrypt(PASSWORD, scheme="pbes2-sha256-des")


@pytest.mark.parametrize("call, code", [
    (lambda: PrivateKey.decrypt(KEYS / "scheme73.der", "wrong"), -13),
    (lambda: PrivateKey.decrypt(KEYS / "scheme73.der", ""), -13),
    (lambda: PrivateKey.decrypt(KEYS / "schemes/unread_prf_sha512_224.der", PASSWORD), -51),
    (lambda: PrivateKey.decrypt(KEYS / "schemes/other_key_ec_pbes2.der", PASSWORD), -12),
    (lambda: PrivateKey.decrypt(b"\x30\x03\x02\x01\x00", PASSWORD), -51),
    (lambda: PrivateKey.decrypt(KEYS / "missing.der", PASSWORD), -54),
    (lambda: PrivateKey(b"\x30\x00").encrypt(PASSWORD), -12),
    (lambda: PrivateKey(USER_PLAIN).encrypt(""), -15),
    (lambda: PrivateKey(USER_PLAIN).encrypt("", scheme="pbes2-sha256-aes256"), -15),
    (lambda: PrivateKey(b"\x30\x00").encrypt(PASSWORD, scheme="pbes2-sha1-seed"), -12),
    (lambda: PrivateKey(USER_PLAIN).matches(b"\x30\x00"), -12),
])
def test_failures_raise_with_code(call, code):
    with pytest.raises(QuillonError) as caught:
        call()
    assert caught.value.code == code


def test_closed_key_and_bad_password_refused():
    key = PrivateKey(USER_PLAIN)
    key.close()
    with pytest.raises(ValueError):
        key.encrypt(PASSWORD)
    with pytest.raises(ValueError):
        PrivateKey.decrypt(KEYS / "scheme73.der", "a\0b")


def test_sign_and_verify_through_the_binding():
    from quilloncrypto.cert import SIGNATURE_ALGORITHMS
    with PrivateKey(USER_PLAIN) as key, Certificate.load(USER_CERT) as cert, \
            Certificate.load(FIXTURES / "certs/ca.der") as ca:
        for algorithm in SIGNATURE_ALGORITHMS:
            signature = key.sign(b"challenge", algorithm)
            assert len(signature) == 256
            assert cert.verify(b"challenge", signature, algorithm)
            assert not cert.verify(b"challengE", signature, algorithm)
        assert key.sign(b"") == key.sign(bytearray())  # the default, PKCS#1 v1.5 with SHA-256
        assert cert.verify_issued_by(ca) and not ca.verify_issued_by(cert)
        with pytest.raises(ValueError):
            key.sign(b"x", "md5")
    with pytest.raises(ValueError):
        key.sign(b"x")  # closed
    with Certificate.load(FIXTURES / "certs/user_kcdsa.der") as kcdsa, pytest.raises(QuillonError) as error:
        kcdsa.verify(b"x", bytes(256))
    assert error.value.code == -51
