import pytest

from conftest import REPOSITORY
from phone import Phone
from quilloncrypto import ExchangeSession, QuillonError

CODE = "1234567890123455"
CERTIFICATE = (REPOSITORY / "cli/sample/signCert.der").read_bytes()
PRIVATE_KEY = (REPOSITORY / "cli/sample/signPri.key").read_bytes()


def test_pair_sealed_both_ways_and_as_pkcs12():
    phone = Phone(CODE)
    with ExchangeSession() as session:
        session.set_session_key(phone.answer_public_key(session.public_key_message(CODE)))
        assert phone.open(session.seal(CERTIFICATE, PRIVATE_KEY)) == (CERTIFICATE, PRIVATE_KEY)
        assert session.open(bytearray(phone.seal(PRIVATE_KEY, CERTIFICATE))) == (PRIVATE_KEY, CERTIFICATE)
        pfx = session.seal_pkcs12(CERTIFICATE, PRIVATE_KEY)
        assert session.open_pkcs12(pfx + b"\x30\x80") == (CERTIFICATE, PRIVATE_KEY)  # what follows is not read
        for short in (pfx[:-1], b"\x30", b""):  # refused here, before the library would read past the end
            with pytest.raises(QuillonError) as caught:
                session.open_pkcs12(short)
            assert (caught.value.code, caught.value.function) == (0, "DecryptCertExchange_PKCS12")
