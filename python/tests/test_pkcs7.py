import subprocess

import pytest

from conftest import REPOSITORY
from quilloncrypto import PrivateKey, QuillonError, cms_decrypt, cms_sign, cms_verify, envelope

CERTS = REPOSITORY / "tests/fixtures/certs"


@pytest.mark.parametrize("data", [b"", b"Quillon" * 1000])
def test_openssl_opens_the_envelope(tmp_path, data):
    message = tmp_path / "message.p7"
    message.write_bytes(envelope(CERTS / "recipient_bmp.der", data))
    opened = subprocess.run(["openssl", "cms", "-decrypt", "-inform", "DER", "-in", str(message),
                             "-recip", str(CERTS / "recipient_bmp.der"), "-inkey", str(CERTS / "keys/user.key.pem"),
                             "-provider", "legacy", "-provider", "default"], capture_output=True, check=True)
    assert opened.stdout == data


def test_refusals_carry_the_code():
    bare = envelope((CERTS / "user_sha1.der").read_bytes(), b"x", content_info=False)
    assert bare[0] == 0x30 and bare[4:7] == b"\x02\x01\x00"  # EnvelopedData, version 0
    for certificate, code in ((b"\x30\x00", -50), (CERTS / "user_kcdsa.der", -78)):
        with pytest.raises(QuillonError) as caught:
            envelope(certificate, b"data")
        assert caught.value.code == code


def test_cms_decrypt_opens_what_envelope_made_and_reports_codes():
    plain = (REPOSITORY / "tests/fixtures/pkcs8/user_plain.der").read_bytes()
    with PrivateKey(plain) as key:
        der = envelope(CERTS / "recipient_bmp.der", b"secret")
        assert cms_decrypt(key, CERTS / "recipient_bmp.der", der) == b"secret"
        for certificate, code in ((CERTS / "ca.der", -58), (b"\x30\x00", -50)):
            with pytest.raises(QuillonError) as caught:
                cms_decrypt(key, certificate, der)
            assert caught.value.code == code


def test_cms_sign_and_verify_through_the_binding():
    plain = (REPOSITORY / "tests/fixtures/pkcs8/user_plain.der").read_bytes()
    user = CERTS / "user_utf8.der"
    with PrivateKey(plain) as key:
        signed = cms_sign(user, key, b"challenge", "pss-sha256")
        assert cms_verify(signed) == (b"challenge", user.read_bytes())
        detached = cms_sign(str(user), key, b"challenge", detached=True, attributes=False, content_info=False)
        assert cms_verify(detached, b"challenge")[0] == b"challenge"
        with pytest.raises(QuillonError) as caught:
            cms_verify(detached, b"challengE")
        assert caught.value.code == -56
        with pytest.raises(QuillonError) as caught:
            cms_sign(CERTS / "ca.der", key, b"x")
        assert caught.value.code == -14
