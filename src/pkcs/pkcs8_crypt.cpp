#include "pkcs/pkcs8_crypt.h"

#include <cstring>
#include <utility>

#include "asn1/object_table.h"
#include "asn1/oid_text.h"
#include "bignum/bignum.h"
#include "cipher/cbc_cipher.h"
#include "cipher/digest.h"
#include "cipher/kdf.h"
#include "cipher/pbe.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "core/mem.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"

namespace quillon {
namespace {

constexpr size_t kKeySize = 16;
constexpr size_t kSaltSize = 8;
constexpr size_t kPkcs12BlockSize = 8;  // DES and RC2
constexpr int kPkcs12KeyId = 1, kPkcs12IvId = 2;

// Key and IV of scheme 89.
bool Pkcs12KeyAndIv(const uint8_t* password, size_t password_length, const AsnValue* salt, uint32_t iterations,
                    uint8_t* key, uint8_t* iv) {
    return PKCS12_DeriveKey(password, password_length, salt->data, salt->length, kPkcs12KeyId, iterations, kKeySize,
                            key) &&
           PKCS12_DeriveKey(password, password_length, salt->data, salt->length, kPkcs12IvId, iterations, kKeySize,
                            iv);
}

// Counts a caller may write or read: 1 to the cap.
bool CountAllowed(uint32_t iterations) { return iterations >= 1 && iterations <= kPkcs8MaxIterations; }

// The PBES2 cipher's NID by its identifier.
int CipherNid(const PbeParameters* params) {
    return params->encryptionScheme ? OBJ_NidFromValue(params->encryptionScheme->algorithm) : NID_UNDEF;
}

// The PBES2 cipher's IV: an OCTET STRING of one block.
const uint8_t* Pbes2Iv(const PbeParameters* params, const CbcCipher* cipher) {
    const AlgorithmId* scheme = params->encryptionScheme;
    if (!cipher || !scheme || !scheme->parameters) return nullptr;
    const AsnValue* iv = scheme->parameters;
    return iv->type == DER_OCTET_STRING && iv->length == cipher->block_size && iv->data ? iv->data : nullptr;
}

// The PRF: HMAC over a hash of the digest table, named by its HMAC identifier.
const DigestAlgorithm* Pbes2Prf(const PbeParameters* params) {
    const DigestAlgorithm* digest = DIGEST_FromNid(params->prf_nid);
    return digest && digest->hmac_nid == params->prf_nid ? digest : nullptr;
}

bool IsScheme(int scheme) {
    return scheme == NID_PBE_WITH_SHA1_AND_SEED_CBC || scheme == NID_SEED_CBC ||
           scheme == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC || scheme == NID_PBES2 || PBE_IsPkcs12Scheme(scheme);
}

bool DerivationReadable(const PbeParameters* params, int scheme) {
    if (!params->salt || !params->iterations) return false;
    if (scheme != NID_PBES2) return true;
    if (params->kdf_nid != NID_PBKDF2 || !Pbes2Prf(params)) return false;
    // keyLength, where present, must be the cipher's key size; for a cipher we do not know,
    // 16 as before.
    const CbcCipher* cipher = CBC_FromNid(CipherNid(params));
    const auto expected = static_cast<int32_t>(cipher ? cipher->key_size : kKeySize);
    return params->key_length == -1 || params->key_length == expected;
}

// One TLV header within [at, end): the contents' span, or false.
bool ReadTlv(const uint8_t*& at, const uint8_t* end, uint8_t* tag, const uint8_t** contents, size_t* length) {
    if (end - at < 2) return false;
    *tag = at[0];
    if ((*tag & kDerTagNumberMask) == kDerTagNumberMask) return false;
    size_t n = at[1];
    const uint8_t* p = at + 2;
    if (n & 0x80) {
        const size_t octets = n & 0x7F;
        if (octets == 0 || octets > 4 || static_cast<size_t>(end - p) < octets) return false;
        n = 0;
        for (size_t i = 0; i < octets; ++i) n = n << 8 | *p++;
    }
    if (static_cast<size_t>(end - p) < n) return false;
    *contents = p;
    *length = n;
    at = p + n;
    return true;
}

// Whether the plaintext is exactly one PrivateKeyInfo SEQUENCE { INTEGER 0 or 1,
// SEQUENCE { OID, ... }, OCTET STRING, [0] OPTIONAL, [1] OPTIONAL } - which a wrong password
// practically never yields, however the key inside is made. The algorithm identifier's
// contents come back in *oid.
bool IsPrivateKeyInfoShape(const uint8_t* der, size_t length, const uint8_t** oid, size_t* oid_length) {
    const uint8_t* at = der;
    const uint8_t* end = der + length;
    uint8_t tag = 0;
    const uint8_t* body = nullptr;
    size_t n = 0;
    if (!ReadTlv(at, end, &tag, &body, &n) || tag != kDerSequenceId || at != end) return false;
    at = body;
    end = body + n;
    const uint8_t* item = nullptr;
    if (!ReadTlv(at, end, &tag, &item, &n) || tag != DER_INTEGER || n != 1 || item[0] > 1) return false;
    if (!ReadTlv(at, end, &tag, &item, &n) || tag != kDerSequenceId) return false;
    const uint8_t* inner = item;
    if (!ReadTlv(inner, item + n, &tag, oid, oid_length) || tag != DER_OID || *oid_length == 0) return false;
    if (!ReadTlv(at, end, &tag, &item, &n) || tag != DER_OCTET_STRING) return false;
    if (at < end && at[0] == kDerExplicit0Id && !ReadTlv(at, end, &tag, &item, &n)) return false;
    if (at < end && (at[0] == 0x81 || at[0] == 0xA1) && !ReadTlv(at, end, &tag, &item, &n)) return false;
    return at == end;
}

bool IsOid(const uint8_t* contents, size_t length, int nid) {
    const char* text = OBJ_Row(nid)->oid;
    uint8_t expected[kOidTextMax];
    const size_t n = OID_TextToContents(text, std::strlen(text), expected, sizeof expected);
    return n == length && std::memcmp(contents, expected, n) == 0;
}

}  // namespace

bool PKCS8_SchemeReadable(const EncryptedPrivateKeyInfo* epki, bool need_cipher) {
    const int scheme = EPKI_SchemeNid(epki);
    if (!IsScheme(scheme)) return false;
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params || !DerivationReadable(params.get(), scheme)) return false;
    if (scheme != NID_PBES2 || !need_cipher) return true;
    return Pbes2Iv(params.get(), CBC_FromNid(CipherNid(params.get()))) != nullptr;
}

