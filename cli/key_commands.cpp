// `quillon key show|check|reencrypt`: NPKI private-key files through the public API. The
// encryption parameters and the decrypted key's contents are read with the library's own
// PKCS#8 decoders. Passwords come from a file or a prompt without echo, never from argv.
#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "commands.h"
#include "core/mem.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "quilloncrypto.h"
#include "rsa/rsa_key.h"

namespace quillon::cli {
namespace {

int Fail(const char* command, const std::string& reason) {
    std::fprintf(stderr, "quillon key %s: %s\n", command, reason.c_str());
    return 1;
}

int FailCode(const char* command, const std::string& what, int32_t code) {
    return Fail(command, what + ": error " + std::to_string(code) + ", " + QC_ErrorText(code));
}

enum class LineRead { kRead, kTooLong, kNul, kNoTerminal, kFailed };

// One line from `fd` into `out`, a byte at a time, so that no buffer of ours or of stdio holds
// a copy. A file's last line may end without a line end; a terminal's must be ended. A line
// longer than the buffer is refused (the rest of a typed line is read away), and so is one
// with a NUL byte, which the library would take as the end of the password.
LineRead ReadLine(int fd, bool terminal, Secret& out) {
    out.length = 0;
    bool ended = false, too_long = false, nul = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ended = n == 0 && !terminal;
            break;
        }
        if (c == '\n' || (terminal && c == '\r')) {
            ended = true;
            break;
        }
        nul = nul || c == '\0';
        if (out.length + 1 < out.text.size()) {
            out.text[out.length++] = c;
        } else {
            too_long = true;
            if (!terminal) break;
        }
    }
    MEM_Wipe(&c, sizeof c);
    if (!terminal && out.length > 0 && out.text[out.length - 1] == '\r') --out.length;
    too_long = too_long || out.length > kPasswordMax;
    const LineRead result = too_long ? LineRead::kTooLong
                            : nul    ? LineRead::kNul
                            : ended  ? LineRead::kRead
                                     : LineRead::kFailed;
    if (result != LineRead::kRead) {
        MEM_Wipe(out.text.data, sizeof out.text.data);
        out.length = 0;
    }
    out.text[out.length] = '\0';
    return result;
}

LineRead ReadPasswordFile(const std::string& path, Secret& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return LineRead::kFailed;
    const LineRead result = ReadLine(fd, false, out);
    ::close(fd);
    return result;
}

// Prompts on the terminal with echo off.
LineRead Prompt(const char* label, Secret& out) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return LineRead::kNoTerminal;
    termios saved{};
    const bool have_termios = ::tcgetattr(tty, &saved) == 0;
    if (have_termios) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    [[maybe_unused]] ssize_t written = ::write(tty, label, std::strlen(label));
    const LineRead result = ReadLine(tty, true, out);
    if (have_termios) ::tcsetattr(tty, TCSAFLUSH, &saved);
    written = ::write(tty, "\n", 1);
    ::close(tty);
    return result;
}

// Why a secret (`what`: "password", "identity number") was not read; empty when it was.
std::string Why(LineRead result, bool from_file, const std::string& what) {
    switch (result) {
        case LineRead::kRead: return {};
        case LineRead::kTooLong: return "the " + what + " is longer than " + std::to_string(kPasswordMax) + " bytes";
        case LineRead::kNul: return "the " + what + " contains a NUL byte";
        case LineRead::kNoTerminal: return "no terminal to ask for the " + what + " on: use a " + what + " file";
        case LineRead::kFailed: break;
    }
    return "cannot read the " + what + (from_file ? " file" : "");
}

std::string Hex(const uint8_t* data, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) out += {"0123456789ABCDEF"[data[i] >> 4], "0123456789ABCDEF"[data[i] & 15]};
    return out;
}

std::string NameOf(const AsnValue* oid) {
    if (!oid || !oid->data) return "(none)";
    const std::string text(reinterpret_cast<const char*>(oid->data), oid->length);
    const int nid = OBJ_NidFromValue(oid);
    if (text == kAria128CbcOid) return "ARIA-128-CBC (" + text + ")";
    return nid ? std::string(OBJ_Row(nid)->long_name) + " (" + text + ")" : text;
}

