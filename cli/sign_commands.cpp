// `quillon sign` and `quillon verify`: RSA signatures over a file with a key file, bare or as a
// PKCS#7 SignedData with the certificate; their checks; and a certificate's signature checked
// with its issuer's.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

struct AlgorithmName {
    const char* name;
    int32_t number;
};
constexpr AlgorithmName kAlgorithms[] = {
    {"sha256", QC_SIGN_RSA_SHA256}, {"sha1", QC_SIGN_RSA_SHA1},     {"sha224", QC_SIGN_RSA_SHA224},
    {"sha384", QC_SIGN_RSA_SHA384}, {"sha512", QC_SIGN_RSA_SHA512}, {"pss-sha256", QC_SIGN_RSA_PSS_SHA256},
};

int Fail(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quillon %s: %s\n", command, reason.c_str());
    return 1;
}

int FailCode(const char* command, const std::string& what, int32_t code) {
    return Fail(command, what + ": error " + std::to_string(code) + ", " + QC_ErrorText(code));
}

// The --algorithm option (sha256 when absent); 0 for an unknown name.
int32_t TakeAlgorithm(std::vector<std::string>& args) {
    std::string name = kAlgorithms[0].name;
    if (!TakeOption(args, "--algorithm", name)) return 0;
    for (const AlgorithmName& a : kAlgorithms) {
        if (name == a.name) return a.number;
    }
    return 0;
}

std::string AlgorithmNames() {
    std::string names;
    for (const AlgorithmName& a : kAlgorithms) names += std::string(names.empty() ? "" : ", ") + a.name;
    return names;
}

// The file's bytes as a BINSTR the library reads (never null, even when empty).
bool ReadInput(const std::string& path, std::vector<unsigned char>& bytes, BINSTR& view) {
    if (!ReadAll(path, &bytes)) return false;
    static unsigned char empty = 0;
    view = {bytes.empty() ? &empty : bytes.data(), static_cast<uint32_t>(bytes.size())};
    return true;
}

// Takes a flag without a value out of the argument list; whether it was there.
bool TakeFlag(std::vector<std::string>& args, const char* flag) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != flag) continue;
        args.erase(args.begin() + static_cast<long>(i));
        return true;
    }
    return false;
}

}  // namespace

int32_t LoadCertificate(const std::string& path, X509Cert** cert) {
    std::vector<unsigned char> bytes;
    if (!ReadAll(path, &bytes)) return QC_ERR_FILE_READ;
    bytes = FromPem(bytes);
    BINSTR der{bytes.data(), static_cast<uint32_t>(bytes.size())};
    return CERT_Load(cert, &der);
}

