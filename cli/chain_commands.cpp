// `quillon chain verify`: a certificate's path to a root of a folder, with intermediates and CRLs
// from files, through the trust-store exports. Prints the path found and the verdict.
#include <cstdio>
#include <string>
#include <vector>

#include "asn1/time_value.h"
#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

int Fail(const std::string& reason) {
    std::fprintf(stderr, "quillon chain verify: %s\n", reason.c_str());
    return 2;
}

// Every value of a flag that may come more than once.
bool TakeAll(std::vector<std::string>& args, const char* flag, std::vector<std::string>* values) {
    for (;;) {
        std::string value;
        const size_t before = args.size();
        if (!TakeOption(args, flag, value)) return false;
        if (args.size() == before) return true;
        values->push_back(value);
    }
}

bool TakeSwitch(std::vector<std::string>& args, const char* flag) {
    for (size_t i = 0; i < args.size(); ++i)
        if (args[i] == flag) {
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    return false;
}

// YYYY-MM-DD, YYYY-MM-DDTHH:MM:SSZ or @SECONDS (UTC) as seconds since 1970; false when none.
bool ParseTime(const std::string& text, int64_t* out) {
    if (text.size() > 1 && text[0] == '@' && text.find_first_not_of("0123456789", 1) == std::string::npos &&
        text.size() < 18) {
        *out = std::stoll(text.substr(1));
        return true;
    }
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    if (text.size() == 10 && digits.size() == 8) digits += "000000";
    else if (!(text.size() == 20 && digits.size() == 14 && text.back() == 'Z')) return false;
    digits += 'Z';
    return TIME_CountFromDer(0x18, reinterpret_cast<const uint8_t*>(digits.data()), 15, out) == 1;
}

std::string SubjectOf(const BINSTR& der) {
    X509Cert* cert = nullptr;
    if (CERT_Load(&cert, &der) != QC_OK) return "(undecodable)";
    std::vector<char> text(4096);
    const int32_t result = CERT_GetSubjectName(cert, static_cast<int32_t>(text.size()), text.data());
    CERT_Unload(cert);
    return result == QC_OK ? EucKrToUtf8(text.data()) : "(subject: " + std::string(QC_ErrorText(result)) + ")";
}

}  // namespace

int RunChain(std::vector<std::string> args) {
    std::string roots, at_text;
    std::vector<std::string> untrusted, crls;
    if (!TakeOption(args, "--roots", roots) || !TakeOption(args, "--at", at_text) ||
        !TakeAll(args, "--untrusted", &untrusted) || !TakeAll(args, "--crl", &crls))
        return Fail("--roots, --at, --untrusted and --crl need a value");
    uint32_t flags = 0;
    if (TakeSwitch(args, "--require-crl")) flags |= QC_TRUST_REQUIRE_CRL;
    if (TakeSwitch(args, "--ignore-validity")) flags |= QC_TRUST_IGNORE_VALIDITY;
    if (args.size() != 2 || args[0] != "verify" || roots.empty())
        return Fail("usage: quillon chain verify CERT --roots DIR [--untrusted FILE]... [--crl FILE]... [--at TIME]");
    int64_t at = 0;
    if (!at_text.empty() && !ParseTime(at_text, &at))
        return Fail("--at takes YYYY-MM-DD, YYYY-MM-DDTHH:MM:SSZ or @SECONDS");
    struct Store {
        TrustStore* store = TRUST_Create();
        ~Store() { TRUST_Free(store); }
    } s;
    if (!s.store) return Fail("out of memory");
    const int32_t added = TRUST_AddFolder(s.store, roots.c_str());
    if (added < 0) return Fail(roots + ": error " + std::to_string(added) + ", " + QC_ErrorText(added));
    if (added == 0) return Fail(roots + ": no certificate in the folder");
    auto add = [&](const std::string& path, int32_t (*fn)(TrustStore*, const BINSTR*)) {
        std::vector<unsigned char> bytes;
        if (!ReadAll(path, &bytes)) return Fail(path + ": cannot be read");
        BINSTR input{bytes.data(), static_cast<uint32_t>(bytes.size())};
        const int32_t result = fn(s.store, &input);
        if (result != QC_OK) return Fail(path + ": error " + std::to_string(result) + ", " + QC_ErrorText(result));
        return 0;
    };
    for (const auto& path : untrusted)
        if (add(path, TRUST_AddUntrusted)) return 2;
    for (const auto& path : crls)
        if (add(path, TRUST_AddCrl)) return 2;
    std::vector<unsigned char> file;
    if (!ReadAll(args[1], &file)) return Fail(args[1] + ": cannot be read");
    std::vector<unsigned char> der = FromPem(file);
    BINSTR cert{der.data(), static_cast<uint32_t>(der.size())};
    const int32_t result = TRUST_Verify(s.store, &cert, at, flags);
    const int32_t length = TRUST_GetPathLength(s.store);
    std::printf("Path (%d certificate%s)\n", length, length == 1 ? "" : "s");
    for (int32_t i = 0; i < length; ++i) {
        Binstr path_cert;
        if (TRUST_GetPathCert(s.store, i, &path_cert.b) != QC_OK) continue;
        std::printf("  %d  %s%s\n", i, SubjectOf(path_cert.b).c_str(),
                    result == QC_OK && i == length - 1 ? "  (trusted root)" : "");
    }
    if (result == QC_OK) {
        std::printf("Verdict: the path is valid\n");
        return 0;
    }
    std::printf("Verdict: error %d, %s\n", result, QC_ErrorText(result));
    if (result == QC_ERR_TRUST_REVOKED) std::printf("Revocation reason: %d\n", TRUST_GetRevocationReason(s.store));
    return 1;
}

}  // namespace quillon::cli
