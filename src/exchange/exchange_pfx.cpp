#include "exchange/exchange_pfx.h"

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

DerElementPtr Sequence(const DerElement* parent, int index) {
    return DerElementPtr(DER_GetExactElement(parent, index, kDerSequenceId));
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

// The inner ContentInfo: pkcs7-encryptedData around the ciphertext, SEED-CBC with NULL parameters.
ContentInfo* EncryptedContent(const SecureBytes& cipher) {
    EncryptedDataPtr encrypted(MEM_New<EncryptedData>());
    if (!encrypted || !(encrypted->version = BIGNUM_New()) || !BIGNUM_SetWord(encrypted->version, 0) ||
        !(encrypted->encryptedContentInfo = ENCCONTENT_Make(NID_PKCS7_DATA, NID_SEED_CBC, nullptr, cipher.data(),
                                                            static_cast<uint32_t>(cipher.size()))))
        return nullptr;
    ContentInfoPtr inner(MEM_New<ContentInfo>());
    if (!inner || !(inner->contentType = OBJ_ValueFromNid(NID_PKCS7_ENCRYPTED_DATA))) return nullptr;
    inner->content = encrypted.release();
    return inner.release();
}

// The SafeContents of the pair: one secret bag whose value is
// SEQUENCE { OCTET STRING certificate, OCTET STRING private key }. Its length, or 0.
int32_t WriteSafeContents(const uint8_t* certificate, uint32_t certificate_length, const uint8_t* private_key,
                          uint32_t private_key_length, MemBlock* out) {
    AsnValuePtr bag_id(OBJ_ValueFromNid(NID_SECRET_BAG));
    if (!bag_id) return 0;
    DerWriter w;
    DerNode* value = nullptr;
    DerNode* root = SAFECONTENTS_Write(&w, nullptr, bag_id.get(), &value);
    DerNode* pair = DERW_Sequence(&w, value);
    DERW_Primitive(&w, pair, DER_OCTET_STRING, certificate, certificate_length);
    DERW_Primitive(&w, pair, DER_OCTET_STRING, private_key, private_key_length);
    return DERW_Write(&w, root, out);
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
    if (!certificate || !private_key || !out) return 0;
    MemBlock plain;
    const int32_t plain_length =
        WriteSafeContents(certificate, certificate_length, private_key, private_key_length, &plain);
    SecureBytes cipher;
    if (plain_length <= 0 ||
        !SEED_CBC_CryptBytes(kEncrypt, key, kPbeFixedIv, plain.get(), static_cast<size_t>(plain_length), cipher))
        return 0;
    plain.reset();

    // The MAC goes in last: the PFX is written once with a zero digest, then the MAC over the
    // authSafe as written is put in the digest's place.
    const uint8_t no_mac[kPfxMacSize] = {};
    uint8_t salt[kPfxSaltSize];
    ContentInfoPtr inner(EncryptedContent(cipher));
    AsnValuePtr data_type(OBJ_ValueFromNid(NID_PKCS7_DATA));
    BigNumPtr version(BIGNUM_New());
    MacDataPtr mac_data(MEM_New<MacData>());
    if (!inner || !data_type || !version || !BIGNUM_SetWord(version.get(), kPfxVersion) || !mac_data ||
        RANDOM_Bytes(salt, sizeof salt) < 1 || !(mac_data->macSalt = ASNVALUE_FromOctets(salt, sizeof salt)) ||
        !(mac_data->digest = ASNVALUE_FromOctets(no_mac, sizeof no_mac)) ||
        !(mac_data->digestAlgorithm = OBJ_ValueFromNid(NID_SHA1)))
        return 0;

    DerWriter w;
    DerNode* pfx = DERW_Sequence(&w, nullptr);
    DERW_Integer(&w, pfx, version.get());
    // authSafe: pkcs7-data whose octets are the AuthenticatedSafe { inner }, nested in place.
    DerNode* auth = DERW_Sequence(&w, pfx);
    DERW_Oid(&w, auth, data_type.get());
    DerNode* octets = DERW_Constructed(&w, DERW_Constructed(&w, auth, kDerExplicit0Id), DER_OCTET_STRING);
    CONTENTINFO_Write(&w, DERW_Sequence(&w, octets), inner.get());
    DerNode* digest = nullptr;
    MACDATA_Write(&w, pfx, mac_data.get(), &digest);
    MemBlock bytes;
    const int32_t length = DERW_Write(&w, pfx, &bytes);
    const DerPlacement written = DERW_Placed(auth);
    if (length <= 0 ||
        !ComputeMac(key, mac_data->macSalt, written.element, written.size, DERW_Placed(digest).contents))
        return 0;
    *out = bytes.release();
    return length;
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
