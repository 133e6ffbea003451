/* The DLL as a Windows host sees it: loaded with LoadLibraryA, every export looked up by name
   (and on Windows by ordinal too) through GetProcAddress, and driven across every family. Results
   that do not depend on randomness are compared with known_answers.txt, recorded from the Linux
   build by running this same program there with --record.

   usage: dll_test <library> <fixtures dir> <known answers file>
          dll_test --record <library> <fixtures dir>      (prints the known answers) */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "api/export_table.h"
#include "peer_shim.h"
#include "quilloncrypto.h"

/* ---- the library, bound at run time ---------------------------------------------------------- */

static void* g_module;

static void* ByName(const char* name) {
#if defined(_WIN32)
    return (void*)GetProcAddress((HMODULE)g_module, name);
#else
    return dlsym(g_module, name);
#endif
}

typedef struct {
    int ordinal;
    const char* name;
} ExportEntry;
#define QUILLON_C_ENTRY(ordinal, name) {ordinal, #name},
static const ExportEntry kExports[] = {QUILLON_EXPORT_TABLE(QUILLON_C_ENTRY)};
#define EXPORT_COUNT ((int)(sizeof kExports / sizeof kExports[0]))

/* Each export by name (CheckExportTable compares the ordinals). */
static void* Fn(const char* name) { return ByName(name); }
#define CALL(type, name) ((type)Fn(#name))

typedef int32_t (*BinstrFn)(BINSTR*);
typedef int32_t (*Base64Fn)(const BINSTR*, BINSTR*);
typedef int32_t (*CryptGenFn)(SeedCbcContext*);
typedef int32_t (*CryptGetFn)(SeedCbcContext*, BINSTR*, BINSTR*);
typedef int32_t (*CryptSetFn)(SeedCbcContext*, const BINSTR*, const BINSTR*);
typedef int32_t (*CryptFn)(SeedCbcContext*, const BINSTR*, BINSTR*);
typedef int32_t (*SetDataFn)(const unsigned char*, uint32_t, BINSTR*);
typedef int32_t (*RandomFn)(unsigned char*, int32_t);
typedef CertExchangeSession* (*CreateFn)(void);
typedef void (*CloseFn)(CertExchangeSession*);
typedef void (*FreeMsgFn)(void*);
typedef int32_t (*PublicKeyFn)(CertExchangeSession*, const char*, CesMessage**);
typedef int32_t (*SessionKeyFn)(CertExchangeSession*, const unsigned char*, int32_t);
typedef int32_t (*SealFn)(CertExchangeSession*, CesMessage**, const unsigned char*, int32_t, const unsigned char*,
                          int32_t);
typedef int32_t (*CertLoadFn)(X509Cert**, const BINSTR*);
typedef int32_t (*CertUnloadFn)(X509Cert*);
typedef int32_t (*CertVersionFn)(X509Cert*, uint32_t*);
typedef int32_t (*CertTextFn)(X509Cert*, int32_t, char*);
typedef int32_t (*CertValidityFn)(X509Cert*, char*, char*);
typedef int32_t (*CertPubKeyFn)(X509Cert*, int32_t, char*, char*);
typedef int32_t (*CertDerFn)(X509Cert*, BINSTR*);
typedef int32_t (*ReadCertFn)(const char*, BINSTR*);
typedef int32_t (*ReadKeyFn)(const char*, const char*, BINSTR*);
typedef int32_t (*CipherIndexFn)(const char*, const char*);
typedef int32_t (*CheckPairFn)(const BINSTR*, const BINSTR*);
typedef int32_t (*PrikeyFn)(const char*, const BINSTR*, BINSTR*);
typedef int32_t (*EncryptPbes2Fn)(const char*, const BINSTR*, int32_t, int32_t, int32_t, BINSTR*);
typedef int32_t (*CardReadCertFn)(int32_t, const char*, BINSTR*, int32_t*);
typedef int32_t (*CardReadKeyFn)(int32_t, const char*, const char*, BINSTR*, int32_t*);
typedef int32_t (*Pkcs7Fn)(int32_t, const BINSTR*, const BINSTR*, BINSTR*);
typedef int32_t (*SignFn)(const BINSTR*, int32_t, const BINSTR*, BINSTR*);
typedef int32_t (*VerifyDataFn)(X509Cert*, int32_t, const BINSTR*, const BINSTR*);
typedef int32_t (*IssuedByFn)(X509Cert*, X509Cert*);
typedef int32_t (*Pkcs7OpenFn)(const BINSTR*, const BINSTR*, const BINSTR*, BINSTR*);
typedef int32_t (*Pkcs7SignFn)(int32_t, const BINSTR*, const BINSTR*, int32_t, const BINSTR*, BINSTR*);
typedef int32_t (*Pkcs7VerifyFn)(const BINSTR*, const BINSTR*, BINSTR*, BINSTR*);
typedef int32_t (*PfxImportFn)(const char*, const BINSTR*, BINSTR*, BINSTR*);
typedef int32_t (*PfxExportFn)(const char*, const BINSTR*, const BINSTR*, int32_t, BINSTR*);
typedef int32_t (*FindFn)(const char* const*, int32_t, NpkiList**);
typedef int32_t (*FreeListFn)(NpkiList*);
typedef TrustStore* (*TrustCreateFn)(void);
typedef void (*TrustFreeFn)(TrustStore*);
typedef int32_t (*TrustAddFn)(TrustStore*, const BINSTR*);
typedef int32_t (*TrustVerifyFn)(TrustStore*, const BINSTR*, int64_t, uint32_t);
typedef int32_t (*TrustCountFn)(TrustStore*);
typedef int32_t (*TrustPathCertFn)(TrustStore*, int32_t, BINSTR*);