int PKCS8_CipherIndex(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length) {
    if (!password || password_length == 0) return 0;
    return PKCS8_CipherIndexOf(epki);
}

int PKCS8_CipherIndexOf(const EncryptedPrivateKeyInfo* epki) {
    if (!epki) return 0;
    const int scheme = EPKI_SchemeNid(epki);
    if (scheme == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC || PBE_IsPkcs12Scheme(scheme)) return scheme;
    if (scheme != NID_PBES2) return 0;
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params) return 0;
    // The standard ARIA-128-CBC identifier reported 92 before it had a row of its own.
    const int nid = CipherNid(params.get());
    return nid == NID_ARIA_128_CBC ? NID_OID_ARIA_CBC : nid;
}

int PKCS8_DecryptBytes(const EncryptedPrivateKeyInfo* epki, const uint8_t* password, size_t password_length,
                       MemBytes* out) {
    if (!epki || !out || !password || password_length == 0 || !epki->encryptedData) return 0;
    const int scheme = EPKI_SchemeNid(epki);
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params || !DerivationReadable(params.get(), scheme)) return 0;
    const uint32_t iterations = BIGNUM_GetWord(params->iterations);
    if (!CountAllowed(iterations)) return 0;
    const AsnValue* salt = params->salt;
    const AsnValue* cipher = epki->encryptedData;
    if (!cipher->data || cipher->length == 0) return 0;
    MemBlock plain(static_cast<uint8_t*>(MEM_Alloc(cipher->length)));
    if (!plain) return 0;
    size_t plain_length = 0;
    const auto count = static_cast<int32_t>(iterations);
    int decrypted = 0;
    switch (scheme) {
        case NID_PBE_WITH_SHA1_AND_SEED_CBC:
        case NID_SEED_CBC:
            decrypted = PBE_SEED_Decrypt(cipher->data, cipher->length, password, password_length, salt->data,
                                         salt->length, count, plain.get(), &plain_length,
                                         scheme == NID_SEED_CBC ? kPbeIvFixed : kPbeIvDerived);
            break;
        case NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC: {
            SecretArray<uint8_t, kKeySize> key, iv;
            decrypted = Pkcs12KeyAndIv(password, password_length, salt, iterations, key.data, iv.data) &&
                        SEED_CBC_Crypt(kDecrypt, key.data, iv.data, cipher->data, cipher->length, plain.get(),
                                       &plain_length) == 1;
            break;
        }
        case NID_PBES2: {
            const CbcCipher* algorithm = CBC_FromNid(CipherNid(params.get()));
            const uint8_t* iv = Pbes2Iv(params.get(), algorithm);
            decrypted = iv && PBES2_Crypt(kDecrypt, Pbes2Prf(params.get()), algorithm, password, password_length,
                                          salt->data, salt->length, iterations, iv, cipher->data, cipher->length,
                                          plain.get(), &plain_length);
            break;
        }
        default:
            if (!PBE_IsPkcs12Scheme(scheme)) return 0;
            decrypted = PBE_Pkcs12Crypt(kDecrypt, scheme, password, password_length, salt->data, salt->length,
                                        iterations, cipher->data, cipher->length, plain.get(), &plain_length);
            break;
    }
    if (decrypted != 1) return 0;
    out->Reset(plain.release(), static_cast<uint32_t>(plain_length));
    return 1;
}

