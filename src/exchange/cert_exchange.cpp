#include "exchange/cert_exchange.h"

#include <cstring>

#include "core/mem.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/hmac.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "core/secret.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace quillon {
namespace {

using PairOwner = Owned<CertKeyPair, CERTKEY_Free>;
using SealedOwner = Owned<SealedMessage, SEALED_Free>;

constexpr size_t kMacLength = 20;
constexpr int kRsaPkcs1Type2 = 1;

// SHA-1 of code_key followed by the session key; the working copy holds at most 48 key bytes.
bool MacKey(const CertExchangeSession* session, uint8_t key[20]) {
    if (session->session_key_length > kMaxSessionKeyLength) return false;
    uint8_t material[16 + kMaxSessionKeyLength];
    std::memcpy(material, session->code_key, 16);
    std::memcpy(material + 16, session->session_key, session->session_key_length);
    const bool ok = SHA1_Digest(material, 16 + session->session_key_length, key) == 1;
    MEM_Wipe(material, sizeof material);
    return ok;
}

bool ComputeMac(const CertExchangeSession* session, const uint8_t* plain, size_t length, uint8_t mac[20]) {
    uint8_t key[20];
    const bool ok = MacKey(session, key) && HMAC_SHA1(key, sizeof key, plain, length, mac) == 1;
    MEM_Wipe(key, sizeof key);
    return ok;
}

// The top byte of the version's minimal big-endian form decides whether a MAC is carried.
uint32_t VersionTopByte(const BigNum* version) {
    const int bytes = (BIGNUM_NumBits(version) + 7) / 8;
    return bytes == 0 ? 0 : BIGNUM_GetWord(version) >> (8 * (bytes - 1));
}


}  // namespace

void CERTKEY_Free(CertKeyPair* pair) {
    if (!pair) return;
    ASNVALUE_Free(pair->certificate);
    ASNVALUE_Free(pair->private_key);
    MEM_Free(pair);
}

void SEALED_Free(SealedMessage* message) {
    if (!message) return;
    BIGNUM_Free(message->version);
    ASNVALUE_Free(message->encrypted);
    DER_Free(message->mac);
    MEM_Free(message);
}

int CES_CheckCode(const char* code) {
    if (!code) return 0;
    // Exactly 16 characters are read: a host may pass a bare 16-byte array, so the byte after
    // them may not be ours to read. A terminator among them is not a digit and stops the loop.
    int sum = 0;
    for (size_t i = 0; i < kExchangeCodeLength; ++i) {
        if (code[i] < '0' || code[i] > '9') return 0;
        if (i < kExchangeCodeLength - 1) sum += (code[i] - '0') * static_cast<int>(i % 8 + 2);
    }
    return (11 - sum % 11) % 10 == code[kExchangeCodeLength - 1] - '0' ? 1 : 0;
}

int CES_DeriveCodeKey(const char* code, uint8_t code_key[16]) {
    if (!CES_CheckCode(code)) return 0;
    uint8_t digest[20];
    if (!SHA1_Digest(reinterpret_cast<const uint8_t*>(code), kExchangeCodeLength, digest)) return 0;
    std::memcpy(code_key, digest, 16);
    MEM_Wipe(digest, sizeof digest);
    return 1;
}

int32_t CERTKEY_ToDer(const CertKeyPair* pair, uint8_t** out) {
    DerElementPtr element(DER_New());
    if (!element) return 0;
    for (const AsnValue* value : {pair->certificate, pair->private_key})
        if (!DER_Append(element.get(), DER_OCTET_STRING, value, static_cast<int32_t>(value->length))) return 0;
    return DER_ToBytes(element.get(), out);
}

CertKeyPair* CERTKEY_FromDer(const DerElement* element) {
    PairOwner pair(MEM_New<CertKeyPair>());
    if (!pair) return nullptr;
    pair->certificate = static_cast<AsnValue*>(DER_GetItem(element, 0, DER_OCTET_STRING));
    pair->private_key = static_cast<AsnValue*>(DER_GetItem(element, 1, DER_OCTET_STRING));
    if (!pair->certificate || !pair->private_key) return nullptr;
    return pair.release();
}

