"""QuillonCrypto for Python: certificates, the certificate exchange, SEED-CBC, Base64 and random
bytes over the QuillonCrypto shared library (ctypes, no dependencies).

Each export family is one module (base64, random, crypt, cert, exchange); the private-key, disk and
card media, PKCS#7/#12 and session-key families join the same way.
"""
from ._library import ENVIRONMENT_VARIABLE, library_path
from .base64 import base64_decode, base64_encode
from .cert import KOREA_TIME, Certificate, PublicKey
from .crypt import SeedCbc
from .errors import QuillonError
from .exchange import ExchangeSession
from .random import random_bytes

__version__ = "0.1.0"
__all__ = ["Certificate", "ENVIRONMENT_VARIABLE", "ExchangeSession", "KOREA_TIME", "PublicKey", "QuillonError",
           "SeedCbc", "base64_decode", "base64_encode", "library_path", "random_bytes"]