int PKCS8_Decrypt(const EncryptedPrivateKeyInfo* epki, PrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length, bool* other_key) {
    if (!out) return 0;
    MemBytes plain;  // the plaintext key
    if (!PKCS8_DecryptBytes(epki, password, password_length, &plain)) return 0;
    const size_t plain_length = plain.length;
    // The unpadding checks little, so a wrong password shows as plaintext that is not a
    // PrivateKeyInfo SEQUENCE.
    if (plain_length < 2 || plain.data[0] != kDerSequenceId) return 0;
    if (PKCS8_DecodeBytes(plain.data, plain_length, out)) return 1;
    const uint8_t* oid = nullptr;
    size_t oid_length = 0;
    if (other_key && IsPrivateKeyInfoShape(plain.data, plain_length, &oid, &oid_length)) {
        // The right password on a key we do not load; an RSA or KCDSA key that fails to
        // decode stays a damaged file.
        *other_key = !IsOid(oid, oid_length, NID_RSA_ENCRYPTION) && !IsOid(oid, oid_length, NID_KCDSA1);
    }
    return 0;
}

namespace {

// The record of a scheme with PBE parameters (salt and count) around the ciphertext.
int StorePbe(int scheme, const uint8_t* cipher, size_t cipher_length, const uint8_t* salt, size_t salt_length,
             uint32_t iterations, EncryptedPrivateKeyInfo** out) {
    if (cipher_length > kDerMaxLength) return 0;
    EncryptedPrivateKeyInfoPtr epki(EPKI_New());
    AsnValuePtr oid(OBJ_ValueFromNid(scheme));
    PbeParametersPtr params(PBEPARAM_New());
    const uint8_t count[4] = {static_cast<uint8_t>(iterations >> 24), static_cast<uint8_t>(iterations >> 16),
                              static_cast<uint8_t>(iterations >> 8), static_cast<uint8_t>(iterations)};
    if (!epki || !oid || !params || !EPKI_SetAlgorithm(epki.get(), oid.get()) ||
        !EPKI_SetData(epki.get(), cipher, static_cast<uint32_t>(cipher_length)) ||
        !PBEPARAM_Set(params.get(), salt, static_cast<uint32_t>(salt_length), count, sizeof count) ||
        !EPKI_StorePbeParams(epki.get(), params.get()))
        return 0;
    EPKI_Store(std::move(epki), out);
    return 1;
}

}  // namespace

