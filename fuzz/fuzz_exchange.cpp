// The exchange messages a peer sends: the session-key message and the sealed message, fed to
// one session whose keys are fixed. The first byte picks the message kind. Version-2 sealed
// messages carry no MAC, so the fuzzer reaches the plaintext parse too.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exchange/cert_exchange.h"
#include "quilloncrypto.h"

namespace {

CertExchangeSession* FixedSession() {
    static CertExchangeSession* session = [] {
        CertExchangeSession* s = CreateCertExchangeSession();
        CesMessage* message = nullptr;
        if (GetCertExchangePublicKey(s, "1234567890123455", &message) != 153) std::abort();
        FreeCesMessage(message);
        auto* internal = reinterpret_cast<quillon::CertExchangeSession*>(s);
        std::memset(internal->session_key, 0x42, 16);
        internal->session_key_length = 16;
        return s;
    }();
    return session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 20) return 0;
    CertExchangeSession* session = FixedSession();
    // Exact-size copy so that any read past the end is caught.
    const size_t length = size - 1;
    auto* message = static_cast<unsigned char*>(std::malloc(length ? length : 1));
    if (length) std::memcpy(message, data + 1, length);
    if (data[0] & 1) {
        const uint32_t before = reinterpret_cast<quillon::CertExchangeSession*>(session)->session_key_length;
        if (SetCertExchangeSessionKey(session, message, static_cast<int32_t>(length)) == 1) {
            // Keep the fixed key, so that later inputs keep opening under it.
            auto* internal = reinterpret_cast<quillon::CertExchangeSession*>(session);
            std::memset(internal->session_key, 0x42, 16);
            internal->session_key_length = before;
        }
    } else {
        CesMessage *cert = nullptr, *key = nullptr;
        int32_t cert_length = 0, key_length = 0;
        if (DecryptCertExchange(session, &cert, &cert_length, &key, &key_length, message,
                                static_cast<int32_t>(length)) == 1) {
            if (cert_length < 0 || key_length < 0 || static_cast<size_t>(cert_length + key_length) > length) std::abort();
        }
        FreeCesMessage(cert);
        FreeCesMessage(key);
    }
    std::free(message);
    return 0;
}
