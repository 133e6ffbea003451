"""Against a card in the first reader: CTest's python.card runs this with the virtual card
inserted and QUILLON_TEST_CARD_PIN set; without it the tests skip."""
import os

import pytest

from conftest import FIXTURES
from quilloncrypto import PrivateKey, QuillonError, SmartCard

PIN = os.environ.get("QUILLON_TEST_CARD_PIN")
pytestmark = pytest.mark.skipif(not PIN, reason="no card: set QUILLON_TEST_CARD_PIN with a card in the reader")


def test_certificate_and_key_round_trip_under_a_korean_password():
    card = SmartCard(PIN)
    der = (FIXTURES / "certs/user_utf8.der").read_bytes()
    plain = (FIXTURES / "pkcs8/rsa_attrs_plain.der").read_bytes()
    card.write_certificate(der)
    assert card.read_certificate() == der
    card.write_private_key(PrivateKey(plain), "카드 비밀번호")
    with PrivateKey.decrypt(card.read_private_key("카드 비밀번호".encode("euc-kr")), "카드 비밀번호") as key:
        # The same key, with its randomNum attribute (the key's last 20 bytes) back from the card.
        assert key.matches(der) and key.der[-20:] in plain


def test_refused_pin_reports_the_tries_left():
    with pytest.raises(QuillonError) as caught:
        SmartCard("00000000").read_certificate()
    assert (caught.value.code, caught.value.function) == (-103, "MEDIA_CARD_ReadCert")
    assert isinstance(caught.value.tries_left, int)
    SmartCard(PIN).read_certificate()  # the right PIN resets the count
