#include "pkcs/pkcs7_open.h"

#include <utility>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/cbc_cipher.h"
#include "cipher/digest.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "core/mem_array.h"
#include "core/secret.h"
#include "pkcs/pkcs7.h"
#include "pkcs/pkcs8.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "rsa/rsa_params.h"
#include "x509/x509_cert.h"

namespace quillon {
namespace {

// The EnvelopedData, bare or inside a ContentInfo of type pkcs7-envelopedData.
EnvelopedDataPtr ReadEnvelope(const uint8_t* der, size_t length) {
    DerElementPtr element(DER_Parse(der, length));
    if (!element) return nullptr;
    if (DER_ItemTag(element.get(), 0) != DER_OID) {
        EnvelopedData* data = nullptr;
        return EnvelopedDataPtr(ENVDATA_Decode(element.get(), &data) ? data : nullptr);
    }
    ContentInfo* raw = nullptr;
    if (!CONTENTINFO_Decode(element.get(), &raw)) return nullptr;
    ContentInfoPtr info(raw);
    if (CONTENTINFO_TypeNid(info.get()) != NID_PKCS7_ENVELOPED_DATA || !info->content) return nullptr;
    return EnvelopedDataPtr(static_cast<EnvelopedData*>(std::exchange(info->content, nullptr)));
}

// The certificate's subject key identifier: the OCTET STRING inside the extension.
AsnValuePtr SubjectKeyId(const X509Tbs* tbs) {
    const int index = X509Ext_FindByNid(tbs->extensions, NID_SUBJECT_KEY_IDENTIFIER, -1);
    const auto* extension = static_cast<const X509Extension*>(X509_ListGet(tbs->extensions, index));
    if (index < 0 || !extension || !extension->value) return nullptr;
    DerElementPtr inner(DER_Parse(extension->value->data, extension->value->length));
    if (!inner || *inner->identifier != DER_OCTET_STRING) return nullptr;
    return AsnValuePtr(ASNVALUE_FromOctets(inner->contents, static_cast<uint32_t>(DER_ContentLength(inner.get()))));
}

bool SameOctets(const AsnValue* a, const AsnValue* b) {
    return a && b && ASNVALUE_Compare(a, b) == 0;
}

const RecipientInfo* FindRecipient(const EnvelopedData* data, const X509Tbs* tbs) {
    const AsnValuePtr key_id = SubjectKeyId(tbs);
    for (int i = 0, count = PLIST_Count(data->recipientInfos); i < count; ++i) {
        const auto* info = static_cast<const RecipientInfo*>(PLIST_Get(data->recipientInfos, i));
        const IssuerAndSerialNumber* ias = info ? info->issuerAndSerialNumber : nullptr;
        if (ias && DER_Equal(ias->issuerDer, tbs->issuerDer) && DER_Equal(ias->serialNumberDer, tbs->serialNumberDer))
            return info;
        if (info && SameOctets(info->subjectKeyIdentifier, key_id.get())) return info;
    }
    return nullptr;
}

// The content key: the RSA block unpadded, or, when it does not unpad to `key_size` bytes, the
// random key drawn beforehand, chosen under a mask.
OpenError RecoverKey(RsaKey* key, const RecipientInfo* recipient, size_t key_size, uint8_t* content_key) {
    DerElementPtr algorithm(DER_New());
    RsaKeyTransport transport;
    if (!algorithm || !ALGID_Encode(recipient->keyEncryptionAlgorithm, algorithm.get()) ||
        !RSA_KeyTransportFromAlgorithm(algorithm.get(), &transport))
        return OpenError::kMalformed;
    if (RANDOM_Bytes(content_key, key_size) != 1) return OpenError::kRandom;
    const uint32_t k = RSA_ModulusBytes(key);
    const AsnValue* encrypted = recipient->encryptedKey;
    BigNumPtr c(BIGNUM_FromBytes(encrypted->data, encrypted->length, nullptr));
    MemArray<uint8_t> block(k, true), message(k, true);
    if (!c || !block || !message) return OpenError::kMemory;
    // Whether the encrypted key fits below n is public: refused at once.
    if (encrypted->length > k || BIGNUM_Cmp(c.get(), key->n) >= 0) return OpenError::kDecrypt;
    if (!RSA_PrivateBlock(key, c.get(), block.get(), k)) return OpenError::kMemory;
    const uint32_t length = transport.oaep
                                ? RSA_UnpadOaep(block.get(), k, transport.hash, transport.mgf_hash, message.get())
                                : RSA_UnpadPkcs1Type2(block.get(), k, message.get());
    const uint8_t good = static_cast<uint8_t>(0u - static_cast<uint32_t>(length == key_size));
    for (size_t i = 0; i < key_size; ++i)
        content_key[i] = static_cast<uint8_t>((message.get()[i] & good) | (content_key[i] & ~good));
    return OpenError::kNone;
}

// The cipher layer takes padding as leniently as the exchange's peers need; here every pad
// byte must hold the pad count, 1 to a block, which a wrong content key rarely gives.
bool StrictPadding(const uint8_t* plain, size_t kept, size_t length, size_t block_size) {
    const size_t pad = length - kept;
    if (pad == 0 || pad > block_size) return false;
    uint8_t differ = 0;
    for (size_t i = kept; i < length; ++i) differ |= static_cast<uint8_t>(plain[i] ^ pad);
    return differ == 0;
}

OpenError Open(const uint8_t* key_der, size_t key_length, const uint8_t* certificate, size_t certificate_length,
               const uint8_t* enveloped, size_t enveloped_length, MemBytes* out) {
    const X509CertPtr cert = X509_DecodeBytes(certificate, certificate_length);
    if (!cert) return OpenError::kCertificate;
    const PrivateKeyInfoPtr key = PKCS8_DecodeOwned(key_der, key_length);
    if (!key || PKCS8_AlgorithmNid(key.get()) != NID_RSA_ENCRYPTION || !key->rsaKey) return OpenError::kKey;

    EnvelopedDataPtr data = ReadEnvelope(enveloped, enveloped_length);
    const EncryptedContentInfo* content = data ? data->encryptedContentInfo : nullptr;
    const AlgorithmId* algorithm = content ? content->contentEncryptionAlgorithm : nullptr;
    const CbcCipher* cipher = algorithm ? CBC_FromNid(OBJ_NidFromValue(algorithm->algorithm)) : nullptr;
    // The IV is the parameters' OCTET STRING of one block; detached content is not handled here.
    const AsnValue* iv = algorithm ? algorithm->parameters : nullptr;
    if (!cipher || !iv || iv->type != DER_OCTET_STRING || iv->length != cipher->block_size ||
        !content->encryptedContent)
        return OpenError::kMalformed;
    const RecipientInfo* recipient = FindRecipient(data.get(), cert->tbs);
    if (!recipient) return OpenError::kNotRecipient;

    SecretArray<uint8_t, kCbcMaxKeySize> content_key;
    const OpenError recovered = RecoverKey(key->rsaKey, recipient, cipher->key_size, content_key.data);
    if (recovered != OpenError::kNone) return recovered;
    const AsnValue* ciphertext = content->encryptedContent;
    MemBytes plain;
    plain.Reset(static_cast<uint8_t*>(MEM_Alloc(ciphertext->length ? ciphertext->length : 1)), 0);
    if (!plain.data) return OpenError::kMemory;
    size_t produced = 0;
    if (!cipher->crypt(kDecrypt, content_key.data, iv->data, ciphertext->data, ciphertext->length, plain.data,
                       &produced) ||
        !StrictPadding(plain.data, produced, ciphertext->length, cipher->block_size))
        return OpenError::kDecrypt;
    plain.length = static_cast<uint32_t>(produced);
    out->Reset(plain.Release(), static_cast<uint32_t>(produced));
    return OpenError::kNone;
}

}  // namespace

OpenError PKCS7_OpenEnvelopeDer(const uint8_t* key, size_t key_length, const uint8_t* certificate,
                                size_t certificate_length, const uint8_t* enveloped, size_t enveloped_length,
                                MemBytes* out) {
    return MEM_BlameExhaustion(OpenError::kMemory,
                               {OpenError::kCertificate, OpenError::kKey, OpenError::kMalformed,
                                OpenError::kNotRecipient, OpenError::kDecrypt, OpenError::kRandom},
                               [&] {
                                   return Open(key, key_length, certificate, certificate_length, enveloped,
                                               enveloped_length, out);
                               });
}

}  // namespace quillon