void ShowEncryption(const EncryptedPrivateKeyInfo* epki) {
    std::printf("%-14s %s\n", "Scheme", NameOf(epki->encryptionAlgorithm->algorithm).c_str());
    PbeParametersPtr params(EPKI_GetPbeParams(epki));
    if (!params) {
        std::printf("%-14s %s\n", "Parameters", "missing or malformed");
        return;
    }
    const int scheme = EPKI_SchemeNid(epki);
    if (scheme == NID_PBES2) {
        std::printf("%-14s %s\n", "Derivation", params->kdf_nid ? OBJ_Row(params->kdf_nid)->long_name : "unknown");
        std::printf("%-14s %s\n", "PRF", params->prf_nid ? OBJ_Row(params->prf_nid)->long_name : "unknown");
        std::printf("%-14s %s\n", "Cipher", params->encryptionScheme ? NameOf(params->encryptionScheme->algorithm).c_str() : "(none)");
        if (params->key_length >= 0) std::printf("%-14s %d bytes\n", "Key length", params->key_length);
    } else {
        const char* cipher = "SEED-CBC, PBKDF1-SHA1 key and IV";
        switch (scheme) {
            case NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC: cipher = "SEED-CBC, PKCS#12-derived key and IV"; break;
            case NID_SEED_CBC: cipher = "SEED-CBC, fixed IV"; break;
            case NID_PBE_SHA1_3DES: cipher = "DES-EDE3-CBC, PKCS#12-derived key and IV"; break;
            case NID_PBE_SHA1_RC2_128: cipher = "RC2-CBC 128-bit, PKCS#12-derived key and IV"; break;
            case NID_PBE_SHA1_RC2_40: cipher = "RC2-CBC 40-bit, PKCS#12-derived key and IV"; break;
            default: break;
        }
        std::printf("%-14s %s\n", "Cipher", cipher);
    }
    std::printf("%-14s %s\n", "Salt", Hex(params->salt->data, params->salt->length).c_str());
    std::printf("%-14s %u\n", "Iterations", BIGNUM_GetWord(params->iterations));
    std::printf("%-14s %u bytes\n", "Ciphertext", epki->encryptedData->length);
}

void ShowKey(const PrivateKeyInfo* key) {
    std::printf("%-14s %s\n", "Algorithm", NameOf(key->algorithm).c_str());
    if (key->rsaKey) {
        std::printf("%-14s %d bits\n", "Modulus", BIGNUM_NumBits(key->rsaKey->n));
        std::printf("%-14s %u\n", "Exponent", BIGNUM_GetWord(key->rsaKey->e));
    }
    if (key->kcdsaKey) {
        std::printf("%-14s %d bits\n", "p", BIGNUM_NumBits(key->kcdsaKey[kKcdsaKeyP]));
        std::printf("%-14s %d bits\n", "q", BIGNUM_NumBits(key->kcdsaKey[kKcdsaKeyQ]));
    }
    for (int32_t i = 0; i < PLIST_Count(key->attributes); ++i) {
        const auto* a = static_cast<const Pkcs8Attribute*>(PLIST_Get(key->attributes, i));
        std::printf("%-14s %s\n", "Attribute", NameOf(a->type).c_str());
        const auto* list = static_cast<const PointerList*>(a->values);
        const int32_t count = a->single ? 1 : PLIST_Count(list);
        for (int32_t v = 0; v < count; ++v) {
            const auto* value = a->single ? static_cast<const AsnValue*>(a->values)
                                          : static_cast<const AsnValue*>(PLIST_Get(list, v));
            std::printf("%-14s tag %02X, %u bytes: %s\n", "", value->type, value->length,
                        Hex(value->data, value->length).c_str());
        }
    }
}

}  // namespace

bool Secret::operator==(const Secret& other) const {
    return length == other.length && std::memcmp(text.data, other.text.data, length) == 0;
}

