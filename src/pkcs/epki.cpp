#include "pkcs/epki.h"

#include <utility>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "cipher/pbe.h"

namespace quillon {
namespace {

DerElementPtr GetSequence(const DerElement* parent, int index) {
    return DerElementPtr(DER_GetExactElement(parent, index, kDerSequenceId));
}

template <class T>
T* GetExact(const DerElement* parent, int index, int tag) {
    return static_cast<T*>(DER_GetExactItem(parent, index, tag));
}

bool IsSupportedScheme(int nid) {
    return nid == NID_PBE_WITH_SHA1_AND_SEED_CBC || nid == NID_SEED_CBC || nid == NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC ||
           nid == NID_PBES2 || PBE_IsPkcs12Scheme(nid);
}

int32_t SmallNumber(const BigNum* n) {
    const uint32_t word = BIGNUM_GetWord(n);
    return word > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(word);
}

// PBKDF2-params: salt, iterationCount, keyLength OPTIONAL, prf DEFAULT hmacWithSHA1.
bool DecodePbkdf2(const DerElement* kdf, PbeParameters* params) {
    const int kdf_count = DER_ItemCount(kdf);
    if (kdf_count < 1 || kdf_count > 2) return false;
    AsnValuePtr oid(GetExact<AsnValue>(kdf, 0, DER_OID));
    if (!oid) return false;
    params->kdf_nid = OBJ_NidFromValue(oid.get());
    params->prf_nid = NID_HMAC_WITH_SHA1;
    params->key_length = -1;
    DerElementPtr fields = GetSequence(kdf, 1);
    if (!fields) return false;
    const int count = DER_ItemCount(fields.get());
    if (count < 2 || count > 4) return false;
    params->salt = GetExact<AsnValue>(fields.get(), 0, DER_OCTET_STRING);
    params->iterations = GetExact<BigNum>(fields.get(), 1, DER_INTEGER);
    if (!params->salt || !params->iterations) return false;
    int next = 2;
    if (next < count && DER_ItemTag(fields.get(), next) == DER_INTEGER) {
        BigNumPtr length(GetExact<BigNum>(fields.get(), next++, DER_INTEGER));
        if (!length) return false;
        params->key_length = SmallNumber(length.get());
    }
    if (next < count) {
        DerElementPtr prf = GetSequence(fields.get(), next++);
        const int prf_count = prf ? DER_ItemCount(prf.get()) : 0;
        if (prf_count < 1 || prf_count > 2) return false;
        AsnValuePtr prf_oid(GetExact<AsnValue>(prf.get(), 0, DER_OID));
        if (!prf_oid) return false;
        params->prf_nid = OBJ_NidFromValue(prf_oid.get());
    }
    return next == count;
}

}  // namespace

AlgorithmId* ALGID_New() { return MEM_New<AlgorithmId>(); }

void ALGID_Free(AlgorithmId* id) {
    if (!id) return;
    ASNVALUE_Free(id->algorithm);
    ASNVALUE_Free(id->parameters);
    MEM_Free(id);
}

int ALGID_Set(AlgorithmId* id, const AsnValue* oid, const AsnValue* parameters) {
    if (!id || !oid) return 0;
    AsnValuePtr algorithm(ASNVALUE_Dup(oid));
    AsnValuePtr params(parameters ? ASNVALUE_Dup(parameters) : ASNVALUE_New());
    if (!algorithm || !params) return 0;
    if (!parameters) params->type = DER_NULL;
    ASNVALUE_Free(id->algorithm);
    ASNVALUE_Free(id->parameters);
    id->algorithm = algorithm.release();
    id->parameters = params.release();
    return 1;
}

DerNode* ALGID_Write(DerWriter* w, DerNode* parent, const AlgorithmId* id) {
    if (!id) return DERW_Fail(w);
    DerNode* node = DERW_Sequence(w, parent);
    DERW_Oid(w, node, id->algorithm);
    if (id->parameters) DERW_Any(w, node, id->parameters);
    return node;
}

int ALGID_Encode(const AlgorithmId* id, DerElement* element) {
    if (!id || !id->algorithm || !element) return 0;
    return DERW_Encode(element, [&](DerWriter* w) { return ALGID_Write(w, nullptr, id); });
}

int ALGID_Decode(const DerElement* element, AlgorithmId** out) {
    if (!element || !element->identifier || *element->identifier != kDerSequenceId || !out) return 0;
    const int count = DER_ItemCount(element);
    if (count < 1 || count > 2) return 0;
    AlgorithmIdPtr id(ALGID_New());
    if (!id || !(id->algorithm = GetExact<AsnValue>(element, 0, DER_OID))) return 0;
    if (count == 2 && !(id->parameters = static_cast<AsnValue*>(DER_GetItem(element, 1, DER_ANY)))) return 0;
    ALGID_Free(*out);
    *out = id.release();
    return 1;
}

EncryptedPrivateKeyInfo* EPKI_New() {
    return MEM_New<EncryptedPrivateKeyInfo>();
}

void EPKI_Free(EncryptedPrivateKeyInfo* epki) {
    if (!epki) return;
    ASNVALUE_Free(epki->encryptedData);
    ALGID_Free(epki->encryptionAlgorithm);
    MEM_Free(epki);
}

int EPKI_SetAlgorithm(EncryptedPrivateKeyInfo* epki, const AsnValue* oid) {
    if (!epki || !oid) return 0;
    if (!epki->encryptionAlgorithm && !(epki->encryptionAlgorithm = ALGID_New())) return 0;
    AsnValuePtr copy(ASNVALUE_Dup(oid));
    if (!copy) return 0;
    ASNVALUE_Free(epki->encryptionAlgorithm->algorithm);
    epki->encryptionAlgorithm->algorithm = copy.release();
    return 1;
}

int EPKI_SetData(EncryptedPrivateKeyInfo* epki, const uint8_t* bytes, uint32_t length) {
    if (!epki || !bytes) return 0;
    AsnValuePtr data(ASNVALUE_FromOctets(bytes, length));
    if (!data) return 0;
    ASNVALUE_Free(epki->encryptedData);
    epki->encryptedData = data.release();
    return 1;
}

int EPKI_SchemeNid(const EncryptedPrivateKeyInfo* epki) {
    if (!epki || !epki->encryptionAlgorithm) return 0;
    return OBJ_NidFromValue(epki->encryptionAlgorithm->algorithm);
}

int EPKI_Encode(const EncryptedPrivateKeyInfo* epki, DerElement* element) {
    if (!epki || !epki->encryptedData || !element) return 0;
    DerElementPtr algorithm(DER_New());
    if (!algorithm || !ALGID_Encode(epki->encryptionAlgorithm, algorithm.get())) return 0;
    DER_Reset(element);
    if (DER_Append(element, DER_SEQUENCE, algorithm.get(), 0) &&
        DER_Append(element, DER_OCTET_STRING, epki->encryptedData, static_cast<int32_t>(epki->encryptedData->length)))
        return 1;
    DER_Reset(element);
    return 0;
}

void EPKI_Store(EncryptedPrivateKeyInfoPtr epki, EncryptedPrivateKeyInfo** out) {
    epki->version = 0;
    if (*out) {
        ASNVALUE_Free((*out)->encryptedData);
        ALGID_Free((*out)->encryptionAlgorithm);
        **out = *epki;
        MEM_Free(epki.release());
    } else {
        *out = epki.release();
    }
}

int EPKI_Decode(const DerElement* element, EncryptedPrivateKeyInfo** out) {
    if (!element || !element->identifier || *element->identifier != kDerSequenceId || !out) return 0;
    if (DER_ItemCount(element) != 2) return 0;
    EncryptedPrivateKeyInfoPtr epki(EPKI_New());
    DerElementPtr algorithm = GetSequence(element, 0);
    if (!epki || !algorithm || !ALGID_Decode(algorithm.get(), &epki->encryptionAlgorithm)) return 0;
    if (!IsSupportedScheme(EPKI_SchemeNid(epki.get()))) return 0;
    if (!(epki->encryptedData = GetExact<AsnValue>(element, 1, DER_OCTET_STRING))) return 0;
    EPKI_Store(std::move(epki), out);
    return 1;
}

int EPKI_DecodeBytes(const uint8_t* der, size_t available, EncryptedPrivateKeyInfo** out) {
    if (!der || !out) return 0;
    DerElementPtr element(DER_Parse(der, available));
    return element ? EPKI_Decode(element.get(), out) : 0;
}

PbeParameters* PBEPARAM_New() { return MEM_New<PbeParameters>(); }

void PBEPARAM_Free(PbeParameters* params) {
    if (!params) return;
    BIGNUM_Free(params->iterations);
    ASNVALUE_Free(params->salt);
    ALGID_Free(params->encryptionScheme);
    MEM_Free(params);
}

int PBEPARAM_Set(PbeParameters* params, const uint8_t* salt, uint32_t salt_length, const uint8_t* count,
                 uint32_t count_length) {
    if (!params || !salt || !count || salt_length < 1 || count_length < 1) return 0;
    AsnValuePtr salt_value(ASNVALUE_FromOctets(salt, salt_length));
    BigNumPtr iterations(BIGNUM_FromBytes(count, count_length, nullptr));
    if (!salt_value || !iterations) return 0;
    ASNVALUE_Free(params->salt);
    BIGNUM_Free(params->iterations);
    params->salt = salt_value.release();
    params->iterations = iterations.release();
    return 1;
}

int PBEPARAM_Encode(const PbeParameters* params, DerElement* element) {
    if (!params || !element) return 0;
    DER_Reset(element);
    bool ok = true;
    if (params->salt)
        ok = DER_Append(element, DER_OCTET_STRING, params->salt, static_cast<int32_t>(params->salt->length));
    if (ok && params->iterations) ok = DER_AppendInteger(element, params->iterations);
    if (ok && !element->identifier) ok = false;  // nothing to write
    if (!ok) DER_Reset(element);
    return ok ? 1 : 0;
}

int EPKI_StorePbeParams(EncryptedPrivateKeyInfo* epki, const PbeParameters* params) {
    if (!epki || !epki->encryptionAlgorithm) return 0;
    DerElementPtr element(DER_New());
    if (!element || !PBEPARAM_Encode(params, element.get())) return 0;
    const int32_t length = DER_ContentLength(element.get());
    AsnValuePtr value(ASNVALUE_New());
    if (length < 0 || !value || !ASNVALUE_Set(value.get(), kDerSequenceId, element->contents, static_cast<uint32_t>(length)))
        return 0;
    ASNVALUE_Free(epki->encryptionAlgorithm->parameters);
    epki->encryptionAlgorithm->parameters = value.release();
    return 1;
}

PbeParameters* EPKI_GetPbeParams(const EncryptedPrivateKeyInfo* epki) {
    if (!epki || !epki->encryptionAlgorithm) return nullptr;
    const AsnValue* value = epki->encryptionAlgorithm->parameters;
    if (!value || value->type != kDerSequenceId) return nullptr;
    DerElement* raw = nullptr;
    if (!DER_WrapConstructed(value, &raw)) return nullptr;
    DerElementPtr sequence(raw);
    PbeParametersPtr params(PBEPARAM_New());
    if (!params || DER_ItemCount(sequence.get()) != 2) return nullptr;
    const int first = DER_ItemTag(sequence.get(), 0);
    if (first == kDerSequenceId) {
        // PBES2: keyDerivationFunc, then the encryption scheme with its IV.
        DerElementPtr kdf = GetSequence(sequence.get(), 0);
        DerElementPtr scheme = GetSequence(sequence.get(), 1);
        if (!kdf || !scheme || !DecodePbkdf2(kdf.get(), params.get()) ||
            !ALGID_Decode(scheme.get(), &params->encryptionScheme))
            return nullptr;
        return params.release();
    }
    params->salt = GetExact<AsnValue>(sequence.get(), 0, DER_OCTET_STRING);
    params->iterations = GetExact<BigNum>(sequence.get(), 1, DER_INTEGER);
    if (!params->salt || !params->iterations) return nullptr;
    params->key_length = -1;
    return params.release();
}

}  // namespace quillon
