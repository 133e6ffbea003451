"""Every buffer the library hands out is released: 10,000 calls of each family (fewer for the
slow password and RSA ones) leave the resident size where it was."""
from pathlib import Path

import pytest

from conftest import REPOSITORY
from phone import Phone
from quilloncrypto import (Certificate, ExchangeSession, PrivateKey, SeedCbc, base64_decode, base64_encode,
                           decode_keyboard, decrypt_session_key)

FIXTURES = REPOSITORY / "tests/fixtures"
CERT = (FIXTURES / "certs/user_utf8.der").read_bytes()
KEY_FILE = (FIXTURES / "pkcs8/scheme73.der").read_bytes()
SEALED_SESSION_KEY = (FIXTURES / "keypair/session_oaep.bin").read_bytes()
PAYLOAD = bytes(range(256)) * 16
CALLS = 10_000


def resident_bytes() -> int:
    return int(Path("/proc/self/statm").read_text().split()[1]) * 4096


def certificate_queries():
    with Certificate.load(CERT) as cert:
        cert.subject, cert.issuer, cert.serial, cert.validity, cert.public_key, cert.signature, cert.subject_der
        cert.key_usage, cert.certificate_policies, cert.policy_ids, cert.extended_key_usage, cert.subject_alt_name
        cert.authority_key_id, cert.subject_key_id, cert.crl_distribution_points, cert.crl_urls


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


def private_key_round_trip():
    with PrivateKey.decrypt(KEY_FILE, "quillon-test") as key:
        key.matches(CERT), key.encrypt("quillon-test")


def session_key_with_key_file():
    decrypt_session_key(KEY_FILE, "quillon-test", SEALED_SESSION_KEY)


KEYSTROKES = [SeedCbc(bytes(16), bytes(16)).encrypt(bytes([c])) for c in b"password"]


def keyboard():
    decode_keyboard(KEYSTROKES, bytes(16), bytes(16))


@pytest.mark.parametrize("call, calls", [(certificate_queries, CALLS), (base64_round_trip, CALLS),
                                         (seed_round_trip, CALLS), (exchange_round_trip, CALLS),
                                         (keyboard, CALLS), (private_key_round_trip, CALLS // 5),
                                         (session_key_with_key_file, CALLS // 10)])
def test_no_growth_over_many_calls(call, calls):
    for _ in range(calls // 20):  # warm the allocators
        call()
    before = resident_bytes()
    for _ in range(calls):
        call()
    # 400 bytes a call: a leak of any key, certificate or message buffer here shows.
    assert resident_bytes() - before < 400 * calls
