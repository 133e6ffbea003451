// The certificate-exchange exports: count shape, 0 for any failure.
#include <cstring>

#include "api/export_guard.h"
#include "asn1/der.h"
#include "core/mem.h"
#include "exchange/cert_exchange.h"
#include "exchange/exchange_pfx.h"
#include "quilloncrypto.h"

using namespace quillon;

static_assert(QC_PFX_MAX_SIZE == kDerUnsizedMax, "the documented PFX cap is the unsized reader's");

namespace {

using PairOwner = Owned<CertKeyPair, CERTKEY_Free>;

quillon::CertExchangeSession* Session(::CertExchangeSession* handle) {
    return reinterpret_cast<quillon::CertExchangeSession*>(handle);
}

// The PKCS#12 form keys everything from the session key: a session without one has nothing
// to seal or open with.
bool HasSessionKey(const quillon::CertExchangeSession* session) { return session->session_key_length > 0; }

// Hands the caller a copy of a value's bytes as a CesMessage.
uint8_t* CopyOut(const AsnValue* value) {
    auto* copy = static_cast<uint8_t*>(MEM_Alloc(value->length));
    if (copy && value->length) std::memcpy(copy, value->data, value->length);
    return copy;
}

// Copies an opened pair out to the caller: 1, or 0 with the outputs set to null and 0 when
// memory runs out.
int32_t HandOver(const CertKeyPair* pair, CesMessage** certificate, int32_t* certificate_length,
                 CesMessage** private_key, int32_t* private_key_length) {
    MemBlock cert_copy(CopyOut(pair->certificate));
    uint8_t* key_copy = cert_copy ? CopyOut(pair->private_key) : nullptr;
    if (!key_copy) {
        *certificate = nullptr;
        *certificate_length = 0;
        *private_key = nullptr;
        *private_key_length = 0;
        return 0;
    }
    *certificate = cert_copy.release();
    *certificate_length = static_cast<int32_t>(pair->certificate->length);
    *private_key = key_copy;
    *private_key_length = static_cast<int32_t>(pair->private_key->length);
    return 1;
}

}  // namespace

extern "C" QUILLON_API ::CertExchangeSession* CreateCertExchangeSession(void) {
    return reinterpret_cast<::CertExchangeSession*>(CES_New());
}

extern "C" QUILLON_API void CloseCertExchangeSession(::CertExchangeSession* handle) {
    CES_Close(Session(handle));
}

extern "C" QUILLON_API int32_t GetCertExchangePublicKey(::CertExchangeSession* handle, const char* code,
                                                        CesMessage** out) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !code || !out) return 0;
    return GuardCount([&]() -> int32_t {
        uint8_t* bytes = nullptr;
        const int32_t length = CES_PublicKeyMessage(session, code, &bytes);
        if (length > 0) *out = bytes;
        return length;
    });
}

extern "C" QUILLON_API int32_t SetCertExchangeSessionKey(::CertExchangeSession* handle, const unsigned char* message,
                                                         int32_t length) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !session->rsa_key || !message || length <= 0) return 0;
    return GuardCount([&] { return CES_SetSessionKey(session, message, static_cast<size_t>(length)); });
}

extern "C" QUILLON_API int32_t EncryptCertExchange(::CertExchangeSession* handle, CesMessage** out,
                                                   const unsigned char* certificate, int32_t certificate_length,
                                                   const unsigned char* private_key, int32_t private_key_length) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !out || !certificate || !private_key || certificate_length <= 0 || private_key_length <= 0)
        return 0;
    return GuardCount([&]() -> int32_t {
        uint8_t* bytes = nullptr;
        const int32_t total = CES_SealPair(session, certificate, static_cast<uint32_t>(certificate_length),
                                           private_key, static_cast<uint32_t>(private_key_length), &bytes);
        if (total > 0) *out = bytes;
        return total;
    });
}

extern "C" QUILLON_API int32_t DecryptCertExchange(::CertExchangeSession* handle, CesMessage** certificate,
                                                   int32_t* certificate_length, CesMessage** private_key,
                                                   int32_t* private_key_length, const unsigned char* message,
                                                   int32_t length) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !message || length < 1) return 0;
    if (!certificate || !certificate_length || !private_key || !private_key_length) return 0;
    return GuardCount([&]() -> int32_t {
        PairOwner pair(CES_OpenMessage(session, message, static_cast<size_t>(length)));
        return pair ? HandOver(pair.get(), certificate, certificate_length, private_key, private_key_length) : 0;
    });
}

extern "C" QUILLON_API int32_t EncryptCertExchange_PKCS12(::CertExchangeSession* handle, CesMessage** out,
                                                          const unsigned char* certificate,
                                                          int32_t certificate_length,
                                                          const unsigned char* private_key,
                                                          int32_t private_key_length) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !out || !certificate || !private_key || certificate_length <= 0 || private_key_length <= 0)
        return 0;
    if (!HasSessionKey(session)) return 0;
    return GuardCount([&]() -> int32_t {
        uint8_t* bytes = nullptr;
        const int32_t total = PFX_Seal(session->session_key, certificate, static_cast<uint32_t>(certificate_length),
                                       private_key, static_cast<uint32_t>(private_key_length), &bytes);
        if (total > 0) *out = bytes;
        return total;
    });
}

extern "C" QUILLON_API int32_t DecryptCertExchange_PKCS12(::CertExchangeSession* handle, CesMessage** certificate,
                                                          int32_t* certificate_length, CesMessage** private_key,
                                                          int32_t* private_key_length, const unsigned char* pfx) {
    quillon::CertExchangeSession* session = Session(handle);
    if (!session || !pfx) return 0;
    if (!certificate || !certificate_length || !private_key || !private_key_length) return 0;
    if (!HasSessionKey(session)) return 0;
    return GuardCount([&]() -> int32_t {
        CertKeyPair* raw = nullptr;
        const int opened = PFX_Open(session->session_key, pfx, &raw);
        PairOwner pair(raw);
        if (opened != 1) return opened;
        return HandOver(pair.get(), certificate, certificate_length, private_key, private_key_length);
    });
}
