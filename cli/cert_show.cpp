// `quillon cert show FILE`: every basic certificate query through the public API, with the
// library's EUC-KR text turned into UTF-8 for the terminal.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "asn1/ksx1001.h"
#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

const char* ResultMeaning(int32_t code) {
    switch (code) {
        case QC_ERR_BUFFER_TOO_SMALL: return "output buffer too small, or a name not convertible to EUC-KR";
        case QC_ERR_NULL_ARGUMENT: return "a required pointer argument is null";
        case QC_ERR_CERT_DECODE: return "certificate cannot be decoded";
        case QC_ERR_MALFORMED_DER: return "malformed DER or not an accepted structure";
        case QC_ERR_ENCODE_EMPTY: return "encoding the result gave nothing";
        case QC_ERR_ALLOC: return "allocation failed";
        default: return "unexpected result";
    }
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// EUC-KR (ASCII plus KS X 1001 pairs) to UTF-8; anything else shows as '?'.
std::string EucKrToUtf8(const char* text) {
    std::string out;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p < 0x80) {
            out += static_cast<char>(*p);
            continue;
        }
        if (p[0] >= 0xA1 && p[0] <= 0xFD && p[1] >= 0xA1 && p[1] <= 0xFE) {
            const uint16_t c = kKsx1001Table[(p[0] - 0xA1) * kKsx1001RowCells + (p[1] - 0xA1)];
            if (c != kKsx1001Empty) {
                AppendUtf8(out, c);
                ++p;
                continue;
            }
        }
        out += '?';
    }
    return out;
}

void Report(const char* label, int32_t result, const std::string& value) {
    if (result == QC_OK)
        std::printf("%-22s %s\n", label, value.c_str());
    else
        std::printf("%-22s error %d: %s\n", label, result, ResultMeaning(result));
}

// Runs one text query into a buffer of `size` bytes.
template <class Query>
void ShowText(const char* label, int32_t size, Query query) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    const int32_t result = query(size, buffer.data());
    Report(label, result, result == QC_OK ? EucKrToUtf8(buffer.data()) : std::string());
}

}  // namespace

int RunCertShow(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "quillon cert show: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    BINSTR der;
    BINSTR_Create(&der);
    if (bytes.empty() || BINSTR_SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), &der) != QC_OK) {
        std::fprintf(stderr, "quillon cert show: %s is empty\n", path.c_str());
        return 1;
    }
    X509Cert* cert = nullptr;
    const int32_t loaded = CERT_Load(&cert, &der);
    BINSTR_Delete(&der);
    if (loaded != QC_OK) {
        Report("CERT_Load", loaded, "");
        return 1;
    }

    uint32_t version = 0;
    const int32_t version_result = CERT_GetVersion(cert, &version);
    char version_text[32];
    std::snprintf(version_text, sizeof version_text, "v%u (%u)", version + 1, version);
    Report("Version", version_result, version_text);
    constexpr int32_t kText = 8192;
    ShowText("Serial number", kText, [&](int32_t n, char* b) { return CERT_GetSerialNum(cert, n, b); });
    ShowText("Signature algorithm", kText, [&](int32_t n, char* b) { return CERT_GetSignatureAlgorithm(cert, n, b); });
    ShowText("Issuer", kText, [&](int32_t n, char* b) { return CERT_GetIssuerName(cert, n, b); });
    ShowText("Subject", kText, [&](int32_t n, char* b) { return CERT_GetSubjectName(cert, n, b); });

    char not_before[20] = {}, not_after[20] = {};
    const int32_t validity = CERT_GetValidity(cert, not_before, not_after);
    Report("Valid from (KST)", validity, not_before);
    Report("Valid until (KST)", validity, not_after);

    BINSTR subject_der;
    BINSTR_Create(&subject_der);
    const int32_t subject_result = CERT_GetSubjectName_DERFormat(cert, &subject_der);
    Report("Subject (DER)", subject_result, std::to_string(subject_der.length) + " bytes");
    BINSTR_Delete(&subject_der);

    char algorithm[32] = {};
    ShowText("Public key", kText, [&](int32_t n, char* b) {
        const int32_t result = CERT_GetPubKey(cert, n, algorithm, b);
        std::printf("%-22s %s\n", "Public key algorithm", algorithm);
        return result;
    });
    ShowText("Signature", kText, [&](int32_t n, char* b) { return CERT_GetSignature(cert, n, b); });
    CERT_Unload(cert);
    return 0;
}

}  // namespace quillon::cli
