// A private key on the card: file 3 holds its EncryptedPrivateKeyInfo without attributes, file
// 5 its 20-byte randomNum. Reading puts the random number back, so the host gets the same form
// as a disk key file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "card/card_transport.h"
#include "quilloncrypto.h"

namespace quillon {

// Checks and encrypts a plain PrivateKeyInfo before anything is sent, then writes the random
// number (file 5) and the encrypted key (file 3). -51 when the key does not decode or its first
// attribute is not a randomNum BIT STRING of at least 20 bytes; -12 for a key neither RSA nor
// KCDSA; -13 when encryption fails; -52; the card codes.
int32_t CARD_WritePriKey(CardConnection* connection, int32_t slot, const uint8_t* password, size_t password_length,
                         const uint8_t* key, size_t key_length);
// Reads and decrypts file 3, adds the randomNum from file 5 when it holds one, and encrypts the
// result again under a new salt into out: 1, -51, -13, the codes of PRIKEY_Encrypt, the card codes.
int32_t CARD_ReadPriKey(CardConnection* connection, int32_t slot, const uint8_t* password, size_t password_length,
                        BINSTR* out);

}  // namespace quillon
