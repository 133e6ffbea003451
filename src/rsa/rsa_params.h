// The AlgorithmIdentifiers of the RSA schemes and their hashes: signatures (PKCS#1 v1.5 with a
// hash, RSASSA-PSS with its parameters) and key transport (PKCS#1 v1.5, RSAES-OAEP with its
// parameters).
#pragma once

#include "rsa/rsa_sign.h"

namespace quillon {

struct DerElement;

// A hash AlgorithmIdentifier: one of the library's hashes by its own identifier, parameters
// absent or NULL; null for anything else.
const DigestAlgorithm* RSA_HashFromAlgorithm(const DerElement* algorithm);

// RSASSA-PSS-params (the SEQUENCE as an element; null means every default: SHA-1, MGF1-SHA-1,
// salt 20): [0] hash, [1] MGF1 with its hash, [2] salt length, [3] trailer field, each optional
// and in order, with hash parameters absent or NULL. Refused: another mask function, a hash the
// library lacks, a trailer field other than 1, a salt longer than kRsaPssMaxSalt.
bool RSA_SchemeFromPssParams(const DerElement* params, RsaSignScheme* scheme);
// A signature AlgorithmIdentifier: a PKCS#1 v1.5 identifier (sha1/sha224/sha256/sha384/
// sha512WithRSAEncryption) with parameters NULL or absent, or RSASSA-PSS with its parameters
// present. false for anything else.
bool RSA_SchemeFromAlgorithm(const DerElement* algorithm, RsaSignScheme* scheme);

struct RsaKeyTransport {
    bool oaep;                        // else PKCS#1 v1.5 type 2
    const DigestAlgorithm* hash;      // OAEP only
    const DigestAlgorithm* mgf_hash;  // OAEP only
};

// A key-transport AlgorithmIdentifier: rsaEncryption (parameters NULL or absent), or RSAES-OAEP
// with RSAES-OAEP-params ([0] hash, [1] MGF1 with its hash, [2] pSpecified with an empty label;
// SHA-1 where absent). false for anything else, a non-empty label included.
bool RSA_KeyTransportFromAlgorithm(const DerElement* algorithm, RsaKeyTransport* transport);

}  // namespace quillon
