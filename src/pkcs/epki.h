// PKCS#8 EncryptedPrivateKeyInfo with its AlgorithmIdentifier and password-based-encryption
// parameters (the PBE form and the PBES2 form), records and DER codecs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"
#include "asn1/der.h"
#include "asn1/der_writer.h"
#include "core/mem.h"

namespace quillon {

struct BigNum;

// `parameters` is null when absent; SEQUENCE parameters are held as type 0x30 with their contents.
struct AlgorithmId {
    AsnValue* algorithm;   // OBJECT IDENTIFIER, dotted text
    AsnValue* parameters;  // any value, or null
};

struct EncryptedPrivateKeyInfo {
    uint32_t version;  // 0; not encoded
    AlgorithmId* encryptionAlgorithm;
    AsnValue* encryptedData;  // OCTET STRING
};

// PBE parameters of schemes 73, 70, 89 and the PKCS#12 schemes (salt and count) and of PBES2
// (the PBKDF2 fields and the encryption scheme with its IV).
struct PbeParameters {
    AsnValue* salt;                 // OCTET STRING
    BigNum* iterations;
    AlgorithmId* encryptionScheme;  // PBES2 only
    int32_t kdf_nid;                // PBES2: NID of the key-derivation function, else 0
    int32_t prf_nid;                // PBES2: NID of the PRF; hmacWithSHA1 when absent (its default)
    int32_t key_length;             // PBES2: the optional keyLength, -1 when absent
};

AlgorithmId* ALGID_New();
void ALGID_Free(AlgorithmId* id);
using AlgorithmIdPtr = Owned<AlgorithmId, ALGID_Free>;
// Stores a copy of the OID and a copy of the parameters, or NULL when none are given.
int ALGID_Set(AlgorithmId* id, const AsnValue* oid, const AsnValue* parameters);
// SEQUENCE { algorithm, parameters when present }; see DERW_Any for the parameters.
DerNode* ALGID_Write(DerWriter* w, DerNode* parent, const AlgorithmId* id);
int ALGID_Encode(const AlgorithmId* id, DerElement* element);
// SEQUENCE of one or two items, the first an OBJECT IDENTIFIER. New record in *out.
int ALGID_Decode(const DerElement* element, AlgorithmId** out);

EncryptedPrivateKeyInfo* EPKI_New();
void EPKI_Free(EncryptedPrivateKeyInfo* epki);
using EncryptedPrivateKeyInfoPtr = Owned<EncryptedPrivateKeyInfo, EPKI_Free>;
int EPKI_SetAlgorithm(EncryptedPrivateKeyInfo* epki, const AsnValue* oid);
int EPKI_SetData(EncryptedPrivateKeyInfo* epki, const uint8_t* bytes, uint32_t length);
// NID of the scheme's identifier; 0 when unset or unknown.
int EPKI_SchemeNid(const EncryptedPrivateKeyInfo* epki);
int EPKI_Encode(const EncryptedPrivateKeyInfo* epki, DerElement* element);
// Exactly two items: an AlgorithmIdentifier naming scheme 73, 70, 89, 90 or a PKCS#12
// scheme (3DES, RC2-128, RC2-40), and an OCTET STRING. New record in *out (a caller's record is refilled on success).
int EPKI_Decode(const DerElement* element, EncryptedPrivateKeyInfo** out);
// Hands a finished record out: a null *out takes it whole, an existing record has its contents
// replaced (its old ones released).
void EPKI_Store(EncryptedPrivateKeyInfoPtr epki, EncryptedPrivateKeyInfo** out);
// One element from the first `available` bytes; what follows it is ignored.
int EPKI_DecodeBytes(const uint8_t* der, size_t available, EncryptedPrivateKeyInfo** out);

PbeParameters* PBEPARAM_New();
void PBEPARAM_Free(PbeParameters* params);
using PbeParametersPtr = Owned<PbeParameters, PBEPARAM_Free>;
// Copies the salt and reads the count as big-endian bytes; 0 for null pointers or empty inputs.
int PBEPARAM_Set(PbeParameters* params, const uint8_t* salt, uint32_t salt_length, const uint8_t* count,
                 uint32_t count_length);
// SEQUENCE { salt, iterationCount }.
int PBEPARAM_Encode(const PbeParameters* params, DerElement* element);
// Encodes the parameters as the scheme's parameters (type 0x30 contents).
int EPKI_StorePbeParams(EncryptedPrivateKeyInfo* epki, const PbeParameters* params);
// The scheme's parameters decoded (PBE or PBES2 form by the shape of the first item); null
// when missing or malformed.
PbeParameters* EPKI_GetPbeParams(const EncryptedPrivateKeyInfo* epki);

}  // namespace quillon
