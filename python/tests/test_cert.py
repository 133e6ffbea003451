import shutil
import subprocess
import time
from datetime import datetime, timedelta, timezone

import pytest

from conftest import REPOSITORY
from quilloncrypto import KOREA_TIME, Certificate, QuillonError

CERTS = REPOSITORY / "tests/fixtures/certs"
RSA_FIXTURES = ["ca.der", "user_bmp.der", "user_sha1.der", "user_strings.der", "user_uid.der", "user_utf8.der"]


@pytest.fixture(autouse=True)
def korean_time_zone(monkeypatch):
    # The library reads certificate times through the C library's local time, so its Korean
    # time is right in a process that runs in Korea's zone.
    monkeypatch.setenv("TZ", "KST-9")
    time.tzset()
    yield
    monkeypatch.undo()
    time.tzset()


def openssl(path, *fields):
    """openssl's view of the certificate, the independent reading."""
    out = subprocess.run(["openssl", "x509", "-inform", "DER", "-in", str(path), "-noout", *fields],
                         check=True, capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def openssl_time(text):
    return datetime.strptime(text, "%b %d %H:%M:%S %Y GMT").replace(tzinfo=timezone.utc)


@pytest.mark.skipif(not shutil.which("openssl"), reason="openssl command line needed")
@pytest.mark.parametrize("name", RSA_FIXTURES)
def test_matches_openssl(name):
    path = CERTS / name
    expected = openssl(path, "-serial", "-dates", "-modulus")
    with Certificate.load(path) as cert:
        serial = int(expected["serial"], 16)  # openssl shows a negative serial with a sign
        assert int(cert.serial, 16) == serial % (1 << (4 * len(cert.serial)))
        not_before, not_after = cert.validity
        assert not_before == openssl_time(expected["notBefore"])
        assert not_after == openssl_time(expected["notAfter"])
        assert not_before.utcoffset() == timedelta(hours=9)
        key = cert.public_key
        assert key.algorithm == "rsaEncryption"
        assert key.parameters["n"] == int(expected["Modulus"], 16)
        assert cert.signature == cert.der[-len(cert.signature):]
        assert cert.subject_der in cert.der


def test_korean_names_as_str_from_path_or_bytes():
    path = CERTS / "user_utf8.der"
    for source in (path, str(path), path.read_bytes(), bytearray(path.read_bytes())):
        with Certificate.load(source) as cert:
            assert cert.subject == "CN=홍길동,OU=개발팀,O=퀼론 시험,C=KR"
            assert cert.issuer == "CN=Quillon Test Root CA,O=Quillon Test,C=KR"
            assert cert.version == 3
            assert cert.signature_algorithm == "sha256WithRSAEncryption"
            assert cert.validity[0] == datetime(2013, 1, 1, 9, 0, tzinfo=KOREA_TIME)


def test_kcdsa_key_parameters():
    with Certificate.load(CERTS / "user_kcdsa.der") as cert:
        assert set(cert.public_key.parameters) == {"p", "q", "g", "y"}


@pytest.mark.parametrize("data, code", [(b"", -51), (b"\x30\x03\x02\x01\x00", -50),
                                        ((CERTS / "ca.der").read_bytes()[:100], -51),
                                        ((CERTS / "user_gentime.der").read_bytes(), -50),
                                        ((CERTS / "user_v1.der").read_bytes(), -50)])
def test_undecodable_input_raises_with_code(data, code):
    with pytest.raises(QuillonError) as caught:
        Certificate.load(data)
    assert caught.value.code == code and str(code) in str(caught.value)


def test_closed_certificate_refuses_queries():
    cert = Certificate.load(CERTS / "ca.der")
    cert.close()
    with pytest.raises(ValueError):
        cert.subject
    with pytest.raises(TypeError):
        Certificate.load(42)


def test_extension_texts_korean_lists_and_absence():
    with Certificate.load(CERTS / "ext_korean.der") as cert:
        assert "실명 = 홍길동" in cert.subject_alt_name
        assert cert.authority_key_id.startswith("인증서 발급자:")
        assert cert.key_usage.startswith("digitalSignature, nonRepudiation")
        assert cert.policy_ids == ["1.2.410.200004.5.1.1.5", "1.2.410.200004.5.1.1.7", "2.5.29.32.0"]
        assert cert.certificate_policies.count("Certificate Policy:") == len(cert.policy_ids)
        assert cert.crl_urls == ["ldap://ldap.quillon.test/cn=crl"]
        assert cert.subject_key_id == "0001FF"
    with Certificate.load(CERTS / "ca.der") as cert:
        assert cert.basic_constraints == "CA : TRUE, PathLenConstraint : 0"
        assert cert.policy_ids is cert.crl_urls is cert.extended_key_usage is cert.subject_alt_name is None


def test_vid_with_the_keys_random_number():
    from quilloncrypto import PrivateKey
    pkcs8 = REPOSITORY / "tests/fixtures/pkcs8"
    idn = "8001011234567"  # made up, as in make_vid_certs.sh
    with PrivateKey((pkcs8 / "rsa_attrs_plain.der").read_bytes()) as key, \
            Certificate.load(CERTS / "vid_sha256.der") as cert, Certificate.load(CERTS / "ca.der") as other:
        random = key.random_num
        assert random == bytes(range(20))
        name, value = cert.vid
        assert (name, len(value)) == ("sha256", 32)
        assert cert.check_vid(idn, random) is True
        assert cert.check_vid(idn.encode(), random) is True
        assert cert.check_vid("8001011234568", random) is False
        assert other.vid is None
        for certificate, number, code in ((cert, "800101-1234567", -11), (other, idn, -53)):
            with pytest.raises(QuillonError) as error:
                certificate.check_vid(number, random)
            assert error.value.code == code
    with PrivateKey((pkcs8 / "user_plain.der").read_bytes()) as key:
        assert key.random_num is None