int PKCS8_Encrypt(const PrivateKeyInfo* key, EncryptedPrivateKeyInfo** out, const uint8_t* password,
                  size_t password_length, const uint8_t* salt, size_t salt_length, uint32_t iterations, int scheme) {
    if (!key || !out || !password || password_length == 0 || !CountAllowed(iterations)) return 0;
    if (scheme != NID_PBE_WITH_SHA1_AND_SEED_CBC && scheme != NID_SEED_CBC &&
        scheme != NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC)
        return 0;
    uint8_t random_salt[kSaltSize];
    if (!salt || salt_length == 0) {
        if (RANDOM_Bytes(random_salt, sizeof random_salt) != 1) return 0;
        salt = random_salt;
        salt_length = sizeof random_salt;
    }
    if (salt_length > kDerMaxLength) return 0;
    uint8_t* encoded = nullptr;
    const int32_t encoded_length = PKCS8_EncodeBytes(key, &encoded);
    const MemBlock plain(encoded);  // the plaintext key
    if (encoded_length <= 0) return 0;
    const auto plain_length = static_cast<size_t>(encoded_length);
    MemArray<uint8_t> cipher(plain_length + 32);
    if (!cipher) return 0;
    size_t cipher_length = 0;
    int encrypted = 0;
    if (scheme == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC) {
        const AsnValue salt_value{DER_OCTET_STRING, const_cast<uint8_t*>(salt), static_cast<uint32_t>(salt_length), 0};
        SecretArray<uint8_t, kKeySize> k, iv;
        encrypted = Pkcs12KeyAndIv(password, password_length, &salt_value, iterations, k.data, iv.data) &&
                    SEED_CBC_Crypt(kEncrypt, k.data, iv.data, plain.get(), plain_length, cipher.get(),
                                   &cipher_length) == 1;
    } else {
        encrypted = PBE_SEED_Encrypt(plain.get(), plain_length, password, password_length, salt, salt_length,
                                     static_cast<int32_t>(iterations), cipher.get(), &cipher_length,
                                     scheme == NID_SEED_CBC ? kPbeIvFixed : kPbeIvDerived);
    }
    if (encrypted != 1) return 0;
    return StorePbe(scheme, cipher.get(), cipher_length, salt, salt_length, iterations, out);
}

int PKCS8_EncryptPkcs12(const uint8_t* plain, size_t plain_length, EncryptedPrivateKeyInfo** out,
                        const uint8_t* password, size_t password_length, uint32_t iterations, int scheme) {
    if (!plain || plain_length == 0 || !out || !password || password_length == 0 || !CountAllowed(iterations) ||
        !PBE_IsPkcs12Scheme(scheme) || plain_length > kDerMaxLength - kPkcs12BlockSize)
        return 0;
    uint8_t salt[kSaltSize];
    if (RANDOM_Bytes(salt, sizeof salt) != 1) return 0;
    MemArray<uint8_t> cipher(plain_length + kPkcs12BlockSize);
    size_t cipher_length = 0;
    if (!cipher || PBE_Pkcs12Crypt(kEncrypt, scheme, password, password_length, salt, sizeof salt, iterations, plain,
                                   plain_length, cipher.get(), &cipher_length) != 1)
        return 0;
    return StorePbe(scheme, cipher.get(), cipher_length, salt, sizeof salt, iterations, out);
}

