// MEDIA_CARD_*: certificates and keys on a smart card. Each export runs one card connection:
// bind the PC/SC library, check its arguments, connect, verify the PIN, select, read or
// write records, close; a failure to close turns any result into -100.
#include "card/card_keys.h"
#include "card/card_storage.h"
#include "card/card_transport.h"
#include "api/export_guard.h"
#include "core/mem.h"
#include "quilloncrypto.h"

#include <cstring>

using namespace quillon;

namespace {

// Connects and verifies the PIN, then runs `step` on the open card; closes on every path.
template <class Step>
int32_t WithVerifiedCard(CardConnection* card, const char* pin, int32_t* tries_left, Step step) {
    int32_t result = CARD_Connect(card);
    if (result == QC_OK) result = CARD_VerifyPin(card, pin, tries_left);
    if (result == QC_OK) result = step();
    return CARD_Close(card, result);
}

}  // namespace

extern "C" QUILLON_API int32_t MEDIA_CARD_WriteCert(int32_t slot, const char* pin, const BINSTR* certificate,
                                                    int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (CARD_Bind(&card) != QC_OK) return QC_ERR_PCSC;
        if (!pin || !certificate || !certificate->data) return 0;
        if (!CARD_SlotIsValid(slot) || certificate->length > kCardMaxObject) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&] {
            return CARD_WriteObject(&card, slot, kCardCertFile, certificate->data, certificate->length);
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_ReadCert(int32_t slot, const char* pin, BINSTR* out, int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (CARD_Bind(&card) != QC_OK) return QC_ERR_PCSC;
        if (!pin || !out || !CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&]() -> int32_t {
            Bytes der;
            const int32_t result = CARD_ReadObject(&card, slot, kCardCertFile, &der);
            if (result != QC_OK) return result;
            return BINSTR_SetData(der.data(), static_cast<uint32_t>(der.size()), out);
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_WritePriKey(int32_t slot, const char* pin, const char* password,
                                                      const BINSTR* key, int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (CARD_Bind(&card) != QC_OK) return QC_ERR_PCSC;
        if (!pin || !password || !key || !key->data) return 0;
        if (!CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&] {
            return CARD_WritePriKey(&card, slot, reinterpret_cast<const uint8_t*>(password), std::strlen(password),
                                    key->data, key->length);
        });
    });
}

extern "C" QUILLON_API int32_t MEDIA_CARD_ReadPriKey(int32_t slot, const char* pin, const char* password, BINSTR* out,
                                                     int32_t* tries_left) {
    return GuardCode([&]() -> int32_t {
        CardConnection card;
        if (CARD_Bind(&card) != QC_OK) return QC_ERR_PCSC;
        if (!pin || !out || !password || !CARD_SlotIsValid(slot)) return QC_ERR_NULL_ARGUMENT;
        return WithVerifiedCard(&card, pin, tries_left, [&] {
            return CARD_ReadPriKey(&card, slot, reinterpret_cast<const uint8_t*>(password), std::strlen(password), out);
        });
    });
}
