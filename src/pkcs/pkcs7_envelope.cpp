#include "pkcs/pkcs7_envelope.h"

#include <utility>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "pkcs/pkcs7.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "x509/x509_cert.h"

namespace quillon {
namespace {

constexpr size_t kContentKeySize = 16;

// Moves the certificate's issuer and serial (decoded and as encoded) into a new record: the
// certificate is released right after, so nothing needs copying.
IssuerAndSerialNumber* TakeIssuerAndSerial(X509Tbs* tbs) {
    auto* ias = MEM_New<IssuerAndSerialNumber>();
    if (!ias) return nullptr;
    std::swap(ias->issuer, tbs->issuer);
    std::swap(ias->serialNumber, tbs->serialNumber);
    std::swap(ias->issuerDer, tbs->issuerDer);
    std::swap(ias->serialNumberDer, tbs->serialNumberDer);
    return ias;
}

// The recipient's entry: the content key under the certificate's RSA key (exactly the
// modulus length) and the key algorithm with NULL parameters.
EnvelopeError BuildRecipient(X509Cert* cert, const uint8_t* content_key, RecipientInfoPtr& out) {
    X509PubKey* pub = cert->tbs->subjectPublicKeyInfo;
    if (!pub) return EnvelopeError::kKeyEncryption;
    RecipientInfoPtr info(MEM_New<RecipientInfo>());
    if (!info || !(info->version = BIGNUM_New()) || !BIGNUM_SetWord(info->version, 0) ||
        !(info->issuerAndSerialNumber = TakeIssuerAndSerial(cert->tbs)) ||
        !(info->keyEncryptionAlgorithm = ALGID_New()) ||
        !ALGID_Set(info->keyEncryptionAlgorithm, pub->algorithm, nullptr))
        return EnvelopeError::kMemory;
    // A key that is not RSA (KCDSA) has nothing to encrypt the content key with.
    if (!pub->rsaKey || !pub->rsaKey->n) return EnvelopeError::kKeyEncryption;
    const uint32_t modulus_length = static_cast<uint32_t>((BIGNUM_NumBits(pub->rsaKey->n) + 7) / 8);
    MemBlock encrypted(static_cast<uint8_t*>(MEM_Alloc(modulus_length ? modulus_length : 1)));
    if (!encrypted) return EnvelopeError::kMemory;
    uint32_t length = 0;
    if (RSA_PublicEncrypt(pub->rsaKey, encrypted.get(), &length, content_key, kContentKeySize) < 1)
        return EnvelopeError::kKeyEncryption;
    if (!(info->encryptedKey = ASNVALUE_FromOctets(encrypted.get(), length))) return EnvelopeError::kMemory;
    out = std::move(info);
    return EnvelopeError::kNone;
}

// SEED-CBC of the data under the content key and IV, as pkcs7-data.
EnvelopeError BuildContent(const uint8_t* key_and_iv, const uint8_t* data, size_t data_length,
                     EncryptedContentInfoPtr& out) {
    MemBlock cipher(static_cast<uint8_t*>(MEM_Alloc(data_length + 32)));
    if (!cipher) return EnvelopeError::kMemory;
    size_t produced = 0;
    if (SEED_CBC_Crypt(kEncrypt, key_and_iv, key_and_iv + kContentKeySize, data, data_length, cipher.get(),
                       &produced) < 1)
        return EnvelopeError::kContentEncryption;
    AsnValuePtr iv(ASNVALUE_FromOctets(key_and_iv + kContentKeySize, kContentKeySize));
    if (!iv) return EnvelopeError::kMemory;
    out.reset(ENCCONTENT_Make(NID_PKCS7_DATA, NID_SEED_CBC, iv.get(), cipher.get(), static_cast<uint32_t>(produced)));
    return out ? EnvelopeError::kNone : EnvelopeError::kMemory;
}

EnvelopeError Envelope(int32_t mode, const uint8_t* certificate, size_t certificate_length, const uint8_t* data,
                       size_t data_length, MemBlock* out, uint32_t* out_length) {
    const X509CertPtr cert = X509_DecodeBytes(certificate, certificate_length);
    if (!cert) return EnvelopeError::kCertificate;

    EnvelopedDataPtr enveloped(MEM_New<EnvelopedData>());
    if (!enveloped || !(enveloped->version = BIGNUM_New()) || !BIGNUM_SetWord(enveloped->version, 0))
        return EnvelopeError::kMemory;
    SecureBytes key_and_iv(2 * kContentKeySize);
    if (RANDOM_Bytes(key_and_iv.data(), key_and_iv.size()) < 1) return EnvelopeError::kRandom;

    RecipientInfoPtr recipient;
    EnvelopeError result = BuildRecipient(cert.get(), key_and_iv.data(), recipient);
    if (result != EnvelopeError::kNone) return result;
    if (!(enveloped->recipientInfos = PLIST_New()) || !PLIST_Push(enveloped->recipientInfos, recipient.get()))
        return EnvelopeError::kMemory;
    recipient.release();

    EncryptedContentInfoPtr content;
    if ((result = BuildContent(key_and_iv.data(), data, data_length, content)) != EnvelopeError::kNone)
        return result;
    enveloped->encryptedContentInfo = content.release();

    // Sized first, then written once into the output: no copy per nesting level.
    DerWriter writer;
    ContentInfoPtr wrapper;
    DerNode* root = nullptr;
    if (mode == kPkcs7ContentInfo) {
        wrapper.reset(MEM_New<ContentInfo>());
        if (!wrapper || !(wrapper->contentType = OBJ_ValueFromNid(NID_PKCS7_ENVELOPED_DATA)))
            return EnvelopeError::kMemory;
        wrapper->content = enveloped.release();
        root = CONTENTINFO_Write(&writer, nullptr, wrapper.get());
    } else {
        root = ENVDATA_Write(&writer, nullptr, enveloped.get());
    }
    const int32_t length = DERW_Write(&writer, root, out);
    if (length < 1) return EnvelopeError::kEncoding;
    *out_length = static_cast<uint32_t>(length);
    return EnvelopeError::kNone;
}

}  // namespace

EnvelopeError PKCS7_EnvelopeDer(int32_t mode, const uint8_t* certificate, size_t certificate_length,
                                const uint8_t* data, size_t data_length, MemBlock* out, uint32_t* out_length) {
    // Decoders and encoders say 0 for bad input and for exhausted memory alike.
    return MEM_BlameExhaustion(EnvelopeError::kMemory,
                               {EnvelopeError::kCertificate, EnvelopeError::kRandom, EnvelopeError::kKeyEncryption,
                                EnvelopeError::kContentEncryption, EnvelopeError::kEncoding},
                               [&] { return Envelope(mode, certificate, certificate_length, data, data_length, out, out_length); });
}

}  // namespace quillon