namespace {

// DER writing for the PBES2 parameters: small, fixed shapes.
void PutTlv(Bytes& out, uint8_t tag, const uint8_t* contents, size_t length) {
    out.push_back(tag);
    if (length < 0x80) {
        out.push_back(static_cast<uint8_t>(length));
    } else {
        uint8_t octets[4];
        size_t count = 0;
        for (size_t n = length; n; n >>= 8) octets[count++] = static_cast<uint8_t>(n);
        out.push_back(static_cast<uint8_t>(0x80 | count));
        while (count) out.push_back(octets[--count]);
    }
    out.insert(out.end(), contents, contents + length);
}

void PutTlv(Bytes& out, uint8_t tag, const Bytes& contents) { PutTlv(out, tag, contents.data(), contents.size()); }

bool PutOid(Bytes& out, int nid) {
    const char* text = OBJ_Row(nid)->oid;
    uint8_t contents[kOidTextMax];
    const size_t n = OID_TextToContents(text, std::strlen(text), contents, sizeof contents);
    if (n == 0 || nid == NID_UNDEF) return false;
    PutTlv(out, DER_OID, contents, n);
    return true;
}

// The contents of PBES2-params: SEQUENCE { PBKDF2 { salt, count, prf unless HMAC-SHA1 },
// SEQUENCE { cipher, IV } }.
bool Pbes2Parameters(const uint8_t* salt, size_t salt_length, uint32_t iterations, int prf_nid, int cipher_nid,
                     const uint8_t* iv, size_t iv_length, Bytes& out) {
    Bytes fields, kdf, scheme, count;
    PutTlv(fields, DER_OCTET_STRING, salt, salt_length);
    // The count as a minimal positive INTEGER.
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto b = static_cast<uint8_t>(iterations >> shift);
        if (!count.empty() || b || shift == 0) {
            if (count.empty() && (b & 0x80)) count.push_back(0);
            count.push_back(b);
        }
    }
    PutTlv(fields, DER_INTEGER, count);
    if (prf_nid != NID_HMAC_WITH_SHA1) {
        Bytes prf;
        if (!PutOid(prf, prf_nid)) return false;
        PutTlv(prf, DER_NULL, nullptr, 0);
        PutTlv(fields, kDerSequenceId, prf);
    }
    if (!PutOid(kdf, NID_PBKDF2) || !PutOid(scheme, cipher_nid)) return false;
    PutTlv(kdf, kDerSequenceId, fields);
    PutTlv(scheme, DER_OCTET_STRING, iv, iv_length);
    PutTlv(out, kDerSequenceId, kdf);
    PutTlv(out, kDerSequenceId, scheme);
    return true;
}

}  // namespace

int PKCS8_EncryptPbes2(const uint8_t* plain, size_t plain_length, EncryptedPrivateKeyInfo** out,
                       const uint8_t* password, size_t password_length, uint32_t iterations, int prf_nid,
                       int cipher_nid) {
    const DigestAlgorithm* prf = DIGEST_FromNid(prf_nid);
    const CbcCipher* cipher = CBC_FromNid(cipher_nid);
    if (!plain || plain_length == 0 || !out || !password || password_length == 0 || !CountAllowed(iterations))
        return 0;
    if (!prf || prf->hmac_nid != prf_nid || !cipher || plain_length > kDerMaxLength - kCbcMaxBlockSize) return 0;
    uint8_t salt[kPbes2SaltSize];
    uint8_t iv[kCbcMaxBlockSize];
    if (RANDOM_Bytes(salt, sizeof salt) != 1 || RANDOM_Bytes(iv, cipher->block_size) != 1) return 0;
    MemArray<uint8_t> encrypted(plain_length + cipher->block_size);
    if (!encrypted) return 0;
    size_t encrypted_length = 0;
    if (PBES2_Crypt(kEncrypt, prf, cipher, password, password_length, salt, sizeof salt, iterations, iv, plain,
                    plain_length, encrypted.get(), &encrypted_length) != 1)
        return 0;
    Bytes parameters;
    if (!Pbes2Parameters(salt, sizeof salt, iterations, prf_nid, cipher_nid, iv, cipher->block_size, parameters))
        return 0;
    EncryptedPrivateKeyInfoPtr epki(EPKI_New());
    AsnValuePtr oid(OBJ_ValueFromNid(NID_PBES2));
    AsnValuePtr value(ASNVALUE_New());
    if (!epki || !oid || !value || !EPKI_SetAlgorithm(epki.get(), oid.get()) ||
        !EPKI_SetData(epki.get(), encrypted.get(), static_cast<uint32_t>(encrypted_length)) ||
        !ASNVALUE_Set(value.get(), kDerSequenceId, parameters.data(), static_cast<uint32_t>(parameters.size())))
        return 0;
    ASNVALUE_Free(epki->encryptionAlgorithm->parameters);
    epki->encryptionAlgorithm->parameters = value.release();
    EPKI_Store(std::move(epki), out);
    return 1;
}

}  // namespace quillon
