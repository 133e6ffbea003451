// Text renderings of certificate extensions for the CERT_* extension queries: Korean labels
// and values in EUC-KR, key identifiers in upper-case hex.
#pragma once

#include <cstdint>

#include "container/pointer_list.h"

namespace quillon {

enum class ExtQuery {
    KeyUsage,
    BasicConstraints,
    CertPolicy,
    CertPolicyIds,
    ExtKeyUsage,
    SubjectAltName,
    AuthKeyId,
    SubjectKeyId,
    CrlDistPoints,
    CrlUrls,
};

// The Korean labels, as EUC-KR bytes.
inline constexpr char kLabelRealName[] = "\t\t\xBD\xC7\xB8\xED = ";                                  // 실명 =
inline constexpr char kLabelHashAlg[] = "\t\t\t\xC7\xD8\xBD\xAC \xBE\xCB\xB0\xED\xB8\xAE\xC1\xF2=";  // 해쉬 알고리즘=
inline constexpr char kLabelCertIssuer[] = "\xC0\xCE\xC1\xF5\xBC\xAD \xB9\xDF\xB1\xDE\xC0\xDA:\n";   // 인증서 발급자:
inline constexpr char kLabelDirectory[] = "\xB5\xF0\xB7\xBA\xC5\xE4\xB8\xAE \xC1\xD6\xBC\xD2:\n\t";  // 디렉토리 주소:

// How rendering an extension ended.
enum class ExtText {
    kDone,
    kAbsent,     // no such extension; the buffer is untouched
    kMalformed,  // a value of the wrong shape (also policy identifiers that do not fit)
    kTooSmall,   // the text does not fit; the buffer may hold part of it
    kNoMemory,
};

// Finds the first extension the query reads (its critical flag is not looked at), decodes it
// afresh from its OCTET STRING and writes the text and a NUL within `size` bytes of `buffer`.
ExtText X509Ext_Text(const PointerList* extensions, ExtQuery query, char* buffer, int32_t size);

}  // namespace quillon