/* ---- results --------------------------------------------------------------------------------- */

static int g_record;
static int g_failures;
static int g_checks;
static char* g_known; /* the known-answers file, whole */

static void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("FAIL ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    ++g_failures;
}

#define CHECK(cond, ...)            \
    do {                            \
        ++g_checks;                 \
        if (!(cond)) Fail(__VA_ARGS__); \
    } while (0)

/* One known answer: "<key> <value>" with the value's bytes escaped to one printable line. */
static void Answer(const char* key, const unsigned char* value, size_t length) {
    static char line[65536];
    size_t n = (size_t)snprintf(line, sizeof line, "%s ", key);
    for (size_t i = 0; i < length && n + 5 < sizeof line; ++i) {
        const unsigned char c = value[i];
        if (c >= 0x20 && c <= 0x7e && c != '\\')
            line[n++] = (char)c;
        else
            n += (size_t)snprintf(line + n, sizeof line - n, "\\x%02x", c);
    }
    line[n] = 0;
    if (g_record) {
        printf("%s\n", line);
        return;
    }
    ++g_checks;
    /* The file holds it as a whole line. */
    const size_t key_length = strlen(key);
    for (const char* at = g_known; at && *at;) {
        const char* end = strchr(at, '\n');
        const size_t size = end ? (size_t)(end - at) : strlen(at);
        if (size > key_length && !strncmp(at, key, key_length) && at[key_length] == ' ') {
            if (size != n || strncmp(at, line, n)) Fail("%s\n  expected %.*s\n  got      %s", key, (int)size, at, line);
            return;
        }
        at = end ? end + 1 : NULL;
    }
    Fail("%s: no known answer recorded (got %s)", key, line);
}

static void AnswerText(const char* key, int32_t rc, const char* text) {
    char keyed[256];
    snprintf(keyed, sizeof keyed, "%s[%d]", key, (int)rc);
    Answer(keyed, (const unsigned char*)text, rc == 1 ? strlen(text) : 0);
}

static void AnswerPair(const char* key, int32_t rc, const char* first, const char* second) {
    static char both[2 * 16384 + 4];
    snprintf(both, sizeof both, "%s / %s", first, second);
    AnswerText(key, rc, both);
}

static void AnswerHex(const char* key, const unsigned char* bytes, size_t length) {
    char* hex = malloc(2 * length + 1);
    for (size_t i = 0; i < length; ++i) sprintf(hex + 2 * i, "%02x", bytes[i]);
    hex[2 * length] = 0;
    Answer(key, (const unsigned char*)hex, 2 * length);
    free(hex);
}

static char* ReadText(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    char* text = NULL;
    size_t size = 0, used = 0, got;
    do {
        if (used + 4096 + 1 > size) text = realloc(text, size = 2 * size + 4096 + 1);
        got = fread(text + used, 1, size - used - 1, f);
        used += got;
    } while (got > 0);
    fclose(f);
    text[used] = 0;
    /* Files checked out with CR LF read the same. */
    char* to = text;
    for (const char* from = text; *from; ++from)
        if (*from != '\r') *to++ = *from;
    *to = 0;
    return text;
}

static const char* g_fixtures;
static char* Fixture(const char* relative) {
    static char path[1024];
    snprintf(path, sizeof path, "%s/%s", g_fixtures, relative);
    return path;
}

/* ---- the families ---------------------------------------------------------------------------- */

static void CheckExportTable(void) {
    for (int i = 0; i < EXPORT_COUNT; ++i) {
        void* by_name = ByName(kExports[i].name);
        CHECK(kExports[i].ordinal == i + 1, "%s: ordinal %d at row %d", kExports[i].name, kExports[i].ordinal, i + 1);
        CHECK(by_name != NULL, "%s: not exported", kExports[i].name);
#if defined(_WIN32)
        void* by_ordinal = (void*)GetProcAddress((HMODULE)g_module, MAKEINTRESOURCEA(kExports[i].ordinal));
        CHECK(by_ordinal == by_name, "%s: ordinal %d gives %p, the name %p", kExports[i].name, kExports[i].ordinal,
              by_ordinal, by_name);
#endif
    }
}

static void CheckBase64(void) {
    static const unsigned char kText[] = "Hello, Quillon!\xff\x00\x80";
    BINSTR in = {(unsigned char*)kText, sizeof kText - 1}, encoded = {0}, decoded = {0};
    const int32_t n = CALL(Base64Fn, BASE64_Encode)(&in, &encoded);
    Answer("base64.encode", encoded.data, n > 0 ? encoded.length : 0);
    CHECK(CALL(Base64Fn, BASE64_Decode)(&encoded, &decoded) > 0 && decoded.length == in.length &&
              !memcmp(decoded.data, kText, in.length),
          "base64: decoding the encoding does not give the input back");
    CALL(BinstrFn, BINSTR_Delete)(&encoded);
    CALL(BinstrFn, BINSTR_Delete)(&decoded);
}