SealedMessage* CES_Seal(const CertExchangeSession* session, const CertKeyPair* pair) {
    // Before the peer's key arrives the key bytes are zeros: sealing under them would expose the pair.
    if (session->session_key_length == 0) return nullptr;
    uint8_t* der = nullptr;
    const int32_t der_length = CERTKEY_ToDer(pair, &der);
    if (der_length <= 0) return nullptr;
    // The plaintext holds the private key: released (and so wiped) whatever happens.
    const size_t plain_length = static_cast<size_t>(der_length);
    const MemBlock plain(der);

    SealedOwner sealed(MEM_New<SealedMessage>());
    SecureBytes cipher;
    if (!sealed || !SEED_CBC_CryptBytes(kEncrypt, session->session_key, nullptr, plain.get(), plain_length, cipher)) return nullptr;
    sealed->version = BIGNUM_New();
    sealed->encrypted = ASNVALUE_FromOctets(cipher.data(), static_cast<uint32_t>(cipher.size()));
    if (!sealed->version || !BIGNUM_SetWord(sealed->version, 1) || !sealed->encrypted) return nullptr;

    uint8_t mac[kMacLength];
    if (!ComputeMac(session, plain.get(), plain_length, mac)) return nullptr;
    AsnValuePtr mac_value(ASNVALUE_FromOctets(mac, kMacLength));
    AsnValuePtr oid(OBJ_ValueFromNid(NID_HMAC_WITH_SHA1));
    sealed->mac = DER_New();
    if (!mac_value || !oid || !sealed->mac ||
        !DER_Append(sealed->mac, DER_OID, oid.get(), static_cast<int32_t>(oid->length)) ||
        !DER_Append(sealed->mac, DER_OCTET_STRING, mac_value.get(), kMacLength))
        return nullptr;
    return sealed.release();
}

int32_t CES_EncodeSealed(const SealedMessage* message, uint8_t** out) {
    DerElementPtr element(DER_New());
    if (!element) return 0;
    if (!DER_AppendInteger(element.get(), message->version) ||
        !DER_Append(element.get(), DER_OCTET_STRING, message->encrypted,
                    static_cast<int32_t>(message->encrypted->length)))
        return 0;
    if (VersionTopByte(message->version) == 1 &&
        (!message->mac || !DER_Append(element.get(), DER_SEQUENCE, message->mac, 0)))
        return 0;
    return DER_ToBytes(element.get(), out);
}

SealedMessage* CES_DecodeSealed(const DerElement* element) {
    SealedOwner sealed(MEM_New<SealedMessage>());
    if (!sealed) return nullptr;
    sealed->version = static_cast<BigNum*>(DER_GetItem(element, 0, DER_INTEGER));
    sealed->encrypted = static_cast<AsnValue*>(DER_GetItem(element, 1, DER_OCTET_STRING));
    if (!sealed->version || !sealed->encrypted) return nullptr;
    const int version_bytes = (BIGNUM_NumBits(sealed->version) + 7) / 8;
    if (version_bytes < 1 || version_bytes > 4) return nullptr;
    if (VersionTopByte(sealed->version) == 1)
        sealed->mac = static_cast<DerElement*>(DER_GetItem(element, 2, DER_SEQUENCE));
    return sealed.release();
}

CertKeyPair* CES_Open(const CertExchangeSession* session, const SealedMessage* message) {
    if (session->session_key_length == 0) return nullptr;
    const bool has_mac = VersionTopByte(message->version) == 1;
    AsnValuePtr received(has_mac && message->mac
                             ? static_cast<AsnValue*>(DER_GetItem(message->mac, 1, DER_OCTET_STRING))
                             : nullptr);
    if (has_mac && !received) return nullptr;
    // Whole blocks, decrypted without looking at the padding: the MAC covers the plaintext, so
    // the padding cannot be checked before it. From here to the one verdict below, a bad pad
    // and a bad MAC take the same path.
    const AsnValue* encrypted = message->encrypted;
    const size_t length = encrypted->length;
    if (length == 0 || length % kSeedBlockSize != 0 || !encrypted->data) return nullptr;
    SecureBytes plain(length);
    SeedCbcContext context;
    const bool decrypted = SEED_CBC_Init(&context, kDecrypt, session->session_key, nullptr) == 1 &&
                           SEED_CBC_Blocks(&context, plain.data(), encrypted->data, length) == 1;
    MEM_Wipe(&context, sizeof context);
    if (!decrypted) return nullptr;
    // The pad count is the last byte; one longer than the message leaves the whole message to
    // the MAC, which then fails.
    const size_t pad = plain[length - 1];
    const size_t pad_fits = 0 - static_cast<size_t>(pad <= length);
    const size_t plain_length = length - (pad & pad_fits);
    bool authentic = true;
    if (has_mac) {
        uint8_t expected[kMacLength];
        if (!ComputeMac(session, plain.data(), plain_length, expected)) return nullptr;
        authentic = CT_Equal(received->data, received->length, expected, sizeof expected);
        MEM_Wipe(expected, sizeof expected);
    }
    if (!(authentic & (pad_fits != 0))) return nullptr;
    DerElementPtr parsed(DER_Parse(plain.data(), plain_length));
    return parsed ? CERTKEY_FromDer(parsed.get()) : nullptr;
}

