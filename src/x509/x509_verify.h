// Signatures checked with a certificate's public key: over caller data, and over another
// certificate (whether `issuer` signed `cert`). Chains, validity and revocation are not checked here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/der_view.h"
#include "rsa/rsa_sign.h"
#include "x509/x509_cert.h"

namespace quillon {

// Whether `signature` is the certificate key's signature over `data` under `scheme`:
// kUnsupported when the certificate's key is not RSA.
SignatureCheck X509_VerifyData(const X509Cert* cert, const RsaSignScheme& scheme, const uint8_t* data,
                               size_t length, const uint8_t* signature, size_t signature_length);

// Whether `issuer`'s key made `cert`'s signature. kUnsupported for a signature algorithm other
// than sha1/sha224/sha256/sha384/sha512WithRSAEncryption and RSASSA-PSS, or an issuer key that
// is not RSA; kInvalid also when the algorithm inside the signed part differs from the outer one
// or the signature BIT STRING has unused bits.
SignatureCheck X509_VerifyIssuedBy(const X509Cert* cert, const X509Cert* issuer);

// The same check for any signed structure (a CRL): `tbs` the signed part as encoded, `inner` the
// algorithm it names, `outer` the AlgorithmIdentifier beside it, `signature` the BIT STRING.
SignatureCheck X509_VerifySignedBy(const DerView& tbs, const DerView& inner, const DerView& outer,
                                   const DerView& signature, const X509Cert* issuer);

}  // namespace quillon
