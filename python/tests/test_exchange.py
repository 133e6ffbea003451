import pytest

from conftest import REPOSITORY
from phone import Phone
from quilloncrypto import ExchangeSession, QuillonError

CODE = "1234567890123455"
CERTIFICATE = (REPOSITORY / "cli/sample/signCert.der").read_bytes()
PRIVATE_KEY = (REPOSITORY / "cli/sample/signPri.key").read_bytes()


def keyed_session(phone: Phone) -> ExchangeSession:
    session = ExchangeSession()
    message = session.public_key_message(CODE)
    assert len(message) == 153
    session.set_session_key(phone.answer_public_key(message))
    return session


@pytest.mark.parametrize("key_length", [16, 20, 48])
def test_whole_exchange_in_both_directions(key_length):
    phone = Phone(CODE, bytes(range(1, key_length + 1)))
    with keyed_session(phone) as session:
        assert phone.open(session.seal(CERTIFICATE, PRIVATE_KEY)) == (CERTIFICATE, PRIVATE_KEY)
        assert session.open(phone.seal(PRIVATE_KEY, CERTIFICATE)) == (PRIVATE_KEY, CERTIFICATE)


def test_refusals_raise_with_code_zero():
    phone = Phone(CODE)
    with ExchangeSession() as session:
        for code in ("1234567890123456", "12345", "123456789012345a"):  # check digit, length, digits
            with pytest.raises(QuillonError) as caught:
                session.public_key_message(code)
            assert caught.value.code == 0 and caught.value.function == "GetCertExchangePublicKey"
        with pytest.raises(QuillonError):
            session.set_session_key(b"\x30\x00")  # no RSA key made yet
        with pytest.raises(QuillonError):
            session.seal(CERTIFICATE, PRIVATE_KEY)  # no session key: never sealed under a zero key
        with pytest.raises(QuillonError):
            session.open(Phone(CODE, bytes(16)).seal(CERTIFICATE, PRIVATE_KEY))
    with keyed_session(phone) as session:
        sealed = bytearray(phone.seal(CERTIFICATE, PRIVATE_KEY))
        sealed[-1] ^= 1  # the MAC
        with pytest.raises(QuillonError):
            session.open(bytes(sealed))
        with pytest.raises(QuillonError):
            session.seal(b"", PRIVATE_KEY)


def test_wrong_code_on_the_phone_is_detected():
    with ExchangeSession() as session:
        message = session.public_key_message(CODE)
        with pytest.raises((AssertionError, QuillonError)):
            Phone("0000000000000001").answer_public_key(message)


def test_closed_session_refuses_use():
    session = ExchangeSession()
    session.close()
    session.close()
    with pytest.raises(ValueError):
        session.public_key_message(CODE)



def test_pkcs12_form_round_trip_and_integrity():
    phone = Phone(CODE)
    with keyed_session(phone) as pc, ExchangeSession() as other:
        pfx = pc.seal_pkcs12(CERTIFICATE, PRIVATE_KEY)
        assert pc.open_pkcs12(pfx + b"\x30\x80") == (CERTIFICATE, PRIVATE_KEY)  # what follows is not read
        tampered = bytearray(pfx)
        tampered[40] ^= 1
        with pytest.raises(QuillonError) as caught:
            pc.open_pkcs12(bytes(tampered))
        assert caught.value.code == -1
        for refused in (pfx[:-1], b"\x30"):  # shorter than the header says
            with pytest.raises(QuillonError) as caught:
                pc.open_pkcs12(refused)
            assert caught.value.code == 0
        with pytest.raises(QuillonError):
            other.seal_pkcs12(CERTIFICATE, PRIVATE_KEY)  # no session key
