"""What every wrapper shares: failures as QuillonError with the export's name and code, misuse as
ValueError or TypeError before the library is called, closed objects refusing further use."""
import pytest

from conftest import FIXTURES
from quilloncrypto import (Certificate, ExchangeSession, GeneratedKeyPair, Pfx, PrivateKey, QuillonError, SeedCbc,
                           SmartCard, TrustStore, base64_decode, decode_keyboard, decode_keyboard_blocks,
                           decrypt_session_key, envelope, find_certificates, random_bytes)

KEY_FILE = FIXTURES / "pkcs8/scheme73.der"
PLAIN = (FIXTURES / "pkcs8/user_plain.der").read_bytes()
TEMPLATE = (FIXTURES / "keypair/template.der").read_bytes()
SEALED = (FIXTURES / "keypair/session_oaep.bin").read_bytes()


@pytest.mark.parametrize("call, code, function", [
    (lambda: base64_decode("QQ"), 0, "BASE64_Decode"),
    (lambda: SeedCbc(b"short", bytes(16)), -76, "CRYPT_SetKeyAndIV"),
    (lambda: SeedCbc(bytes(16)), -77, "CRYPT_SetKeyAndIV"),  # a missing IV is an empty one
    (lambda: Certificate.load(b"\x30\x03\x02\x01\x00"), -50, "CERT_Load"),
    (lambda: PrivateKey.decrypt(KEY_FILE, "wrong"), -13, "MEDIA_DISK_ReadPriKey"),
    (lambda: PrivateKey.decrypt(KEY_FILE.read_bytes(), "wrong"), -13, "PRIKEY_Decrypt"),
    (lambda: Pfx.load(FIXTURES / "pfx/pbmac1_sha256.p12", "wrong"), -13, "PFX_Import"),
    (lambda: envelope(FIXTURES / "certs/user_kcdsa.der", b"x"), -78, "PKCS7_EncryptData"),
    (lambda: ExchangeSession().public_key_message("12345"), 0, "GetCertExchangePublicKey"),
    (lambda: ExchangeSession().public_key_message(b"12345"), 0, "GetCertExchangePublicKey"),
    (lambda: PrivateKey(b"").encrypt("password"), -12, "PRIKEY_Encrypt"),  # empty, not closed
    (lambda: GeneratedKeyPair.generate(TEMPLATE[:559]), 0, "GenKeyPairNGenCert"),
    (lambda: decrypt_session_key(KEY_FILE.read_bytes(), "wrong", SEALED), -13, "DecryptSessionKeyWithPEMKey"),
    (lambda: decode_keyboard([bytes(16)], bytes(15), bytes(16)), -11, "DecodeCertKeyboard"),
    (lambda: decode_keyboard_blocks(bytes(32), bytes(16)), -75, "DecryptCBCKeyWithSessionKey"),
    (lambda: TrustStore().add_folder(FIXTURES / "missing"), -54, "TRUST_AddFolder"),
])
def test_failures_raise_quillon_error(call, code, function):
    with pytest.raises(QuillonError) as caught:
        call()
    error = caught.value
    assert (error.code, error.function, error.tries_left) == (code, function, None)
    assert error.meaning and str(error) == "%s: %s (%d)" % (function, error.meaning, code)


@pytest.mark.parametrize("call, error", [
    (lambda: Certificate.load(42), TypeError),
    (lambda: PrivateKey.decrypt(KEY_FILE, "a\0b"), ValueError),
    # A NUL would cut the path short in C: the key file, folder and root named before it are real.
    (lambda: PrivateKey.decrypt(str(KEY_FILE) + "\0junk", "quillon-test"), ValueError),
    (lambda: TrustStore().add_folder(str(FIXTURES / "chain") + "\0junk"), ValueError),
    (lambda: find_certificates(str(FIXTURES) + "\0junk"), ValueError),
    (lambda: ExchangeSession().public_key_message("1234567890123455\0garbage"), ValueError),
    (lambda: PrivateKey.decrypt(KEY_FILE, "\U0001F511"), ValueError),  # not in EUC-KR
    (lambda: PrivateKey(PLAIN).encrypt("password", scheme="pbes2-sha256-des"), ValueError),
    (lambda: PrivateKey(PLAIN).sign(b"x", "md5"), ValueError),
    (lambda: Certificate.load(FIXTURES / "certs/ca.der").check_vid("800101\0", bytes(20)), ValueError),
    (lambda: Pfx.load(b"", "a\0b"), ValueError),
    (lambda: SmartCard("1234\0"), ValueError),
    (lambda: random_bytes(-1), ValueError),
    (lambda: random_bytes(2 ** 31), ValueError),  # would reach C as -2**31; refused before any buffer
    (lambda: decrypt_session_key(KEY_FILE.read_bytes(), "quillon-test", SEALED, 215), ValueError),
    (lambda: decrypt_session_key(KEY_FILE.read_bytes(), "quillon-test", SEALED, 0), ValueError),
    (lambda: decode_keyboard_blocks(bytes(31), bytes(16)), ValueError),
    (lambda: decode_keyboard_blocks(bytes(32), bytes(17)), ValueError),
])
def test_misuse_is_refused_before_the_library(call, error):
    with pytest.raises(error):
        call()


@pytest.mark.parametrize("make, use", [
    (lambda: Certificate.load(FIXTURES / "certs/ca.der"), lambda cert: cert.subject),
    (lambda: PrivateKey(PLAIN), lambda key: key.encrypt("password")),
    (ExchangeSession, lambda session: session.public_key_message("1234567890123455")),
    (TrustStore, lambda store: store.add_trusted(FIXTURES / "chain/root.der")),
    (lambda: GeneratedKeyPair.generate(TEMPLATE), lambda pair: pair.decrypt_session_key(SEALED)),
])
def test_closed_objects_refuse_use(make, use):
    with make() as thing:
        pass
    thing.close()  # closing again does nothing
    with pytest.raises(ValueError):
        use(thing)