static void CheckCrypt(void) {
    unsigned char key_bytes[16], iv_bytes[16], plain[45];
    for (int i = 0; i < 16; ++i) key_bytes[i] = (unsigned char)i, iv_bytes[i] = (unsigned char)(0xf0 + i);
    for (int i = 0; i < (int)sizeof plain; ++i) plain[i] = (unsigned char)(i * 7 + 1);
    BINSTR key = {key_bytes, 16}, iv = {iv_bytes, 16}, in = {plain, sizeof plain}, cipher = {0}, back = {0};
    SeedCbcContext encrypt, decrypt;
    memset(&encrypt, 0, sizeof encrypt);
    memset(&decrypt, 0, sizeof decrypt);
    CHECK(CALL(CryptSetFn, CRYPT_SetKeyAndIV)(&encrypt, &key, &iv) == 1, "CRYPT_SetKeyAndIV");
    CHECK(CALL(CryptFn, CRYPT_Encrypt)(&encrypt, &in, &cipher) == 1, "CRYPT_Encrypt");
    AnswerHex("crypt.encrypt", cipher.data, cipher.length);
    CALL(CryptSetFn, CRYPT_SetKeyAndIV)(&decrypt, &key, &iv);
    CHECK(CALL(CryptFn, CRYPT_Decrypt)(&decrypt, &cipher, &back) == 1 && back.length == sizeof plain &&
              !memcmp(back.data, plain, sizeof plain),
          "CRYPT_Decrypt does not give the plaintext back");
    BINSTR short_key = {key_bytes, 15};
    char code[16];
    snprintf(code, sizeof code, "%d", (int)CALL(CryptSetFn, CRYPT_SetKeyAndIV)(&decrypt, &short_key, &iv));
    Answer("crypt.short_key", (const unsigned char*)code, strlen(code));

    /* A generated key and IV come back through CRYPT_GetKeyAndIV and work. */
    SeedCbcContext generated;
    memset(&generated, 0, sizeof generated);
    BINSTR got_key = {0}, got_iv = {0};
    CHECK(CALL(CryptGenFn, CRYPT_GenKeyAndIV)(&generated) == 1 &&
              CALL(CryptGetFn, CRYPT_GetKeyAndIV)(&generated, &got_key, &got_iv) == 1 && got_key.length == 16 &&
              got_iv.length == 16 && memcmp(got_key.data, got_iv.data, 16) != 0,
          "CRYPT_GenKeyAndIV / CRYPT_GetKeyAndIV");
    CALL(BinstrFn, BINSTR_Delete)(&got_key);
    CALL(BinstrFn, BINSTR_Delete)(&got_iv);
    CALL(BinstrFn, BINSTR_Delete)(&cipher);
    CALL(BinstrFn, BINSTR_Delete)(&back);
}

/* The returned text is the library's static string, read through the pointer. */
static void CheckErrorText(void) {
    typedef const char* (*ErrorTextFn)(int32_t);
    static const int32_t kCodes[] = {QC_OK, QC_ERR_KEY_LENGTH, -2};
    for (size_t i = 0; i < sizeof kCodes / sizeof kCodes[0]; ++i) {
        const char* text = CALL(ErrorTextFn, QC_ErrorText)(kCodes[i]);
        char key[32];
        snprintf(key, sizeof key, "error_text.%d", (int)kCodes[i]);
        Answer(key, (const unsigned char*)(text ? text : "(null)"), strlen(text ? text : "(null)"));
    }
}

static void CheckRandom(void) {
    unsigned char a[32] = {0}, b[32] = {0}, zero[32] = {0};
    CHECK(CALL(RandomFn, GetRandomByte)(a, 32) == 1 && CALL(RandomFn, GetRandomByte)(b, 32) == 1,
          "GetRandomByte does not fill 32 bytes");
    CHECK(memcmp(a, b, 32) != 0 && memcmp(a, zero, 32) != 0, "GetRandomByte repeats itself");
}

static const char* const kCertificates[] = {"user_utf8.der", "user_bmp.der", "user_v1.der", "user_kcdsa.der",
                                            "ca.der",        "ext_common.der", "ext_korean.der", "ext_many.der"};

