import base64
import shutil
import subprocess

import pytest

from conftest import FIXTURES
from quilloncrypto import GeneratedKeyPair, QuillonError, SeedCbc, decode_keyboard, decode_keyboard_blocks, \
    decrypt_session_key

TEMPLATE = (FIXTURES / "keypair/template.der").read_bytes()
SESSION_KEY = bytes.fromhex("00112233445566778899aabbccddeeff")  # under OAEP in session_oaep.bin
SEALED = (FIXTURES / "keypair/session_oaep.bin").read_bytes()


@pytest.mark.skipif(not shutil.which("openssl"), reason="openssl command line needed")
def test_generated_key_decrypts_once_what_is_sent_to_its_certificate(tmp_path):
    with GeneratedKeyPair.generate(bytearray(TEMPLATE)) as pair:
        body = pair.pem.removeprefix("-----BEGIN CERTIFICATE-----").removesuffix("-----END CERTIFICATE-----")
        assert base64.b64decode(body) == pair.certificate and len(pair.certificate) == len(TEMPLATE)
        (tmp_path / "cert.der").write_bytes(pair.certificate)
        sealed = subprocess.run(["openssl", "pkeyutl", "-encrypt", "-certin", "-keyform", "DER", "-inkey",
                                 str(tmp_path / "cert.der"), "-pkeyopt", "rsa_padding_mode:oaep"],
                                input=b"generated session key", check=True, capture_output=True).stdout
        assert pair.decrypt_session_key(sealed, 21) == b"generated session key"
        with pytest.raises(ValueError):  # used up
            pair.decrypt_session_key(SEALED)


def test_failed_decryption_uses_the_key_up():
    pair = GeneratedKeyPair.generate(TEMPLATE)
    with pytest.raises(QuillonError):
        pair.decrypt_session_key(SEALED)  # made for another key
    with pytest.raises(ValueError):
        pair.decrypt_session_key(SEALED)


@pytest.mark.parametrize("key_file", [(FIXTURES / "keypair/user_key.b64").read_text(),  # Base64 text as it is
                                      (FIXTURES / "pkcs8/scheme73.der").read_bytes()])  # DER, encoded here
def test_session_key_with_an_encrypted_key_file(key_file):
    assert decrypt_session_key(key_file, "quillon-test", SEALED) == SESSION_KEY
    assert decrypt_session_key(key_file, b"quillon-test", SEALED, 4) == SESSION_KEY[:4]


def test_keyboard_messages_and_blocks():
    key, iv = bytes(range(16)), bytes(range(16, 32))
    typed = "비밀P@ss".encode("euc-kr")
    messages = [SeedCbc(key, iv).encrypt(bytes([c]) + b"x" * (i % 15)) for i, c in enumerate(typed)]
    assert decode_keyboard(messages, key, iv) == typed and decode_keyboard([], key, iv) == b""
    blocks = b"".join(SeedCbc(key, iv).encrypt(bytes([c])) for c in typed)
    assert decode_keyboard_blocks(key + iv, blocks) == typed and decode_keyboard_blocks(key + iv, b"") == b""
