#include "exchange/exchange_pfx.h"

#include <cstring>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/hmac.h"
#include "cipher/pbe.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "core/secret.h"
#include "pkcs/pkcs12.h"

namespace quillon {
namespace {

constexpr uint32_t kPfxVersion = 3;

// The record's DER in `out` (it may hold a private key: the allocator wipes it on release);
// its length, or 0.
template <class T>
int32_t EncodeTo(const T* record, int (*encode)(const T*, DerElement*), MemBlock& out) {
    DerElementPtr element(DER_New());
    if (!element || !encode(record, element.get())) return 0;
    uint8_t* bytes = nullptr;
    const int32_t length = DER_ToBytes(element.get(), &bytes);
    out.reset(bytes);
    return length > 0 ? length : 0;
}

DerElementPtr Sequence(const DerElement* parent, int index) {
    return DerElementPtr(DER_GetExactElement(parent, index, kDerSequenceId));
}

// The secret bag's value: SEQUENCE { OCTET STRING certificate, OCTET STRING private key }.
DerElement* PairValue(const uint8_t* certificate, uint32_t certificate_length, const uint8_t* private_key,
                      uint32_t private_key_length) {
    AsnValuePtr cert(ASNVALUE_FromOctets(certificate, certificate_length));
    AsnValuePtr key(ASNVALUE_FromOctets(private_key, private_key_length));
    DerElementPtr value(DER_New());
    if (!cert || !key || !value ||
        !DER_Append(value.get(), DER_OCTET_STRING, cert.get(), static_cast<int32_t>(certificate_length)) ||
        !DER_Append(value.get(), DER_OCTET_STRING, key.get(), static_cast<int32_t>(private_key_length)))
        return nullptr;
    return value.release();
}

// MAC key = SHA-1(key || salt); HMAC-SHA1 under it over `data`.
bool ComputeMac(const uint8_t* key, const AsnValue* salt, const uint8_t* data, size_t length,
                uint8_t mac[kPfxMacSize]) {
    if (!salt || (salt->length && !salt->data)) return false;
    Sha1Context context;
    uint8_t mac_key[kSha1DigestSize];
    const bool ok = SHA1_Init(&context) && SHA1_Update(&context, key, kPfxKeySize) &&
                    SHA1_Update(&context, salt->data, salt->length) && SHA1_Final(&context, mac_key) &&
                    HMAC_SHA1(mac_key, sizeof mac_key, data, length, mac) == 1;
    MEM_Wipe(&context, sizeof context);
    MEM_Wipe(mac_key, sizeof mac_key);
    return ok;
}

// The pkcs7-data authSafe around the AuthenticatedSafe { ContentInfo(encryptedData) }.
ContentInfo* BuildAuthSafe(const SecureBytes& cipher) {
    EncryptedDataPtr encrypted(MEM_New<EncryptedData>());
    if (!encrypted || !(encrypted->version = BIGNUM_New()) || !BIGNUM_SetWord(encrypted->version, 0) ||
        !(encrypted->encryptedContentInfo = ENCCONTENT_Make(NID_PKCS7_DATA, NID_SEED_CBC, nullptr, cipher.data(),
                                                            static_cast<uint32_t>(cipher.size()))))
        return nullptr;
    ContentInfoPtr inner(MEM_New<ContentInfo>());
    if (!inner || !(inner->contentType = OBJ_ValueFromNid(NID_PKCS7_ENCRYPTED_DATA))) return nullptr;
    inner->content = encrypted.release();

    DerElementPtr inner_der(DER_New());
    DerElementPtr safe(DER_New());
    uint8_t* bytes = nullptr;
    int32_t length = 0;
    if (!inner_der || !safe || !CONTENTINFO_Encode(inner.get(), inner_der.get()) ||
        !DER_Append(safe.get(), DER_SEQUENCE, inner_der.get(), 0) || (length = DER_ToBytes(safe.get(), &bytes)) <= 0)
        return nullptr;
    MemBlock owned(bytes);
    ContentInfoPtr auth(MEM_New<ContentInfo>());
    if (!auth || !(auth->contentType = OBJ_ValueFromNid(NID_PKCS7_DATA)) ||
        !(auth->content = ASNVALUE_FromOctets(bytes, static_cast<uint32_t>(length))))
        return nullptr;
    return auth.release();
}

// The ciphertext inside a decoded authSafe: pkcs7-data holding an AuthenticatedSafe whose
// first ContentInfo is pkcs7-encryptedData with content. Null otherwise.
EncryptedDataPtr EncryptedPart(const ContentInfo* auth) {
    if (CONTENTINFO_TypeNid(auth) != NID_PKCS7_DATA || !auth->content) return nullptr;
    const auto* octets = static_cast<const AsnValue*>(auth->content);
    DerElementPtr safe(DER_Parse(octets->data, octets->length));
    if (!safe || *safe->identifier != kDerSequenceId) return nullptr;
    DerElementPtr first = Sequence(safe.get(), 0);
    ContentInfo* raw = nullptr;
    if (!first || !CONTENTINFO_Decode(first.get(), &raw)) return nullptr;
    ContentInfoPtr inner(raw);
    if (CONTENTINFO_TypeNid(inner.get()) != NID_PKCS7_ENCRYPTED_DATA || !inner->content) return nullptr;
    EncryptedDataPtr encrypted(static_cast<EncryptedData*>(inner->content));
    inner->content = nullptr;
    const EncryptedContentInfo* info = encrypted->encryptedContentInfo;
    if (!info || !info->encryptedContent) return nullptr;
    return encrypted;
}

}  // namespace

int32_t PFX_Seal(const uint8_t key[kPfxKeySize], const uint8_t* certificate, uint32_t certificate_length,
                 const uint8_t* private_key, uint32_t private_key_length, uint8_t** out) {
    SafeBagPtr bag(MEM_New<SafeBag>());
    if (!bag || !(bag->bagId = OBJ_ValueFromNid(NID_SECRET_BAG)) ||
        !(bag->bagValue = PairValue(certificate, certificate_length, private_key, private_key_length)))
        return 0;
    MemBlock plain;
    const int32_t plain_length = EncodeTo<SafeBag>(bag.get(), SAFECONTENTS_Encode, plain);
    SecureBytes cipher;
    if (plain_length <= 0 ||
        !SEED_CBC_CryptBytes(kEncrypt, key, kPbeFixedIv, plain.get(), static_cast<size_t>(plain_length), cipher))
        return 0;
    bag.reset();

    PfxPtr pfx(MEM_New<Pfx>());
    if (!pfx || !(pfx->authSafe = BuildAuthSafe(cipher))) return 0;
    uint8_t salt[kPfxSaltSize];
    uint8_t mac[kPfxMacSize];
    MemBlock auth;
    int32_t auth_length = 0;
    MacDataPtr mac_data(MEM_New<MacData>());
    if (!mac_data || RANDOM_Bytes(salt, sizeof salt) < 1 ||
        !(mac_data->macSalt = ASNVALUE_FromOctets(salt, sizeof salt)) ||
        (auth_length = EncodeTo<ContentInfo>(pfx->authSafe, CONTENTINFO_Encode, auth)) <= 0 ||
        !ComputeMac(key, mac_data->macSalt, auth.get(), static_cast<size_t>(auth_length), mac) ||
        !(mac_data->digest = ASNVALUE_FromOctets(mac, sizeof mac)) ||
        !(mac_data->digestAlgorithm = OBJ_ValueFromNid(NID_SHA1)))
        return 0;
    pfx->macData = mac_data.release();
    if (!(pfx->version = BIGNUM_New()) || !BIGNUM_SetWord(pfx->version, kPfxVersion)) return 0;
    DerElementPtr element(DER_New());
    if (!element || !PFX_Encode(pfx.get(), element.get())) return 0;
    const int32_t length = DER_ToBytes(element.get(), out);
    return length > 0 ? length : 0;
}

int PFX_Open(const uint8_t key[kPfxKeySize], const uint8_t* bytes, CertKeyPair** out) {
    DerElementPtr element(DER_ParseUnsized(bytes));
    Pfx* raw = nullptr;
    if (!element || !PFX_Decode(element.get(), &raw)) return 0;
    PfxPtr pfx(raw);

    // The MAC covers the authSafe exactly as received.
    DerElementPtr auth_der(DER_GetItemElement(element.get(), 1));
    uint8_t* auth_bytes = nullptr;
    const int32_t auth_length = auth_der ? DER_ToBytes(auth_der.get(), &auth_bytes) : 0;
    const MemBlock auth(auth_bytes);
    if (auth_length <= 0) return 0;
    uint8_t expected[kPfxMacSize];
    if (!ComputeMac(key, pfx->macData->macSalt, auth.get(), static_cast<size_t>(auth_length), expected)) return 0;
    const AsnValue* received = pfx->macData->digest;
    const bool authentic = received && CT_Equal(received->data, received->length, expected, sizeof expected);
    MEM_Wipe(expected, sizeof expected);
    if (!authentic) return -1;

    EncryptedDataPtr encrypted = EncryptedPart(pfx->authSafe);
    if (!encrypted) return 0;
    const AsnValue* cipher = encrypted->encryptedContentInfo->encryptedContent;
    SecureBytes plain;
    if (!SEED_CBC_CryptBytes(kDecrypt, key, kPbeFixedIv, cipher->data, cipher->length, plain)) return 0;
    DerElementPtr contents(DER_Parse(plain.data(), plain.size()));
    SafeBag* bag_raw = nullptr;
    if (!contents || !SAFECONTENTS_Decode(contents.get(), &bag_raw)) return 0;
    SafeBagPtr bag(bag_raw);
    CertKeyPair* pair = CERTKEY_FromDer(bag->bagValue);
    if (!pair) return 0;
    *out = pair;
    return 1;
}

}  // namespace quillon
