#include "pkcs/pfx_file.h"

#include <cstring>
#include <utility>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/digest.h"
#include "cipher/hmac.h"
#include "cipher/kdf.h"
#include "cipher/random.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs12.h"
#include "pkcs/pkcs7.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "pkcs/prikey.h"

namespace quillon {
namespace {

constexpr uint32_t kPfxVersion = 3;
constexpr int kPkcs12MacId = 3;
constexpr size_t kMacSaltSize = 8;
constexpr int kMaxNesting = 2;  // safeContentsBag inside safeContentsBag

// ---- the MAC ----------------------------------------------------------------------------

// The HMAC algorithm of a PBMAC1 scheme: HMAC with a hash of the digest table.
const DigestAlgorithm* HmacByNid(int nid) {
    const DigestAlgorithm* digest = DIGEST_FromNid(nid);
    return digest && digest->hmac_nid == nid ? digest : nullptr;
}

// The MAC key by PBMAC1: PBKDF2 over the password bytes, keyLength bytes (required).
PfxError Pbmac1Key(const MacData* mac, const uint8_t* password, size_t password_length, const DigestAlgorithm** hash,
                   uint8_t* key, size_t* key_length) {
    AlgorithmId algorithm{mac->digestAlgorithm, mac->digestParameters};
    const EncryptedPrivateKeyInfo view{0, &algorithm, nullptr};
    PbeParametersPtr params(EPKI_GetPbeParams(&view));
    if (!params || params->kdf_nid != NID_PBKDF2 || !params->salt || !params->iterations ||
        !params->encryptionScheme)
        return PfxError::kMalformed;
    const DigestAlgorithm* prf = HmacByNid(params->prf_nid);
    *hash = HmacByNid(OBJ_NidFromValue(params->encryptionScheme->algorithm));
    const uint32_t iterations = BIGNUM_GetWord(params->iterations);
    if (!prf || !*hash || params->key_length < 1 || params->key_length > static_cast<int32_t>(kDigestMaxSize) ||
        iterations < 1 || iterations > kPkcs8MaxIterations)
        return PfxError::kMalformed;
    *key_length = static_cast<size_t>(params->key_length);
    return PBKDF2(prf, password, password_length, params->salt->data, params->salt->length, iterations, key,
                  *key_length)
               ? PfxError::kNone
               : PfxError::kMemory;
}

// The PKCS#12 derivation of a MAC key (the hash's size) over the password as a BMPString.
bool DeriveMacKey(const DigestAlgorithm* hash, const uint8_t* password, size_t password_length, const uint8_t* salt,
                  size_t salt_length, uint32_t iterations, uint8_t* key) {
    MemArray<uint8_t> bmp(2 * password_length + 2);
    if (!bmp) return false;
    const size_t bmp_length = PKCS12_PasswordToBmp(password, password_length, bmp.get());
    return PKCS12_DeriveKeyBmp(hash, bmp.get(), bmp_length, salt, salt_length, kPkcs12MacId, iterations, hash->size,
                               key) == 1;
}

// The MAC key by the PKCS#12 derivation with the MAC's own hash.
PfxError Pkcs12MacKey(const MacData* mac, const uint8_t* password, size_t password_length,
                      const DigestAlgorithm** hash, uint8_t* key, size_t* key_length) {
    const int nid = OBJ_NidFromValue(mac->digestAlgorithm);
    *hash = DIGEST_FromNid(nid);
    const uint32_t iterations = mac->iterations ? BIGNUM_GetWord(mac->iterations) : 1;
    const AsnValue* parameters = mac->digestParameters;
    if (!*hash || (*hash)->nid != nid || iterations < 1 || iterations > kPkcs8MaxIterations ||
        (parameters && (parameters->type != DER_NULL || parameters->length != 0)))
        return PfxError::kMalformed;
    *key_length = (*hash)->size;
    return DeriveMacKey(*hash, password, password_length, mac->macSalt->data, mac->macSalt->length, iterations, key)
               ? PfxError::kNone
               : PfxError::kMemory;
}

// Whether the MAC over the authenticated safe's octets holds, compared in constant time.
PfxError CheckMac(const MacData* mac, const uint8_t* password, size_t password_length, const AsnValue* data) {
    if (!mac->digestAlgorithm || !mac->digest || !mac->macSalt) return PfxError::kMalformed;
    const DigestAlgorithm* hash = nullptr;
    SecretArray<uint8_t, kDigestMaxSize> key, expected;
    size_t key_length = 0;
    const PfxError derived = OBJ_NidFromValue(mac->digestAlgorithm) == NID_PBMAC1
                                 ? Pbmac1Key(mac, password, password_length, &hash, key.data, &key_length)
                                 : Pkcs12MacKey(mac, password, password_length, &hash, key.data, &key_length);
    if (derived != PfxError::kNone) return derived;
    if (!HMAC_Compute(hash, key.data, key_length, data->data, data->length, expected.data)) return PfxError::kMemory;
    return CT_Equal(mac->digest->data, mac->digest->length, expected.data, hash->size) ? PfxError::kNone
                                                                                       : PfxError::kIntegrity;
}

// ---- reading the bags -------------------------------------------------------------------

struct CertFound {
    MemBytes der;
    AsnValuePtr local_key_id;
};

struct BagsRead {
    PrivateKeyInfoPtr key;
    AsnValuePtr key_id;       // the key bag's localKeyID
    AsnValuePtr random_num;   // a randomNum bag attribute's value
    CertFound certs[kPfxMaxBags];
    int cert_count = 0;
    int bag_count = 0;
};

// A copy of the single value of the bag attribute `nid` in *out (left null when absent); false
// when the copy cannot be made.
bool BagAttribute(const PointerList* attributes, int nid, AsnValuePtr* out) {
    for (int i = 0, count = PLIST_Count(attributes); i < count; ++i) {
        const auto* attribute = static_cast<const Pkcs8Attribute*>(PLIST_Get(attributes, i));
        if (OBJ_NidFromValue(attribute->type) == nid && PKCS8_AttributeValueCount(attribute) == 1) {
            out->reset(ASNVALUE_Dup(PKCS8_AttributeValue(attribute, 0)));
            return *out != nullptr;
        }
    }
    return true;
}

PfxError ReadKeyBag(const DerElement* value, int nid, const uint8_t* password, size_t password_length,
                    BagsRead* read) {
    PrivateKeyInfo* key = nullptr;
    if (nid == NID_KEY_BAG) {
        if (!PKCS8_Decode(value, &key)) return PfxError::kUndecodable;
    } else {
        EncryptedPrivateKeyInfo* raw = nullptr;
        if (!EPKI_Decode(value, &raw)) return PfxError::kMalformed;
        EncryptedPrivateKeyInfoPtr epki(raw);
        bool other_key = false;
        if (!PKCS8_Decrypt(epki.get(), &key, password, password_length, &other_key)) {
            if (other_key) return PfxError::kAlgorithm;
            return PKCS8_SchemeReadable(epki.get(), true) ? PfxError::kDecrypt : PfxError::kMalformed;
        }
    }
    read->key.reset(key);
    return PfxError::kNone;
}

// CertBag: SEQUENCE { x509Certificate, [0] EXPLICIT OCTET STRING }; other types are skipped.
PfxError ReadCertBag(const DerElement* value, BagsRead* read, AsnValuePtr key_id) {
    AsnValuePtr type(static_cast<AsnValue*>(DER_GetExactItem(value, 0, DER_OID)));
    if (!type) return PfxError::kMalformed;
    if (OBJ_NidFromValue(type.get()) != NID_X509_CERTIFICATE) return PfxError::kNone;
    DerElementPtr wrapped(DER_GetExactElement(value, 1, kDerExplicit0Id));
    AsnValuePtr octets(wrapped ? static_cast<AsnValue*>(DER_GetExactItem(wrapped.get(), 0, DER_OCTET_STRING))
                               : nullptr);
    if (!octets || DER_ItemCount(value) != 2 || octets->length == 0) return PfxError::kMalformed;
    CertFound& found = read->certs[read->cert_count];
    auto* copy = static_cast<uint8_t*>(MEM_Alloc(octets->length));
    if (!copy) return PfxError::kMemory;
    std::memcpy(copy, octets->data, octets->length);
    found.der.Reset(copy, octets->length);
    found.local_key_id = std::move(key_id);
    ++read->cert_count;
    return PfxError::kNone;
}

PfxError ReadSafeContents(const DerElement* contents, const uint8_t* password, size_t password_length, int depth,
                          BagsRead* read);

// SafeBag: SEQUENCE { bagId, [0] EXPLICIT bagValue, bagAttributes SET OPTIONAL }.
PfxError ReadBag(const DerElement* bag, const uint8_t* password, size_t password_length, int depth,
                 BagsRead* read) {
    const int items = DER_ItemCount(bag);
    AsnValuePtr bag_id(static_cast<AsnValue*>(DER_GetExactItem(bag, 0, DER_OID)));
    DerElementPtr wrapped(DER_GetExactElement(bag, 1, kDerExplicit0Id));
    DerElementPtr value(wrapped && DER_ItemCount(wrapped.get()) == 1
                            ? DER_GetExactElement(wrapped.get(), 0, kDerSequenceId)
                            : nullptr);
    if (*bag->identifier != kDerSequenceId || items < 2 || items > 3 || !bag_id || !value)
        return PfxError::kMalformed;
    PointerList* attributes = nullptr;
    if (items == 3) {
        DerElementPtr set(DER_GetExactElement(bag, 2, kDerSetId));
        if (!set || (DER_ItemCount(set.get()) > 0 && !ATTRS_Decode(set.get(), &attributes)))
            return PfxError::kMalformed;
    }
    const Pkcs8AttributesPtr owned(attributes);
    const int nid = OBJ_NidFromValue(bag_id.get());
    switch (nid) {
        case NID_KEY_BAG:
        case NID_PKCS8_SHROUDED_KEY_BAG:
            if (read->key) return PfxError::kNone;  // the first key is the one taken
            if (!BagAttribute(attributes, NID_LOCAL_KEY_ID, &read->key_id) ||
                !BagAttribute(attributes, NID_RANDOM_NUM, &read->random_num))
                return PfxError::kMemory;
            return ReadKeyBag(value.get(), nid, password, password_length, read);
        case NID_CERT_BAG: {
            AsnValuePtr key_id;
            if (!BagAttribute(attributes, NID_LOCAL_KEY_ID, &key_id)) return PfxError::kMemory;
            return ReadCertBag(value.get(), read, std::move(key_id));
        }
        case NID_SAFE_CONTENTS_BAG:
            if (depth >= kMaxNesting) return PfxError::kMalformed;
            return ReadSafeContents(value.get(), password, password_length, depth + 1, read);
        default:
            return PfxError::kNone;  // CRLs, secrets and unknown bags are not ours to read
    }
}

// SafeContents: SEQUENCE OF SafeBag.
PfxError ReadSafeContents(const DerElement* contents, const uint8_t* password, size_t password_length, int depth,
                          BagsRead* read) {
    for (int i = 0, count = DER_ItemCount(contents); i < count; ++i) {
        if (++read->bag_count > kPfxMaxBags) return PfxError::kMalformed;
        DerElementPtr bag(DER_GetItemElement(contents, i));
        if (!bag) return PfxError::kMalformed;
        const PfxError error = ReadBag(bag.get(), password, password_length, depth, read);
        if (error != PfxError::kNone) return error;
    }
    return PfxError::kNone;
}

// One ContentInfo of the authenticated safe: plain safe contents, or encrypted under a
// password scheme the key files use.
PfxError ReadPart(const DerElement* part, const uint8_t* password, size_t password_length, BagsRead* read) {
    ContentInfo* raw = nullptr;
    if (!CONTENTINFO_Decode(part, &raw)) return PfxError::kMalformed;
    const ContentInfoPtr info(raw);
    const int type = CONTENTINFO_TypeNid(info.get());
    if (type == NID_PKCS7_DATA && info->content) {
        const auto* octets = static_cast<const AsnValue*>(info->content);
        DerElementPtr contents(DER_Parse(octets->data, octets->length));
        if (!contents || *contents->identifier != kDerSequenceId) return PfxError::kMalformed;
        return ReadSafeContents(contents.get(), password, password_length, 0, read);
    }
    const auto* encrypted = type == NID_PKCS7_ENCRYPTED_DATA ? static_cast<const EncryptedData*>(info->content) : nullptr;
    const EncryptedContentInfo* content = encrypted ? encrypted->encryptedContentInfo : nullptr;
    if (!content || !content->encryptedContent) return PfxError::kMalformed;
    // The same AlgorithmIdentifier and ciphertext as a shrouded key's: decrypted alike.
    const EncryptedPrivateKeyInfo view{0, content->contentEncryptionAlgorithm, content->encryptedContent};
    if (!PKCS8_SchemeReadable(&view, true)) return PfxError::kMalformed;
    MemBytes plain;
    if (!PKCS8_DecryptBytes(&view, password, password_length, &plain)) return PfxError::kDecrypt;
    // Plaintext that is not safe contents: the part was encrypted under another password.
    DerElementPtr contents(DER_Parse(plain.data, plain.length));
    if (!contents || *contents->identifier != kDerSequenceId) return PfxError::kDecrypt;
    return ReadSafeContents(contents.get(), password, password_length, 0, read);
}

bool SameBytes(const AsnValue* a, const AsnValue* b) { return a && b && ASNVALUE_Compare(a, b) == 0; }

// The certificate of the key: by localKeyID first, by public key then; null when none.
CertFound* KeyCertificate(BagsRead& read, const uint8_t* key, size_t key_length) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < read.cert_count; ++i) {
            CertFound& cert = read.certs[i];
            if (pass == 0 && !SameBytes(cert.local_key_id.get(), read.key_id.get())) continue;
            if (PRIKEY_CheckKeyPairDer(cert.der.data, cert.der.length, key, key_length) == KeyError::kNone)
                return &cert;
        }
    }
    return nullptr;
}

