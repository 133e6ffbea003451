// The extension queries on arbitrary bytes, two ways chosen by the first byte:
//   even: the rest is an extension value, put under the extension type that bits 1-3 pick;
//   odd:  the rest is a certificate: CERT_Load, then every extension export and the VID's two.
// Buffers are exact-size heap blocks, so a read or write past either end is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/object_table.h"
#include "container/pointer_list.h"
#include "quilloncrypto.h"
#include "x509/ext_text.h"
#include "x509/x509_cert.h"

namespace {

using Query = int32_t (*)(X509Cert*, int32_t, char*);
constexpr Query kExports[] = {CERT_GetKeyUsage,       CERT_GetBasicConstraints, CERT_GetCertPolicy,
                              CERT_GetCertPolicy_PolicyID, CERT_GetExtKeyUsage, CERT_GetSubjectAltName,
                              CERT_GetAuthKeyID,      CERT_GetSubKeyID,         CERT_GetCRLDP,
                              CERT_GetCRLDP_URL};
constexpr quillon::ExtQuery kQueries[] = {
    quillon::ExtQuery::KeyUsage,      quillon::ExtQuery::BasicConstraints, quillon::ExtQuery::CertPolicy,
    quillon::ExtQuery::CertPolicyIds, quillon::ExtQuery::ExtKeyUsage,      quillon::ExtQuery::SubjectAltName,
    quillon::ExtQuery::AuthKeyId,     quillon::ExtQuery::SubjectKeyId,     quillon::ExtQuery::CrlDistPoints,
    quillon::ExtQuery::CrlUrls};
constexpr int kNids[] = {quillon::NID_KEY_USAGE, quillon::NID_BASIC_CONSTRAINTS, quillon::NID_CERTIFICATE_POLICIES,
                         quillon::NID_EXTENDED_KEY_USAGE, quillon::NID_SUBJECT_ALT_NAME,
                         quillon::NID_AUTHORITY_KEY_IDENTIFIER, quillon::NID_SUBJECT_KEY_IDENTIFIER,
                         quillon::NID_CRL_DISTRIBUTION_POINTS};

void CheckResult(int32_t r) {
    if (r != QC_OK && r != QC_ERR_EXTENSION_ABSENT && r != QC_ERR_MALFORMED_DER && r != QC_ERR_BUFFER_TOO_SMALL)
        std::abort();
}

// Inputs built here are small: running out of memory is not one of the results.
void CheckResult(quillon::ExtText r) {
    if (r == quillon::ExtText::kNoMemory) std::abort();
}

// Runs `call` with a buffer of `size` bytes, exactly.
template <class Call>
void WithBuffer(int32_t size, Call call) {
    auto* text = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    CheckResult(call(size, text));
    std::free(text);
}

void ExtensionValue(int nid, const uint8_t* data, size_t size, int32_t room) {
    auto* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    quillon::AsnValue value{4, bytes, static_cast<uint32_t>(size), 0};
    {
        const quillon::ObjectRow* row = quillon::OBJ_Row(nid);
        quillon::AsnValue object{6, reinterpret_cast<uint8_t*>(const_cast<char*>(row->oid)),
                                 static_cast<uint32_t>(std::strlen(row->oid)), 0};
        quillon::X509Extension extension{&object, 0, &value};
        void* items[1] = {&extension};
        quillon::PointerList list{1, items, 1};
        for (quillon::ExtQuery q : kQueries) {
            WithBuffer(4096, [&](int32_t n, char* b) { return quillon::X509Ext_Text(&list, q, b, n); });
            WithBuffer(room, [&](int32_t n, char* b) { return quillon::X509Ext_Text(&list, q, b, n); });
        }
    }
    std::free(bytes);
}

void Certificate(const uint8_t* data, size_t size, int32_t room) {
    auto* bytes = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    BINSTR input{bytes, static_cast<uint32_t>(size)};
    X509Cert* cert = nullptr;
    if (CERT_Load(&cert, &input) == QC_OK) {
        for (Query query : kExports) {
            WithBuffer(4096, [&](int32_t n, char* b) { return query(cert, n, b); });
            WithBuffer(room, [&](int32_t n, char* b) { return query(cert, n, b); });
        }
        BINSTR vid{nullptr, 0};
        int32_t nid = 0;
        CheckResult(CERT_GetVID(cert, &nid, &vid));
        BINSTR_Delete(&vid);
        uint8_t random[20] = {};
        BINSTR random_num{random, sizeof random};
        const int32_t checked = CERT_CheckVID(cert, "8001011234567", &random_num);
        if (checked != QC_ERR_IDENTITY) CheckResult(checked);
        CERT_Unload(cert);
    }
    std::free(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The second byte picks a small buffer, so that the room tests get their turn.
    const int32_t room = data[1];
    if (data[0] & 1)
        Certificate(data + 2, size - 2, room);
    else
        ExtensionValue(kNids[(data[0] >> 1) % 8], data + 2, size - 2, room);
    return 0;
}
