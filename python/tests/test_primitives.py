import base64 as reference

import pytest

from quilloncrypto import QuillonError, SeedCbc, base64_decode, base64_encode, random_bytes

# SEED-CBC known answer (key 0..15, IV 0, 16 zero bytes), as the ciphers suite checks it.
KEY = bytes(range(16))


@pytest.mark.parametrize("length", [0, 1, 56, 57, 58, 1000])
def test_base64_matches_the_standard_library(length):
    data = random_bytes(length)
    text = base64_encode(data)
    assert text == "\n".join(reference.encodebytes(data).decode().split())
    assert base64_decode(text) == data
    assert base64_decode(text.replace("\n", "\r\n").encode()) == data


@pytest.mark.parametrize("text, expected", [("QQ", None), ("Q===", None), ("QQ==QQ==", None), ("QQ\r==", None),
                                            ("\n\n", b""), ("Q Q = =", b"A")])
def test_base64_decode_edges(text, expected):
    if expected is not None:
        assert base64_decode(text) == expected
        return
    with pytest.raises(QuillonError) as caught:
        base64_decode(text)
    assert caught.value.code == 0


def test_random_bytes_lengths_and_variety():
    assert random_bytes(0) == b""
    draws = {random_bytes(32) for _ in range(8)}
    assert len(draws) == 8 and all(len(d) == 32 for d in draws)
    with pytest.raises(ValueError):
        random_bytes(-1)


@pytest.mark.parametrize("length", [0, 1, 15, 16, 17, 4096])
def test_seed_round_trip_and_padding(length):
    cipher = SeedCbc(KEY, bytes(16))
    plaintext = bytes(i % 251 for i in range(length))
    ciphertext = cipher.encrypt(plaintext)
    assert len(ciphertext) == (length // 16 + 1) * 16
    assert SeedCbc(KEY, bytes(16)).decrypt(ciphertext) == plaintext
    assert cipher.key == KEY and cipher.iv == bytes(16)


def test_seed_known_answer():
    # SEED with key 00..0F on the zero block gives C1 1F 22 F2 01 40 50 50 84 48 35 97 E4 37 0F 43;
    # in CBC from a zero IV that is the first ciphertext block.
    first = SeedCbc(KEY, bytes(16)).encrypt(bytes(16))[:16]
    assert first.hex() == "c11f22f20140505084483597e4370f43"


def test_seed_random_key_and_errors():
    cipher = SeedCbc()
    assert len(cipher.key) == 16 and len(cipher.iv) == 16 and cipher.key != SeedCbc().key
    for key, iv, code in [(b"short", bytes(16), -76), (KEY, b"", -77), (b"", b"", -76)]:
        with pytest.raises(QuillonError) as caught:
            SeedCbc(key, iv)
        assert caught.value.code == code and caught.value.meaning.endswith("not 16 bytes")
    with pytest.raises(QuillonError) as caught:
        SeedCbc(KEY, bytes(16)).decrypt(b"not a block")
    assert caught.value.code == -75