// Adds randomNum from the bag's attribute to a key that carries none.
bool CarryRandomNum(PrivateKeyInfo* key, AsnValuePtr random_num) {
    if (!random_num) return true;
    for (int i = 0, count = PLIST_Count(key->attributes); i < count; ++i) {
        const auto* attribute = static_cast<const Pkcs8Attribute*>(PLIST_Get(key->attributes, i));
        if (OBJ_NidFromValue(attribute->type) == NID_RANDOM_NUM) return true;
    }
    Owned<Pkcs8Attribute, PKCS8_FreeAttribute> attribute(MEM_New<Pkcs8Attribute>());
    if (!attribute || !(attribute->type = OBJ_ValueFromNid(NID_RANDOM_NUM))) return false;
    attribute->single = 1;
    attribute->values = random_num.release();
    if (!key->attributes && !(key->attributes = PLIST_New())) return false;
    if (PLIST_Push(key->attributes, attribute.get()) == 0) return false;
    attribute.release();
    return true;
}

// ---- writing ----------------------------------------------------------------------------

// The identifiers a written PFX names, held while the writer refers to them.
struct Oids {
    AsnValuePtr data{OBJ_ValueFromNid(NID_PKCS7_DATA)};
    AsnValuePtr encrypted_data{OBJ_ValueFromNid(NID_PKCS7_ENCRYPTED_DATA)};
    AsnValuePtr cert_bag{OBJ_ValueFromNid(NID_CERT_BAG)};
    AsnValuePtr key_bag{OBJ_ValueFromNid(NID_PKCS8_SHROUDED_KEY_BAG)};
    AsnValuePtr local_key_id{OBJ_ValueFromNid(NID_LOCAL_KEY_ID)};
    AsnValuePtr x509_certificate{OBJ_ValueFromNid(NID_X509_CERTIFICATE)};
    bool Complete() const {
        return data && encrypted_data && cert_bag && key_bag && local_key_id && x509_certificate;
    }
};