static void CheckCertificates(void) {
    static const struct {
        const char* name;
        const char* export_name;
    } kTexts[] = {
        {"serial", "CERT_GetSerialNum"},         {"signature_algorithm", "CERT_GetSignatureAlgorithm"},
        {"subject", "CERT_GetSubjectName"},      {"issuer", "CERT_GetIssuerName"},
        {"signature", "CERT_GetSignature"},      {"key_usage", "CERT_GetKeyUsage"},
        {"basic_constraints", "CERT_GetBasicConstraints"}, {"policy", "CERT_GetCertPolicy"},
        {"policy_id", "CERT_GetCertPolicy_PolicyID"},      {"ext_key_usage", "CERT_GetExtKeyUsage"},
        {"subject_alt_name", "CERT_GetSubjectAltName"},    {"auth_key_id", "CERT_GetAuthKeyID"},
        {"subject_key_id", "CERT_GetSubKeyID"},  {"crl_dp", "CERT_GetCRLDP"},
        {"crl_dp_url", "CERT_GetCRLDP_URL"},
    };
    enum { kRoom = 16384 };
    static char text[kRoom], second[kRoom];
    char key[128];
    for (size_t c = 0; c < sizeof kCertificates / sizeof *kCertificates; ++c) {
        const char* file = kCertificates[c];
        char relative[128];
        snprintf(relative, sizeof relative, "certs/%s", file);
        BINSTR der = {0};
        int32_t rc = CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture(relative), &der);
        CHECK(rc == 1, "%s: MEDIA_DISK_ReadCert gives %d", file, (int)rc);
        X509Cert* cert = NULL;
        rc = CALL(CertLoadFn, CERT_Load)(&cert, &der);
        snprintf(key, sizeof key, "cert.%s.load", file);
        AnswerText(key, rc, "");
        if (rc != 1) {
            CALL(BinstrFn, BINSTR_Delete)(&der);
            continue;
        }

        uint32_t version = 0;
        snprintf(key, sizeof key, "cert.%s.version", file);
        rc = CALL(CertVersionFn, CERT_GetVersion)(cert, &version);
        snprintf(text, sizeof text, "%u", (unsigned)version);
        AnswerText(key, rc, text);
        for (size_t t = 0; t < sizeof kTexts / sizeof *kTexts; ++t) {
            snprintf(key, sizeof key, "cert.%s.%s", file, kTexts[t].name);
            memset(text, 0, sizeof text);
            rc = ((CertTextFn)Fn(kTexts[t].export_name))(cert, kRoom, text);
            AnswerText(key, rc, text);
        }
        memset(text, 0, sizeof text);
        memset(second, 0, sizeof second);
        rc = CALL(CertValidityFn, CERT_GetValidity)(cert, text, second);
        snprintf(key, sizeof key, "cert.%s.validity", file);
        AnswerPair(key, rc, text, second);
        memset(text, 0, sizeof text);
        memset(second, 0, sizeof second);
        rc = CALL(CertPubKeyFn, CERT_GetPubKey)(cert, kRoom, text, second);
        snprintf(key, sizeof key, "cert.%s.public_key", file);
        AnswerPair(key, rc, text, second);
        BINSTR subject = {0};
        rc = CALL(CertDerFn, CERT_GetSubjectName_DERFormat)(cert, &subject);
        snprintf(key, sizeof key, "cert.%s.subject_der[%d]", file, (int)rc);
        AnswerHex(key, subject.data, subject.length);
        CALL(BinstrFn, BINSTR_Delete)(&subject);
        CALL(CertUnloadFn, CERT_Unload)(cert);
        CALL(BinstrFn, BINSTR_Delete)(&der);
    }
}

static void CheckPrivateKeys(void) {
    static const char* const kKeys[] = {"scheme73.der",   "scheme70.der",   "scheme89_rsa.der", "scheme89_kcdsa.der",
                                        "pbes2_seed.der", "pbes2_aria.der", "pbes2_aes.der"};
    char key[128];
    char password[64] = "quillon-test";
    BINSTR certificate = {0};
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/user_utf8.der"), &certificate);
    for (size_t k = 0; k < sizeof kKeys / sizeof *kKeys; ++k) {
        char relative[128];
        snprintf(relative, sizeof relative, "pkcs8/%s", kKeys[k]);
        BINSTR plain = {0};
        const int32_t rc = CALL(ReadKeyFn, MEDIA_DISK_ReadPriKey)(Fixture(relative), password, &plain);
        snprintf(key, sizeof key, "pkcs8.%s[%d]", kKeys[k], (int)rc);
        AnswerHex(key, plain.data, plain.length);
        snprintf(key, sizeof key, "pkcs8.%s.cipher_index", kKeys[k]);
        char index[16];
        snprintf(index, sizeof index, "%d",
                 (int)CALL(CipherIndexFn, MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index)(Fixture(relative), password));
        Answer(key, (const unsigned char*)index, strlen(index));
        if (rc == 1 && strstr(kKeys[k], "kcdsa") == NULL) {
            CHECK(CALL(CheckPairFn, PRIKEY_CheckKeyPair)(&certificate, &plain) == 1,
                  "%s: PRIKEY_CheckKeyPair refuses the user certificate", kKeys[k]);
        }
        if (rc == 1 && k == 0) {  /* PBES2 written and read back: random salt, so no known answer */
            BINSTR pbes2 = {0}, back = {0};
            CHECK(CALL(EncryptPbes2Fn, PRIKEY_EncryptPbes2)(password, &plain, QC_PRF_HMAC_SHA256, QC_CIPHER_ARIA128_CBC,
                                                            16, &pbes2) == 1 &&
                      CALL(PrikeyFn, PRIKEY_Decrypt)(password, &pbes2, &back) == 1 && back.length == plain.length &&
                      memcmp(back.data, plain.data, plain.length) == 0,
                  "PRIKEY_EncryptPbes2 then PRIKEY_Decrypt");
            CALL(BinstrFn, BINSTR_Delete)(&pbes2);
            CALL(BinstrFn, BINSTR_Delete)(&back);
        }
        CALL(BinstrFn, BINSTR_Delete)(&plain);
    }
    BINSTR wrong = {0};
    char code[16];
    snprintf(code, sizeof code, "%d",
             (int)CALL(ReadKeyFn, MEDIA_DISK_ReadPriKey)(Fixture("pkcs8/scheme73.der"), "not it", &wrong));
    Answer("pkcs8.wrong_password", (const unsigned char*)code, strlen(code));
    snprintf(code, sizeof code, "%d", (int)CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("no/such/file.der"), &wrong));
    Answer("disk.missing_file", (const unsigned char*)code, strlen(code));
    CALL(BinstrFn, BINSTR_Delete)(&certificate);
}

