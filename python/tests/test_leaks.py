"""Every buffer the library hands out is released: 10,000 calls of each family leave the
resident size where it was."""
from pathlib import Path

import pytest

from conftest import REPOSITORY
from phone import Phone
from quilloncrypto import Certificate, ExchangeSession, SeedCbc, base64_decode, base64_encode

CERT = (REPOSITORY / "tests/fixtures/certs/user_utf8.der").read_bytes()
PAYLOAD = bytes(range(256)) * 16
CALLS = 10_000


def resident_bytes() -> int:
    return int(Path("/proc/self/statm").read_text().split()[1]) * 4096


def certificate_queries():
    with Certificate.load(CERT) as cert:
        cert.subject, cert.issuer, cert.serial, cert.validity, cert.public_key, cert.signature, cert.subject_der


def base64_round_trip():
    base64_decode(base64_encode(PAYLOAD))


def seed_round_trip(cipher=SeedCbc()):
    cipher.decrypt(cipher.encrypt(PAYLOAD)), cipher.key


def exchange_round_trip(state={}):
    if not state:
        phone = Phone("1234567890123455")
        session = ExchangeSession()
        session.set_session_key(phone.answer_public_key(session.public_key_message("1234567890123455")))
        state.update(session=session, sealed=phone.seal(CERT, PAYLOAD))
    state["session"].open(state["sealed"])
    state["session"].seal(CERT, PAYLOAD)


@pytest.mark.parametrize("call", [certificate_queries, base64_round_trip, seed_round_trip, exchange_round_trip])
def test_no_growth_over_many_calls(call):
    for _ in range(500):  # warm the allocators
        call()
    before = resident_bytes()
    for _ in range(CALLS):
        call()
    # A leak of the smallest buffer here (4 KiB) would add 40 MiB.
    assert resident_bytes() - before < 4 * 1024 * 1024