namespace {

// A failed key issue leaves the session without a key, ready for another attempt.
void DropSessionRsaKey(CertExchangeSession* session) {
    RSAKEY_Free(session->rsa_key);
    session->rsa_key = nullptr;
    BIGNUM_Free(session->public_exponent);
    session->public_exponent = nullptr;
}

int32_t IssuePublicKey(CertExchangeSession* session, uint8_t** out) {
    // A repeated call replaces the key of the earlier one.
    RSAKEY_Free(session->rsa_key);
    session->rsa_key = nullptr;
    if (!session->public_exponent && !(session->public_exponent = BIGNUM_New())) return 0;
    if (!BIGNUM_SetWord(session->public_exponent, 3)) return 0;
    if (!(session->rsa_key = RSAKEY_New()) ||
        !RSAKEY_Generate(session->rsa_key, session->public_exponent, kSessionRsaBits))
        return 0;

    const BigNum* n = session->rsa_key->n;
    Bytes modulus((BIGNUM_NumBits(n) + 7) / 8);
    BIGNUM_ToBytes(n, modulus.data());
    SecureBytes cipher;
    if (!SEED_CBC_CryptBytes(kEncrypt, session->code_key, nullptr, modulus.data(), modulus.size(), cipher)) return 0;

    DerElementPtr message(DER_New());
    BigNumPtr zero(BIGNUM_New());
    AsnValuePtr encrypted(ASNVALUE_FromOctets(cipher.data(), static_cast<uint32_t>(cipher.size())));
    if (!message || !zero || !encrypted || !DER_Append(message.get(), DER_INTEGER, zero.get(), 1) ||
        !DER_Append(message.get(), DER_OCTET_STRING, encrypted.get(), static_cast<int32_t>(encrypted->length)))
        return 0;
    return DER_ToBytes(message.get(), out);
}

}  // namespace

CertExchangeSession* CES_New() {
    return MEM_New<CertExchangeSession>();
}

void CES_Close(CertExchangeSession* session) {
    if (!session) return;
    BIGNUM_Free(session->public_exponent);
    RSAKEY_Free(session->rsa_key);
    MEM_Free(session);
}

int32_t CES_PublicKeyMessage(CertExchangeSession* session, const char* code, uint8_t** out) {
    if (!CES_DeriveCodeKey(code, session->code_key)) return 0;
    int32_t length = 0;
    try {
        length = IssuePublicKey(session, out);
    } catch (...) {
        DropSessionRsaKey(session);
        throw;
    }
    if (length <= 0) DropSessionRsaKey(session);
    return length > 0 ? length : 0;
}

int CES_SetSessionKey(CertExchangeSession* session, const uint8_t* message, size_t length) {
    DerElementPtr parsed(DER_Parse(message, length));
    if (!parsed || DER_ItemCount(parsed.get()) != 2) return 0;
    AsnValuePtr sealed_key(static_cast<AsnValue*>(DER_GetItem(parsed.get(), 1, DER_OCTET_STRING)));
    if (!sealed_key) return 0;
    // Decrypt aside, so that a refused key leaves the current one intact.
    uint8_t key[sizeof session->session_key];
    uint32_t key_length = 0;
    const int decrypted = RSA_PrivateDecrypt(session->rsa_key, key, &key_length, sealed_key->data,
                                             sealed_key->length, kRsaPkcs1Type2);
    // An empty key would leave the session keyed with zeros.
    const bool accepted = decrypted > 0 && key_length > 0 && key_length <= kMaxSessionKeyLength;
    if (accepted) {
        // The cipher keys read 16 bytes whatever the key's length: a shorter key replacing a
        // longer one must see zeros there, as in a new session, not the earlier key's tail.
        std::memcpy(session->session_key, key, key_length);
        MEM_Wipe(session->session_key + key_length, sizeof session->session_key - key_length);
        session->session_key_length = key_length;
    }
    MEM_Wipe(key, sizeof key);
    return accepted ? 1 : 0;
}

int32_t CES_SealPair(const CertExchangeSession* session, const uint8_t* certificate, uint32_t certificate_length,
                     const uint8_t* private_key, uint32_t private_key_length, uint8_t** out) {
    PairOwner pair(MEM_New<CertKeyPair>());
    if (!pair) return 0;
    pair->certificate = ASNVALUE_FromOctets(certificate, certificate_length);
    pair->private_key = ASNVALUE_FromOctets(private_key, private_key_length);
    if (!pair->certificate || !pair->private_key) return 0;
    SealedOwner sealed(CES_Seal(session, pair.get()));
    return sealed ? CES_EncodeSealed(sealed.get(), out) : 0;
}

CertKeyPair* CES_OpenMessage(const CertExchangeSession* session, const uint8_t* message, size_t length) {
    DerElementPtr parsed(DER_Parse(message, length));
    if (!parsed) return nullptr;
    SealedOwner sealed(CES_DecodeSealed(parsed.get()));
    return sealed ? CES_Open(session, sealed.get()) : nullptr;
}

}  // namespace quillon
