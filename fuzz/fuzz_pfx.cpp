// PFX_Import under the password "fuzz". The first byte picks what the rest is:
//   0: the PFX as received (outer structure, MacData, the MAC check);
//   1: the AuthenticatedSafe, wrapped here in a PFX with a valid SHA-1 MAC (the parts and the
//      bags behind the check: plain key bags, certificate bags, the key and certificate match);
//   2: SafeContents plaintext, encrypted here under pbeWithSHAAnd40BitRC2-CBC and wrapped (the
//      bag parser behind decryption).
// Iteration counts of 1 keep each run quick; a count inside the input is the input's own.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "cipher/hmac.h"
#include "cipher/kdf.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8_crypt.h"
#include "quilloncrypto.h"
#include "../tests/support/tlv.h"

namespace {

using Bytes = quillon::test::ByteVec;
using quillon::test::Concat;
using quillon::test::Tlv;

constexpr char kPassword[] = "fuzz";
const Bytes kOidData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const Bytes kOidEncryptedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x06};
const Bytes kOidRc2_40 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01, 0x06};
const Bytes kOidSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};

Bytes DataPart(const Bytes& octets) { return Tlv(0x30, Concat({Tlv(0x06, kOidData), Tlv(0xA0, Tlv(0x04, octets))})); }

// Pfx { 3, data { safe }, MacData { SHA-1, salt, 1 } } with the MAC the password gives.
Bytes WithMac(const Bytes& safe) {
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t bmp[] = {0, 'f', 0, 'u', 0, 'z', 0, 'z', 0, 0};
    const quillon::DigestAlgorithm* sha1 = quillon::DIGEST_FromNid(quillon::NID_SHA1);
    uint8_t key[20], mac[20];
    quillon::PKCS12_DeriveKeyBmp(sha1, bmp, sizeof bmp, salt, sizeof salt, 3, 1, sizeof key, key);
    quillon::HMAC_Compute(sha1, key, sizeof key, safe.data(), safe.size(), mac);
    const Bytes mac_data = Tlv(0x30, Concat({Tlv(0x30, Concat({Tlv(0x30, Concat({Tlv(0x06, kOidSha1), Tlv(0x05, {})})),
                                                                Tlv(0x04, Bytes(mac, mac + 20))})),
                                              Tlv(0x04, Bytes(salt, salt + 8)), Tlv(0x02, {1})}));
    return Tlv(0x30, Concat({Tlv(0x02, {3}), DataPart(safe), mac_data}));
}

Bytes EncryptedPart(const uint8_t* plain, size_t length) {
    quillon::EncryptedPrivateKeyInfo* epki = nullptr;
    if (!quillon::PKCS8_EncryptPkcs12(plain, length, &epki, reinterpret_cast<const uint8_t*>(kPassword),
                                      sizeof kPassword - 1, 1, quillon::NID_PBE_SHA1_RC2_40))
        return {};
    const quillon::AsnValue* salt = nullptr;
    quillon::PbeParameters* params = quillon::EPKI_GetPbeParams(epki);
    salt = params ? params->salt : nullptr;
    Bytes part;
    if (salt) {
        const Bytes algorithm = Tlv(0x30, Concat({Tlv(0x06, kOidRc2_40),
                                                  Tlv(0x30, Concat({Tlv(0x04, Bytes(salt->data, salt->data + salt->length)),
                                                                    Tlv(0x02, {1})}))}));
        const quillon::AsnValue* data = epki->encryptedData;
        const Bytes content = Tlv(0x30, Concat({Tlv(0x06, kOidData), algorithm,
                                                Tlv(0x80, Bytes(data->data, data->data + data->length))}));
        part = Tlv(0x30, Concat({Tlv(0x06, kOidEncryptedData),
                                 Tlv(0xA0, Tlv(0x30, Concat({Tlv(0x02, {0}), content})))}));
    }
    quillon::PBEPARAM_Free(params);
    quillon::EPKI_Free(epki);
    return part;
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
            if (length == 0) return 0;
            pfx = WithMac(Tlv(0x30, EncryptedPart(body, length)));
            break;
    }
    // Exactly the input's bytes in a block of their own, so a read past them is caught.
    auto* bytes = static_cast<unsigned char*>(std::malloc(pfx.size() ? pfx.size() : 1));
    if (!pfx.empty()) std::memcpy(bytes, pfx.data(), pfx.size());
    const BINSTR in{bytes, static_cast<uint32_t>(pfx.size())};
    BINSTR cert{nullptr, 0}, key{nullptr, 0};
    const int32_t result = PFX_Import(kPassword, &in, &cert, &key);
    if ((result == QC_OK) != (cert.data != nullptr && key.data != nullptr)) std::abort();
    BINSTR_Delete(&cert);
    BINSTR_Delete(&key);
    std::free(bytes);
    return 0;
}
