// quillon: the command-line tool over QuillonCrypto.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace {

constexpr char kDefaultCode[] = "1234567890123455";

void PrintHelp() {
    std::printf(
        "quillon - QuillonCrypto command-line tool\n"
        "\n"
        "Usage:\n"
        "  quillon demo [--code CODE] [--pkcs12]\n"
        "                              Run a whole certificate exchange in one process: this library as\n"
        "                              the PC side (public API only), the reference phone peer on the\n"
        "                              other side, moving the built-in sample certificate and private key.\n"
        "                              CODE is the 16-digit exchange code (default %s); --pkcs12\n"
        "                              carries the pair as a PKCS#12 PFX instead of the sealed message.\n"
        "  quillon envelope --to CERT IN OUT [--bare]\n"
        "                              Encrypt the file IN for the holder of the RSA certificate CERT (DER\n"
        "                              or PEM) into OUT: a DER PKCS#7 enveloped-data ContentInfo (SEED-CBC,\n"
        "                              the key under RSA PKCS#1 v1.5), or with --bare the EnvelopedData.\n"
        "  quillon decrypt KEY CERT IN OUT [--password-file F]\n"
        "                              Open the enveloped data IN (DER, from this tool or any CMS peer)\n"
        "                              addressed to CERT with its private-key file KEY; write the content\n"
        "                              to OUT.\n"
        "  quillon cert show [--raw] FILE\n"
        "                              Print every query of a DER or PEM certificate: version, serial,\n"
        "                              signature algorithm, issuer, subject, validity in Korean time,\n"
        "                              public key, signature and every extension present. Korean text is\n"
        "                              converted from EUC-KR to UTF-8, or printed as EUC-KR with --raw;\n"
        "                              a failing query prints its result code and meaning.\n"
        "  quillon card list           List the PC/SC readers (the card commands use the first).\n"
        "  quillon card read-cert SLOT OUT [--pin-file FILE]\n"
        "                              Read the certificate of card slot 1 or 2 into the file OUT.\n"
        "  quillon card write-cert SLOT CERT [--pin-file FILE]\n"
        "                              Write the DER certificate in CERT to card slot 1 or 2.\n"
        "  quillon card read-key SLOT OUT [--pin-file FILE] [--password-file F]\n"
        "                              Read the private key of slot 1 or 2 into OUT as a disk key file\n"
        "                              (encrypted under the password, with its randomNum).\n"
        "  quillon card write-key SLOT KEY [--pin-file FILE] [--password-file F]\n"
        "                              Decrypt the disk key file KEY and store it in slot 1 or 2 under\n"
        "                              the same password; the key must carry its randomNum.\n"
        "                              The card's 8-character PIN and the key password are asked for\n"
        "                              without echo, or read from the first line of FILE and F.\n"
        "  quillon key show FILE [--password-file F | --prompt]\n"
        "                              Print a private-key file's scheme, cipher, salt and iterations;\n"
        "                              with a password also its algorithm, key size and attributes.\n"
        "  quillon key check CERT KEY [--password-file F]\n"
        "                              Tell whether the key (encrypted or plain) belongs to the certificate.\n"
        "  quillon key reencrypt KEY OUT [--password-file F] [--new-password-file F] [--scheme S]\n"
        "                              Decrypt KEY and write it to OUT under a new password and scheme S:\n"
        "                              seed (the default, as the library writes keys: RSA under\n"
        "                              pbeWithSHA1AndSEED-CBC, KCDSA under the PKCS#12-derived SEED-CBC),\n"
        "                              pbes2-sha1-seed, pbes2-sha256-seed, pbes2-sha256-aria128 or\n"
        "                              pbes2-sha256-aes256 (PBES2: PBKDF2 with that HMAC, 16 random salt\n"
        "                              bytes, that cipher); 2048 iterations.\n"
        "                              Passwords are read from the first line of a file or prompted for\n"
        "                              without echo; they are never taken on the command line.\n"
        "  quillon sign KEY IN OUT [--algorithm A] [--password-file F] [--cert CERT [--detached]\n"
        "              [--no-attributes]]\n"
        "                              Sign the file IN with the private-key file KEY (encrypted: the\n"
        "                              password is asked for; or a plain PrivateKeyInfo) into OUT: the\n"
        "                              bare signature, or with --cert a DER PKCS#7 SignedData carrying\n"
        "                              the certificate (the content left out with --detached; signed\n"
        "                              attributes unless --no-attributes). A is sha256 (the default),\n"
        "                              sha1, sha224, sha384 or sha512 (RSA PKCS#1 v1.5), or pss-sha256\n"
        "                              (RSASSA-PSS, MGF1-SHA-256, 32-byte salt).\n"
        "  quillon verify --cms SIGNED [--content FILE] [--out FILE]\n"
        "                              Check every signer of a SignedData against the certificates it\n"
        "                              carries (FILE: the detached content); --out writes the content.\n"
        "  quillon verify CERT IN SIGNATURE [--algorithm A]\n"
        "                              Check a signature over the file IN with the certificate's key.\n"
        "  quillon verify CERT --issued-by ISSUER\n"
        "                              Check the certificate's own signature with the issuer's key (the\n"
        "                              signature only: not names, dates, constraints or revocation).\n"
        "  quillon vid check CERT KEY [--password-file F] [--idn-file F]\n"
        "                              Check the holder's identity number against the certificate's\n"
        "                              virtual identifier (VID) with the randomNum of the private-key\n"
        "                              file KEY (encrypted or plain). The number (digits only) is asked\n"
        "                              for without echo, or read from the first line of --idn-file F.\n"
        "  quillon list [ROOT...]      List the certificate and key pairs in NPKI folders\n"
        "                              (ROOT/<CA>/USER/<subject>/signCert.der and signPri.key, names in\n"
        "                              any case) under each ROOT, or under the platform's NPKI folders:\n"
        "                              paths, subject, issuer, serial, validity (EXPIRED marked), the\n"
        "                              key's scheme and whether it carries randomNum. No password asked.\n"
        "  quillon pfx import FILE.pfx DIR [--password-file F] [--scheme S]\n"
        "                              Read a PFX (PKCS#12) file into the NPKI folder DIR: signCert.der and\n"
        "                              signPri.key, the key (randomNum kept) under the same password and\n"
        "                              scheme S as for key reencrypt (seed by default). Existing files\n"
        "                              are not overwritten.\n"
        "  quillon pfx export DIR FILE.pfx [--password-file F] [--legacy]\n"
        "                              Write DIR's signCert.der and signPri.key as a PFX under the key's\n"
        "                              password: PBES2 with AES-256-CBC and a SHA-256 MAC, or with\n"
        "                              --legacy 3DES, RC2-40 and a SHA-1 MAC for older programs.\n"
        "  quillon chain verify CERT --roots DIR [--untrusted FILE]... [--crl FILE]... [--at TIME]\n"
        "              [--require-crl] [--ignore-validity]\n"
        "                              Verify the certificate's path to a root CA certificate of DIR\n"
        "                              (DER or PEM files) through the intermediates and with the CRLs of\n"
        "                              the files given (DER or PEM, several to a file), at TIME (now by\n"
        "                              default; YYYY-MM-DD, YYYY-MM-DDTHH:MM:SSZ or @SECONDS, UTC); print\n"
        "                              the path and the verdict. Certificate policies are not enforced.\n"
        "  quillon keypair TEMPLATE    Generate an RSA-2048 key (e = 3), patch its modulus into the DER\n"
        "                              certificate template, print the PEM certificate and the modulus.\n"
        "  quillon session-key --pem-key KEY.b64 --password-file F [--length N] CIPHERTEXT\n"
        "                              Decrypt an RSA-OAEP session key (file CIPHERTEXT) with a Base64\n"
        "                              encrypted private key; print it in hex (N bytes, or without\n"
        "                              trailing zero bytes).\n"
        "  quillon --help              Show this text.\n",
        kDefaultCode);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    if (command == "demo") {
        std::string code = kDefaultCode;
        bool pkcs12 = false;
        for (int i = 2; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--pkcs12")) {
                pkcs12 = true;
            } else if (!std::strcmp(argv[i], "--code") && i + 1 < argc) {
                code = argv[++i];
            } else {
                std::fprintf(stderr, "quillon demo: unknown argument '%s'\n", argv[i]);
                return 2;
            }
        }
        return quillon::cli::RunDemo(code, pkcs12);
    }
    if (command == "key" && argc >= 3) {
        const std::string sub = argv[2];
        std::vector<std::string> args(argv + 3, argv + argc);
        if (sub == "show") return quillon::cli::RunKeyShow(args);
        if (sub == "check") return quillon::cli::RunKeyCheck(args);
        if (sub == "reencrypt") return quillon::cli::RunKeyReencrypt(args);
    }
    if (command == "envelope") return quillon::cli::RunEnvelope(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "keypair" && argc == 3) return quillon::cli::RunKeypair(argv[2]);
    if (command == "session-key") return quillon::cli::RunSessionKey(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "decrypt") return quillon::cli::RunDecrypt(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "sign") return quillon::cli::RunSign(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "verify") return quillon::cli::RunVerify(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "list") return quillon::cli::RunList(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "chain") return quillon::cli::RunChain(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "vid") return quillon::cli::RunVid(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "pfx") return quillon::cli::RunPfx(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "card" && argc >= 3) return quillon::cli::RunCard(argc - 2, argv + 2);
    if (command == "cert" && argc >= 4 && argc <= 5 && !std::strcmp(argv[2], "show")) {
        const bool raw = argc == 5 && !std::strcmp(argv[3], "--raw");
        if (argc == 4 || raw) return quillon::cli::RunCertShow(argv[argc - 1], raw);
    }
    std::fprintf(stderr, "quillon: unknown command '%s' (see quillon --help)\n", command.c_str());
    return 2;
}
