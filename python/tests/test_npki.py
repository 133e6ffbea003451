import shutil

from conftest import FIXTURES
from quilloncrypto import Certificate, KeyCipher, find_certificates


def test_pairs_under_korean_folder_names_as_certificate_reads_them(tmp_path):
    pairs = {"CA/USER/cn=홍길동": ("user_utf8.der", "scheme73.der"), "CA/user/b": ("user_sha1.der", "rsa_attrs_plain.der")}
    for folder, (cert, key) in pairs.items():
        (tmp_path / folder).mkdir(parents=True)
        shutil.copy(FIXTURES / "certs" / cert, tmp_path / folder / "signCert.der")
        shutil.copy(FIXTURES / "pkcs8" / key, tmp_path / folder / "SIGNPRI.KEY")
    found = find_certificates(tmp_path, str(tmp_path / "missing"))
    assert [p.cert_path for p in found] == [str(tmp_path / f / "signCert.der") for f in pairs]
    for pair in found:
        with Certificate.load(pair.cert_path) as cert:
            assert (pair.subject, pair.issuer, pair.serial) == (cert.subject, cert.issuer, cert.serial)
            assert (pair.not_before, pair.not_after) == cert.validity
    encrypted, plain = found
    assert (encrypted.key_cipher, encrypted.key_scheme, encrypted.key_plain, encrypted.random_num, encrypted.expired) \
        == (KeyCipher.SEED_CBC, "pbeWithSHA1AndSEED-CBC", False, None, False)
    assert (plain.key_plain, plain.random_num, plain.expired) == (True, True, True)
    assert find_certificates(tmp_path / "missing") == []
