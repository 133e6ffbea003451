// Opening PFX messages on a keyed exchange session. The first byte picks what the rest is:
//   0: the PFX as received (outer structure, MacData, the integrity check);
//   1: an authSafe ContentInfo, wrapped here in a PFX with a valid MAC (the AuthenticatedSafe
//      and EncryptedData behind the check);
//   2: SafeContents plaintext, encrypted and wrapped here (the bag parser behind decryption).
// The PFX goes to the export in a heap block of exactly the size its header declares.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "asn1/der.h"
#include "cipher/hmac.h"
#include "cipher/pbe.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "exchange/cert_exchange.h"
#include "quilloncrypto.h"
#include "../tests/support/tlv.h"

namespace {

using Bytes = quillon::test::ByteVec;
using quillon::test::Tlv;
using quillon::test::Concat;

constexpr uint8_t kKey[16] = {0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42,
                              0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42};

CertExchangeSession* KeyedSession() {
    static CertExchangeSession* session = [] {
        CertExchangeSession* s = CreateCertExchangeSession();
        auto* internal = reinterpret_cast<quillon::CertExchangeSession*>(s);
        std::memcpy(internal->session_key, kKey, sizeof kKey);
        internal->session_key_length = sizeof kKey;
        return s;
    }();
    return session;
}


Bytes WithMac(const Bytes& auth_safe) {
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t material[24], mac_key[20], mac[20];
    std::memcpy(material, kKey, 16);
    std::memcpy(material + 16, salt, 8);
    quillon::SHA1_Digest(material, sizeof material, mac_key);
    quillon::HMAC_SHA1(mac_key, sizeof mac_key, auth_safe.data(), auth_safe.size(), mac);
    const Bytes mac_data = Tlv(0x30, Concat({Tlv(0x30, Concat({Tlv(0x30, Tlv(0x06, quillon::test::kOidSha1)),
                                                          Tlv(0x04, Bytes(mac, mac + 20))})),
                                          Tlv(0x04, Bytes(salt, salt + 8))}));
    return Tlv(0x30, Concat({Tlv(0x02, {3}), auth_safe, mac_data}));
}

Bytes AroundPlaintext(const uint8_t* plain, size_t length) {
    Bytes cipher(length + 32);
    size_t produced = 0;
    quillon::SEED_CBC_Crypt(quillon::kEncrypt, kKey, quillon::kPbeFixedIv, plain, length, cipher.data(), &produced);
    cipher.resize(produced);
    const Bytes encrypted = Tlv(0x30, Concat({Tlv(0x02, {0}), Tlv(0x30, Concat({Tlv(0x06, quillon::test::kOidPkcs7Data),
                                                                         Tlv(0x30, Tlv(0x06, quillon::test::kOidSeedCbc)),
                                                                         Tlv(0x80, cipher)}))}));
    const Bytes inner = Tlv(0x30, Concat({Tlv(0x06, quillon::test::kOidPkcs7EncryptedData), Tlv(0xA0, encrypted)}));
    return Tlv(0x30, Concat({Tlv(0x06, quillon::test::kOidPkcs7Data), Tlv(0xA0, Tlv(0x04, Tlv(0x30, inner)))}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 16) return 0;
    const uint8_t* body = data + 1;
    const size_t length = size - 1;
    Bytes pfx;
    switch (data[0] % 3) {
        case 0:
            pfx.assign(body, body + length);
            break;
        case 1:
            pfx = WithMac(Bytes(body, body + length));
            break;
        default:
            pfx = WithMac(AroundPlaintext(body, length));
            break;
    }
    // The export takes the header's word for the size: give it exactly that many bytes.
    pfx.resize(pfx.size() < 8 ? 8 : pfx.size());
    const size_t declared = quillon::DER_UnsizedLength(pfx.data());
    if (declared == 0 || declared > pfx.size()) return 0;
    auto* message = static_cast<unsigned char*>(std::malloc(declared));
    std::memcpy(message, pfx.data(), declared);
    CesMessage *cert = nullptr, *key = nullptr;
    int32_t cert_length = 0, key_length = 0;
    const int32_t result =
        DecryptCertExchange_PKCS12(KeyedSession(), &cert, &cert_length, &key, &key_length, message);
    if (result == 1 && (cert_length < 0 || key_length < 0 || static_cast<size_t>(cert_length + key_length) > declared))
        std::abort();
    if (result != 1 && (cert || key)) std::abort();
    FreeCesMessage(cert);
    FreeCesMessage(key);
    std::free(message);
    return 0;
}