int RunSign(std::vector<std::string> args) {
    std::string password_file, cert_path;
    if (!TakeOption(args, "--password-file", password_file)) return Fail("sign", "--password-file needs a file");
    if (!TakeOption(args, "--cert", cert_path)) return Fail("sign", "--cert needs a certificate");
    const int32_t flags = (TakeFlag(args, "--detached") ? QC_PKCS7_DETACHED : 0) |
                          (TakeFlag(args, "--no-attributes") ? QC_PKCS7_NO_ATTRIBUTES : 0);
    const int32_t algorithm = TakeAlgorithm(args);
    if (!algorithm) return Fail("sign", "--algorithm is one of " + AlgorithmNames());
    if (args.size() != 3 || (flags && cert_path.empty()))
        return Fail("sign", "usage: quillon sign KEY IN OUT [--algorithm A] [--password-file F] "
                            "[--cert CERT [--detached] [--no-attributes]]");
    std::vector<unsigned char> data, cert;
    BINSTR in;
    if (!ReadInput(args[1], data, in)) return Fail("sign", "cannot read " + args[1]);
    if (!cert_path.empty() && !ReadAll(cert_path, &cert)) return Fail("sign", "cannot read " + cert_path);
    cert = FromPem(cert);
    Binstr plain, signature;
    if (const std::string why = ReadPlainKey(args[0], password_file, plain); !why.empty()) return Fail("sign", why);
    BINSTR c{cert.data(), static_cast<uint32_t>(cert.size())};
    const int32_t result = cert_path.empty() ? PRIKEY_Sign(&plain.b, algorithm, &in, &signature.b)
                                             : PKCS7_SignData(flags, &c, &plain.b, algorithm, &in, &signature.b);
    if (result != QC_OK) return FailCode("sign", args[0], result);
    std::ofstream out(args[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(signature.b.data), signature.b.length);
    if (!out) return Fail("sign", "cannot write " + args[2]);
    std::printf("%s written: %u-byte %s\n", args[2].c_str(), signature.b.length,
                cert_path.empty() ? "signature" : "SignedData");
    return 0;
}

// `quillon verify --cms SIGNED [--content FILE] [--out FILE]`.
int VerifySignedData(const std::string& path, const std::string& content_path, const std::string& out_path) {
    std::vector<unsigned char> der, detached;
    BINSTR s, d;
    if (!ReadInput(path, der, s)) return Fail("verify", "cannot read " + path);
    if (!content_path.empty() && !ReadInput(content_path, detached, d)) return Fail("verify", "cannot read " + content_path);
    Binstr content, signer;
    const int32_t result = PKCS7_VerifyData(&s, content_path.empty() ? nullptr : &d, &content.b, &signer.b);
    if (result != QC_OK) return FailCode("verify", path, result);
    LoadedCert cert;
    char subject[1024] = "?";
    if (CERT_Load(&cert.cert, &signer.b) == QC_OK) CERT_GetSubjectName(cert.cert, sizeof subject, subject);
    if (!out_path.empty()) {
        std::ofstream out(out_path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(content.b.data), content.b.length);
        if (!out) return Fail("verify", "cannot write " + out_path);
    }
    std::printf("the signature verifies (%u bytes of content, signer %s)\n", content.b.length, subject);
    return 0;
}

int RunVerify(std::vector<std::string> args) {
    std::string issuer_path, cms_path, content_path, out_path;
    if (!TakeOption(args, "--issued-by", issuer_path)) return Fail("verify", "--issued-by needs a certificate");
    if (!TakeOption(args, "--cms", cms_path) || !TakeOption(args, "--content", content_path) ||
        !TakeOption(args, "--out", out_path))
        return Fail("verify", "--cms, --content and --out need a file");
    if (!cms_path.empty()) {
        if (!args.empty()) return Fail("verify", "usage: quillon verify --cms SIGNED [--content FILE] [--out FILE]");
        return VerifySignedData(cms_path, content_path, out_path);
    }
    const int32_t algorithm = TakeAlgorithm(args);
    if (!algorithm) return Fail("verify", "--algorithm is one of " + AlgorithmNames());
    const size_t wanted = issuer_path.empty() ? 3 : 1;
    if (args.size() != wanted)
        return Fail("verify", "usage: quillon verify CERT IN SIGNATURE [--algorithm A] | quillon verify CERT --issued-by ISSUER");
    LoadedCert cert, issuer;
    int32_t result = LoadCertificate(args[0], &cert.cert);
    if (result != QC_OK) return FailCode("verify", args[0], result);
    if (!issuer_path.empty()) {
        result = LoadCertificate(issuer_path, &issuer.cert);
        if (result != QC_OK) return FailCode("verify", issuer_path, result);
        result = CERT_VerifyIssuedBy(cert.cert, issuer.cert);
    } else {
        std::vector<unsigned char> data, signature;
        BINSTR in, sig;
        if (!ReadInput(args[1], data, in) || !ReadInput(args[2], signature, sig))
            return Fail("verify", "cannot read " + (data.empty() ? args[1] : args[2]));
        result = CERT_VerifyData(cert.cert, algorithm, &in, &sig);
    }
    if (result != QC_OK) return FailCode("verify", "verification", result);
    std::printf("the signature verifies\n");
    return 0;
}

}  // namespace quillon::cli
