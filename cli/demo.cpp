// `quillon demo`: one whole certificate exchange in one process. The PC side uses the public
// API only; the phone side is the reference peer. The built-in sample certificate and key go
// from the PC to the phone.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "phone_peer.h"
#include "quilloncrypto.h"
#include "sample_data.h"

namespace quillon::cli {
namespace {

void PrintBytes(const char* who, const char* what, const unsigned char* bytes, size_t length) {
    std::printf("  %-7s %s: %zu bytes:", who, what, length);
    for (size_t i = 0; i < length && i < 16; ++i) std::printf(" %02X", bytes[i]);
    std::printf("%s\n", length > 16 ? " ..." : "");
}

int Fail(const char* step) {
    std::printf("FAILED: %s\n", step);
    return 1;
}

}  // namespace

int RunDemo(const std::string& code, bool pkcs12) {
    const SampleBytes cert = SampleCertificate();
    const SampleBytes key = SamplePrivateKey();
    std::printf("Certificate exchange demo%s: PC (this library, public API) -> phone (reference peer)\n",
                pkcs12 ? " in the PKCS#12 form" : "");
    std::printf("  sample credentials: signCert.der %zu bytes, signPri.key %zu bytes\n", cert.size, key.size);
    std::printf("  exchange code shown on the PC and typed on the phone: %s\n\n", code.c_str());

    PhonePeer phone(code);
    if (!phone.valid()) return Fail("the phone rejects the exchange code (check digit)");

    std::printf("1. PC makes a session and its public-key message\n");
    CertExchangeSession* session = CreateCertExchangeSession();
    if (!session) return Fail("CreateCertExchangeSession");
    CesMessage* public_key = nullptr;
    const int32_t public_key_length = GetCertExchangePublicKey(session, code.c_str(), &public_key);
    if (public_key_length <= 0) {
        CloseCertExchangeSession(session);
        return Fail("GetCertExchangePublicKey");
    }
    PrintBytes("PC", "GetCertExchangePublicKey -> public-key message", public_key, public_key_length);

    std::printf("2. phone decrypts the modulus with the code key and returns a session key under RSA (n, 3)\n");
    Bytes reply;
    const bool answered = phone.AnswerPublicKey(public_key, public_key_length, reply);
    FreeCesMessage(public_key);
    if (!answered) {
        CloseCertExchangeSession(session);
        return Fail("the phone could not read the public-key message");
    }
    PrintBytes("phone", "modulus", phone.modulus().data(), phone.modulus().size());
    std::printf("  %-7s session key: %zu bytes\n", "phone", phone.session_key().size());
    PrintBytes("phone", "session-key message", reply.data(), reply.size());

    std::printf("3. PC takes in the session key\n");
    if (SetCertExchangeSessionKey(session, reply.data(), static_cast<int32_t>(reply.size())) != 1) {
        CloseCertExchangeSession(session);
        return Fail("SetCertExchangeSessionKey");
    }
    std::printf("  %-7s SetCertExchangeSessionKey -> 1\n", "PC");

    std::printf("4. PC seals the certificate and private key%s; the phone opens and verifies\n",
                pkcs12 ? " as a PFX" : "");
    CesMessage* sealed = nullptr;
    const int32_t sealed_length =
        pkcs12 ? EncryptCertExchange_PKCS12(session, &sealed, cert.data, static_cast<int32_t>(cert.size), key.data,
                                            static_cast<int32_t>(key.size))
               : EncryptCertExchange(session, &sealed, cert.data, static_cast<int32_t>(cert.size), key.data,
                                     static_cast<int32_t>(key.size));
    CloseCertExchangeSession(session);
    if (sealed_length <= 0) return Fail(pkcs12 ? "EncryptCertExchange_PKCS12" : "EncryptCertExchange");
    PrintBytes("PC", pkcs12 ? "EncryptCertExchange_PKCS12 -> PFX" : "EncryptCertExchange -> sealed message", sealed,
               sealed_length);

    Bytes received_cert, received_key;
    const bool opened = pkcs12 ? phone.OpenPfx(sealed, sealed_length, received_cert, received_key)
                               : phone.OpenSealed(sealed, sealed_length, received_cert, received_key);
    FreeCesMessage(sealed);
    if (!opened) return Fail("the phone could not open the sealed message (MAC or format)");
    std::printf("  %-7s MAC verified; certificate %zu bytes, private key %zu bytes\n", "phone", received_cert.size(),
                received_key.size());

    const bool same_cert = received_cert.size() == cert.size && std::memcmp(received_cert.data(), cert.data, cert.size) == 0;
    const bool same_key = received_key.size() == key.size && std::memcmp(received_key.data(), key.data, key.size) == 0;
    if (!same_cert || !same_key) return Fail("the phone received other bytes than were sent");
    std::printf("\nOK: the phone received exactly the certificate and private-key bytes the PC sent.\n");
    return 0;
}

}  // namespace quillon::cli
