// `quillon envelope --to CERT IN OUT [--bare]`: encrypts the file IN for the holder of CERT
// (DER or PEM) as a DER PKCS#7 ContentInfo (or, with --bare, the EnvelopedData alone).
// `quillon decrypt KEY CERT IN OUT`: opens enveloped data addressed to CERT with its key file.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

int Usage() {
    std::fprintf(stderr, "usage: quillon envelope --to CERT IN OUT [--bare]\n");
    return 2;
}

bool WriteFile(const std::string& path, const BINSTR& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data), bytes.length);
    return static_cast<bool>(file);
}

}  // namespace

int RunEnvelope(std::vector<std::string> args) {
    std::string cert_path;
    bool bare = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" && i + 1 < args.size()) {
            cert_path = args[++i];
        } else if (args[i] == "--bare") {
            bare = true;
        } else {
            files.push_back(args[i]);
        }
    }
    if (cert_path.empty() || files.size() != 2) return Usage();
    std::vector<unsigned char> cert, data;
    if (!ReadAll(cert_path, &cert) || !ReadAll(files[0], &data)) {
        std::fprintf(stderr, "quillon envelope: cannot read %s\n", (cert.empty() ? cert_path : files[0]).c_str());
        return 1;
    }
    cert = FromPem(cert);
    BINSTR c{cert.data(), static_cast<uint32_t>(cert.size())};
    BINSTR d{data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size())};
    BINSTR out;
    BINSTR_Create(&out);
    const int32_t result = PKCS7_EncryptData(bare ? 0 : 1, &c, &d, &out);
    if (result != QC_OK) {
        std::fprintf(stderr, "quillon envelope: %s (%d)\n", QC_ErrorText(result), result);
        return 1;
    }
    const bool written = WriteFile(files[1], out);
    BINSTR_Delete(&out);
    if (!written) {
        std::fprintf(stderr, "quillon envelope: cannot write %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}

int RunDecrypt(std::vector<std::string> args) {
    std::string password_file;
    if (!TakeOption(args, "--password-file", password_file) || args.size() != 4) {
        std::fprintf(stderr, "usage: quillon decrypt KEY CERT IN OUT [--password-file F]\n");
        return 2;
    }
    std::vector<unsigned char> cert, enveloped;
    if (!ReadAll(args[1], &cert) || !ReadAll(args[2], &enveloped)) {
        std::fprintf(stderr, "quillon decrypt: cannot read %s\n", (cert.empty() ? args[1] : args[2]).c_str());
        return 1;
    }
    cert = FromPem(cert);
    Binstr plain, out;
    if (const std::string why = ReadPlainKey(args[0], password_file, plain); !why.empty()) {
        std::fprintf(stderr, "quillon decrypt: %s\n", why.c_str());
        return 1;
    }
    BINSTR c{cert.data(), static_cast<uint32_t>(cert.size())};
    BINSTR e{enveloped.data(), static_cast<uint32_t>(enveloped.size())};
    const int32_t result = PKCS7_DecryptData(&plain.b, &c, &e, &out.b);
    if (result != QC_OK) {
        std::fprintf(stderr, "quillon decrypt: %s (%d)\n", QC_ErrorText(result), result);
        return 1;
    }
    if (!WriteFile(args[3], out.b)) {
        std::fprintf(stderr, "quillon decrypt: cannot write %s\n", args[3].c_str());
        return 1;
    }
    std::printf("%s written: %u bytes\n", args[3].c_str(), out.b.length);
    return 0;
}

}  // namespace quillon::cli
