// The quillon tool's commands; each returns the process exit status.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/secret.h"
#include "quilloncrypto.h"

namespace quillon::cli {

// The longest password the tool takes; a longer one is refused, never cut short.
inline constexpr size_t kPasswordMax = 1024;

// A password held for one command. It is read straight into this fixed buffer, which never
// grows (a growing string would leave unwiped copies behind), and wiped when it goes.
struct Secret {
    SecretArray<char, kPasswordMax + 2> text;  // room for a line's '\r' and the NUL
    size_t length = 0;
    Secret() { text[0] = '\0'; }
    const char* c_str() const { return text.data; }
    bool operator==(const Secret& other) const;
};
// Reads the first line of `file`, or, when `file` is empty, a line typed after `label` on the
// terminal without echo. Empty when read; otherwise why not.
std::string GetPassword(const std::string& file, const char* label, Secret& out);
// The same for another secret, named by `what` in the reasons ("identity number").
std::string GetSecret(const std::string& file, const char* label, const char* what, Secret& out);

// Bytes the library hands out; BINSTR_Delete wipes them as it releases them.
struct Binstr {
    BINSTR b{nullptr, 0};
    Binstr() = default;
    Binstr(const Binstr&) = delete;
    Binstr& operator=(const Binstr&) = delete;
    ~Binstr() { BINSTR_Delete(&b); }
};

// Takes `--flag VALUE` out of the argument list: false when the flag comes without a value.
bool TakeOption(std::vector<std::string>& args, const char* flag, std::string& value);

// A private-key file as a plain PrivateKeyInfo: an encrypted one is decrypted with the password
// from `password_file` (or the prompt), a plain one taken as it is. Empty when read; else why not.
std::string ReadPlainKey(const std::string& path, const std::string& password_file, Binstr& plain);

// The schemes the tool writes key files under (`--scheme`); the Python package takes the same
// names. prf 0 is PRIKEY_Encrypt's own scheme.
struct WriteScheme {
    const char* name;
    int32_t prf;
    int32_t cipher;
};
// The scheme by name in *out; empty when found, else why not (with the names there are).
std::string FindWriteScheme(const std::string& name, const WriteScheme** out);
// A plain PrivateKeyInfo encrypted under the scheme, 2048 iterations; 1 or the code.
int32_t EncryptKey(const Secret& password, const WriteScheme& scheme, const BINSTR& plain, Binstr& out);
// Writes a file only its owner may read (mode 0600); `exclusive` refuses an existing file.
bool WritePrivateFile(const std::string& path, const BINSTR& bytes, bool exclusive);

// A DER or PEM certificate, loaded; 1 or the code.
int32_t LoadCertificate(const std::string& path, X509Cert** cert);
struct LoadedCert {
    X509Cert* cert = nullptr;
    LoadedCert() = default;
    LoadedCert(const LoadedCert&) = delete;
    LoadedCert& operator=(const LoadedCert&) = delete;
    ~LoadedCert() { if (cert) CERT_Unload(cert); }
};

// The library's EUC-KR text (ASCII plus KS X 1001 pairs) in UTF-8; anything else shows as '?'.
std::string EucKrToUtf8(const char* text);

// A whole file; false when it cannot be read.
bool ReadAll(const std::string& path, std::vector<unsigned char>* out);
// The DER inside a PEM file's first CERTIFICATE block, decoded by the library's Base64; the
// bytes unchanged when there is no such block.
std::vector<unsigned char> FromPem(const std::vector<unsigned char>& bytes);

int RunDemo(const std::string& exchange_code, bool pkcs12);
int RunEnvelope(std::vector<std::string> args);
int RunDecrypt(std::vector<std::string> args);
int RunCertShow(const std::string& path, bool raw);
// argv[0] is the card subcommand (list, read-cert, write-cert, read-key, write-key).
int RunCard(int argc, char** argv);
int RunKeyShow(std::vector<std::string> args);
int RunKeyCheck(std::vector<std::string> args);
int RunKeyReencrypt(std::vector<std::string> args);
int RunKeypair(const std::string& template_path);
int RunSessionKey(std::vector<std::string> args);
int RunSign(std::vector<std::string> args);
int RunVerify(std::vector<std::string> args);
// argv[0] is the vid subcommand (check).
int RunVid(std::vector<std::string> args);
// The roots to search; none: the platform's NPKI folders.
int RunList(const std::vector<std::string>& roots);
// argv[0] is the pfx subcommand (import, export).
int RunPfx(std::vector<std::string> args);
// argv[0] is the chain subcommand (verify).
int RunChain(std::vector<std::string> args);

}  // namespace quillon::cli
