// `quillon cert show [--raw] FILE`: every certificate query through the public API, with the
// library's EUC-KR text turned into UTF-8 for the terminal (or left as it is with --raw). The
// file may hold DER or PEM.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "text/ksx1001.h"
#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

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

}  // namespace

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

namespace {

void Report(const char* label, int32_t result, const std::string& value) {
    if (result == QC_OK)
        std::printf("%-22s %s\n", label, value.c_str());
    else
        std::printf("%-22s error %d: %s\n", label, result, QC_ErrorText(result));
}

bool g_raw = false;  // --raw: texts as the library gives them, in EUC-KR

// Runs one text query into a buffer of `size` bytes.
template <class Query>
void ShowText(const char* label, int32_t size, Query query) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    const int32_t result = query(size, buffer.data());
    Report(label, result, result == QC_OK ? (g_raw ? std::string(buffer.data()) : EucKrToUtf8(buffer.data())) : std::string());
}

}  // namespace

bool ReadAll(const std::string& path, std::vector<unsigned char>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::vector<unsigned char> FromPem(const std::vector<unsigned char>& bytes) {
    const std::string text(bytes.begin(), bytes.end());
    const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
    const size_t from = text.find(begin);
    const size_t to = from == std::string::npos ? from : text.find(end, from);
    if (to == std::string::npos) return bytes;
    std::string body = text.substr(from + begin.size(), to - from - begin.size());
    BINSTR in{reinterpret_cast<unsigned char*>(body.data()), static_cast<uint32_t>(body.size())}, out;
    BINSTR_Create(&out);
    std::vector<unsigned char> der;
    if (BASE64_Decode(&in, &out) > 0) der.assign(out.data, out.data + out.length);
    BINSTR_Delete(&out);
    return der;
}

namespace {

// One extension, under its label on lines of its own; nothing when the certificate lacks it.
void ShowExtension(const char* label, X509Cert* cert, int32_t (*query)(X509Cert*, int32_t, char*)) {
    std::vector<char> buffer(16384, '\0');
    const int32_t result = query(cert, static_cast<int32_t>(buffer.size()), buffer.data());
    if (result == QC_ERR_EXTENSION_ABSENT) return;
    if (result != QC_OK) {
        // Not an error of the tool: e.g. a basicConstraints without a path length is refused.
        std::printf("%-22s not shown, result %d: %s\n", label, result, QC_ErrorText(result));
        return;
    }
    std::printf("%s\n", label);
    std::string text = g_raw ? std::string(buffer.data()) : EucKrToUtf8(buffer.data());
    size_t at = 0;
    while (at < text.size()) {
        const size_t line_end = std::min(text.find('\n', at), text.size());
        std::printf("    %s\n", text.substr(at, line_end - at).c_str());
        at = line_end + 1;
    }
}

}  // namespace

int RunCertShow(const std::string& path, bool raw) {
    g_raw = raw;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "quillon cert show: cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<unsigned char> bytes =
        FromPem(std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()));
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

    ShowExtension("Key usage", cert, CERT_GetKeyUsage);
    ShowExtension("Basic constraints", cert, CERT_GetBasicConstraints);
    ShowExtension("Certificate policies", cert, CERT_GetCertPolicy);
    ShowExtension("Policy identifiers", cert, CERT_GetCertPolicy_PolicyID);
    ShowExtension("Extended key usage", cert, CERT_GetExtKeyUsage);
    ShowExtension("Subject alternative name", cert, CERT_GetSubjectAltName);
    ShowExtension("Authority key identifier", cert, CERT_GetAuthKeyID);
    ShowExtension("Subject key identifier", cert, CERT_GetSubKeyID);
    ShowExtension("CRL distribution points", cert, CERT_GetCRLDP);
    ShowExtension("CRL URLs", cert, CERT_GetCRLDP_URL);
    CERT_Unload(cert);
    return 0;
}

}  // namespace quillon::cli