/* A whole exchange against the reference phone: what the phone opens is what the PC sealed. */
static void CheckExchange(void) {
    static const char kCode[] = "1234567890123455";
    BINSTR certificate = {0}, private_key = {0};
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/user_utf8.der"), &certificate);
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("pkcs8/scheme73.der"), &private_key);
    TestPhone* phone = TestPhone_New(kCode);
    CertExchangeSession* session = CALL(CreateFn, CreateCertExchangeSession)();
    CesMessage *public_key = NULL, *sealed = NULL;
    static unsigned char reply[1024], got_cert[8192], got_key[8192];
    size_t reply_length = 0, got_cert_length = 0, got_key_length = 0;
    const int32_t public_length = CALL(PublicKeyFn, GetCertExchangePublicKey)(session, kCode, &public_key);
    CHECK(phone && session && public_length == 153, "GetCertExchangePublicKey gives %d bytes", (int)public_length);
    CHECK(public_length > 0 &&
              TestPhone_Answer(phone, public_key, (size_t)public_length, reply, sizeof reply, &reply_length) &&
              CALL(SessionKeyFn, SetCertExchangeSessionKey)(session, reply, (int32_t)reply_length) > 0,
          "the session key does not reach the PC");
    const int32_t sealed_length =
        CALL(SealFn, EncryptCertExchange)(session, &sealed, certificate.data, (int32_t)certificate.length,
                                          private_key.data, (int32_t)private_key.length);
    CHECK(sealed_length > 0 &&
              TestPhone_Open(phone, sealed, (size_t)sealed_length, got_cert, &got_cert_length, got_key,
                             &got_key_length, sizeof got_cert) &&
              got_cert_length == certificate.length && !memcmp(got_cert, certificate.data, got_cert_length) &&
              got_key_length == private_key.length && !memcmp(got_key, private_key.data, got_key_length),
          "the phone does not open what the PC sealed");
    CALL(FreeMsgFn, FreeCesMessage)(public_key);
    CALL(FreeMsgFn, FreeCesMessage)(sealed);
    CALL(CloseFn, CloseCertExchangeSession)(session);
    TestPhone_Free(phone);
    CALL(BinstrFn, BINSTR_Delete)(&certificate);
    CALL(BinstrFn, BINSTR_Delete)(&private_key);
}

/* Minimal DER walking for the PKCS#7 round trip: the element at *at (within end), its contents
   in [*contents, *contents + *length). 1 or 0. */
static int DerNext(const unsigned char** at, const unsigned char* end, int* tag, const unsigned char** contents,
                   size_t* length) {
    const unsigned char* p = *at;
    if (end - p < 2) return 0;
    *tag = *p++;
    size_t n = *p++;
    if (n & 0x80) {
        int octets = (int)(n & 0x7f);
        if (octets < 1 || octets > 3 || end - p < octets) return 0;
        for (n = 0; octets-- > 0;) n = (n << 8) | *p++;
    }
    if ((size_t)(end - p) < n) return 0;
    *contents = p;
    *length = n;
    *at = p + n;
    return 1;
}

/* PKCS7_EncryptData to the user certificate, opened with its private key: the RSA-encrypted
   content key through the test's recipient, the content through CRYPT_Decrypt. */
static void CheckPkcs7(void) {
    Pkcs7Fn encrypt_data = CALL(Pkcs7Fn, PKCS7_EncryptData);
    static const unsigned char kData[] = "enveloped for the holder of user_utf8.der";
    BINSTR certificate = {0}, recipient_key = {0}, data = {(unsigned char*)kData, sizeof kData - 1};
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/user_utf8.der"), &certificate);
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("pkcs8/user_plain.der"), &recipient_key);
    for (int32_t mode = 0; mode <= 1; ++mode) {
        BINSTR out = {0};
        const int32_t rc = encrypt_data(mode, &certificate, &data, &out);
        CHECK(rc == 1, "PKCS7_EncryptData(mode %d) gives %d", (int)mode, (int)rc);
        if (rc != 1) continue;
        const unsigned char *at = out.data, *end = out.data + out.length, *c;
        size_t n;
        int tag, ok = DerNext(&at, end, &tag, &c, &n) && tag == 0x30;
        if (ok && mode == 1) { /* ContentInfo: OID pkcs7-envelopedData, [0] { EnvelopedData } */
            static const unsigned char kEnveloped[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
            at = c, end = c + n;
            ok = DerNext(&at, end, &tag, &c, &n) && tag == 0x06 && n == sizeof kEnveloped &&
                 !memcmp(c, kEnveloped, n) && DerNext(&at, end, &tag, &c, &n) && tag == 0xa0;
            if (ok) at = c, end = c + n, ok = DerNext(&at, end, &tag, &c, &n) && tag == 0x30;
        }
        /* EnvelopedData: version, SET { RecipientInfo }, EncryptedContentInfo */
        const unsigned char *encrypted_key = NULL, *iv = NULL, *content = NULL;
        size_t encrypted_key_length = 0, iv_length = 0, content_length = 0;
        if (ok) {
            at = c, end = c + n;
            const unsigned char *set, *info, *eci;
            size_t set_length, info_length, eci_length;
            ok = DerNext(&at, end, &tag, &c, &n) && tag == 0x02 && DerNext(&at, end, &tag, &set, &set_length) &&
                 tag == 0x31 && DerNext(&at, end, &tag, &eci, &eci_length) && tag == 0x30;
            /* RecipientInfo: version, issuerAndSerialNumber, algorithm, encryptedKey */
            const unsigned char* r = set;
            ok = ok && DerNext(&r, set + set_length, &tag, &info, &info_length) && tag == 0x30;
            r = info;
            for (int item = 0; ok && item < 4; ++item) ok = DerNext(&r, info + info_length, &tag, &c, &n);
            if (ok && tag == 0x04) encrypted_key = c, encrypted_key_length = n;
            /* EncryptedContentInfo: type, SEQUENCE { SEED-CBC, OCTET STRING iv }, [0] content */
            r = eci;
            const unsigned char* alg;
            size_t alg_length;
            ok = ok && DerNext(&r, eci + eci_length, &tag, &c, &n) &&
                 DerNext(&r, eci + eci_length, &tag, &alg, &alg_length) && tag == 0x30 &&
                 DerNext(&r, eci + eci_length, &tag, &content, &content_length) && tag == 0x80;
            const unsigned char* a = alg;
            ok = ok && DerNext(&a, alg + alg_length, &tag, &c, &n) && DerNext(&a, alg + alg_length, &tag, &iv, &iv_length) &&
                 tag == 0x04;
        }
        unsigned char content_key[512];
        const size_t key_length =
            ok && encrypted_key ? TestRecipient_Decrypt(recipient_key.data, recipient_key.length, encrypted_key,
                                                        encrypted_key_length, content_key, sizeof content_key)
                                : 0;
        BINSTR key = {content_key, (uint32_t)key_length}, iv_record = {(unsigned char*)iv, (uint32_t)iv_length},
               ciphertext = {(unsigned char*)content, (uint32_t)content_length}, plain = {0};
        SeedCbcContext context;
        memset(&context, 0, sizeof context);
        CHECK(ok && key_length == 16 && iv_length == 16 &&
                  CALL(CryptSetFn, CRYPT_SetKeyAndIV)(&context, &key, &iv_record) == 1 &&
                  CALL(CryptFn, CRYPT_Decrypt)(&context, &ciphertext, &plain) == 1 && plain.length == data.length &&
                  !memcmp(plain.data, kData, data.length),
              "PKCS#7 (mode %d): the recipient does not recover the data", (int)mode);
        CALL(BinstrFn, BINSTR_Delete)(&plain);
        CALL(BinstrFn, BINSTR_Delete)(&out);
    }
    CALL(BinstrFn, BINSTR_Delete)(&certificate);
    CALL(BinstrFn, BINSTR_Delete)(&recipient_key);
}

