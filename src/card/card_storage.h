// Certificates and keys on the card: each slot is a dedicated file with three record files.
// The certificate and key files hold one DER object spread over 52-byte records
// (record number, 0x32, 50 payload bytes); the payload is the object's length as two
// big-endian bytes, the object, then padding. The random-number file holds one 42-byte record
// (0x01, 0x28, 0x00 0x14, the 20-byte random number, 18 filler bytes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "card/card_transport.h"
#include "core/mem.h"

namespace quillon {

enum CardFile : uint8_t {
    kCardKeyFile = 3,     // the key's EncryptedPrivateKeyInfo, without attributes
    kCardCertFile = 4,    // the certificate
    kCardRandomFile = 5,  // the key's randomNum value
};

inline constexpr size_t kCardRecordSize = 52;
inline constexpr size_t kCardRecordData = 50;
// Record numbers are one byte; 00 and FF are not record numbers.
inline constexpr size_t kCardMaxRecords = 254;
// The largest DER object the record layout can carry (its 2-byte length comes first).
inline constexpr size_t kCardMaxObject = kCardMaxRecords * kCardRecordData - 2;
// What one file may yield: the 2-byte length and the largest object a 2-byte DER length
// allows (4 header bytes and 65,535 contents).
inline constexpr size_t kCardPayloadCapacity = 2 + 4 + 0xFFFF;

inline constexpr size_t kCardRandomSize = 20;
inline constexpr size_t kCardRandomRecordSize = 42;

// Slots 1 and 2 name card files; any other value names none.
inline bool CARD_SlotIsValid(int32_t slot) { return slot == 1 || slot == 2; }

// SELECT of the master file, the slot's dedicated file and the file: kNotStorable for a slot
// other than 1 and 2, kMasterRefused, kTransmit.
CardError CARD_SelectSlotFile(CardConnection* connection, int32_t slot, CardFile file);

// Writes `length` DER bytes over the selected file's records from record 1 on; records after
// the last one written keep their contents. kTransmit, or kNotStorable for an object the
// layout cannot carry (more than kCardMaxObject bytes).
CardError CARD_UpdateRecords(CardConnection* connection, const uint8_t* der, size_t length);
// Collects the payload of the selected file's records, from record 1 until the card answers
// anything but 90 00 or no record number is left. kTransmit on a failed exchange or a record
// that claims more bytes than it carries; kNoObject when the file yields more than `capacity`.
CardError CARD_ReadRecords(CardConnection* connection, size_t capacity, Bytes* payload);
// Finds the DER object in a collected payload: at offset 2 where the layout puts it, else at
// the first 0x30; its own header gives its length, which must lie within the payload.
// 1 with its offset and size, or 0.
int CARD_FindObject(const uint8_t* payload, size_t length, size_t* offset, size_t* size);

// Select, then write or read one slot file's DER object (the failures of the steps above;
// kNoObject when the file holds no whole object).
CardError CARD_WriteObject(CardConnection* connection, int32_t slot, CardFile file, const uint8_t* der,
                           size_t length);
CardError CARD_ReadObject(CardConnection* connection, int32_t slot, CardFile file, Bytes* der);

// The random-number record around a 20-byte value (filler zeros).
void CARD_BuildRandomRecord(const uint8_t random[kCardRandomSize], uint8_t record[kCardRandomRecordSize]);
// The value inside a record's bytes: 1 when they hold the 28 00 14 header and 20 bytes, else 0.
int CARD_ParseRandomRecord(const uint8_t* record, size_t length, uint8_t random[kCardRandomSize]);
// Selects the slot's random-number file and writes its record: kMasterRefused, kTransmit.
CardError CARD_WriteRandomNumber(CardConnection* connection, int32_t slot, const uint8_t random[kCardRandomSize]);
// Selects the slot's random-number file and reads its record, with *found telling whether it
// held a random number: kMasterRefused, kTransmit.
CardError CARD_ReadRandomNumber(CardConnection* connection, int32_t slot, uint8_t random[kCardRandomSize],
                                bool* found);

}  // namespace quillon
