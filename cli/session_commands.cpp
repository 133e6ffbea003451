// `quillon keypair` and `quillon session-key`: the key-pair and session-key exports.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bignum/bignum.h"
#include "commands.h"
#include "core/mem.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"

namespace quillon::cli {
namespace {

std::string HexOf(const unsigned char* data, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < length; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

}  // namespace

int RunKeypair(const std::string& template_path) {
    std::vector<unsigned char> cert;
    if (!ReadAll(template_path, &cert) || cert.size() > 1u << 20) {
        std::fprintf(stderr, "quillon keypair: cannot read %s\n", template_path.c_str());
        return 1;
    }
    std::string pem(QC_KEYPAIR_PEM_SIZE(cert.size()), '\0');
    ::RsaKey* key = nullptr;
    const int32_t written = GenKeyPairNGenCert(&key, cert.data(), static_cast<uint32_t>(cert.size()), pem.data());
    if (written <= 0) {
        std::fprintf(stderr, "quillon keypair: the template is not a DER certificate with an RSA-2048 key "
                             "(exponent 3) whose modulus starts at byte 304\n");
        return 1;
    }
    std::printf("%s\n", pem.c_str());
    const auto* k = reinterpret_cast<const quillon::RsaKey*>(key);
    std::vector<unsigned char> n(256);
    BIGNUM_ToBytes(k->n, n.data());
    std::printf("Modulus %s\n", HexOf(n.data(), n.size()).c_str());
    unsigned char nothing = 0;
    DecryptSessionKey(key, &nothing, 0, &nothing);  // releases the key
    return 0;
}

int RunSessionKey(std::vector<std::string> args) {
    std::string key_path, password_path, cipher_path;
    size_t wanted = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--length" && i + 1 < args.size()) {
            wanted = std::stoul(args[++i]);
            continue;
        }
        if (args[i] == "--pem-key" && i + 1 < args.size()) key_path = args[++i];
        else if (args[i] == "--password-file" && i + 1 < args.size()) password_path = args[++i];
        else cipher_path = args[i];
    }
    std::vector<unsigned char> text, ciphertext;
    if (key_path.empty() || password_path.empty() || cipher_path.empty() || !ReadAll(key_path, &text) ||
        !ReadAll(cipher_path, &ciphertext)) {
        std::fprintf(stderr, "usage: quillon session-key --pem-key KEY.b64 --password-file F [--length N] CIPHERTEXT\n");
        return 2;
    }
    Secret password;
    if (const std::string why = GetPassword(password_path, nullptr, password); !why.empty()) {
        std::fprintf(stderr, "quillon session-key: %s\n", why.c_str());
        return 2;
    }
    SecureBytes session(QC_SESSION_KEY_MAX + 1, 0);
    const int32_t result = DecryptSessionKeyWithPEMKey(
        reinterpret_cast<const char*>(text.data()), static_cast<uint32_t>(text.size()), password.c_str(),
        ciphertext.data(), static_cast<uint32_t>(ciphertext.size()), session.data());
    if (result != 1) {
        std::fprintf(stderr, "quillon session-key: error %d: %s\n", result, QC_ErrorText(result));
        return 1;
    }
    // The export returns no length: without --length, trailing zero bytes are taken as unused.
    size_t length = QC_SESSION_KEY_MAX;
    if (wanted > 0 && wanted <= QC_SESSION_KEY_MAX) length = wanted;
    else while (length > 0 && session[length - 1] == 0) --length;
    std::printf("%s\n", HexOf(session.data(), length).c_str());
    return 0;
}

}  // namespace quillon::cli
