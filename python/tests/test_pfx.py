import pytest

from conftest import REPOSITORY
from quilloncrypto import Certificate, Pfx, PrivateKey, QuillonError

FIXTURES = REPOSITORY / "tests/fixtures"
USER_CERT = FIXTURES / "certs/user_utf8.der"
ATTRS_PLAIN = (FIXTURES / "pkcs8/rsa_attrs_plain.der").read_bytes()


@pytest.mark.parametrize("legacy", [False, True])
def test_dump_then_load_keeps_the_pair_under_a_korean_password(legacy):
    with PrivateKey(ATTRS_PLAIN) as key:
        data = Pfx.dump(USER_CERT, key, "비밀번호", legacy=legacy)
        random_num = key.random_num
    certificate, loaded = Pfx.load(data, "비밀번호")
    with certificate, loaded:
        assert certificate.der == USER_CERT.read_bytes()
        assert loaded.der == ATTRS_PLAIN and loaded.random_num == random_num
    with pytest.raises(QuillonError) as error:
        Pfx.load(data, "비밀번호".encode("euc-kr"))  # the same text in another encoding is another password
    assert error.value.code == -13


def test_load_from_a_path():
    certificate, key = Pfx.load(FIXTURES / "pfx/pbmac1_sha256.p12", "quillon-test")
    with certificate, key:
        assert key.matches(certificate)