bool TakeOption(std::vector<std::string>& args, const char* flag, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != flag) continue;
        if (i + 1 >= args.size()) return false;
        value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return true;
}

std::string GetSecret(const std::string& file, const char* label, const char* what, Secret& out) {
    return file.empty() ? Why(Prompt(label, out), false, what) : Why(ReadPasswordFile(file, out), true, what);
}

std::string GetPassword(const std::string& file, const char* label, Secret& out) {
    return GetSecret(file, label, "password", out);
}

int RunKeyShow(std::vector<std::string> args) {
    std::string password_file;
    bool prompt = false;
    if (!TakeOption(args, "--password-file", password_file)) return Fail("show", "--password-file needs a file");
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == "--prompt") {
            prompt = true;
            args.erase(it);
            break;
        }
    }
    if (args.size() != 1) return Fail("show", "usage: quillon key show FILE [--password-file F | --prompt]");
    Binstr file;
    const int32_t read = MEDIA_DISK_ReadCert(args[0].c_str(), &file.b);
    if (read != QC_OK) return FailCode("show", args[0], read);
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(file.b.data, file.b.length, &raw)) {
        PrivateKeyInfo* plain = nullptr;
        if (!PKCS8_DecodeBytes(file.b.data, file.b.length, &plain))
            return FailCode("show", args[0], QC_ERR_MALFORMED_DER);
        PrivateKeyInfoPtr owned(plain);
        std::printf("%-14s %s\n", "Scheme", "none (plain PrivateKeyInfo)");
        ShowKey(plain);
        return 0;
    }
    EncryptedPrivateKeyInfoPtr epki(raw);
    ShowEncryption(epki.get());
    if (password_file.empty() && !prompt) return 0;
    Secret password;
    if (const std::string why = GetPassword(password_file, "Password: ", password); !why.empty()) return Fail("show", why);
    Binstr plain;
    const int32_t decrypted = PRIKEY_Decrypt(password.c_str(), &file.b, &plain.b);
    if (decrypted != QC_OK) return FailCode("show", "decryption", decrypted);
    PrivateKeyInfo* key = nullptr;
    if (!PKCS8_DecodeBytes(plain.b.data, plain.b.length, &key)) return FailCode("show", "decoding", QC_ERR_KEY_INVALID);
    PrivateKeyInfoPtr owned(key);
    ShowKey(key);
    return 0;
}

std::string ReadPlainKey(const std::string& path, const std::string& password_file, Binstr& plain) {
    int32_t result = MEDIA_DISK_ReadCert(path.c_str(), &plain.b);
    if (result != QC_OK) return path + ": error " + std::to_string(result) + ", " + QC_ErrorText(result);
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(plain.b.data, plain.b.length, &raw)) return {};
    EPKI_Free(raw);
    Secret password;
    if (std::string why = GetPassword(password_file, "Password: ", password); !why.empty()) return why;
    Binstr decrypted;
    result = PRIKEY_Decrypt(password.c_str(), &plain.b, &decrypted.b);
    if (result != QC_OK) return "decryption: error " + std::to_string(result) + ", " + QC_ErrorText(result);
    std::swap(plain.b, decrypted.b);
    return {};
}

int RunKeyCheck(std::vector<std::string> args) {
    std::string password_file;
    if (!TakeOption(args, "--password-file", password_file)) return Fail("check", "--password-file needs a file");
    if (args.size() != 2) return Fail("check", "usage: quillon key check CERT KEY [--password-file F]");
    Binstr cert, key;
    int32_t result = MEDIA_DISK_ReadCert(args[0].c_str(), &cert.b);
    if (result != QC_OK) return FailCode("check", args[0], result);
    if (const std::string why = ReadPlainKey(args[1], password_file, key); !why.empty()) return Fail("check", why);
    result = PRIKEY_CheckKeyPair(&cert.b, &key.b);
    if (result == QC_OK) {
        std::printf("the key belongs to the certificate\n");
        return 0;
    }
    return FailCode("check", args[1], result);
}

