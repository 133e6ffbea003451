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

using CertPtr = Owned<X509Cert, X509_Free>;

constexpr size_t kContentKeySize = 16;

// Moves the certificate's issuer and serial (decoded and as encoded) into a new record: the
// certificate is released right after, so nothing needs copying.
IssuerAndSerialNumber* TakeIssuerAndSerial(X509Tbs* tbs) {
    auto* ias = PKCS7_NewRecord<IssuerAndSerialNumber>();
    if (!ias) return nullptr;
    std::swap(ias->issuer, tbs->issuer);
    std::swap(ias->serialNumber, tbs->serialNumber);
    std::swap(ias->issuerDer, tbs->issuerDer);
    std::swap(ias->serialNumberDer, tbs->serialNumberDer);
    return ias;
}

// The recipient's entry: the content key under the certificate's RSA key (exactly the
// modulus length) and the key algorithm with NULL parameters. 1, -71 or -78.
int32_t BuildRecipient(X509Cert* cert, const uint8_t* content_key, RecipientInfoPtr& out) {
    X509PubKey* pub = cert->tbs->subjectPublicKeyInfo;
    if (!pub) return QC_ERR_RSA_ENCRYPT;
    RecipientInfoPtr info(PKCS7_NewRecord<RecipientInfo>());
    if (!info || !(info->version = BIGNUM_New()) || !BIGNUM_SetWord(info->version, 0) ||
        !(info->issuerAndSerialNumber = TakeIssuerAndSerial(cert->tbs)) ||
        !(info->keyEncryptionAlgorithm = ALGID_New()) ||
        !ALGID_Set(info->keyEncryptionAlgorithm, pub->algorithm, nullptr))
        return QC_ERR_ALLOC;
    // A key that is not RSA (KCDSA) has nothing to encrypt the content key with.
    if (!pub->rsaKey || !pub->rsaKey->n) return QC_ERR_RSA_ENCRYPT;
    const uint32_t modulus_length = static_cast<uint32_t>((BIGNUM_NumBits(pub->rsaKey->n) + 7) / 8);
    MemBlock encrypted(static_cast<uint8_t*>(MEM_Alloc(modulus_length ? modulus_length : 1)));
    if (!encrypted) return QC_ERR_ALLOC;
    uint32_t length = 0;
    if (RSA_PublicEncrypt(pub->rsaKey, encrypted.get(), &length, content_key, kContentKeySize) < 1)
        return QC_ERR_RSA_ENCRYPT;
    if (!(info->encryptedKey = ASNVALUE_FromOctets(encrypted.get(), length))) return QC_ERR_ALLOC;
    out = std::move(info);
    return QC_OK;
}

// SEED-CBC of the data under the content key and IV, as pkcs7-data. 1, -71 or -79.
int32_t BuildContent(const uint8_t* key_and_iv, const uint8_t* data, size_t data_length,
                     EncryptedContentInfoPtr& out) {
    MemBlock cipher(static_cast<uint8_t*>(MEM_Alloc(data_length + 32)));
    if (!cipher) return QC_ERR_ALLOC;
    size_t produced = 0;
    if (SEED_CBC_Crypt(kEncrypt, key_and_iv, key_and_iv + kContentKeySize, data, data_length, cipher.get(),
                       &produced) < 1)
        return QC_ERR_CONTENT_ENCRYPT;
    AsnValuePtr iv(ASNVALUE_FromOctets(key_and_iv + kContentKeySize, kContentKeySize));
    if (!iv) return QC_ERR_ALLOC;
    out.reset(ENCCONTENT_Make(NID_PKCS7_DATA, NID_SEED_CBC, iv.get(), cipher.get(), static_cast<uint32_t>(produced)));
    return out ? QC_OK : QC_ERR_ALLOC;
}

int32_t Envelope(int32_t mode, const uint8_t* certificate, size_t certificate_length, const uint8_t* data,
                 size_t data_length, BINSTR* out) {
    DerElementPtr element(certificate ? DER_Parse(certificate, certificate_length) : nullptr);
    X509Cert* decoded = nullptr;
    if (!element || !X509_Decode(element.get(), &decoded)) return QC_ERR_CERT_DECODE;
    CertPtr cert(decoded);
    element.reset();

    EnvelopedDataPtr enveloped(PKCS7_NewRecord<EnvelopedData>());
    if (!enveloped || !(enveloped->version = BIGNUM_New()) || !BIGNUM_SetWord(enveloped->version, 0))
        return QC_ERR_ALLOC;
    SecureBytes key_and_iv(2 * kContentKeySize);
    if (RANDOM_Bytes(key_and_iv.data(), key_and_iv.size()) < 1) return QC_ERR_RANDOM;

    RecipientInfoPtr recipient;
    int32_t result = BuildRecipient(cert.get(), key_and_iv.data(), recipient);
    if (result != QC_OK) return result;
    if (!(enveloped->recipientInfos = PLIST_New()) || !PLIST_Push(enveloped->recipientInfos, recipient.get()))
        return QC_ERR_ALLOC;
    recipient.release();

    EncryptedContentInfoPtr content;
    if ((result = BuildContent(key_and_iv.data(), data, data_length, content)) != QC_OK) return result;
    enveloped->encryptedContentInfo = content.release();

    uint8_t* bytes = nullptr;
    int32_t length = 0;
    if (mode == kPkcs7ContentInfo) {
        ContentInfoPtr wrapper(PKCS7_NewRecord<ContentInfo>());
        if (!wrapper || !(wrapper->contentType = OBJ_ValueFromNid(NID_PKCS7_ENVELOPED_DATA))) return QC_ERR_ALLOC;
        wrapper->content = enveloped.release();
        length = DER_EncodeWith(wrapper.get(), [](const void* o, DerElement* e) {
            return CONTENTINFO_Encode(static_cast<const ContentInfo*>(o), e);
        }, &bytes);
    } else {
        length = DER_EncodeWith(enveloped.get(), [](const void* o, DerElement* e) {
            return ENVDATA_Encode(static_cast<const EnvelopedData*>(o), e);
        }, &bytes);
    }
    if (length < 1) return QC_ERR_ENCODE_EMPTY;
    MEM_Free(out->data);
    out->data = bytes;
    out->length = static_cast<uint32_t>(length);
    return QC_OK;
}

}  // namespace

int32_t PKCS7_EnvelopeDer(int32_t mode, const uint8_t* certificate, size_t certificate_length, const uint8_t* data,
                          size_t data_length, BINSTR* out) {
    // Decoders and encoders say 0 for bad input and for exhausted memory alike.
    const unsigned long failures = MEM_FailureCount();
    const int32_t result = Envelope(mode, certificate, certificate_length, data, data_length, out);
    return result != QC_OK && MEM_FailureCount() != failures ? QC_ERR_ALLOC : result;
}

}  // namespace quillon
