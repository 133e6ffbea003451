from quilloncrypto import SeedCbc, base64_decode, base64_encode, random_bytes

KEY, IV = bytes(range(16)), bytes(16)


def test_base64_takes_str_or_bytes_and_gives_str():
    data = random_bytes(100)
    text = base64_encode(data)
    assert isinstance(text, str)
    assert base64_decode(text) == base64_decode(text.encode()) == base64_decode(bytearray(text.encode())) == data
    assert base64_encode(b"") == "" and base64_decode("\n\n") == b""  # nothing to decode is no failure


def test_random_bytes_sizes():
    assert random_bytes(0) == b"" and len(random_bytes(33)) == 33 and random_bytes(16) != random_bytes(16)


def test_seed_round_trip_keeps_key_and_iv_apart():
    cipher = SeedCbc(KEY, IV)
    assert (cipher.key, cipher.iv) == (KEY, IV)
    for data in (b"", bytes(range(17))):
        assert SeedCbc(KEY, IV).decrypt(cipher.encrypt(data)) == data
    fresh = SeedCbc()
    assert len(fresh.key) == len(fresh.iv) == 16 and fresh.key != SeedCbc().key
