// `quillon pfx import|export`: between a PFX file and an NPKI folder (signCert.der and
// signPri.key). Both sides are under the same password, read from a file or asked for without
// echo. Existing files are never overwritten.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

int Fail(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quillon pfx %s: %s\n", command, reason.c_str());
    return 1;
}

int FailCode(const char* command, const std::string& what, int32_t code) {
    return Fail(command, what + ": error " + std::to_string(code) + ", " + QC_ErrorText(code));
}

BINSTR View(const std::vector<unsigned char>& bytes) {
    return BINSTR{const_cast<unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size())};
}

int Import(std::vector<std::string> args) {
    std::string password_file, scheme_name = "seed";
    if (!TakeOption(args, "--password-file", password_file)) return Fail("import", "--password-file needs a file");
    if (!TakeOption(args, "--scheme", scheme_name)) return Fail("import", "--scheme needs a name");
    const WriteScheme* scheme = nullptr;
    if (const std::string why = FindWriteScheme(scheme_name, &scheme); !why.empty()) return Fail("import", why);
    if (args.size() != 2)
        return Fail("import", "usage: quillon pfx import FILE.pfx DIR [--password-file F] [--scheme S]");
    std::vector<unsigned char> pfx;
    if (!ReadAll(args[0], &pfx)) return Fail("import", "cannot read " + args[0]);
    Secret password;
    if (const std::string why = GetPassword(password_file, "Password: ", password); !why.empty())
        return Fail("import", why);
    const BINSTR in = View(pfx);
    Binstr cert, key, encrypted;
    int32_t result = PFX_Import(password.c_str(), &in, &cert.b, &key.b);
    if (result == QC_ERR_DECRYPT_KEY) return Fail("import", args[0] + ": wrong password, or the file was changed");
    if (result != QC_OK) return FailCode("import", args[0], result);
    result = EncryptKey(password, *scheme, key.b, encrypted);
    if (result != QC_OK) return FailCode("import", "encryption", result);
    if (::mkdir(args[1].c_str(), 0700) != 0 && errno != EEXIST) return Fail("import", "cannot make " + args[1]);
    const std::string cert_path = args[1] + "/signCert.der", key_path = args[1] + "/signPri.key";
    if (!WritePrivateFile(cert_path, cert.b, true)) return Fail("import", "cannot write " + cert_path + " (is it there already?)");
    if (!WritePrivateFile(key_path, encrypted.b, true)) {
        std::remove(cert_path.c_str());
        return Fail("import", "cannot write " + key_path + " (is it there already?)");
    }
    Binstr random;
    const bool has_random = PRIKEY_GetRandomNum(&key.b, &random.b) == QC_OK;
    std::printf("%s and %s written (%s%s)\n", cert_path.c_str(), key_path.c_str(), scheme->name,
                has_random ? ", with randomNum" : ", no randomNum");
    return 0;
}

int Export(std::vector<std::string> args) {
    std::string password_file;
    if (!TakeOption(args, "--password-file", password_file)) return Fail("export", "--password-file needs a file");
    int32_t flags = 0;
    for (auto it = args.begin(); it != args.end();) {
        if (*it == "--legacy") {
            flags |= QC_PFX_LEGACY;
            it = args.erase(it);
        } else {
            ++it;
        }
    }
    if (args.size() != 2)
        return Fail("export", "usage: quillon pfx export DIR FILE.pfx [--password-file F] [--legacy]");
    const std::string cert_path = args[0] + "/signCert.der", key_path = args[0] + "/signPri.key";
    Binstr cert, key, out;
    int32_t result = MEDIA_DISK_ReadCert(cert_path.c_str(), &cert.b);
    if (result != QC_OK) return FailCode("export", cert_path, result);
    Secret password;
    if (const std::string why = GetPassword(password_file, "Password: ", password); !why.empty())
        return Fail("export", why);
    result = MEDIA_DISK_ReadPriKey(key_path.c_str(), password.c_str(), &key.b);
    if (result != QC_OK) return FailCode("export", key_path, result);
    result = PFX_Export(password.c_str(), &cert.b, &key.b, flags, &out.b);
    if (result != QC_OK) return FailCode("export", args[1], result);
    if (!WritePrivateFile(args[1], out.b, true)) return Fail("export", "cannot write " + args[1] + " (is it there already?)");
    std::printf("%s written: %u bytes, %s profile\n", args[1].c_str(), out.b.length,
                flags ? "legacy (3DES key, RC2-40 certificate, SHA-1 MAC)" : "PBES2 AES-256-CBC, SHA-256 MAC");
    return 0;
}

}  // namespace

int RunPfx(std::vector<std::string> args) {
    const std::string sub = args.empty() ? "" : args[0];
    if (!args.empty()) args.erase(args.begin());
    if (sub == "import") return Import(std::move(args));
    if (sub == "export") return Export(std::move(args));
    std::fprintf(stderr, "usage: quillon pfx import FILE.pfx DIR | quillon pfx export DIR FILE.pfx\n");
    return 2;
}

}  // namespace quillon::cli
