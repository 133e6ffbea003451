import shutil

from conftest import REPOSITORY
from quilloncrypto import Certificate, KeyCipher, find_certificates

FIXTURES = REPOSITORY / "tests/fixtures"


def test_find_certificates_reads_each_pair_as_certificate_does(tmp_path):
    pairs = {"CA/USER/cn=홍길동": ("user_utf8.der", "scheme73.der"), "CA/user/b": ("user_sha1.der", "rsa_attrs_plain.der")}
    for folder, (cert, key) in pairs.items():
        (tmp_path / folder).mkdir(parents=True)
        shutil.copy(FIXTURES / "certs" / cert, tmp_path / folder / "signCert.der")
        shutil.copy(FIXTURES / "pkcs8" / key, tmp_path / folder / "SIGNPRI.KEY")
    (tmp_path / "CA/USER/nokey").mkdir()
    shutil.copy(FIXTURES / "certs/ca.der", tmp_path / "CA/USER/nokey/signCert.der")

    found = find_certificates(tmp_path, tmp_path / "missing")
    assert [p.cert_path for p in found] == [str(tmp_path / f / "signCert.der") for f in pairs]
    for pair in found:
        with Certificate.load(pair.cert_path) as cert:
            assert (pair.subject, pair.issuer, pair.serial) == (cert.subject, cert.issuer, cert.serial)
            assert (pair.not_before, pair.not_after) == cert.validity
    encrypted, plain = found
    assert (encrypted.key_cipher, encrypted.key_scheme, encrypted.random_num, encrypted.expired) == \
        (KeyCipher.SEED_CBC, "pbeWithSHA1AndSEED-CBC", None, False)
    assert (plain.key_plain, plain.random_num, plain.expired) == (True, True, True)
    assert find_certificates(tmp_path / "missing") == []