/* Signatures and both PKCS#7 directions with the user's key: the PKCS#1 v1.5 signature is a known
   answer; PSS, SignedData and enveloped data go round through the library's own checks. */
static void CheckSignatures(void) {
    static const unsigned char kData[] = "signed on Windows";
    BINSTR key = {0}, cert_der = {0}, ca_der = {0}, pss_der = {0}, data = {(unsigned char*)kData, sizeof kData - 1};
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("pkcs8/user_plain.der"), &key);
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/user_utf8.der"), &cert_der);
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/ca.der"), &ca_der);
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("certs/user_pss384.der"), &pss_der);
    X509Cert *cert = NULL, *ca = NULL, *pss = NULL;
    CALL(CertLoadFn, CERT_Load)(&cert, &cert_der);
    CALL(CertLoadFn, CERT_Load)(&ca, &ca_der);
    CALL(CertLoadFn, CERT_Load)(&pss, &pss_der);
    BINSTR signature = {0};
    char name[64];
    const int32_t rc = CALL(SignFn, PRIKEY_Sign)(&key, QC_SIGN_RSA_SHA256, &data, &signature);
    snprintf(name, sizeof name, "sign.sha256[%d]", (int)rc);
    AnswerHex(name, signature.data, signature.length);
    if (!g_record) {
        CHECK(CALL(VerifyDataFn, CERT_VerifyData)(cert, QC_SIGN_RSA_SHA256, &data, &signature) == 1,
              "CERT_VerifyData refuses PRIKEY_Sign's signature");
        BINSTR salted = {0};
        CHECK(CALL(SignFn, PRIKEY_Sign)(&key, QC_SIGN_RSA_PSS_SHA256, &data, &salted) == 1 &&
                  CALL(VerifyDataFn, CERT_VerifyData)(cert, QC_SIGN_RSA_PSS_SHA256, &data, &salted) == 1 &&
                  CALL(VerifyDataFn, CERT_VerifyData)(ca, QC_SIGN_RSA_PSS_SHA256, &data, &salted) == QC_ERR_SIGNATURE,
              "PSS signature round trip");
        CHECK(CALL(IssuedByFn, CERT_VerifyIssuedBy)(pss, ca) == 1 &&
                  CALL(IssuedByFn, CERT_VerifyIssuedBy)(ca, cert) == QC_ERR_SIGNATURE,
              "CERT_VerifyIssuedBy");
        BINSTR signed_data = {0}, content = {0}, signer = {0}, enveloped = {0}, opened = {0};
        CHECK(CALL(Pkcs7SignFn, PKCS7_SignData)(0, &cert_der, &key, QC_SIGN_RSA_SHA256, &data, &signed_data) == 1 &&
                  CALL(Pkcs7VerifyFn, PKCS7_VerifyData)(&signed_data, NULL, &content, &signer) == 1 &&
                  content.length == data.length && !memcmp(content.data, kData, data.length) &&
                  signer.length == cert_der.length && !memcmp(signer.data, cert_der.data, signer.length),
              "PKCS7_SignData then PKCS7_VerifyData");
        CHECK(CALL(Pkcs7Fn, PKCS7_EncryptData)(1, &cert_der, &data, &enveloped) == 1 &&
                  CALL(Pkcs7OpenFn, PKCS7_DecryptData)(&key, &cert_der, &enveloped, &opened) == 1 &&
                  opened.length == data.length && !memcmp(opened.data, kData, data.length),
              "PKCS7_EncryptData then PKCS7_DecryptData");
        BINSTR* outputs[] = {&salted, &signed_data, &content, &signer, &enveloped, &opened};
        for (size_t i = 0; i < sizeof outputs / sizeof *outputs; ++i) CALL(BinstrFn, BINSTR_Delete)(outputs[i]);
    }
    CALL(CertUnloadFn, CERT_Unload)(cert);
    CALL(CertUnloadFn, CERT_Unload)(ca);
    CALL(CertUnloadFn, CERT_Unload)(pss);
    BINSTR* inputs[] = {&key, &cert_der, &ca_der, &pss_der, &signature};
    for (size_t i = 0; i < sizeof inputs / sizeof *inputs; ++i) CALL(BinstrFn, BINSTR_Delete)(inputs[i]);
}

