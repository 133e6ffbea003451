// MEDIA_CARD_*: certificates and keys on a smart card. Each export runs one card connection:
// bind the PC/SC library, check its arguments, connect, verify the PIN, select, read or
// write records, close; a failure to close turns any result into -100.
#include <cstring>

#include "api/binstr.h"
#include "api/export_guard.h"
#include "api/key_codes.h"
#include "card/card_keys.h"
#include "card/card_storage.h"
#include "card/card_transport.h"
#include "core/mem.h"
#include "quilloncrypto.h"

using namespace quillon;

namespace {

int32_t CardCode(CardError error) {
    switch (error) {
        case CardError::kNone: return QC_OK;
        case CardError::kTransmit: return QC_ERR_CARD_TRANSMIT;
        case CardError::kPinRejected: return QC_ERR_PIN;
        case CardError::kMasterRefused: return QC_ERR_CARD_SELECT_MF;
        case CardError::kNoObject: return QC_ERR_MALFORMED_DER;
        case CardError::kNotStorable: break;
    }
    return QC_ERR_NULL_ARGUMENT;
}

// Writing a key documents two codes of its own: a key that does not decode is malformed
// input, and a failed encryption -13.
int32_t WriteKeyCode(CardKeyResult result) {
    if (result.card != CardError::kNone) return CardCode(result.card);
    switch (result.key) {
        case KeyError::kUndecodable: return QC_ERR_MALFORMED_DER;
        case KeyError::kEncrypt: return QC_ERR_DECRYPT_KEY;
        default: return KEY_Code(result.key);
    }
}

// Connects and verifies the PIN, then runs `step` on the open card; closes on every path.
template <class Step>
int32_t WithVerifiedCard(CardConnection* card, const char* pin, int32_t* tries_left, Step step) {
    int32_t result = CARD_Connect(card) ? QC_OK : QC_ERR_PCSC;
    if (result == QC_OK) result = CardCode(CARD_VerifyPin(card, pin, tries_left));
    if (result == QC_OK) result = step();
    return CARD_Close(card) ? result : QC_ERR_PCSC;
}

}  // namespace

extern "C" QUILLON_API int32_t MEDIA_CARD_WriteCert(int32_t slot, const char* pin, const BINSTR* certificate,
                                                    int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (!CARD_Bind(&card)) return QC_ERR_PCSC;
        if (!pin || !certificate || !certificate->data) return 0;
        if (!CARD_SlotIsValid(slot) || certificate->length > kCardMaxObject) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&] {
            return CardCode(CARD_WriteObject(&card, slot, kCardCertFile, certificate->data, certificate->length));
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_ReadCert(int32_t slot, const char* pin, BINSTR* out, int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (!CARD_Bind(&card)) return QC_ERR_PCSC;
        if (!pin || !out || !CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&]() -> int32_t {
            Bytes der;
            const CardError result = CARD_ReadObject(&card, slot, kCardCertFile, &der);
            if (result != CardError::kNone) return CardCode(result);
            return BINSTR_Replace(out, der.data(), static_cast<uint32_t>(der.size())) ? QC_OK : QC_ERR_ALLOC;
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_WritePriKey(int32_t slot, const char* pin, const char* password,
                                                      const BINSTR* key, int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (!CARD_Bind(&card)) return QC_ERR_PCSC;
        if (!pin || !password || !key || !key->data) return 0;
        if (!CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&] {
            return WriteKeyCode(CARD_WritePriKey(&card, slot, PasswordBytes(password),
                                                 std::strlen(password), key->data, key->length));
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_ReadPriKey(int32_t slot, const char* pin, const char* password, BINSTR* out,
                                                     int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (!CARD_Bind(&card)) return QC_ERR_PCSC;
        if (!pin || !out || !password || !CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&]() -> int32_t {
            MemBytes key;
            const CardKeyResult result = CARD_ReadPriKey(&card, slot, PasswordBytes(password),
                                                         std::strlen(password), &key);
            if (result.card != CardError::kNone) return CardCode(result.card);
            if (result.key != KeyError::kNone) return KEY_Code(result.key);
            const uint32_t length = key.length;
            BINSTR_Adopt(out, key.Release(), length);
            return QC_OK;
        });
    });
}