// SafeContents of one bag with its localKeyID attribute; the bag's value goes under *value.
DerNode* WriteBag(DerWriter* w, DerNode* parent, const Oids& oids, const AsnValue* bag_id, const AsnValue* key_id,
                  DerNode** value) {
    DerNode* contents = DERW_Sequence(w, parent);
    DerNode* bag = DERW_Sequence(w, contents);
    DERW_Oid(w, bag, bag_id);
    *value = DERW_Constructed(w, bag, kDerExplicit0Id);
    DerNode* attribute = DERW_Sequence(w, DERW_SetOf(w, bag));
    DERW_Oid(w, attribute, oids.local_key_id.get());
    DERW_String(w, DERW_SetOf(w, attribute), DER_OCTET_STRING, key_id);
    return contents;
}

PfxError Encrypt(const uint8_t* plain, size_t length, const uint8_t* password, size_t password_length, bool legacy,
                 int legacy_scheme, EncryptedPrivateKeyInfo** out) {
    const int ok = legacy ? PKCS8_EncryptPkcs12(plain, length, out, password, password_length, kPfxIterations,
                                                legacy_scheme)
                          : PKCS8_EncryptPbes2(plain, length, out, password, password_length, kPfxIterations,
                                               NID_HMAC_WITH_SHA256, NID_AES_256_CBC);
    return ok ? PfxError::kNone : PfxError::kEncrypt;
}

}  // namespace