/* A PFX with a PBMAC1 MAC in, both profiles out and back. */
static void CheckPfx(void) {
    BINSTR pfx = {0}, cert = {0}, key = {0};
    CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture("pfx/pbmac1_sha256.p12"), &pfx);
    int32_t rc = CALL(PfxImportFn, PFX_Import)("quillon-test", &pfx, &cert, &key);
    CHECK(rc == 1, "PFX_Import gives %d", (int)rc);
    CHECK(CALL(PfxImportFn, PFX_Import)("wrong", &pfx, &cert, &key) == QC_ERR_DECRYPT_KEY, "PFX_Import, wrong password");
    for (int32_t flags = 0; flags <= QC_PFX_LEGACY; ++flags) {
        BINSTR out = {0}, cert2 = {0}, key2 = {0};
        CHECK(CALL(PfxExportFn, PFX_Export)("quillon-test", &cert, &key, flags, &out) == 1 &&
                  CALL(PfxImportFn, PFX_Import)("quillon-test", &out, &cert2, &key2) == 1 &&
                  key2.length == key.length && !memcmp(key2.data, key.data, key.length),
              "PFX_Export (flags %d) then PFX_Import", (int)flags);
        BINSTR* outputs[] = {&out, &cert2, &key2};
        for (size_t i = 0; i < sizeof outputs / sizeof *outputs; ++i) CALL(BinstrFn, BINSTR_Delete)(outputs[i]);
    }
    BINSTR* inputs[] = {&pfx, &cert, &key};
    for (size_t i = 0; i < sizeof inputs / sizeof *inputs; ++i) CALL(BinstrFn, BINSTR_Delete)(inputs[i]);
}

/* ---- NPKI folders: a pair under a folder named in Korean, found and read back by its UTF-8 path --- */

#define KOREAN_NAME "\xed\x99\x8d\xea\xb8\xb8\xeb\x8f\x99"

/* Makes a folder (file NULL) or copies a fixture to the UTF-8 path; removes it with `remove` set. */
static int Place(const char* utf8, const char* fixture, int remove) {
#if defined(_WIN32)
    wchar_t path[1024];
    if (!MultiByteToWideChar(CP_UTF8, 0, utf8, -1, path, 1024)) return 0;
    if (remove) return fixture ? DeleteFileW(path) : RemoveDirectoryW(path);
    if (!fixture) return CreateDirectoryW(path, NULL);
    FILE* out = _wfopen(path, L"wb");
#else
    if (remove) return fixture ? unlink(utf8) == 0 : rmdir(utf8) == 0;
    if (!fixture) return mkdir(utf8, 0700) == 0;
    FILE* out = fopen(utf8, "wb");
#endif
    FILE* in = fopen(Fixture(fixture), "rb");
    char block[4096];
    size_t size;
    while (in && out && (size = fread(block, 1, sizeof block, in)) > 0) fwrite(block, 1, size, out);
    if (in) fclose(in);
    if (out) fclose(out);
    return in && out;
}

