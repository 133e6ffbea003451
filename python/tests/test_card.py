"""Against a card in the first reader: CTest's python.card runs this with the virtual card
inserted and QUILLON_TEST_CARD_PIN set; without it the tests skip."""
import os

import pytest

from conftest import REPOSITORY
from quilloncrypto import PrivateKey, QuillonError, SmartCard

PIN = os.environ.get("QUILLON_TEST_CARD_PIN")
pytestmark = pytest.mark.skipif(not PIN, reason="no card: set QUILLON_TEST_CARD_PIN with a card in the reader")
FIXTURES = REPOSITORY / "tests/fixtures"


def test_certificate_and_key_round_trip_on_both_slots():
    card = SmartCard(PIN)
    plain = (FIXTURES / "pkcs8/rsa_attrs_plain.der").read_bytes()
    for slot, certificate in ((1, "certs/user_utf8.der"), (2, "card/user_4096.der")):
        der = (FIXTURES / certificate).read_bytes()
        card.write_certificate(der, slot)
        assert card.read_certificate(slot) == der
        card.write_private_key(PrivateKey(plain), "카드 비밀번호", slot)
        with PrivateKey.decrypt(card.read_private_key("카드 비밀번호", slot), "카드 비밀번호") as key:
            # The same key, with its randomNum attribute (the key's last 20 bytes) back from the card.
            assert key.matches(FIXTURES / "certs/user_utf8.der") and key.der[-20:] in plain


def test_refusals():
    with pytest.raises(QuillonError) as caught:
        SmartCard("00000000").read_certificate()
    assert caught.value.code == -103 and caught.value.tries_left is not None
    SmartCard(PIN).read_certificate()  # the right PIN resets the count
    with pytest.raises(QuillonError) as caught:
        SmartCard(PIN).read_certificate(3)
    assert caught.value.code == -11
    with pytest.raises(QuillonError) as caught:
        SmartCard(PIN).read_private_key("wrong")
    assert caught.value.code == -13
