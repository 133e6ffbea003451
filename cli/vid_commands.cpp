// `quillon vid check`: a certificate's VID against an identity number and the randomNum of the
// holder's key. The number is asked for without echo (or read from a file), never taken on the
// command line, and held only in a buffer that is wiped when the command ends.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

int Fail(const std::string& reason) {
    std::fprintf(stderr, "quillon vid check: %s\n", reason.c_str());
    return 1;
}

int FailCode(const std::string& what, int32_t code) {
    return Fail(what + ": error " + std::to_string(code) + ", " + QC_ErrorText(code));
}

}  // namespace

int RunVid(std::vector<std::string> args) {
    std::string password_file, idn_file;
    if (!TakeOption(args, "--password-file", password_file) || !TakeOption(args, "--idn-file", idn_file))
        return Fail("--password-file and --idn-file need a file");
    if (args.size() != 3 || args[0] != "check")
        return Fail("usage: quillon vid check CERT KEY [--password-file F] [--idn-file F]");
    LoadedCert cert;
    int32_t result = LoadCertificate(args[1], &cert.cert);
    if (result != QC_OK) return FailCode(args[1], result);
    Binstr key, random;
    if (const std::string why = ReadPlainKey(args[2], password_file, key); !why.empty()) return Fail(why);
    result = PRIKEY_GetRandomNum(&key.b, &random.b);
    if (result == QC_ERR_EXTENSION_ABSENT) return Fail(args[2] + ": the key carries no randomNum");
    if (result != QC_OK) return FailCode(args[2] + ": randomNum", result);
    Secret idn;
    if (const std::string why = GetSecret(idn_file, "Identity number: ", "identity number", idn); !why.empty())
        return Fail(why);
    result = CERT_CheckVID(cert.cert, idn.c_str(), &random.b);
    if (result == QC_ERR_NULL_ARGUMENT) return Fail("the identity number must be digits only, without hyphen or space");
    if (result == QC_ERR_IDENTITY) {
        std::printf("the identity number does not match the certificate\n");
        return 1;
    }
    if (result == QC_ERR_EXTENSION_ABSENT) return Fail(args[1] + ": the certificate carries no VID");
    if (result != QC_OK) return FailCode(args[1], result);
    std::printf("the identity number matches the certificate\n");
    return 0;
}

}  // namespace quillon::cli
