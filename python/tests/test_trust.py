from datetime import datetime, timezone

import pytest

from conftest import REPOSITORY
from quilloncrypto import QuillonError, TrustStore

CHAIN = REPOSITORY / "tests/fixtures/chain"
AT = datetime(2025, 6, 1, tzinfo=timezone.utc)


def test_path_and_verdicts(tmp_path):
    (tmp_path / "root.der").write_bytes((CHAIN / "root.der").read_bytes())
    with TrustStore() as store:
        assert store.add_folder(tmp_path) == 1
        for name in ("int2.der", "int1.der"):
            store.add_untrusted(CHAIN / name)
        assert store.verify(CHAIN / "ee_sha256.der", at=AT)
        assert store.path == [(CHAIN / n).read_bytes() for n in ("ee_sha256.der", "int2.der", "int1.der", "root.der")]
        with pytest.raises(QuillonError) as caught:
            store.verify(CHAIN / "ee_sha256.der", at=AT, require_crl=True)
        assert caught.value.code == -68
        for name in ("root.crl", "int1.crl", "int2.crl"):
            store.add_crl(CHAIN / name)
        assert store.verify(CHAIN / "ee_sha256.der", at=int(AT.timestamp()), require_crl=True)
        with pytest.raises(QuillonError) as caught:
            store.verify(CHAIN / "ee_revoked.der", at=AT)
        assert caught.value.code == -67 and "revoked" in str(caught.value)
        assert store.revocation_reason == 1
        with pytest.raises(QuillonError) as caught:
            store.verify(CHAIN / "ee_expired.der", at=AT)
        assert caught.value.code == -60
        assert store.verify(CHAIN / "ee_expired.der", at=AT, ignore_validity=True)
        with pytest.raises(QuillonError) as caught:
            store.add_crl(b"\x30\x00")
        assert caught.value.code == -51
    with pytest.raises(ValueError):
        store.path
