// `quillon sign` and `quillon verify`: RSA signatures over a file with a key file and a
// certificate, and a certificate's signature checked with its issuer's.
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

// A DER or PEM certificate, loaded; 1 or the code.
int32_t LoadCertificate(const std::string& path, X509Cert** cert) {
    std::vector<unsigned char> bytes;
    if (!ReadAll(path, &bytes)) return QC_ERR_FILE_READ;
    bytes = FromPem(bytes);
    BINSTR der{bytes.data(), static_cast<uint32_t>(bytes.size())};
    return CERT_Load(cert, &der);
}

struct LoadedCert {
    X509Cert* cert = nullptr;
    ~LoadedCert() { if (cert) CERT_Unload(cert); }
};

}  // namespace

int RunSign(std::vector<std::string> args) {
    std::string password_file;
    if (!TakeOption(args, "--password-file", password_file)) return Fail("sign", "--password-file needs a file");
    const int32_t algorithm = TakeAlgorithm(args);
    if (!algorithm) return Fail("sign", "--algorithm is one of " + AlgorithmNames());
    if (args.size() != 3) return Fail("sign", "usage: quillon sign KEY IN OUT [--algorithm A] [--password-file F]");
    std::vector<unsigned char> data;
    BINSTR in;
    if (!ReadInput(args[1], data, in)) return Fail("sign", "cannot read " + args[1]);
    Binstr plain, signature;
    if (const std::string why = ReadPlainKey(args[0], password_file, plain); !why.empty()) return Fail("sign", why);
    const int32_t result = PRIKEY_Sign(&plain.b, algorithm, &in, &signature.b);
    if (result != QC_OK) return FailCode("sign", args[0], result);
    std::ofstream out(args[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(signature.b.data), signature.b.length);
    if (!out) return Fail("sign", "cannot write " + args[2]);
    std::printf("%s written: %u-byte signature\n", args[2].c_str(), signature.b.length);
    return 0;
}

int RunVerify(std::vector<std::string> args) {
    std::string issuer_path;
    if (!TakeOption(args, "--issued-by", issuer_path)) return Fail("verify", "--issued-by needs a certificate");
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
