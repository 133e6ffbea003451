"""QuillonCrypto for Python: certificates, private keys, smart cards, the certificate exchange,
PFX files, session keys, SEED-CBC, Base64 and random bytes over the QuillonCrypto shared library (ctypes, no
dependencies).

Each export family is one module (base64, random, crypt, cert, prikey, pfx, npki, card, exchange, session, pkcs7, trust).
"""
from ._library import ENVIRONMENT_VARIABLE, library_path
from .base64 import base64_decode, base64_encode
from .card import SmartCard
from .cert import KOREA_TIME, Certificate, PublicKey
from .crypt import SeedCbc
from .errors import QuillonError
from .exchange import ExchangeSession
from .npki import NpkiPair, find_certificates
from .pfx import Pfx
from .pkcs7 import cms_decrypt, cms_sign, cms_verify, envelope
from .prikey import KeyCipher, PrivateKey
from .random import random_bytes
from .session import GeneratedKeyPair, decode_keyboard, decode_keyboard_blocks, decrypt_session_key
from .trust import TrustStore

__version__ = "0.1.0"
__all__ = ["Certificate", "ENVIRONMENT_VARIABLE", "ExchangeSession", "GeneratedKeyPair", "KOREA_TIME", "KeyCipher",
           "NpkiPair", "Pfx", "PrivateKey", "PublicKey", "QuillonError", "SeedCbc", "SmartCard", "TrustStore", "base64_decode", "base64_encode", "cms_decrypt", "cms_sign",
           "cms_verify",
           "decode_keyboard", "decode_keyboard_blocks", "decrypt_session_key", "envelope", "find_certificates", "library_path",
           "random_bytes"]
