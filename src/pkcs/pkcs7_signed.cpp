#include "pkcs/pkcs7_signed.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "asn1/der.h"
#include "asn1/der_writer.h"
#include "asn1/object_table.h"
#include "asn1/time_value.h"
#include "cipher/digest.h"
#include "pkcs/prikey.h"
#include "rsa/rsa_params.h"
#include "x509/x509_cert.h"
#include "x509/x509_verify.h"

namespace quillon {
namespace {

constexpr uint8_t kVersion1 = 1;
constexpr uint8_t kPrimitive0 = kDerContextClass;               // [0] IMPLICIT, primitive
constexpr uint8_t kExplicit1 = kDerExplicit0Id + 1;             // [1], constructed
constexpr uint8_t kExplicit2 = kDerExplicit0Id + 2;
constexpr uint32_t kTimeRoom = 16;

// ---- making --------------------------------------------------------------------------------

// The identifiers a SignedData names, made once and kept until the write.
struct Oids {
    AsnValuePtr signed_data{OBJ_ValueFromNid(NID_PKCS7_SIGNED_DATA)};
    AsnValuePtr data{OBJ_ValueFromNid(NID_PKCS7_DATA)};
    AsnValuePtr content_type{OBJ_ValueFromNid(NID_CONTENT_TYPE)};
    AsnValuePtr signing_time{OBJ_ValueFromNid(NID_SIGNING_TIME)};
    AsnValuePtr message_digest{OBJ_ValueFromNid(NID_MESSAGE_DIGEST)};
    AsnValuePtr rsa{OBJ_ValueFromNid(NID_RSA_ENCRYPTION)};
    AsnValuePtr pss{OBJ_ValueFromNid(NID_RSASSA_PSS)};
    AsnValuePtr mgf1{OBJ_ValueFromNid(NID_MGF1)};
    AsnValuePtr hash;
    AsnValuePtr mgf_hash;
    bool Complete() const {
        return signed_data && data && content_type && signing_time && message_digest && rsa && pss && mgf1 && hash &&
               mgf_hash;
    }
};

// AlgorithmIdentifier { oid } or { oid, NULL }.
DerNode* Algorithm(DerWriter* w, DerNode* parent, const AsnValue* oid, bool null_parameters) {
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Oid(w, node, oid);
    if (null_parameters) DERW_Primitive(w, node, DER_NULL, nullptr, 0);
    return node;
}

// rsaEncryption with NULL, or RSASSA-PSS { [0] hash, [1] MGF1 with its hash, [2] salt length }.
void SignatureAlgorithm(DerWriter* w, DerNode* parent, const RsaSignScheme& scheme, const Oids& oids,
                        const uint8_t* salt_length) {
    if (!scheme.pss) {
        Algorithm(w, parent, oids.rsa.get(), true);
        return;
    }
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Oid(w, node, oids.pss.get());
    DerNode* params = DERW_Sequence(w, node);
    Algorithm(w, DERW_Constructed(w, params, kDerExplicit0Id), oids.hash.get(), true);
    DerNode* mgf = DERW_Sequence(w, DERW_Constructed(w, params, kExplicit1));
    DERW_Oid(w, mgf, oids.mgf1.get());
    Algorithm(w, mgf, oids.mgf_hash.get(), true);
    DERW_Primitive(w, DERW_Constructed(w, params, kExplicit2), DER_INTEGER, salt_length, 1);
}

// UTCTime for 1950 to 2049, GeneralizedTime otherwise; the text's length, 0 when out of range.
uint32_t SigningTime(std::time_t now, char* text, uint8_t* tag) {
    std::tm utc{};
    if (!TIME_UtcFromCount(static_cast<int64_t>(now), &utc)) return 0;
    const int year = utc.tm_year + 1900;
    const bool utc_time = year >= 1950 && year < 2050;
    *tag = utc_time ? DER_UTC_TIME : 24;  // GeneralizedTime
    const int n = utc_time ? std::snprintf(text, kTimeRoom, "%02d%02d%02d%02d%02d%02dZ", year % 100, utc.tm_mon + 1,
                                           utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec)
                           : std::snprintf(text, kTimeRoom, "%04d%02d%02d%02d%02d%02dZ", year, utc.tm_mon + 1,
                                           utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return n > 0 && static_cast<uint32_t>(n) < kTimeRoom ? static_cast<uint32_t>(n) : 0;
}

// One Attribute: SEQUENCE { type, SET { value } }; the value's node is returned.
DerNode* Attribute(DerWriter* w, DerNode* attributes, const AsnValue* type) {
    DerNode* node = DERW_Sequence(w, attributes);
    DERW_Oid(w, node, type);
    return DERW_Constructed(w, node, kDerSetId);
}

SignedError Sign(uint32_t flags, const uint8_t* certificate, size_t certificate_length, const uint8_t* key,
                 size_t key_length, const RsaSignScheme& scheme, const uint8_t* data, size_t data_length,
                 std::time_t now, MemBlock* out, uint32_t* out_length) {
    const X509CertPtr cert = X509_DecodeBytes(certificate, certificate_length);
    if (!cert) return SignedError::kCertificate;
    // The certificate goes in exactly as given, whatever follows it in the caller's bytes.
    const size_t cert_size = DER_UnsizedLength(certificate);
    switch (PRIKEY_CheckKeyPairDer(certificate, certificate_length, key, key_length)) {
        case KeyError::kNone: break;
        case KeyError::kMismatch: return SignedError::kMismatch;
        default: return SignedError::kKey;
    }
    Oids oids;
    oids.hash.reset(OBJ_ValueFromNid(scheme.hash->nid));
    oids.mgf_hash.reset(OBJ_ValueFromNid(scheme.pss ? scheme.mgf_hash->nid : scheme.hash->nid));
    if (!oids.Complete()) return SignedError::kMemory;
    uint8_t content_digest[kDigestMaxSize];
    if (!DIGEST_Compute(scheme.hash, data, data_length, content_digest)) return SignedError::kMemory;
    const uint8_t salt_length = static_cast<uint8_t>(scheme.salt_length);
    char time_text[kTimeRoom];
    uint8_t time_tag = 0;
    const uint32_t time_length = SigningTime(now, time_text, &time_tag);
    if (time_length == 0) return SignedError::kMalformed;

    DerWriter w;
    const bool bare = flags & kSignedBare;
    DerNode* root = bare ? nullptr : DERW_Sequence(&w, nullptr);
    if (root) DERW_Oid(&w, root, oids.signed_data.get());
    DerNode* signed_data = DERW_Sequence(&w, bare ? nullptr : DERW_Constructed(&w, root, kDerExplicit0Id));
    if (bare) root = signed_data;
    DERW_Primitive(&w, signed_data, DER_INTEGER, &kVersion1, 1);
    Algorithm(&w, DERW_Constructed(&w, signed_data, kDerSetId), oids.hash.get(), false);
    DerNode* encapsulated = DERW_Sequence(&w, signed_data);
    DERW_Oid(&w, encapsulated, oids.data.get());
    if (!(flags & kSignedDetached)) {
        DERW_Primitive(&w, DERW_Constructed(&w, encapsulated, kDerExplicit0Id), DER_OCTET_STRING, data,
                       static_cast<uint32_t>(data_length));
    }
    DERW_Encoded(&w, DERW_Constructed(&w, signed_data, kDerExplicit0Id), certificate,
                 static_cast<uint32_t>(cert_size));
    DerNode* signer = DERW_Sequence(&w, DERW_Constructed(&w, signed_data, kDerSetId));
    DERW_Primitive(&w, signer, DER_INTEGER, &kVersion1, 1);
    DerNode* sid = DERW_Sequence(&w, signer);
    DERW_Element(&w, sid, cert->tbs->issuerDer);
    DERW_Element(&w, sid, cert->tbs->serialNumberDer);
    Algorithm(&w, signer, oids.hash.get(), false);

    // What the key signs: the digest of the signed attributes written as a SET, or of the content.
    uint8_t signed_digest[kDigestMaxSize];
    if (flags & kSignedNoAttributes) {
        std::memcpy(signed_digest, content_digest, scheme.hash->size);
    } else {
        DerNode* attributes = DERW_SetOf(&w, signer);
        DERW_Oid(&w, Attribute(&w, attributes, oids.content_type.get()), oids.data.get());
        DERW_Primitive(&w, Attribute(&w, attributes, oids.signing_time.get()), time_tag,
                       reinterpret_cast<const uint8_t*>(time_text), time_length);
        DERW_Primitive(&w, Attribute(&w, attributes, oids.message_digest.get()), DER_OCTET_STRING, content_digest,
                       static_cast<uint32_t>(scheme.hash->size));
        MemBlock encoded;
        const int32_t encoded_length = DERW_Write(&w, attributes, &encoded);
        if (encoded_length <= 0 ||
            !DIGEST_Compute(scheme.hash, encoded.get(), static_cast<size_t>(encoded_length), signed_digest))
            return SignedError::kMemory;
        DERW_SetIdentifier(attributes, kDerExplicit0Id);  // [0] IMPLICIT in the SignerInfo
    }
    SignatureAlgorithm(&w, signer, scheme, oids, &salt_length);
    MemBytes signature;
    switch (PRIKEY_SignDigestDer(key, key_length, scheme, signed_digest, &signature)) {
        case KeyError::kNone: break;
        case KeyError::kRandom: return SignedError::kRandom;
        case KeyError::kMemory: return SignedError::kMemory;
        default: return SignedError::kKey;
    }
    DERW_Primitive(&w, signer, DER_OCTET_STRING, signature.data, signature.length);
    const int32_t length = DERW_Write(&w, root, out);
    if (length <= 0) return SignedError::kMemory;
    *out_length = static_cast<uint32_t>(length);
    return SignedError::kNone;
}

// ---- checking ------------------------------------------------------------------------------

bool HasIdentifier(const DerElement* element, uint8_t identifier) {
    return element && element->identifier && *element->identifier == identifier;
}

const uint8_t* ContentsOf(const DerElement* element, size_t* length) {
    const int32_t n = DER_ContentLength(element);
    *length = n > 0 ? static_cast<size_t>(n) : 0;
    return element->contents;
}

int NidOf(const DerElement* parent, int index) {
    AsnValuePtr oid(static_cast<AsnValue*>(DER_GetExactItem(parent, index, DER_OID)));
    return OBJ_NidFromValue(oid.get());
}

struct Carried {
    DerElementPtr element;
    X509CertPtr cert;
};

// The certificate a SignerIdentifier names among those carried; null when none.
const Carried* FindSigner(const DerElement* sid, const Carried* certs, int count) {
    const bool by_key_id = HasIdentifier(sid, kPrimitive0);
    DerElementPtr issuer(by_key_id ? nullptr : DER_GetExactElement(sid, 0, kDerSequenceId));
    DerElementPtr serial(by_key_id ? nullptr : DER_GetExactElement(sid, 1, DER_INTEGER));
    for (int i = 0; i < count; ++i) {
        const X509Tbs* tbs = certs[i].cert->tbs;
        if (!by_key_id) {
            if (DER_Equal(issuer.get(), tbs->issuerDer) && DER_Equal(serial.get(), tbs->serialNumberDer)) return &certs[i];
            continue;
        }
        const int index = X509Ext_FindByNid(tbs->extensions, NID_SUBJECT_KEY_IDENTIFIER, -1);
        const auto* extension = static_cast<const X509Extension*>(X509_ListGet(tbs->extensions, index));
        DerElementPtr key_id(extension && extension->value ? DER_Parse(extension->value->data, extension->value->length)
                                                           : nullptr);
        size_t a = 0, b = 0;
        if (HasIdentifier(key_id.get(), DER_OCTET_STRING)) {
            const uint8_t* theirs = ContentsOf(key_id.get(), &a);
            const uint8_t* named = ContentsOf(sid, &b);
            if (a == b && std::memcmp(theirs, named, a) == 0) return &certs[i];
        }
    }
    return nullptr;
}

// The signature scheme of a SignerInfo: its signatureAlgorithm (rsaEncryption, a PKCS#1 v1.5
// identifier or RSASSA-PSS), whose hash must be the digestAlgorithm's.
bool SignerScheme(const DerElement* algorithm, const DigestAlgorithm* hash, RsaSignScheme* scheme) {
    const int count = DER_ItemCount(algorithm);
    if (NidOf(algorithm, 0) == NID_RSA_ENCRYPTION && count >= 1 && count <= 2 &&
        (count == 1 || DER_ItemTag(algorithm, 1) == DER_NULL)) {
        *scheme = {hash, false, nullptr, 0};
        return true;
    }
    return RSA_SchemeFromAlgorithm(algorithm, scheme) && scheme->hash == hash;
}

// The signed attributes' contentType and messageDigest against the content.
bool AttributesMatch(const DerElement* attributes, int content_type, const uint8_t* digest, size_t digest_size) {
    bool type_seen = false, digest_seen = false;
    for (int i = 0, count = DER_ItemCount(attributes); i < count; ++i) {
        DerElementPtr attribute(DER_GetExactElement(attributes, i, kDerSequenceId));
        DerElementPtr values(attribute ? DER_GetExactElement(attribute.get(), 1, kDerSetId) : nullptr);
        if (!values) return false;
        const int nid = NidOf(attribute.get(), 0);
        if (nid != NID_CONTENT_TYPE && nid != NID_MESSAGE_DIGEST) continue;
        // Each of the two once, with exactly one value.
        if (DER_ItemCount(values.get()) != 1 || (nid == NID_CONTENT_TYPE ? type_seen : digest_seen)) return false;
        if (nid == NID_CONTENT_TYPE) {
            type_seen = true;
            if (NidOf(values.get(), 0) != content_type) return false;
            continue;
        }
        digest_seen = true;
        AsnValuePtr value(static_cast<AsnValue*>(DER_GetExactItem(values.get(), 0, DER_OCTET_STRING)));
        if (!value || value->length != digest_size || std::memcmp(value->data, digest, digest_size) != 0) return false;
    }
    return type_seen && digest_seen;
}

// One SignerInfo: SEQUENCE { version, sid, digestAlgorithm, [0] signedAttrs OPTIONAL,
// signatureAlgorithm, signature, [1] unsignedAttrs OPTIONAL }.
SignedError CheckSigner(const DerElement* info, const Carried* certs, int cert_count, int content_type,
                        const uint8_t* content, size_t content_length, const Carried** found) {
    const int count = DER_ItemCount(info);
    if (!HasIdentifier(info, kDerSequenceId) || count < 5 || count > 7) return SignedError::kMalformed;
    DerElementPtr sid(DER_GetItemElement(info, 1));
    DerElementPtr digest_algorithm(DER_GetExactElement(info, 2, kDerSequenceId));
    const bool has_attributes = DER_ItemTag(info, 3) == kDerExplicit0Id;
    DerElementPtr attributes(has_attributes ? DER_GetItemElement(info, 3) : nullptr);
    const int at = has_attributes ? 4 : 3;
    DerElementPtr signature_algorithm(DER_GetExactElement(info, at, kDerSequenceId));
    DerElementPtr signature(DER_GetExactElement(info, at + 1, DER_OCTET_STRING));
    if (!sid || !digest_algorithm || !signature_algorithm || !signature || count > at + 3 ||
        (count == at + 3 && DER_ItemTag(info, at + 2) != kExplicit1))
        return SignedError::kMalformed;
    const DigestAlgorithm* hash = RSA_HashFromAlgorithm(digest_algorithm.get());
    RsaSignScheme scheme;
    if (!hash || !SignerScheme(signature_algorithm.get(), hash, &scheme)) return SignedError::kMalformed;
    const Carried* signer = FindSigner(sid.get(), certs, cert_count);
    if (!signer) return SignedError::kSignerUnknown;

    uint8_t content_digest[kDigestMaxSize], signed_digest[kDigestMaxSize];
    if (!DIGEST_Compute(hash, content, content_length, content_digest)) return SignedError::kMemory;
    if (has_attributes) {
        if (!AttributesMatch(attributes.get(), content_type, content_digest, hash->size)) return SignedError::kSignature;
        // Signed as a SET: the identifier 0x31, then the length octets and contents as they are.
        DigestState state;
        const uint8_t set = kDerSetId;
        size_t length = 0;
        const uint8_t* contents = ContentsOf(attributes.get(), &length);
        hash->init(&state);
        hash->update(&state, &set, 1);
        hash->update(&state, attributes->length_octets,
                     static_cast<size_t>(DER_LengthOctetCount(attributes->length_octets)));
        hash->update(&state, contents, length);
        hash->final(&state, signed_digest);
    } else {
        std::memcpy(signed_digest, content_digest, hash->size);
    }
    size_t signature_length = 0;
    const uint8_t* signature_bytes = ContentsOf(signature.get(), &signature_length);
    const X509PubKey* key = signer->cert->tbs->subjectPublicKeyInfo;
    if (!key || !key->rsaKey) return SignedError::kMalformed;
    switch (RSA_VerifyDigest(key->rsaKey, scheme, signed_digest, signature_bytes,
                             static_cast<uint32_t>(signature_length))) {
        case SignatureCheck::kValid: break;
        case SignatureCheck::kMemory: return SignedError::kMemory;
        case SignatureCheck::kUnsupported: return SignedError::kMalformed;
        case SignatureCheck::kInvalid: return SignedError::kSignature;
    }
    *found = signer;
    return SignedError::kNone;
}

// Each signer's certificate in the store, the carried certificates lent as intermediates.
SignedError CheckPaths(SignerTrust* trust, const Carried* certs, int cert_count,
                       const std::vector<const Carried*, MemAllocator<const Carried*>>& signers) {
    std::vector<MemBytes, MemAllocator<MemBytes>> encoded(static_cast<size_t>(cert_count));
    std::vector<TrustExtra, MemAllocator<TrustExtra>> extras;
    for (int i = 0; i < cert_count; ++i) {
        uint8_t* bytes = nullptr;
        const int32_t n = DER_ToBytes(certs[i].element.get(), &bytes);
        if (n <= 0) return SignedError::kMemory;
        encoded[i].Reset(bytes, static_cast<uint32_t>(n));
        extras.push_back({bytes, static_cast<size_t>(n)});
    }
    for (const Carried* signer : signers) {
        const size_t index = static_cast<size_t>(signer - certs);
        const TrustResult result = TRUST_VerifyCertificate(trust->store, encoded[index].data, encoded[index].length,
                                                           trust->at, trust->flags, extras.data(), extras.size());
        if (result == TrustResult::kMemory) return SignedError::kMemory;
        if (result != TrustResult::kValid) {
            trust->result = result;
            return SignedError::kTrust;
        }
    }
    return SignedError::kNone;
}

SignedError Verify(const uint8_t* der, size_t length, const uint8_t* detached, size_t detached_length,
                   bool has_detached, MemBytes* content_out, MemBytes* signer_out, SignerTrust* trust) {
    DerElementPtr top(DER_Parse(der, length));
    if (!HasIdentifier(top.get(), kDerSequenceId)) return SignedError::kMalformed;
    DerElementPtr signed_data;
    if (DER_ItemTag(top.get(), 0) == DER_OID) {
        DerElementPtr wrapper(DER_GetExactElement(top.get(), 1, kDerExplicit0Id));
        if (NidOf(top.get(), 0) != NID_PKCS7_SIGNED_DATA || DER_ItemCount(top.get()) != 2 || !wrapper ||
            DER_ItemCount(wrapper.get()) != 1)
            return SignedError::kMalformed;
        signed_data.reset(DER_GetExactElement(wrapper.get(), 0, kDerSequenceId));
    } else {
        signed_data = std::move(top);
    }
    // SEQUENCE { version, digestAlgorithms, encapContentInfo, [0] certificates OPTIONAL,
    // [1] crls OPTIONAL, signerInfos }
    const int count = DER_ItemCount(signed_data.get());
    if (!signed_data || count < 4 || count > 6 || DER_ItemTag(signed_data.get(), 0) != DER_INTEGER)
        return SignedError::kMalformed;
    DerElementPtr encapsulated(DER_GetExactElement(signed_data.get(), 2, kDerSequenceId));
    DerElementPtr signer_infos(DER_GetExactElement(signed_data.get(), count - 1, kDerSetId));
    const bool has_certs = DER_ItemTag(signed_data.get(), 3) == kDerExplicit0Id;
    DerElementPtr cert_set(has_certs ? DER_GetItemElement(signed_data.get(), 3) : nullptr);
    if (!encapsulated || !signer_infos || DER_ItemCount(signer_infos.get()) < 1) return SignedError::kMalformed;
    const int content_type = NidOf(encapsulated.get(), 0);
    const int encapsulated_count = DER_ItemCount(encapsulated.get());
    if (!content_type || encapsulated_count < 1 || encapsulated_count > 2) return SignedError::kMalformed;

    // The content: an OCTET STRING under [0], or the detached bytes.
    const uint8_t* content = detached;
    size_t content_length = detached_length;
    DerElementPtr inner;
    if (encapsulated_count == 2) {
        DerElementPtr wrapper(DER_GetExactElement(encapsulated.get(), 1, kDerExplicit0Id));
        inner.reset(wrapper && DER_ItemCount(wrapper.get()) == 1 ? DER_GetExactElement(wrapper.get(), 0, DER_OCTET_STRING)
                                                                 : nullptr);
        if (!inner) return SignedError::kMalformed;
        content = ContentsOf(inner.get(), &content_length);
        if (has_detached && (detached_length != content_length ||
                             (content_length && std::memcmp(detached, content, content_length) != 0)))
            return SignedError::kSignature;
    } else if (!has_detached) {
        return SignedError::kMalformed;
    }

    const int cert_count = has_certs ? DER_ItemCount(cert_set.get()) : 0;
    std::vector<Carried, MemAllocator<Carried>> certs(static_cast<size_t>(cert_count > 0 ? cert_count : 0));
    for (int i = 0; i < cert_count; ++i) {
        X509Cert* cert = nullptr;
        certs[i].element.reset(DER_GetExactElement(cert_set.get(), i, kDerSequenceId));
        if (!certs[i].element || !X509_Decode(certs[i].element.get(), &cert)) return SignedError::kMalformed;
        certs[i].cert.reset(cert);
    }
    const Carried* first = nullptr;
    std::vector<const Carried*, MemAllocator<const Carried*>> found_signers;
    for (int i = 0, signers = DER_ItemCount(signer_infos.get()); i < signers; ++i) {
        DerElementPtr info(DER_GetItemElement(signer_infos.get(), i));
        const Carried* found = nullptr;
        const SignedError result =
            CheckSigner(info.get(), certs.data(), cert_count, content_type, content, content_length, &found);
        if (result != SignedError::kNone) return result;
        if (!first) first = found;
        found_signers.push_back(found);
    }
    if (trust) {
        const SignedError paths = CheckPaths(trust, certs.data(), cert_count, found_signers);
        if (paths != SignedError::kNone) return paths;
    }
    MemBytes content_copy, signer_copy;
    if (content_out) {
        content_copy.Reset(static_cast<uint8_t*>(MEM_Alloc(content_length ? content_length : 1)),
                           static_cast<uint32_t>(content_length));
        if (!content_copy.data) return SignedError::kMemory;
        if (content_length) std::memcpy(content_copy.data, content, content_length);
    }
    if (signer_out) {
        uint8_t* bytes = nullptr;
        const int32_t n = DER_ToBytes(first->element.get(), &bytes);
        if (n <= 0) return SignedError::kMemory;
        signer_copy.Reset(bytes, static_cast<uint32_t>(n));
    }
    if (content_out) content_out->Reset(content_copy.Release(), static_cast<uint32_t>(content_length));
    if (signer_out) {
        const uint32_t n = signer_copy.length;
        signer_out->Reset(signer_copy.Release(), n);
    }
    return SignedError::kNone;
}

constexpr std::initializer_list<SignedError> kBlamed = {
    SignedError::kCertificate, SignedError::kKey, SignedError::kMismatch, SignedError::kRandom,
    SignedError::kMalformed, SignedError::kSignature, SignedError::kSignerUnknown, SignedError::kTrust};

}  // namespace

SignedError PKCS7_SignDer(uint32_t flags, const uint8_t* certificate, size_t certificate_length, const uint8_t* key,
                          size_t key_length, const RsaSignScheme& scheme, const uint8_t* data, size_t data_length,
                          std::time_t now, MemBlock* out, uint32_t* out_length) {
    return MEM_BlameExhaustion(SignedError::kMemory, kBlamed, [&] {
        return Sign(flags, certificate, certificate_length, key, key_length, scheme, data, data_length, now, out,
                    out_length);
    });
}

SignedError PKCS7_VerifyDer(const uint8_t* der, size_t length, const uint8_t* detached, size_t detached_length,
                            bool has_detached, MemBytes* content, MemBytes* signer, SignerTrust* trust) {
    return MEM_BlameExhaustion(SignedError::kMemory, kBlamed, [&] {
        return Verify(der, length, detached, detached_length, has_detached, content, signer, trust);
    });
}

}  // namespace quillon
