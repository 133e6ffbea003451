from conftest import FIXTURES
from quilloncrypto import Certificate, PrivateKey, cms_decrypt, cms_sign, cms_verify, envelope

CERTS = FIXTURES / "certs"
PLAIN = (FIXTURES / "pkcs8/user_plain.der").read_bytes()
ENVELOPED_DATA, SIGNED_DATA = bytes.fromhex("2A864886F70D010703"), bytes.fromhex("2A864886F70D010702")
MESSAGE_DIGEST = bytes.fromhex("2A864886F70D010904")


def test_envelope_then_decrypt():
    recipient = CERTS / "recipient_bmp.der"
    wrapped, bare = envelope(recipient, b"secret"), envelope(recipient.read_bytes(), b"", content_info=False)
    assert ENVELOPED_DATA in wrapped[:20] and ENVELOPED_DATA not in bare
    with PrivateKey(PLAIN) as key, Certificate.load(recipient) as cert:
        assert cms_decrypt(key, recipient, wrapped) == b"secret"
        assert cms_decrypt(key, cert, bare) == b""


def test_sign_then_verify_with_each_option():
    user = CERTS / "user_utf8.der"
    with PrivateKey(PLAIN) as key:
        signed = cms_sign(user, key, b"challenge", "pss-sha256")
        bare = cms_sign(str(user), key, b"challenge", detached=True, attributes=False, content_info=False)
    assert SIGNED_DATA in signed[:20] and MESSAGE_DIGEST in signed
    assert SIGNED_DATA not in bare and MESSAGE_DIGEST not in bare and b"challenge" not in bare
    assert cms_verify(signed) == cms_verify(bare, b"challenge") == (b"challenge", user.read_bytes())
