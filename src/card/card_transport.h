// The smart-card transport: one connection to the first PC/SC reader, living inside one
// export call. Open in two steps (bind the library, then connect) so that an export can
// check its arguments in between; close on every path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mem.h"
#include "platform/pcsc.h"

namespace quillon {

// Largest response: 256 data bytes (Le 00) and the status word.
inline constexpr size_t kCardResponseCapacity = 258;
// The card's PIN is always 8 characters: VERIFY carries Lc 08.
inline constexpr size_t kCardPinLength = 8;

struct CardConnection {
    PcscLibrary library{};
    SCARDCONTEXT context{};
    SCARDHANDLE card{};
    bool has_context = false;
    bool has_card = false;
    const SCARD_IO_REQUEST* send_pci = nullptr;

    CardConnection() = default;
    CardConnection(const CardConnection&) = delete;
    CardConnection& operator=(const CardConnection&) = delete;
    ~CardConnection();  // closes whatever an early exit left open
};

struct CardResponse {
    uint8_t bytes[kCardResponseCapacity];
    size_t length;  // data bytes and the status word; at least 2 after a successful exchange
};

inline size_t CARD_DataLength(const CardResponse& r) { return r.length - 2; }
inline uint16_t CARD_StatusWord(const CardResponse& r) {
    return static_cast<uint16_t>(r.bytes[r.length - 2] << 8 | r.bytes[r.length - 1]);
}

// What stopped a card operation; the exports map each to their documented code.
enum class CardError {
    kNone,
    kTransmit,       // the exchange failed, the answer was short, or a write was refused
    kPinRejected,    // also a PIN that is not 8 characters
    kMasterRefused,  // the card refused to select its master file
    kNoObject,       // the file holds no whole DER object, or more than it may
    kNotStorable,    // a slot other than 1 and 2, or an object the record layout cannot carry
};

// Loads the PC/SC library and looks up its entry points: 1 or 0.
int CARD_Bind(CardConnection* connection);
// Establishes the context, connects to the first reader (shared, T=0) and picks the send
// protocol record: 1 or 0.
int CARD_Connect(CardConnection* connection);
// Disconnects (leaving the card as it is), releases the context and unloads the library:
// 1, or 0 when disconnecting or releasing failed. Safe to call again.
int CARD_Close(CardConnection* connection);

// One command APDU: 1 with the response, or 0 when the exchange fails or the response is
// shorter than a status word.
int CARD_Transmit(CardConnection* connection, const uint8_t* command, size_t length, CardResponse* response);

// VERIFY of the 8-character PIN. kPinRejected when the card refuses it (the tries it still
// allows go to *tries_left when the card reports them and tries_left is not null) or when
// the PIN is not 8 characters (refused before anything is sent); kTransmit.
CardError CARD_VerifyPin(CardConnection* connection, const char* pin, int32_t* tries_left);

// SELECT of the master file: kMasterRefused when refused, kTransmit.
CardError CARD_SelectMaster(CardConnection* connection);
// SELECT of a dedicated or elementary file by identifier; its status is not examined. 1 or 0.
int CARD_SelectFile(CardConnection* connection, uint16_t identifier);

// READ RECORD n of the selected file, expecting *le bytes; a card that answers 6C XX is asked
// again with Le = XX, which stays in *le for the records that follow. 1 with the final
// response (whatever its status), or 0.
int CARD_ReadRecord(CardConnection* connection, uint8_t number, uint8_t* le, CardResponse* response);
// UPDATE RECORD n of the selected file with `length` bytes (at most 255): 1, or 0 when the
// exchange fails or the card answers anything but 90 00.
int CARD_UpdateRecord(CardConnection* connection, uint8_t number, const uint8_t* record, size_t length);

// The names of the readers, each followed by a NUL: 1, or 0 when the service, the library
// or any reader is missing. For tools; the exports always use the first reader.
int CARD_ListReaders(Bytes* names);

}  // namespace quillon
