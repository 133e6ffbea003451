// `quillon list [ROOT...]`: the certificate and key pairs in NPKI folders, found by the library
// under the roots named or the platform's own. Nothing is decrypted and no password is asked for.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

const char* RandomNumText(int32_t random_num) {
    if (random_num == 1) return "yes";
    return random_num == 0 ? "no" : "unknown (inside the encrypted key)";
}

std::string KeyText(const NpkiEntry& e) {
    if (e.key_plain) return "not encrypted (a plain PrivateKeyInfo)";
    if (e.key_cipher < 0) return "cannot be used: error " + std::to_string(e.key_cipher) + ", " + QC_ErrorText(e.key_cipher);
    return std::string(e.key_scheme) + " (cipher " + std::to_string(e.key_cipher) + ")";
}

}  // namespace

int RunList(const std::vector<std::string>& roots) {
    std::vector<const char*> texts;
    for (const std::string& root : roots) {
        if (root.rfind("--", 0) == 0) {
            std::fprintf(stderr, "usage: quillon list [ROOT...]\n");
            return 2;
        }
        texts.push_back(root.c_str());
    }
    NpkiList* list = nullptr;
    const int32_t result = MEDIA_DISK_FindCertificates(texts.data(), static_cast<int32_t>(texts.size()), &list);
    if (result != QC_OK) {
        std::fprintf(stderr, "quillon list: error %d, %s\n", result, QC_ErrorText(result));
        return 1;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        const NpkiEntry& e = list->entries[i];
        std::printf("%s\n", e.cert_path);
        std::printf("  %-12s %s\n", "Key file", e.key_path);
        std::printf("  %-12s %s\n", "Subject", EucKrToUtf8(e.subject).c_str());
        std::printf("  %-12s %s\n", "Issuer", EucKrToUtf8(e.issuer).c_str());
        std::printf("  %-12s %s\n", "Serial", e.serial);
        std::printf("  %-12s %s to %s%s\n", "Valid", e.not_before, e.not_after, e.expired ? "  EXPIRED" : "");
        std::printf("  %-12s %s\n", "Key", KeyText(e).c_str());
        std::printf("  %-12s %s\n", "randomNum", RandomNumText(e.random_num));
    }
    std::printf("%u pair%s found%s\n", list->count, list->count == 1 ? "" : "s",
                list->truncated ? " (the search stopped at its bounds: there may be more)" : "");
    MEDIA_DISK_FreeCertificates(list);
    return 0;
}

}  // namespace quillon::cli