PfxError PFX_ImportDer(const uint8_t* password, size_t password_length, const uint8_t* der, size_t length,
                       MemBytes* certificate, MemBytes* key) {
    DerElementPtr element(DER_Parse(der, length));
    Pfx* raw = nullptr;
    if (!element || !PFX_Decode(element.get(), &raw)) return PfxError::kMalformed;
    const PfxPtr pfx(raw);
    const ContentInfo* auth = pfx->authSafe;
    if (BIGNUM_GetWord(pfx->version) != kPfxVersion ||
        CONTENTINFO_TypeNid(auth) != NID_PKCS7_DATA || !auth->content)
        return PfxError::kMalformed;
    if (!password || password_length == 0) return PfxError::kDecrypt;
    const auto* octets = static_cast<const AsnValue*>(auth->content);
    const PfxError mac = CheckMac(pfx->macData, password, password_length, octets);
    if (mac != PfxError::kNone) return mac;

    DerElementPtr parts(DER_Parse(octets->data, octets->length));
    const int part_count = parts ? DER_ItemCount(parts.get()) : 0;
    if (!parts || *parts->identifier != kDerSequenceId || part_count < 1 || part_count > kPfxMaxParts)
        return PfxError::kMalformed;
    BagsRead read;
    for (int i = 0; i < part_count; ++i) {
        DerElementPtr part(DER_GetExactElement(parts.get(), i, kDerSequenceId));
        if (!part) return PfxError::kMalformed;
        const PfxError error = ReadPart(part.get(), password, password_length, &read);
        if (error != PfxError::kNone) return error;
    }
    if (!read.key || read.cert_count == 0) return PfxError::kMalformed;
    if (!CarryRandomNum(read.key.get(), std::move(read.random_num))) return PfxError::kMemory;
    MemBytes plain;
    if (!PKCS8_EncodeBytes(read.key.get(), &plain)) return PfxError::kEncode;
    CertFound* cert = KeyCertificate(read, plain.data, plain.length);
    if (!cert) return PfxError::kMismatch;
    const uint32_t cert_length = cert->der.length, key_length = plain.length;
    certificate->Reset(cert->der.Release(), cert_length);
    key->Reset(plain.Release(), key_length);
    return PfxError::kNone;
}