static void CheckFindCertificates(void) {
    char root[512], paths[4][1024];
#if defined(_WIN32)
    wchar_t temp[MAX_PATH];
    char temp8[3 * MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WideCharToMultiByte(CP_UTF8, 0, temp, -1, temp8, sizeof temp8, NULL, NULL);
    snprintf(root, sizeof root, "%squillon_find_%lu", temp8, (unsigned long)GetCurrentProcessId());
#else
    snprintf(root, sizeof root, "/tmp/quillon_find_%ld", (long)getpid());
#endif
    const char* const tails[4] = {"", "/CA", "/CA/USER", "/CA/USER/" KOREAN_NAME};
    for (int i = 0; i < 4; ++i) {
        snprintf(paths[i], sizeof paths[i], "%s%s", root, tails[i]);
        CHECK(Place(paths[i], NULL, 0), "cannot make %s", paths[i]);
    }
    char cert_path[1100], key_path[1100];
    snprintf(cert_path, sizeof cert_path, "%s/signCert.der", paths[3]);
    snprintf(key_path, sizeof key_path, "%s/signPri.key", paths[3]);
    CHECK(Place(cert_path, "certs/user_utf8.der", 0) && Place(key_path, "pkcs8/scheme73.der", 0), "cannot copy the pair");

    const char* roots[] = {root};
    NpkiList* list = NULL;
    int32_t rc = CALL(FindFn, MEDIA_DISK_FindCertificates)(roots, 1, &list);
    CHECK(rc == 1 && list->count == 1, "MEDIA_DISK_FindCertificates gives %d, %u pairs", (int)rc, rc == 1 ? list->count : 0);
    if (rc == 1 && list->count == 1) {
        const NpkiEntry* e = &list->entries[0];
        char line[1024];
        snprintf(line, sizeof line, "%s|%s|%s|%s|%s|%d|%d|%s|%d|%d", e->subject, e->issuer, e->serial, e->not_before,
                 e->not_after, (int)e->expired, (int)e->key_cipher, e->key_scheme, (int)e->key_plain,
                 (int)e->random_num);
        Answer("disk.find", (const unsigned char*)line, strlen(line));
        BINSTR der = {0};
        CHECK(strstr(e->cert_path, KOREAN_NAME) && CALL(ReadCertFn, MEDIA_DISK_ReadCert)(e->cert_path, &der) == 1,
              "the found path %s does not read back", e->cert_path);
        CALL(BinstrFn, BINSTR_Delete)(&der);
    }
    if (rc == 1) CALL(FreeListFn, MEDIA_DISK_FreeCertificates)(list);
    /* The platform's own folders: whatever they hold, the call succeeds. */
    rc = CALL(FindFn, MEDIA_DISK_FindCertificates)(NULL, 0, &list);
    CHECK(rc == 1, "MEDIA_DISK_FindCertificates with the default roots gives %d", (int)rc);
    if (rc == 1) CALL(FreeListFn, MEDIA_DISK_FreeCertificates)(list);
    Place(cert_path, "", 1);
    Place(key_path, "", 1);
    for (int i = 3; i >= 0; --i) Place(paths[i], NULL, 1);
}

/* The trust store once: a path of four to the chain fixtures' root, then a revoked leaf. */
static void CheckTrust(void) {
    static const char* const kFiles[] = {"chain/root.der", "chain/int2.der", "chain/int1.der", "chain/int2.crl",
                                         "chain/ee_sha256.der", "chain/ee_revoked.der"};
    BINSTR in[6] = {{0}};
    for (int i = 0; i < 6; ++i) CALL(ReadCertFn, MEDIA_DISK_ReadCert)(Fixture(kFiles[i]), &in[i]);
    TrustStore* store = CALL(TrustCreateFn, TRUST_Create)();
    CHECK(store != NULL, "TRUST_Create");
    CHECK(CALL(TrustAddFn, TRUST_AddTrusted)(store, &in[0]) == 1 && CALL(TrustAddFn, TRUST_AddUntrusted)(store, &in[1]) == 1 &&
              CALL(TrustAddFn, TRUST_AddUntrusted)(store, &in[2]) == 1 && CALL(TrustAddFn, TRUST_AddCrl)(store, &in[3]) == 1,
          "TRUST_Add*");
    const int64_t at = 1748736000; /* 2025-06-01T00:00:00Z */
    int32_t rc = CALL(TrustVerifyFn, TRUST_Verify)(store, &in[4], at, QC_TRUST_IGNORE_VALIDITY);
    BINSTR root = {0};
    CHECK(rc == 1 && CALL(TrustCountFn, TRUST_GetPathLength)(store) == 4 &&
              CALL(TrustPathCertFn, TRUST_GetPathCert)(store, 3, &root) == 1 && root.length == in[0].length &&
              !memcmp(root.data, in[0].data, root.length),
          "TRUST_Verify gives %d and its path", (int)rc);
    rc = CALL(TrustVerifyFn, TRUST_Verify)(store, &in[5], at, 0);
    CHECK(rc == QC_ERR_TRUST_REVOKED && CALL(TrustCountFn, TRUST_GetRevocationReason)(store) == 1,
          "TRUST_Verify of a revoked certificate gives %d", (int)rc);
    CALL(TrustFreeFn, TRUST_Free)(store);
    CALL(BinstrFn, BINSTR_Delete)(&root);
    for (int i = 0; i < 6; ++i) CALL(BinstrFn, BINSTR_Delete)(&in[i]);
}

/* Without a reader (none under Wine) the card exports report the PC/SC failure. */
static void CheckCardWithoutReader(void) {
#if defined(_WIN32)
    BINSTR out = {0};
    int32_t tries = -1;
    int32_t rc = CALL(CardReadCertFn, MEDIA_CARD_ReadCert)(1, "1234", &out, &tries);
    CHECK(rc == QC_ERR_PCSC, "MEDIA_CARD_ReadCert without a reader gives %d", (int)rc);
    rc = CALL(CardReadKeyFn, MEDIA_CARD_ReadPriKey)(2, "1234", "quillon-test", &out, &tries);
    CHECK(rc == QC_ERR_PCSC, "MEDIA_CARD_ReadPriKey without a reader gives %d", (int)rc);
#endif
}

int main(int argc, char** argv) {
    if (argc > 1 && !strcmp(argv[1], "--record")) g_record = 1, --argc, ++argv;
    if (argc != (g_record ? 3 : 4)) {
        fprintf(stderr, "usage: dll_test <library> <fixtures dir> <known answers>\n"
                        "       dll_test --record <library> <fixtures dir>\n");
        return 2;
    }
#if defined(_WIN32)
    g_module = (void*)LoadLibraryA(argv[1]);
#else
    g_module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
#endif
    if (!g_module) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    g_fixtures = argv[2];
    if (!g_record && !(g_known = ReadText(argv[3]))) {
        fprintf(stderr, "cannot read %s\n", argv[3]);
        return 1;
    }
    if (!g_record) CheckExportTable();
    CheckBase64();
    CheckCrypt();
    CheckErrorText();
    CheckCertificates();
    CheckPrivateKeys();
    CheckSignatures();
    CheckFindCertificates();
    if (!g_record) {
        CheckRandom();
        CheckExchange();
        CheckPkcs7();
        CheckPfx();
        CheckTrust();
        CheckCardWithoutReader();
    }
    free(g_known);
#if defined(_WIN32)
    FreeLibrary((HMODULE)g_module);
#else
    dlclose(g_module);
#endif
    if (g_record) return 0;
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
