#include "x509/x509_verify.h"

#include "asn1/der.h"
#include "cipher/digest.h"
#include "rsa/rsa_params.h"

namespace quillon {
namespace {

RsaKey* RsaKeyOf(const X509Cert* cert) {
    const X509PubKey* key = cert && cert->tbs ? cert->tbs->subjectPublicKeyInfo : nullptr;
    return key ? key->rsaKey : nullptr;
}

SignatureCheck VerifyData(const X509Cert* cert, const RsaSignScheme& scheme, const uint8_t* data, size_t length,
                          const uint8_t* signature, size_t signature_length) {
    RsaKey* key = RsaKeyOf(cert);
    if (!key || !scheme.hash) return SignatureCheck::kUnsupported;
    if (signature_length > UINT32_MAX) return SignatureCheck::kInvalid;
    uint8_t digest[kDigestMaxSize];
    if (!DIGEST_Compute(scheme.hash, data, length, digest)) return SignatureCheck::kMemory;
    return RSA_VerifyDigest(key, scheme, digest, signature, static_cast<uint32_t>(signature_length));
}

SignatureCheck VerifyIssuedBy(const X509Cert* cert, const X509Cert* issuer) {
    if (!cert || !issuer) return SignatureCheck::kUnsupported;
    RsaSignScheme scheme;
    if (!RSA_SchemeFromAlgorithm(cert->signatureAlgorithmDer, &scheme) || !RsaKeyOf(issuer))
        return SignatureCheck::kUnsupported;
    // The signed part names its algorithm too; both must agree to the byte.
    DerElementPtr inner(DER_GetItemElement(cert->tbsDer, 2));
    if (!inner) return SignatureCheck::kMemory;
    if (!DER_Equal(inner.get(), cert->signatureAlgorithmDer)) return SignatureCheck::kInvalid;
    const AsnValue* value = cert->signatureValue;
    if (!value || value->unused_bits != 0) return SignatureCheck::kInvalid;
    // The TBSCertificate is hashed as encoded, piece by piece.
    const DerElement* tbs = cert->tbsDer;
    const int32_t content_length = DER_ContentLength(tbs);
    if (content_length < 0) return SignatureCheck::kInvalid;
    DigestState state;
    uint8_t digest[kDigestMaxSize];
    const DigestAlgorithm* hash = scheme.hash;
    if (!hash->init(&state) || !hash->update(&state, tbs->identifier, 1) ||
        !hash->update(&state, tbs->length_octets, static_cast<size_t>(DER_LengthOctetCount(tbs->length_octets))) ||
        !hash->update(&state, tbs->contents, static_cast<size_t>(content_length)) || !hash->final(&state, digest))
        return SignatureCheck::kMemory;
    return RSA_VerifyDigest(RsaKeyOf(issuer), scheme, digest, value->data, value->length);
}

SignatureCheck VerifySignedBy(const DerView& tbs, const DerView& inner, const DerView& outer,
                              const DerView& signature, const X509Cert* issuer) {
    RsaSignScheme scheme;
    DerElementPtr algorithm(DER_Parse(outer.start, outer.size));
    if (!algorithm) return SignatureCheck::kMemory;
    if (!RSA_SchemeFromAlgorithm(algorithm.get(), &scheme) || !RsaKeyOf(issuer)) return SignatureCheck::kUnsupported;
    if (!DERVIEW_Equal(inner, outer)) return SignatureCheck::kInvalid;
    if (signature.identifier != DER_BIT_STRING || signature.length < 1 || signature.contents[0] != 0)
        return SignatureCheck::kInvalid;
    uint8_t digest[kDigestMaxSize];
    if (!DIGEST_Compute(scheme.hash, tbs.start, tbs.size, digest)) return SignatureCheck::kMemory;
    return RSA_VerifyDigest(RsaKeyOf(issuer), scheme, digest, signature.contents + 1, signature.length - 1);
}

// A verdict reached while memory ran out may be the failed allocation's.
constexpr std::initializer_list<SignatureCheck> kBlamed = {SignatureCheck::kInvalid, SignatureCheck::kUnsupported};

}  // namespace

SignatureCheck X509_VerifySignedBy(const DerView& tbs, const DerView& inner, const DerView& outer,
                                   const DerView& signature, const X509Cert* issuer) {
    return MEM_BlameExhaustion(SignatureCheck::kMemory, kBlamed,
                               [&] { return VerifySignedBy(tbs, inner, outer, signature, issuer); });
}

SignatureCheck X509_VerifyData(const X509Cert* cert, const RsaSignScheme& scheme, const uint8_t* data,
                               size_t length, const uint8_t* signature, size_t signature_length) {
    return MEM_BlameExhaustion(SignatureCheck::kMemory, kBlamed,
                               [&] { return VerifyData(cert, scheme, data, length, signature, signature_length); });
}

SignatureCheck X509_VerifyIssuedBy(const X509Cert* cert, const X509Cert* issuer) {
    return MEM_BlameExhaustion(SignatureCheck::kMemory, kBlamed, [&] { return VerifyIssuedBy(cert, issuer); });
}

}  // namespace quillon
