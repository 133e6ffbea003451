// `quillon card ...`: the readers, and a slot's certificate or private key read or written
// through the MEDIA_CARD_* exports. The PIN is asked for on the terminal without echo, or read
// from the first line of a file (--pin-file), and wiped once used; the key password likewise
// (--password-file).
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "card/card_transport.h"
#include "commands.h"
#include "core/mem.h"
#include "quilloncrypto.h"

namespace quillon::cli {
namespace {

constexpr size_t kPinBuffer = 64;

// Strips the line end; false when the line does not fit.
bool TrimLine(char* pin) {
    const size_t n = std::strcspn(pin, "\r\n");
    if (pin[n] == '\0' && std::strlen(pin) == kPinBuffer - 1) return false;
    pin[n] = '\0';
    return true;
}

bool ReadPinFile(const char* path, char* pin) {
    FILE* file = std::fopen(path, "r");
    if (!file) return false;
    std::setvbuf(file, nullptr, _IONBF, 0);  // no copy of the PIN left in a stdio buffer
    const bool read = std::fgets(pin, kPinBuffer, file) != nullptr;
    std::fclose(file);
    return read && TrimLine(pin);
}

bool PromptPin(char* pin) {
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) return false;
    std::setvbuf(tty, nullptr, _IONBF, 0);
    termios saved{};
    const int fd = fileno(tty);
    const bool is_terminal = tcgetattr(fd, &saved) == 0;
    if (is_terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::fputs("Card PIN: ", tty);
    std::fflush(tty);
    const bool read = std::fgets(pin, kPinBuffer, tty) != nullptr;
    if (is_terminal) tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputs("\n", tty);
    std::fclose(tty);
    return read && TrimLine(pin);
}

int Fail(const char* what, int32_t code, int32_t tries) {
    std::fprintf(stderr, "quillon card %s: error %d: %s\n", what, code, QC_ErrorText(code));
    if (code == QC_ERR_PIN) std::fprintf(stderr, "quillon card %s: the card's PIN is 8 characters\n", what);
    if (code == QC_ERR_PIN && tries >= 0) std::fprintf(stderr, "quillon card %s: the card allows %d more tries\n", what, tries);
    return 1;
}

int List() {
    Bytes names;
    if (!CARD_ListReaders(&names)) return Fail("list", QC_ERR_PCSC, -1);
    // NUL-separated names, an empty name ending the list.
    for (size_t at = 0; at < names.size() && names[at]; at += std::strlen(reinterpret_cast<const char*>(&names[at])) + 1)
        std::printf("%s\n", reinterpret_cast<const char*>(&names[at]));
    return 0;
}

int ReadCert(int32_t slot, const char* pin, const char* out_path) {
    BINSTR cert;
    BINSTR_Create(&cert);
    int32_t tries = -1;
    const int32_t result = MEDIA_CARD_ReadCert(slot, pin, &cert, &tries);
    if (result != QC_OK) return Fail("read-cert", result, tries);
    std::ofstream out(out_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(cert.data), cert.length);
    const bool written = static_cast<bool>(out.flush());
    std::printf("slot %d: %u certificate bytes%s %s\n", slot, cert.length, written ? " written to" : ", cannot write", out_path);
    BINSTR_Delete(&cert);
    return written ? 0 : 1;
}

int WriteCert(int32_t slot, const char* pin, const char* cert_path) {
    std::ifstream file(cert_path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        std::fprintf(stderr, "quillon card write-cert: cannot read %s\n", cert_path);
        return 1;
    }
    BINSTR cert;
    BINSTR_Create(&cert);
    if (!bytes.empty() && BINSTR_SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), &cert) != QC_OK) return 1;
    int32_t tries = -1;
    const int32_t result = MEDIA_CARD_WriteCert(slot, pin, &cert, &tries);
    BINSTR_Delete(&cert);
    // The slot is checked already: -11 here means the certificate is too long for the card.
    if (result == QC_ERR_NULL_ARGUMENT)
        std::fprintf(stderr, "quillon card write-cert: a certificate takes at most 12,698 bytes\n");
    if (result != QC_OK) return Fail("write-cert", result, tries);
    std::printf("slot %d: %zu certificate bytes written\n", slot, bytes.size());
    return 0;
}

