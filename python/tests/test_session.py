import base64
import shutil
import subprocess

import pytest

from conftest import REPOSITORY
from quilloncrypto import (GeneratedKeyPair, QuillonError, SeedCbc, decode_keyboard, decode_keyboard_blocks,
                           decrypt_session_key)

FIXTURES = REPOSITORY / "tests/fixtures"
TEMPLATE = (FIXTURES / "keypair/template.der").read_bytes()
SESSION_KEY = bytes.fromhex("00112233445566778899aabbccddeeff")  # under OAEP in session_oaep.bin
SEALED = (FIXTURES / "keypair/session_oaep.bin").read_bytes()
PASSWORD = "quillon-test"


@pytest.mark.skipif(not shutil.which("openssl"), reason="openssl command line needed")
def test_generated_key_decrypts_what_openssl_sends_to_its_certificate(tmp_path):
    with GeneratedKeyPair.generate(TEMPLATE) as pair:
        body = pair.pem.removeprefix("-----BEGIN CERTIFICATE-----").removesuffix("-----END CERTIFICATE-----")
        assert base64.b64decode(body) == pair.certificate
        changed = [i for i, (a, b) in enumerate(zip(TEMPLATE, pair.certificate)) if a != b]
        assert changed and 304 <= changed[0] and changed[-1] <= 559
        (tmp_path / "cert.der").write_bytes(pair.certificate)
        (tmp_path / "key").write_bytes(b"generated session key")
        subprocess.run(["openssl", "pkeyutl", "-encrypt", "-certin", "-keyform", "DER", "-inkey",
                        str(tmp_path / "cert.der"), "-pkeyopt", "rsa_padding_mode:oaep", "-in", str(tmp_path / "key"),
                        "-out", str(tmp_path / "sealed")], check=True, capture_output=True)
        assert pair.decrypt_session_key((tmp_path / "sealed").read_bytes(), 21) == b"generated session key"
        with pytest.raises(ValueError):  # the key is used up
            pair.decrypt_session_key(SEALED)


def test_generation_refusals_and_a_failed_decryption_use_the_key():
    with pytest.raises(QuillonError) as caught:
        GeneratedKeyPair.generate(TEMPLATE[:559])
    assert caught.value.code == 0
    pair = GeneratedKeyPair.generate(TEMPLATE)
    with pytest.raises(QuillonError):
        pair.decrypt_session_key(SEALED)  # made for another key
    with pytest.raises(ValueError):
        pair.decrypt_session_key(SEALED)


@pytest.mark.parametrize("key_file", [(FIXTURES / "keypair/user_key.b64").read_text(),
                                      (FIXTURES / "pkcs8/pbes2_seed.der").read_bytes(),
                                      (FIXTURES / "pkcs8/scheme73.der").read_bytes()])
def test_session_key_with_an_encrypted_key_file(key_file):
    assert decrypt_session_key(key_file, PASSWORD, SEALED) == SESSION_KEY
    assert decrypt_session_key(key_file, PASSWORD, SEALED, 4) == SESSION_KEY[:4]


@pytest.mark.parametrize("key_file, password, code", [((FIXTURES / "pkcs8/scheme73.der").read_bytes(), "wrong", -13),
                                                      ((FIXTURES / "pkcs8/scheme73_kcdsa.der").read_bytes(), PASSWORD,
                                                       -12),
                                                      ("not base64 at all!", PASSWORD, 0)])
def test_session_key_refusals(key_file, password, code):
    with pytest.raises(QuillonError) as caught:
        decrypt_session_key(key_file, password, SEALED)
    assert caught.value.code == code
    with pytest.raises(ValueError):
        decrypt_session_key(key_file, password, SEALED, 215)


KEY, IV = bytes(range(16)), bytes(range(16, 32))


def test_keyboard_forms_agree():
    typed = "비밀P@ss".encode("euc-kr")
    messages = [SeedCbc(KEY, IV).encrypt(bytes([c]) + b"x" * (i % 15)) for i, c in enumerate(typed)]
    assert decode_keyboard(messages, KEY, IV) == typed
    single = [SeedCbc(KEY, IV).encrypt(bytes([c])) for c in typed]
    assert decode_keyboard_blocks(KEY + IV, b"".join(single)) == typed


@pytest.mark.parametrize("call, code", [(lambda m: decode_keyboard(m, KEY[:15], IV), -11),
                                        (lambda m: decode_keyboard(m, KEY, IV[:15]), -11),
                                        (lambda m: decode_keyboard(m + [bytes(16)], KEY, IV), -75),
                                        (lambda m: decode_keyboard_blocks(KEY + IV, m[0][:15] + b"\xff"), -75)])
def test_keyboard_refusals(call, code):
    messages = [SeedCbc(KEY, IV).encrypt(b"a")]
    with pytest.raises(QuillonError) as caught:
        call(messages)
    assert caught.value.code == code
