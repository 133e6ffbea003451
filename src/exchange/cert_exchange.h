// The certificate-exchange session: a per-session RSA key whose modulus travels under a key
// derived from the 16-digit exchange code, a session key returned RSA-encrypted by the peer,
// and the sealed message that carries a certificate and its private key (SEED-CBC under the
// session key, HMAC-SHA1 over the plaintext with a key bound to the code).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"
#include "asn1/asn_value.h"
#include "asn1/der.h"

namespace quillon {

struct BigNum;
struct RsaKey;

struct CertExchangeSession {
    RsaKey* rsa_key;               // null until GetCertExchangePublicKey succeeds
    uint8_t session_key[128];      // as decrypted by SetCertExchangeSessionKey
    uint32_t session_key_length;   // 0 until a session key is set
    BigNum* public_exponent;       // 3
    uint8_t code_key[16];          // SEED key derived from the exchange code
};

// The two byte strings every exchange form carries, as OCTET STRING values.
struct CertKeyPair {
    AsnValue* certificate;
    AsnValue* private_key;
};
void CERTKEY_Free(CertKeyPair* pair);

struct SealedMessage {
    BigNum* version;
    AsnValue* encrypted;  // OCTET STRING of the SEED-CBC ciphertext
    DerElement* mac;      // SEQUENCE { hmacWithSHA1, OCTET STRING }, or null
};
void SEALED_Free(SealedMessage* message);

inline constexpr size_t kExchangeCodeLength = 16;
inline constexpr uint32_t kMaxSessionKeyLength = 48;
inline constexpr int kSessionRsaBits = 1024;

// 1 when the 16 characters at `code` are decimal digits whose last is the check digit of the
// first fifteen. Reads those 16 and nothing after them; a terminator among them fails.
int CES_CheckCode(const char* code);
// code_key = first 16 bytes of SHA-1 of the 16 code characters; 0 for an invalid code.
int CES_DeriveCodeKey(const char* code, uint8_t code_key[16]);

// DER SEQUENCE of the two OCTET STRINGs; its length with a new MEM_ buffer in *out, or 0.
int32_t CERTKEY_ToDer(const CertKeyPair* pair, uint8_t** out);
// Reads both OCTET STRINGs of a parsed SEQUENCE; null if either is missing.
CertKeyPair* CERTKEY_FromDer(const DerElement* element);

// The session life cycle and the four steps of an exchange, as the exports drive them.
CertExchangeSession* CES_New();
void CES_Close(CertExchangeSession* session);
// Checks the code, derives the code key, makes the session RSA key and encodes the public-key
// message into a new MEM_ buffer; its length, or 0 (the session is then left without a key).
int32_t CES_PublicKeyMessage(CertExchangeSession* session, const char* code, uint8_t** out);
// Decrypts the peer's session-key message with the session RSA key; a refused key leaves the
// current one in place.
int CES_SetSessionKey(CertExchangeSession* session, const uint8_t* message, size_t length);
// The sealed message for a certificate and key, in a new MEM_ buffer; its length, or 0.
int32_t CES_SealPair(const CertExchangeSession* session, const uint8_t* certificate, uint32_t certificate_length,
                     const uint8_t* private_key, uint32_t private_key_length, uint8_t** out);
// Parses, checks and decrypts a sealed message; null on any failure.
CertKeyPair* CES_OpenMessage(const CertExchangeSession* session, const uint8_t* message, size_t length);

SealedMessage* CES_Seal(const CertExchangeSession* session, const CertKeyPair* pair);
int32_t CES_EncodeSealed(const SealedMessage* message, uint8_t** out);
SealedMessage* CES_DecodeSealed(const DerElement* element);
// Decrypts a sealed message and, when its version carries one, checks the MAC (exactly 20
// bytes, constant time) over the plaintext; null on any failure. A bad pad and a bad MAC are
// one failure after the same work.
CertKeyPair* CES_Open(const CertExchangeSession* session, const SealedMessage* message);

}  // namespace quillon