int RunKeyReencrypt(std::vector<std::string> args) {
    std::string password_file, new_password_file, scheme_name = "seed";
    if (!TakeOption(args, "--password-file", password_file) || !TakeOption(args, "--new-password-file", new_password_file))
        return Fail("reencrypt", "a password option needs a file");
    if (!TakeOption(args, "--scheme", scheme_name)) return Fail("reencrypt", "--scheme needs a name");
    const WriteScheme* scheme = nullptr;
    if (const std::string why = FindWriteScheme(scheme_name, &scheme); !why.empty()) return Fail("reencrypt", why);
    if (args.size() != 2)
        return Fail("reencrypt",
                    "usage: quillon key reencrypt KEY OUT [--password-file F] [--new-password-file F] [--scheme S]");
    Secret password, new_password, repeated;
    if (const std::string why = GetPassword(password_file, "Password: ", password); !why.empty())
        return Fail("reencrypt", why);
    Binstr plain, encrypted;
    int32_t result = MEDIA_DISK_ReadPriKey(args[0].c_str(), password.c_str(), &plain.b);
    if (result != QC_OK) return FailCode("reencrypt", args[0], result);
    if (const std::string why = GetPassword(new_password_file, "New password: ", new_password); !why.empty())
        return Fail("reencrypt", "new password: " + why);
    if (new_password_file.empty()) {
        if (Prompt("Repeat new password: ", repeated) != LineRead::kRead || !(repeated == new_password))
            return Fail("reencrypt", "the new passwords differ");
    }
    result = EncryptKey(new_password, *scheme, plain.b, encrypted);
    if (result != QC_OK) return FailCode("reencrypt", "encryption", result);
    if (!WritePrivateFile(args[1], encrypted.b, false)) return Fail("reencrypt", "cannot write " + args[1]);
    EncryptedPrivateKeyInfo* written = nullptr;
    EPKI_DecodeBytes(encrypted.b.data, encrypted.b.length, &written);
    EncryptedPrivateKeyInfoPtr owned(written);
    std::printf("%s written: %u bytes, %s (%s)\n", args[1].c_str(), encrypted.b.length,
                written ? NameOf(written->encryptionAlgorithm->algorithm).c_str() : "?", scheme->name);
    return 0;
}

namespace {

constexpr WriteScheme kWriteSchemes[] = {
    {"seed", 0, 0},
    {"pbes2-sha1-seed", QC_PRF_HMAC_SHA1, QC_CIPHER_SEED_CBC},
    {"pbes2-sha256-seed", QC_PRF_HMAC_SHA256, QC_CIPHER_SEED_CBC},
    {"pbes2-sha256-aria128", QC_PRF_HMAC_SHA256, QC_CIPHER_ARIA128_CBC},
    {"pbes2-sha256-aes256", QC_PRF_HMAC_SHA256, QC_CIPHER_AES256_CBC},
};
constexpr int32_t kWriteIterations = 2048;

}  // namespace

std::string FindWriteScheme(const std::string& name, const WriteScheme** out) {
    std::string names;
    for (const WriteScheme& scheme : kWriteSchemes) {
        if (name == scheme.name) {
            *out = &scheme;
            return {};
        }
        names += std::string(names.empty() ? "" : ", ") + scheme.name;
    }
    return "unknown scheme " + name + " (one of " + names + ")";
}

int32_t EncryptKey(const Secret& password, const WriteScheme& scheme, const BINSTR& plain, Binstr& out) {
    return scheme.prf ? PRIKEY_EncryptPbes2(password.c_str(), &plain, scheme.prf, scheme.cipher, kWriteIterations,
                                            &out.b)
                      : PRIKEY_Encrypt(password.c_str(), &plain, &out.b);
}

bool WritePrivateFile(const std::string& path, const BINSTR& bytes, bool exclusive) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | (exclusive ? O_EXCL : O_TRUNC) | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data, bytes.length) == static_cast<ssize_t>(bytes.length);
    return ::close(fd) == 0 && ok;
}

}  // namespace quillon::cli
