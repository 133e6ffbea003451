"""Every buffer the library hands out is released: 10,000 calls of each family (fewer for the
slow password and RSA ones) leave the resident size where it was."""
import ctypes
import shutil
import tempfile
from pathlib import Path

import pytest

from conftest import FIXTURES
from phone import Phone
from quilloncrypto import (Certificate, ExchangeSession, GeneratedKeyPair, PrivateKey, SeedCbc, TrustStore,
                           base64_decode, base64_encode, decode_keyboard, decrypt_session_key, find_certificates)

CERT = (FIXTURES / "certs/user_utf8.der").read_bytes()
KEY_FILE = (FIXTURES / "pkcs8/scheme73.der").read_bytes()
SEALED_SESSION_KEY = (FIXTURES / "keypair/session_oaep.bin").read_bytes()
PAYLOAD = bytes(range(256)) * 16
TEMPLATE = (FIXTURES / "keypair/template.der").read_bytes()
KEYSTROKES = [SeedCbc(bytes(16), bytes(16)).encrypt(bytes([c])) for c in b"password"]
CALLS = 10_000


def resident_bytes() -> int:
    return int(Path("/proc/self/statm").read_text().split()[1]) * 4096


def certificate_queries():
    with Certificate.load(CERT) as cert:
        cert.subject, cert.issuer, cert.serial, cert.validity, cert.public_key, cert.signature, cert.subject_der
        cert.key_usage, cert.certificate_policies, cert.policy_ids, cert.extended_key_usage, cert.subject_alt_name
        cert.authority_key_id, cert.subject_key_id, cert.crl_distribution_points, cert.crl_urls


def seed_round_trip(cipher=SeedCbc()):
    cipher.decrypt(cipher.encrypt(PAYLOAD)), cipher.key


def exchange_round_trip(state={}):
    if not state:
        phone, session = Phone("1234567890123455"), ExchangeSession()
        session.set_session_key(phone.answer_public_key(session.public_key_message("1234567890123455")))
        state.update(session=session, sealed=phone.seal(CERT, PAYLOAD))
    state["session"].open(state["sealed"]), state["session"].seal(CERT, PAYLOAD)


def private_key_round_trip():
    with PrivateKey.decrypt(KEY_FILE, "quillon-test") as key:
        key.matches(CERT), key.encrypt("quillon-test")


def trust_store():
    with TrustStore() as store:
        store.add_trusted(CERT)


def npki_search(state={}):
    if not state:
        state["root"] = tempfile.TemporaryDirectory()
        folder = Path(state["root"].name, "CA/USER/cn=홍길동")
        folder.mkdir(parents=True)
        shutil.copy(FIXTURES / "certs/user_utf8.der", folder / "signCert.der")
        shutil.copy(FIXTURES / "pkcs8/scheme73.der", folder / "signPri.key")
    assert len(find_certificates(state["root"].name)) == 1


@pytest.mark.parametrize("call, calls", [
    (certificate_queries, CALLS), (seed_round_trip, CALLS), (exchange_round_trip, CALLS),
    (lambda: base64_decode(base64_encode(PAYLOAD)), CALLS),
    (lambda: decode_keyboard(KEYSTROKES, bytes(16), bytes(16)), CALLS),
    (private_key_round_trip, CALLS // 5),
    (lambda: decrypt_session_key(KEY_FILE, "quillon-test", SEALED_SESSION_KEY), CALLS // 10),
    (trust_store, CALLS), (npki_search, CALLS),
], ids=["certificate", "seed", "exchange", "base64", "keyboard", "private_key", "session_key", "trust", "npki"])
def test_no_growth_over_many_calls(call, calls):
    for _ in range(calls // 20):  # warm the allocators
        call()
    before = resident_bytes()
    for _ in range(calls):
        call()
    # 400 bytes a call: a leak of any key, certificate or message buffer here shows.
    assert resident_bytes() - before < 400 * calls


class MallocInfo(ctypes.Structure):  # glibc's struct mallinfo2
    _fields_ = [(name, ctypes.c_size_t) for name in
                "arena ordblks smblks hblks hblkhd usmblks fsmblks uordblks fordblks keepcost".split()]


def test_closing_an_unused_key_pair_releases_its_key():
    # Too few keys are made in a test's time to move the resident size: glibc's count of the heap
    # bytes in use shows a key left behind (about 2,000 bytes).
    mallinfo2 = getattr(ctypes.CDLL(None), "mallinfo2", None)
    if mallinfo2 is None:
        pytest.skip("needs glibc's mallinfo2")
    mallinfo2.restype = MallocInfo
    in_use = []
    for _ in range(23):  # the first three warm the allocators
        GeneratedKeyPair.generate(TEMPLATE).close()
        info = mallinfo2()
        in_use.append(info.uordblks + info.hblkhd)
    assert in_use[-1] - in_use[2] < 20 * 200
