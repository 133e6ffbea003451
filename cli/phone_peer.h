// The phone's side of the certificate exchange: a reference for integrators of the peer.
//
// The phone knows the 16-digit exchange code the user read off the PC. It
//   1. derives the code key: the first 16 bytes of SHA-1 over the 16 code characters;
//   2. receives the public-key message SEQUENCE { INTEGER 0, OCTET STRING c } and decrypts c
//      with SEED-CBC (zero IV, block padding) under the code key, which gives the modulus n;
//   3. chooses a session key, encrypts it with RSA (n, 3) and PKCS#1 v1.5 type 2 padding, and
//      answers SEQUENCE { INTEGER 0, OCTET STRING rsa-ciphertext };
//   4. receives the sealed message SEQUENCE { INTEGER 1, OCTET STRING ciphertext,
//      SEQUENCE { OID hmacWithSHA1, OCTET STRING mac } }, decrypts the ciphertext with SEED-CBC
//      (zero IV) under the first 16 session-key bytes, checks the HMAC-SHA1 of the plaintext under
//      SHA-1(code key || session key), and reads the plaintext SEQUENCE { OCTET STRING certificate,
//      OCTET STRING private key }.
// Or, in the PKCS#12 form, step 4 receives a PFX SEQUENCE { INTEGER 3, authSafe, MacData }:
//   - MacData = SEQUENCE { SEQUENCE { SEQUENCE { OID sha1, NULL }, OCTET STRING mac },
//     OCTET STRING salt }; the MAC is HMAC-SHA1 under SHA-1(first 16 session-key bytes || salt)
//     over the whole authSafe element, checked before anything else is read;
//   - authSafe = SEQUENCE { OID pkcs7-data, [0] { OCTET STRING AuthenticatedSafe } }, whose first
//     ContentInfo is SEQUENCE { OID pkcs7-encryptedData, [0] { EncryptedData } } and
//     EncryptedData = SEQUENCE { INTEGER 0, SEQUENCE { OID pkcs7-data, algorithm, [0] ciphertext } };
//   - the ciphertext is SEED-CBC under the first 16 session-key bytes with the IV made of the
//     ASCII characters "5820463917352804", and holds SEQUENCE { SEQUENCE { OID secretBag,
//     [0] { SEQUENCE { OCTET STRING certificate, OCTET STRING private key } } } }.
#pragma once

#include <cstdint>
#include <string>

#include "core/mem.h"

namespace quillon::cli {

class PhonePeer {
public:
    // Fails (valid() is false) when the code is not a valid exchange code.
    explicit PhonePeer(const std::string& exchange_code);
    bool valid() const { return valid_; }

    // Steps 2 and 3: recovers n from the public-key message and builds the session-key reply.
    bool AnswerPublicKey(const uint8_t* message, size_t length, Bytes& reply);
    // Step 4: opens and verifies a sealed message.
    bool OpenSealed(const uint8_t* message, size_t length, Bytes& certificate, Bytes& private_key) const;
    // Step 4 in the PKCS#12 form.
    bool OpenPfx(const uint8_t* pfx, size_t length, Bytes& certificate, Bytes& private_key) const;

    const Bytes& modulus() const { return modulus_; }
    const SecureBytes& session_key() const { return session_key_; }

private:
    bool valid_ = false;
    uint8_t code_key_[16] = {};
    Bytes modulus_;
    SecureBytes session_key_;
};

}  // namespace quillon::cli
