import pytest

from conftest import FIXTURES
from quilloncrypto import Pfx, PrivateKey, QuillonError

USER_CERT = FIXTURES / "certs/user_utf8.der"
ATTRS_PLAIN = (FIXTURES / "pkcs8/rsa_attrs_plain.der").read_bytes()
TRIPLE_DES = bytes.fromhex("2A864886F70D010C0103")  # pbeWithSHAAnd3-KeyTripleDES-CBC, the legacy form's


@pytest.mark.parametrize("legacy", [False, True])
def test_dump_then_load_under_a_korean_password(legacy):
    with PrivateKey(ATTRS_PLAIN) as key:
        data = Pfx.dump(USER_CERT, key, "비밀번호", legacy=legacy)
    assert (TRIPLE_DES in data) == legacy
    certificate, loaded = Pfx.load(data, "비밀번호".encode("utf-8"))
    with certificate, loaded:
        assert certificate.der == USER_CERT.read_bytes() and loaded.der == ATTRS_PLAIN
    with pytest.raises(QuillonError):
        Pfx.load(data, "비밀번호".encode("euc-kr"))  # a str password goes as UTF-8, not EUC-KR