int ReadKey(int32_t slot, const char* pin, const char* password, const char* out_path) {
    BINSTR key;
    BINSTR_Create(&key);
    int32_t tries = -1;
    const int32_t result = MEDIA_CARD_ReadPriKey(slot, pin, password, &key, &tries);
    if (result != QC_OK) return Fail("read-key", result, tries);
    std::ofstream out(out_path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(key.data), key.length);
    const bool written = static_cast<bool>(out.flush());
    std::printf("slot %d: %u encrypted key bytes%s %s\n", slot, key.length, written ? " written to" : ", cannot write", out_path);
    BINSTR_Delete(&key);
    return written ? 0 : 1;
}

// KEY is a disk key file: decrypted with the password, then stored on the card under it.
int WriteKey(int32_t slot, const char* pin, const char* password, const char* key_path) {
    BINSTR plain;
    BINSTR_Create(&plain);
    int32_t result = MEDIA_DISK_ReadPriKey(key_path, password, &plain);
    int32_t tries = -1;
    if (result == QC_OK) result = MEDIA_CARD_WritePriKey(slot, pin, password, &plain, &tries);
    BINSTR_Delete(&plain);  // wipes the plaintext key
    if (result != QC_OK) return Fail("write-key", result, tries);
    std::printf("slot %d: key written\n", slot);
    return 0;
}

}  // namespace

int RunCard(int argc, char** argv) {
    // argv[0] is the subcommand; --pin-file FILE may come anywhere after it.
    std::vector<const char*> args;
    const char* pin_file = nullptr;
    std::string password_file;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pin-file") && i + 1 < argc)
            pin_file = argv[++i];
        else if (!std::strcmp(argv[i], "--password-file") && i + 1 < argc)
            password_file = argv[++i];
        else
            args.push_back(argv[i]);
    }
    const std::string command = argc > 0 ? argv[0] : "";
    if (command == "list" && args.empty()) return List();
    const bool read = command == "read-cert", write = command == "write-cert";
    const bool read_key = command == "read-key", write_key = command == "write-key";
    if ((!read && !write && !read_key && !write_key) || args.size() != 2) {
        std::fprintf(stderr, "quillon card: usage: list | read-cert SLOT OUT | write-cert SLOT CERT [--pin-file FILE]\n"
                             "                     | read-key SLOT OUT | write-key SLOT KEY [--pin-file FILE] [--password-file FILE]\n");
        return 2;
    }
    char* end = nullptr;
    const long slot = std::strtol(args[0], &end, 10);
    if (*end || (slot != 1 && slot != 2)) {
        std::fprintf(stderr, "quillon card %s: the slot is 1 or 2\n", command.c_str());
        return 2;
    }
    char pin[kPinBuffer] = {};
    if (!(pin_file ? ReadPinFile(pin_file, pin) : PromptPin(pin))) {
        MEM_Wipe(pin, sizeof pin);
        std::fprintf(stderr, "quillon card %s: no PIN (%s)\n", command.c_str(),
                     pin_file ? "cannot read the PIN file" : "no terminal to ask on: use --pin-file");
        return 2;
    }
    int status = 0;
    if (read || write) {
        status = read ? ReadCert(static_cast<int32_t>(slot), pin, args[1]) : WriteCert(static_cast<int32_t>(slot), pin, args[1]);
    } else {
        Secret password;
        if (const std::string why = GetPassword(password_file, "Key password: ", password); !why.empty()) {
            std::fprintf(stderr, "quillon card %s: %s\n", command.c_str(), why.c_str());
            status = 2;
        } else {
            status = read_key ? ReadKey(static_cast<int32_t>(slot), pin, password.c_str(), args[1])
                              : WriteKey(static_cast<int32_t>(slot), pin, password.c_str(), args[1]);
        }
    }
    MEM_Wipe(pin, sizeof pin);
    return status;
}

}  // namespace quillon::cli
