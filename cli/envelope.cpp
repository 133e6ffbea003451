// `quillon envelope --to CERT IN OUT [--bare]`: encrypts the file IN for the holder of CERT
// (DER or PEM) as a DER PKCS#7 ContentInfo (or, with --bare, the EnvelopedData alone).
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
    std::ofstream file(files[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data), out.length);
    const bool written = static_cast<bool>(file);
    BINSTR_Delete(&out);
    if (!written) {
        std::fprintf(stderr, "quillon envelope: cannot write %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}

}  // namespace quillon::cli
