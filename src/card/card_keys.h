// A private key on the card: file 3 holds its EncryptedPrivateKeyInfo without attributes, file
// 5 its 20-byte randomNum. Reading puts the random number back, so the host gets the same form
// as a disk key file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "card/card_transport.h"
#include "pkcs/pkcs8.h"
#include "pkcs/prikey.h"

namespace quillon {

// Where writing or reading a key stopped: at a card step, in the key's own work, or (both
// kNone) nowhere.
struct CardKeyResult {
    CardError card = CardError::kNone;
    KeyError key = KeyError::kNone;
};

// Checks and encrypts a plain PrivateKeyInfo before anything is sent, then writes the random
// number (file 5) and the encrypted key (file 3). Key failures: kUndecodable, kNoRandom,
// kAlgorithm (neither RSA nor KCDSA), kEncrypt, kEncode.
CardKeyResult CARD_WritePriKey(CardConnection* connection, int32_t slot, const uint8_t* password,
                               size_t password_length, const uint8_t* key, size_t key_length);
// Reads and decrypts file 3, adds the randomNum from file 5 when it holds one, and encrypts the
// result again under a new salt into *out (written only on success). Key failures: kMalformed,
// kDecrypt, kMemory, kEncode, and those of PRIKEY_EncryptDer.
CardKeyResult CARD_ReadPriKey(CardConnection* connection, int32_t slot, const uint8_t* password,
                              size_t password_length, MemBytes* out);

}  // namespace quillon
