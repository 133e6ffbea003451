#include "card/card_transport.h"

#include <cstring>

namespace quillon {
namespace {

constexpr uint16_t kStatusOk = 0x9000;
constexpr uint8_t kStatusWrongLength = 0x6C;  // SW1 of "wrong Le: SW2 is the right one"
// A card that keeps correcting Le is not answering sensibly.
constexpr int kLeRetries = 2;
// Reader names are short; a list longer than this is not one we asked for.
constexpr DWORD kReaderListLimit = 64 * 1024;

// The reader names in a new buffer that ends with a NUL whatever the service wrote.
int ReadReaderList(const PcscLibrary& library, SCARDCONTEXT context, Bytes* names) {
    DWORD size = 0;
    if (library.list_readers(context, nullptr, nullptr, &size) != SCARD_S_SUCCESS) return 0;
    if (size == 0 || size > kReaderListLimit) return 0;
    names->assign(static_cast<size_t>(size) + 1, 0);
    if (library.list_readers(context, nullptr, reinterpret_cast<char*>(names->data()), &size) != SCARD_S_SUCCESS)
        return 0;
    if (size == 0 || size > names->size() - 1 || (*names)[0] == 0) return 0;
    names->resize(static_cast<size_t>(size) + 1);
    names->back() = 0;
    return 1;
}

}  // namespace

CardConnection::~CardConnection() { CARD_Close(this); }

int CARD_Bind(CardConnection* connection) { return PCSC_Load(&connection->library) == 1 ? 1 : 0; }

int CARD_Connect(CardConnection* connection) {
    const PcscLibrary& library = connection->library;
    if (!library.module) return 0;
    if (library.establish_context(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &connection->context) != SCARD_S_SUCCESS)
        return 0;
    connection->has_context = true;
    Bytes readers;
    if (!ReadReaderList(library, connection->context, &readers)) return 0;
    // With several readers, the first listed is the one used.
    DWORD protocol = 0;
    if (library.connect(connection->context, reinterpret_cast<const char*>(readers.data()), SCARD_SHARE_SHARED,
                        SCARD_PROTOCOL_T0, &connection->card, &protocol) != SCARD_S_SUCCESS)
        return 0;
    connection->has_card = true;
    connection->send_pci = (protocol & SCARD_PROTOCOL_T0) ? library.t0_pci : library.t1_pci;
    return 1;
}

int CARD_Close(CardConnection* connection) {
    const PcscLibrary& library = connection->library;
    int result = 1;
    if (connection->has_card) {
        connection->has_card = false;
        if (library.disconnect(connection->card, SCARD_LEAVE_CARD) != SCARD_S_SUCCESS) result = 0;
    }
    if (connection->has_context) {
        connection->has_context = false;
        if (library.release_context(connection->context) != SCARD_S_SUCCESS) result = 0;
    }
    PCSC_Unload(&connection->library);
    connection->send_pci = nullptr;
    return result;
}

int CARD_Transmit(CardConnection* connection, const uint8_t* command, size_t length, CardResponse* response) {
    if (!connection->has_card || !command || length == 0 || length > 0xFFFF) return 0;
    DWORD received = sizeof response->bytes;
    response->length = 0;
    if (connection->library.transmit(connection->card, connection->send_pci, command, static_cast<DWORD>(length),
                                     nullptr, response->bytes, &received) != SCARD_S_SUCCESS)
        return 0;
    // Without a whole status word there is nothing to read.
    if (received < 2 || received > sizeof response->bytes) return 0;
    response->length = received;
    return 1;
}

CardError CARD_VerifyPin(CardConnection* connection, const char* pin, int32_t* tries_left) {
    // Any other length would be padded or cut by the fixed Lc and cost a try for nothing.
    if (!pin || strnlen(pin, kCardPinLength + 1) != kCardPinLength) return CardError::kPinRejected;
    uint8_t command[5 + kCardPinLength] = {0x00, 0x20, 0x00, 0x01, kCardPinLength};
    std::memcpy(command + 5, pin, kCardPinLength);
    CardResponse response;
    const int sent = CARD_Transmit(connection, command, sizeof command, &response);
    MEM_Wipe(command, sizeof command);
    if (!sent) return CardError::kTransmit;
    const uint16_t status = CARD_StatusWord(response);
    if (status == kStatusOk) return CardError::kNone;
    if ((status & 0xFFF0) == 0x63C0 && tries_left) *tries_left = status & 0x0F;
    return CardError::kPinRejected;
}

CardError CARD_SelectMaster(CardConnection* connection) {
    static constexpr uint8_t kCommand[] = {0x00, 0xA4, 0x00, 0x00};
    CardResponse response;
    if (!CARD_Transmit(connection, kCommand, sizeof kCommand, &response)) return CardError::kTransmit;
    return CARD_StatusWord(response) == kStatusOk ? CardError::kNone : CardError::kMasterRefused;
}

int CARD_SelectFile(CardConnection* connection, uint16_t identifier) {
    const uint8_t command[] = {0x00, 0xA4, 0x00, 0x00, 0x02, static_cast<uint8_t>(identifier >> 8),
                               static_cast<uint8_t>(identifier)};
    CardResponse response;
    return CARD_Transmit(connection, command, sizeof command, &response);
}

int CARD_ReadRecord(CardConnection* connection, uint8_t number, uint8_t* le, CardResponse* response) {
    for (int attempt = 0; attempt <= kLeRetries; ++attempt) {
        const uint8_t command[] = {0x00, 0xB2, number, 0x04, *le};
        if (!CARD_Transmit(connection, command, sizeof command, response)) return 0;
        if (response->bytes[response->length - 2] != kStatusWrongLength) return 1;
        *le = response->bytes[response->length - 1];
    }
    return 0;
}

int CARD_UpdateRecord(CardConnection* connection, uint8_t number, const uint8_t* record, size_t length) {
    if (length == 0 || length > 255) return 0;
    uint8_t command[5 + 255] = {0x00, 0xDC, number, 0x04, static_cast<uint8_t>(length)};
    std::memcpy(command + 5, record, length);
    CardResponse response;
    const int sent = CARD_Transmit(connection, command, 5 + length, &response);
    MEM_Wipe(command, sizeof command);
    return sent && CARD_StatusWord(response) == kStatusOk ? 1 : 0;
}

int CARD_ListReaders(Bytes* names) {
    CardConnection connection;
    if (!CARD_Bind(&connection)) return 0;
    const PcscLibrary& library = connection.library;
    if (library.establish_context(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &connection.context) != SCARD_S_SUCCESS)
        return 0;
    connection.has_context = true;
    const int listed = ReadReaderList(library, connection.context, names);
    return CARD_Close(&connection) && listed ? 1 : 0;
}

}  // namespace quillon