PfxError PFX_ExportDer(const uint8_t* password, size_t password_length, const uint8_t* certificate,
                       size_t certificate_length, const uint8_t* key, size_t key_length, bool legacy, MemBytes* out) {
    const KeyError pair = PRIKEY_CheckKeyPairDer(certificate, certificate_length, key, key_length);
    if (pair == KeyError::kMismatch) return PfxError::kMismatch;
    if (pair != KeyError::kNone) return PfxError::kUndecodable;
    if (!password || password_length == 0) return PfxError::kEncrypt;
    // The elements themselves, without what may follow them (both decoded above, so whole).
    const size_t cert_size = DER_UnsizedLength(certificate), key_size = DER_UnsizedLength(key);
    if (cert_size == 0 || cert_size > certificate_length || key_size == 0 || key_size > key_length)
        return PfxError::kUndecodable;

    uint8_t key_id_bytes[kSha1DigestSize];
    uint8_t salt[kMacSaltSize];
    if (!SHA1_Digest(certificate, cert_size, key_id_bytes)) return PfxError::kMemory;
    if (RANDOM_Bytes(salt, sizeof salt) != 1) return PfxError::kRandom;
    AsnValuePtr key_id(ASNVALUE_FromOctets(key_id_bytes, sizeof key_id_bytes));
    const Oids oids;
    if (!key_id || !oids.Complete()) return PfxError::kMemory;

    // The certificate's safe contents, encrypted.
    DerWriter w;
    DerNode* value = nullptr;
    DerNode* cert_contents = WriteBag(&w, nullptr, oids, oids.cert_bag.get(), key_id.get(), &value);
    DerNode* cert_bag = DERW_Sequence(&w, value);
    DERW_Oid(&w, cert_bag, oids.x509_certificate.get());
    DERW_Primitive(&w, DERW_Constructed(&w, cert_bag, kDerExplicit0Id), DER_OCTET_STRING, certificate,
                   static_cast<uint32_t>(cert_size));
    MemBlock cert_plain;
    const int32_t cert_plain_size = DERW_Write(&w, cert_contents, &cert_plain);
    if (cert_plain_size <= 0) return PfxError::kEncode;
    EncryptedPrivateKeyInfo* raw = nullptr;
    PfxError error = Encrypt(cert_plain.get(), static_cast<size_t>(cert_plain_size), password, password_length,
                             legacy, NID_PBE_SHA1_RC2_40, &raw);
    const EncryptedPrivateKeyInfoPtr cert_sealed(raw);
    if (error != PfxError::kNone) return error;
    raw = nullptr;
    error = Encrypt(key, key_size, password, password_length, legacy, NID_PBE_SHA1_3DES, &raw);
    const EncryptedPrivateKeyInfoPtr key_sealed(raw);
    if (error != PfxError::kNone) return error;
    DerElementPtr key_epki(DER_New());
    if (!key_epki || !EPKI_Encode(key_sealed.get(), key_epki.get())) return PfxError::kEncode;

    // Pfx { 3, data { AuthenticatedSafe { encryptedData (certificate), data (key) } }, MacData },
    // the MAC filled in where it is written.
    const DigestAlgorithm* hash = DIGEST_FromNid(legacy ? NID_SHA1 : NID_SHA256);
    const uint8_t no_mac[kDigestMaxSize] = {};
    MacDataPtr mac(MEM_New<MacData>());
    BigNumPtr version(BIGNUM_New()), zero(BIGNUM_New());
    if (!mac || !version || !zero || !BIGNUM_SetWord(version.get(), kPfxVersion) ||
        !(mac->digestAlgorithm = OBJ_ValueFromNid(hash->nid)) ||
        !(mac->digest = ASNVALUE_FromOctets(no_mac, static_cast<uint32_t>(hash->size))) ||
        !(mac->macSalt = ASNVALUE_FromOctets(salt, sizeof salt)) || !(mac->iterations = BIGNUM_New()) ||
        !BIGNUM_SetWord(mac->iterations, kPfxIterations))
        return PfxError::kMemory;
    DerNode* pfx = DERW_Sequence(&w, nullptr);
    DERW_Integer(&w, pfx, version.get());
    DerNode* auth = DERW_Sequence(&w, pfx);
    DERW_Oid(&w, auth, oids.data.get());
    DerNode* auth_octets = DERW_Constructed(&w, DERW_Constructed(&w, auth, kDerExplicit0Id), DER_OCTET_STRING);
    DerNode* safe = DERW_Sequence(&w, auth_octets);
    DerNode* encrypted = DERW_Sequence(&w, safe);
    DERW_Oid(&w, encrypted, oids.encrypted_data.get());
    DerNode* encrypted_data = DERW_Sequence(&w, DERW_Constructed(&w, encrypted, kDerExplicit0Id));
    DERW_Integer(&w, encrypted_data, zero.get());
    const EncryptedContentInfo content{oids.data.get(), cert_sealed->encryptionAlgorithm, cert_sealed->encryptedData};
    ENCCONTENT_Write(&w, encrypted_data, &content);
    DerNode* plain = DERW_Sequence(&w, safe);
    DERW_Oid(&w, plain, oids.data.get());
    DerNode* key_octets = DERW_Constructed(&w, DERW_Constructed(&w, plain, kDerExplicit0Id), DER_OCTET_STRING);
    DerNode* key_value = nullptr;
    WriteBag(&w, key_octets, oids, oids.key_bag.get(), key_id.get(), &key_value);
    DERW_Element(&w, key_value, key_epki.get());

    DerNode* digest = nullptr;
    MACDATA_Write(&w, pfx, mac.get(), &digest);
    MemBlock bytes;
    const int32_t length = DERW_Write(&w, pfx, &bytes);
    if (length <= 0) return PfxError::kEncode;
    const DerPlacement placed = DERW_Placed(auth_octets);
    SecretArray<uint8_t, kDigestMaxSize> mac_key;
    if (!DeriveMacKey(hash, password, password_length, salt, sizeof salt, kPfxIterations, mac_key.data) ||
        !HMAC_Compute(hash, mac_key.data, hash->size, placed.contents, placed.content_length,
                      DERW_Placed(digest).contents))
        return PfxError::kMemory;
    out->Reset(bytes.release(), static_cast<uint32_t>(length));
    return PfxError::kNone;
}

}  // namespace quillon
