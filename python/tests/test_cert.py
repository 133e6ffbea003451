from datetime import datetime

from conftest import FIXTURES
from quilloncrypto import KOREA_TIME, Certificate, PrivateKey

CERTS = FIXTURES / "certs"


def test_queries_from_path_or_bytes_as_python_values():
    path = CERTS / "user_utf8.der"
    for source in (path, str(path), path.read_bytes(), bytearray(path.read_bytes()), memoryview(path.read_bytes())):
        with Certificate.load(source) as cert:
            assert cert.subject == "CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR"  # EUC-KR from the library
            assert cert.version == 3 and cert.signature_algorithm == "sha256WithRSAEncryption"
            assert cert.validity == (datetime(2013, 1, 1, 9, tzinfo=KOREA_TIME),
                                     datetime(2050, 1, 1, 8, 59, 59, tzinfo=KOREA_TIME))
            key = cert.public_key
            assert (key.algorithm, key.parameters["e"]) == ("rsaEncryption", 65537)
            assert key.parameters["n"].to_bytes(256, "big") in cert.der and bytes.fromhex(cert.serial) in cert.der
            assert cert.der.endswith(cert.signature) and cert.subject_der in cert.der
    with Certificate.load(CERTS / "user_kcdsa.der") as cert:
        assert list(cert.public_key.parameters) == ["p", "q", "g", "y"]


def test_extensions_as_text_lists_or_none():
    with Certificate.load(CERTS / "ext_korean.der") as cert:
        assert "실명 = 김철수 Kim" in cert.subject_alt_name
        assert cert.policy_ids == ["1.2.410.200004.5.1.1.5", "1.2.410.200004.5.1.1.7", "2.5.29.32.0"]
    with Certificate.load(CERTS / "user_utf8.der") as cert:
        assert cert.crl_urls == ["http://crl.quillon.test/ca1.crl", "ldap://ldap.quillon.test/cn=crl1",
                                 "http://crl.quillon.test/ca2.crl"]
    with Certificate.load(CERTS / "ca.der") as cert:
        assert cert.policy_ids is cert.crl_urls is cert.subject_alt_name is cert.vid is None


def test_vid_and_verdicts_as_booleans():
    idn = "8001011234567"  # made up, as in make_vid_certs.sh
    with PrivateKey((FIXTURES / "pkcs8/rsa_attrs_plain.der").read_bytes()) as key, \
            Certificate.load(CERTS / "vid_sha256.der") as cert, Certificate.load(CERTS / "ca.der") as ca:
        random = key.random_num
        assert random == bytes(range(20)) and cert.vid[0] == "sha256" and len(cert.vid[1]) == 32
        assert cert.check_vid(idn, random) is cert.check_vid(idn.encode(), random) is True
        assert cert.check_vid("8001011234568", random) is False
        assert cert.verify_issued_by(ca) is True and ca.verify_issued_by(cert) is False
    with PrivateKey((FIXTURES / "pkcs8/user_plain.der").read_bytes()) as key:
        assert key.random_num is None
