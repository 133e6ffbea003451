#include "card/card_storage.h"

#include <cstring>

#include "asn1/der.h"
#include "core/secret.h"

namespace quillon {
namespace {

constexpr uint16_t kStatusOk = 0x9000;
constexpr uint8_t kRandomHeader[] = {0x28, 0x00, 0x14};

uint16_t SlotFileId(int32_t slot, uint8_t file) {
    return static_cast<uint16_t>((slot == 1 ? 0xF300 : 0xF400) | file);
}

// Total size of the DER element whose identifier is at `bytes[0]`, or 0 when its length
// octets are malformed or the element runs past `available`. Reads the header only.
size_t ElementSize(const uint8_t* bytes, size_t available) {
    if (available < 2) return 0;
    const size_t length_count = static_cast<size_t>(DER_LengthOctetCount(bytes + 1));
    if (1 + length_count > available) return 0;
    const int32_t contents = DER_ReadLength(bytes + 1);
    if (contents < 0) return 0;
    const size_t header = 1 + length_count;
    return static_cast<size_t>(contents) <= available - header ? header + static_cast<size_t>(contents) : 0;
}

}  // namespace

CardError CARD_SelectSlotFile(CardConnection* connection, int32_t slot, CardFile file) {
    if (!CARD_SlotIsValid(slot)) return CardError::kNotStorable;
    const CardError result = CARD_SelectMaster(connection);
    if (result != CardError::kNone) return result;
    return CARD_SelectFile(connection, SlotFileId(slot, 0)) && CARD_SelectFile(connection, SlotFileId(slot, file))
               ? CardError::kNone
               : CardError::kTransmit;
}

CardError CARD_UpdateRecords(CardConnection* connection, const uint8_t* der, size_t length) {
    if (!der || length > kCardMaxObject) return CardError::kNotStorable;
    SecretArray<uint8_t, kCardRecordSize> record;
    size_t done = 0;  // payload bytes written: the 2 length bytes count first
    const size_t total = length + 2;
    for (uint8_t number = 1; done < total; ++number) {
        std::memset(record.data, 0, record.size());
        record[0] = number;
        record[1] = kCardRecordData;
        for (size_t i = 0; i < kCardRecordData && done < total; ++i, ++done) {
            record[2 + i] = done == 0 ? static_cast<uint8_t>(length >> 8)
                          : done == 1 ? static_cast<uint8_t>(length)
                                      : der[done - 2];
        }
        if (!CARD_UpdateRecord(connection, number, record.data, record.size())) return CardError::kTransmit;
    }
    return CardError::kNone;
}

CardError CARD_ReadRecords(CardConnection* connection, size_t capacity, Bytes* payload) {
    payload->clear();
    uint8_t le = kCardRecordSize;
    CardResponse response;
    for (size_t number = 1; number <= kCardMaxRecords; ++number) {
        if (!CARD_ReadRecord(connection, static_cast<uint8_t>(number), &le, &response)) return CardError::kTransmit;
        if (CARD_StatusWord(response) != kStatusOk) break;  // 6A 83: past the last record
        const size_t data = CARD_DataLength(response);
        if (data < 2 || response.bytes[1] > data - 2) return CardError::kTransmit;
        const size_t count = response.bytes[1];
        if (count > capacity - payload->size()) return CardError::kNoObject;
        payload->insert(payload->end(), response.bytes + 2, response.bytes + 2 + count);
    }
    return CardError::kNone;
}

int CARD_FindObject(const uint8_t* payload, size_t length, size_t* offset, size_t* size) {
    if (!payload || length == 0) return 0;
    // The first 0x30 may be one of the two length bytes (a 1,328-byte object has 05 30), so
    // the object's own place comes first.
    if (length > 2 && payload[2] == 0x30) {
        if (const size_t found = ElementSize(payload + 2, length - 2)) {
            *offset = 2;
            *size = found;
            return 1;
        }
    }
    const auto* first = static_cast<const uint8_t*>(std::memchr(payload, 0x30, length));
    if (!first) return 0;
    const size_t at = static_cast<size_t>(first - payload);
    const size_t found = ElementSize(first, length - at);
    if (!found) return 0;
    *offset = at;
    *size = found;
    return 1;
}

CardError CARD_WriteObject(CardConnection* connection, int32_t slot, CardFile file, const uint8_t* der,
                           size_t length) {
    if (!der || length > kCardMaxObject) return CardError::kNotStorable;
    const CardError result = CARD_SelectSlotFile(connection, slot, file);
    return result == CardError::kNone ? CARD_UpdateRecords(connection, der, length) : result;
}

CardError CARD_ReadObject(CardConnection* connection, int32_t slot, CardFile file, Bytes* der) {
    CardError result = CARD_SelectSlotFile(connection, slot, file);
    if (result != CardError::kNone) return result;
    Bytes payload;
    result = CARD_ReadRecords(connection, kCardPayloadCapacity, &payload);
    if (result != CardError::kNone) return result;
    size_t offset = 0, size = 0;
    if (!CARD_FindObject(payload.data(), payload.size(), &offset, &size)) return CardError::kNoObject;
    der->assign(payload.begin() + static_cast<std::ptrdiff_t>(offset),
                payload.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return CardError::kNone;
}

void CARD_BuildRandomRecord(const uint8_t random[kCardRandomSize], uint8_t record[kCardRandomRecordSize]) {
    std::memset(record, 0, kCardRandomRecordSize);
    record[0] = 0x01;
    std::memcpy(record + 1, kRandomHeader, sizeof kRandomHeader);
    std::memcpy(record + 1 + sizeof kRandomHeader, random, kCardRandomSize);
}

int CARD_ParseRandomRecord(const uint8_t* record, size_t length, uint8_t random[kCardRandomSize]) {
    if (!record || length < 1 + sizeof kRandomHeader + kCardRandomSize) return 0;
    if (std::memcmp(record + 1, kRandomHeader, sizeof kRandomHeader) != 0) return 0;
    std::memcpy(random, record + 1 + sizeof kRandomHeader, kCardRandomSize);
    return 1;
}

CardError CARD_WriteRandomNumber(CardConnection* connection, int32_t slot, const uint8_t random[kCardRandomSize]) {
    const CardError result = CARD_SelectSlotFile(connection, slot, kCardRandomFile);
    if (result != CardError::kNone) return result;
    SecretArray<uint8_t, kCardRandomRecordSize> record;
    CARD_BuildRandomRecord(random, record.data);
    return CARD_UpdateRecord(connection, 1, record.data, record.size()) ? CardError::kNone : CardError::kTransmit;
}

CardError CARD_ReadRandomNumber(CardConnection* connection, int32_t slot, uint8_t random[kCardRandomSize],
                                bool* found) {
    *found = false;
    const CardError result = CARD_SelectSlotFile(connection, slot, kCardRandomFile);
    if (result != CardError::kNone) return result;
    uint8_t le = kCardRandomRecordSize;
    CardResponse response;
    const int read = CARD_ReadRecord(connection, 1, &le, &response);
    if (read && CARD_StatusWord(response) == kStatusOk)
        *found = CARD_ParseRandomRecord(response.bytes, CARD_DataLength(response), random) == 1;
    // A failed exchange may still have left part of the number in the response.
    MEM_Wipe(response.bytes, sizeof response.bytes);
    return read ? CardError::kNone : CardError::kTransmit;
}

}  // namespace quillon
