from datetime import datetime, timezone

import pytest

from conftest import FIXTURES
from quilloncrypto import QuillonError, TrustStore

CHAIN = FIXTURES / "chain"
AT = datetime(2025, 6, 1, tzinfo=timezone.utc)


def verdict(store, name, **options):
    try:
        return store.verify(CHAIN / name, **options)
    except QuillonError as error:
        return error.code


def test_sources_times_flags_and_path(tmp_path):
    (tmp_path / "root.der").write_bytes((CHAIN / "root.der").read_bytes())
    with TrustStore() as store:
        assert store.add_folder(tmp_path) == 1
        store.add_untrusted(CHAIN / "int2.der")
        store.add_untrusted((CHAIN / "int1.der").read_bytes())
        assert verdict(store, "ee_sha256.der", at=AT) is True and store.revocation_reason is None
        assert store.path == [(CHAIN / n).read_bytes() for n in ("ee_sha256.der", "int2.der", "int1.der", "root.der")]
        assert verdict(store, "ee_sha256.der", at=AT, require_crl=True) == -68
        for name in ("root.crl", "int1.crl", "int2.crl"):
            store.add_crl(str(CHAIN / name))
        assert verdict(store, "ee_sha256.der", at=int(AT.timestamp()), require_crl=True) is True
        assert verdict(store, "ee_revoked.der", at=AT) == -67 and store.revocation_reason == 1
        assert verdict(store, "ee_expired.der", at=AT) == -60
        assert verdict(store, "ee_expired.der", at=AT, ignore_validity=True) is True
