/*
 * QuillonCrypto public API.
 *
 * Flat C functions; every integer is 32-bit. Each export reports in one of two shapes:
 *   count shape: 0 on failure, 1 or the byte count produced on success;
 *   code shape:  1 (QC_OK) on success, a negative QC_ERR_* code on failure.
 *
 * Memory the library hands out (BINSTR bytes, CesMessage buffers) comes from the
 * library's own heap and must be released through the library (BINSTR_Delete,
 * FreeCesMessage), never with the host's free(). Every block the library releases is
 * wiped first, whoever releases it: a decrypted key handed out in a BINSTR needs no
 * clearing by the host before BINSTR_Delete.
 */
#ifndef QUILLONCRYPTO_H
#define QUILLONCRYPTO_H

#include <stdint.h>

#if defined(_WIN32)
#define QUILLON_API
#else
#define QUILLON_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of the code shape (and the two negative values of the count shape). */
#define QC_OK 1
#define QC_ERR_PKCS12_INTEGRITY (-1)    /* PKCS#12 integrity check failed */
#define QC_ERR_BUFFER_TOO_SMALL (-10)   /* output buffer too small, or name not convertible to EUC-KR */
#define QC_ERR_NULL_ARGUMENT (-11)      /* a required pointer argument is null */
#define QC_ERR_KEY_INVALID (-12)        /* not a private key, unsupported algorithm, undecodable key or certificate */
#define QC_ERR_DECRYPT_KEY (-13)        /* empty password, or decryption failed */
#define QC_ERR_KEY_MISMATCH (-14)       /* key does not belong to the certificate */
#define QC_ERR_ENCRYPT_KEY (-15)        /* encrypting the key failed */
#define QC_ERR_CERT_DECODE (-50)        /* certificate cannot be decoded */
#define QC_ERR_MALFORMED_DER (-51)      /* malformed DER or not an accepted structure */
#define QC_ERR_ENCODE_EMPTY (-52)       /* encoding the result gave nothing */
#define QC_ERR_EXTENSION_ABSENT (-53)   /* extension absent */
#define QC_ERR_FILE_READ (-54)          /* file cannot be read */
#define QC_ERR_SIGNATURE (-56)          /* the signature does not verify */
#define QC_ERR_IDENTITY (-57)           /* the identity number does not match */
#define QC_ERR_NOT_RECIPIENT (-58)      /* the data is not addressed to this certificate */
#define QC_ERR_SIGNER_UNKNOWN (-59)     /* no certificate for a signer is carried */
#define QC_ERR_TRUST_VALIDITY (-60)     /* a certificate in the path is expired or not yet valid */
#define QC_ERR_TRUST_SIGNATURE (-61)    /* a certificate's signature does not verify under its issuer's key */
#define QC_ERR_TRUST_ISSUER (-62)       /* no path to a trusted root: an issuer is not found */
#define QC_ERR_TRUST_NOT_CA (-63)       /* an issuer is not a CA (basicConstraints) */
#define QC_ERR_TRUST_PATH_LENGTH (-64)  /* a pathLenConstraint is exceeded, or the path is too long */
#define QC_ERR_TRUST_KEY_USAGE (-65)    /* an issuer's keyUsage leaves out keyCertSign */
#define QC_ERR_TRUST_CRITICAL (-66)     /* an unknown critical extension in a certificate or CRL */
#define QC_ERR_TRUST_REVOKED (-67)      /* a certificate in the path is revoked */
#define QC_ERR_TRUST_NO_CRL (-68)       /* QC_TRUST_REQUIRE_CRL and no CRL for a certificate */
#define QC_ERR_TRUST_CRL_INVALID (-69)  /* a CRL expired, not yet valid, or badly signed */
#define QC_ERR_TRUST_CRL_UNSUPPORTED (-70) /* only a delta, indirect or partial-reasons CRL applies */
#define QC_ERR_ALLOC (-71)              /* allocation failed */
#define QC_ERR_RANDOM (-72)             /* random generation failed */
#define QC_ERR_ENCRYPT (-74)            /* encryption failed */
#define QC_ERR_DECRYPT (-75)            /* decryption failed */
#define QC_ERR_KEY_LENGTH (-76)         /* key not 16 bytes */
#define QC_ERR_IV_LENGTH (-77)          /* IV not 16 bytes */
#define QC_ERR_RSA_ENCRYPT (-78)        /* RSA key encryption failed */
#define QC_ERR_CONTENT_ENCRYPT (-79)    /* content encryption failed */
#define QC_ERR_PCSC (-100)              /* PC/SC library, context, reader, connection or release failure */
#define QC_ERR_CARD_TRANSMIT (-102)     /* card transmission failed or a write was refused */
#define QC_ERR_PIN (-103)               /* PIN rejected */
#define QC_ERR_CARD_SELECT_MF (-104)    /* master-file selection refused */

/* A short English description (UTF-8, static, never NULL) of a result code: QC_OK, 0 (a
   count-shape failure, which reports no reason) and every QC_ERR_* code above have one each; any
   other value gives "unknown result code". The string stays valid while the library is loaded. */
QUILLON_API const char* QC_ErrorText(int32_t code);

/* Binary string: the caller owns the record, the library owns the bytes. */
typedef struct BINSTR {
    unsigned char* data; /* library-allocated bytes, or NULL when empty */
    uint32_t length;     /* number of valid bytes in data */
} BINSTR;

/* Every export that takes a BINSTR as input reads it within `length` and no further: a DER
   header that claims more than `length` bytes fails with the export's malformed-input code,
   and bytes after the element the header declares are ignored (key files often carry some).
   An input record with NULL data is malformed input too. */

/* A buffer returned by the certificate-exchange exports; release it with FreeCesMessage. */
typedef unsigned char CesMessage;

/* Opaque certificate-exchange session. */
typedef struct CertExchangeSession CertExchangeSession;

/* SEED-CBC state that the host allocates for the CRYPT_* exports; the library only fills it. */
typedef struct SeedCbcContext {
    uint32_t direction;       /* 1 encrypt, any other value decrypt */
    unsigned char key[16];    /* the 128-bit key */
    unsigned char iv[16];     /* the initial IV as set */
    unsigned char chain[16];  /* CBC chaining block: the IV, then the last ciphertext block */
    uint32_t round_keys[32];  /* key schedule, two words per round */
} SeedCbcContext;

/* ---- Memory crossing the boundary (code shape) ---- */

/* Makes the record empty (data NULL, length 0); does not release what it held. */
QUILLON_API int32_t BINSTR_Create(BINSTR* record);
/* Wipes and releases the record's bytes and makes it empty; an empty record is left as it is. */
QUILLON_API int32_t BINSTR_Delete(BINSTR* record);
/* Replaces the record's bytes with a copy of `length` bytes from `source` (source may alias data). */
QUILLON_API int32_t BINSTR_SetData(const unsigned char* source, uint32_t length, BINSTR* record);
/* Wipes and releases a buffer returned by the certificate-exchange exports; NULL is ignored. */
QUILLON_API void FreeCesMessage(void* message);

/* ---- Certificate exchange (count shape: 0 for every failure; out pointers written only on success) ---- */

/* New, empty exchange session, or NULL when allocation fails. */
QUILLON_API CertExchangeSession* CreateCertExchangeSession(void);
/* Checks the 16-digit exchange code, makes the session's 1024-bit RSA key and returns the
   153-byte public-key message through *message; returns its length. Exactly the 16 characters at
   exchange_code are read (no terminator needed, nothing after them is read); a non-digit or a
   terminator among them, or a wrong check digit, gives 0. */
QUILLON_API int32_t GetCertExchangePublicKey(CertExchangeSession* session, const char* exchange_code,
                                             CesMessage** message);
/* Takes in the peer's session-key message (session key RSA-encrypted to the session's key); 1 or 0.
   An empty session key is refused like an undecryptable one; a refused message keeps the current key. */
QUILLON_API int32_t SetCertExchangeSessionKey(CertExchangeSession* session, const unsigned char* message,
                                              int32_t length);
/* Seals a certificate and a private key into one message; returns its length. 0 while the
   session has no session key (SetCertExchangeSessionKey has not succeeded). */
QUILLON_API int32_t EncryptCertExchange(CertExchangeSession* session, CesMessage** message,
                                        const unsigned char* certificate, int32_t certificate_length,
                                        const unsigned char* private_key, int32_t private_key_length);
/* Opens a sealed message into two new buffers (MAC checked for version 1; version 2 carries none); 1 or 0,
   and 0 while the session has no session key. The MAC must be exactly 20 bytes.
   What the format costs: its MAC covers the plaintext, so the message must be decrypted before it
   can be authenticated. Every failure after decryption (a bad pad count, a wrong MAC, a plaintext
   that is not the pair) gives the same 0 after the same steps, with no early exit on the padding;
   the one thing the time still depends on is the unpadded length the MAC is computed over (HMAC
   time grows by one hash block per 64 bytes). Version 2 messages carry no MAC at all and are not
   authenticated. */
QUILLON_API int32_t DecryptCertExchange(CertExchangeSession* session, CesMessage** certificate,
                                        int32_t* certificate_length, CesMessage** private_key,
                                        int32_t* private_key_length, const unsigned char* message, int32_t length);
/* The same pair as a PKCS#12 PFX: one secret bag, SEED-CBC under the first 16 bytes of the
   session key with a fixed IV, and an HMAC-SHA1 (key: SHA-1 of those 16 bytes and a fresh 8-byte
   salt) over the authSafe. Returns the PFX's length. 0 also for a session with no session key. */
QUILLON_API int32_t EncryptCertExchange_PKCS12(CertExchangeSession* session, CesMessage** message,
                                               const unsigned char* certificate, int32_t certificate_length,
                                               const unsigned char* private_key, int32_t private_key_length);
/* Opens such a PFX into two new buffers: 1; -1 when the integrity check fails (the MAC must be
   exactly 20 bytes and match; nothing is decrypted before it does); 0 for any other failure,
   a session with no session key included. There is no length argument: the PFX's own DER
   header says how much is read (never more than the element it begins with, and at most
   QC_PFX_MAX_SIZE bytes; a larger or indefinite length gives 0). The caller must supply at
   least that many bytes. */
QUILLON_API int32_t DecryptCertExchange_PKCS12(CertExchangeSession* session, CesMessage** certificate,
                                               int32_t* certificate_length, CesMessage** private_key,
                                               int32_t* private_key_length, const unsigned char* pfx);
#define QC_PFX_MAX_SIZE (4u << 20) /* 4 MiB, identifier and length octets included */
/* Wipes the session's keys and releases it; NULL is ignored. */
QUILLON_API void CloseCertExchangeSession(CertExchangeSession* session);

/* ---- Base64 (count shape; output record must be empty, result is zero-terminated) ---- */

/* Encodes input as Base64 with a line feed after every 76 characters; returns characters written. */
QUILLON_API int32_t BASE64_Encode(const BINSTR* input, BINSTR* output);
/* Decodes Base64 text (LF and CR LF allowed, other non-alphabet bytes skipped); returns bytes decoded. */
QUILLON_API int32_t BASE64_Decode(const BINSTR* input, BINSTR* output);

/* ---- Symmetric SEED-CBC with a host-held key and IV (code shape) ---- */

/* Draws a random 16-byte key and IV into the context; -72 when random generation fails. */
QUILLON_API int32_t CRYPT_GenKeyAndIV(SeedCbcContext* context);
/* Copies the context's key and initial IV into the two records (their old bytes are released). */
QUILLON_API int32_t CRYPT_GetKeyAndIV(SeedCbcContext* context, BINSTR* key, BINSTR* iv);
/* Sets the key and IV; -76 if the key is not 16 bytes, -77 if the IV is not (key tested first). */
QUILLON_API int32_t CRYPT_SetKeyAndIV(SeedCbcContext* context, const BINSTR* key, const BINSTR* iv);
/* Encrypts the whole plaintext with block padding, from the stored IV; -74 on failure. */
QUILLON_API int32_t CRYPT_Encrypt(SeedCbcContext* context, const BINSTR* plaintext, BINSTR* ciphertext);
/* Decrypts and unpads the whole ciphertext, from the stored IV; -75 for a malformed ciphertext. */
QUILLON_API int32_t CRYPT_Decrypt(SeedCbcContext* context, const BINSTR* ciphertext, BINSTR* plaintext);

/* ---- PKCS#7 enveloped data (code shape) ---- */

/* Encrypts `data` for the holder of `certificate` (DER, read within its length): a fresh SEED
   key and IV, SEED-CBC with block padding, the key RSA-encrypted (PKCS#1 v1.5) to the
   certificate's public key, as a DER EnvelopedData (version 0, one recipient naming the
   certificate's issuer and serial exactly as the certificate encodes them). mode 1 wraps it in
   a pkcs7-envelopedData ContentInfo; any other mode returns the EnvelopedData alone. `output`
   receives a new copy (its old bytes are released; BINSTR_Delete it). An empty data record is
   empty data. 1; -11 null record (or data NULL with a length); -50 not a certificate; -72
   random generation failed; -78 the key encryption failed (also a key that is not RSA); -79
   content encryption failed; -52 encoding failed; -71. */
QUILLON_API int32_t PKCS7_EncryptData(int32_t mode, const BINSTR* certificate, const BINSTR* data, BINSTR* output);
/* Opens enveloped data addressed to `certificate` with its DER PrivateKeyInfo `plain` (as
   PRIKEY_Decrypt gives it): `enveloped` is a DER EnvelopedData, bare or in a ContentInfo, as
   PKCS7_EncryptData or any CMS peer writes it. The recipient is found by issuer and serial
   (compared byte for byte) or by subject key identifier; key transport RSA PKCS#1 v1.5 or
   RSAES-OAEP (SHA-1, -224, -256, -384 or -512 with MGF1, empty label); content SEED-CBC,
   ARIA-128/192/256-CBC, AES-128/192/256-CBC or DES-EDE3-CBC. A wrong key and a changed envelope
   give the same code after the same work: the padding of the RSA block is never reported. The
   format has no integrity check: a changed ciphertext can open to other bytes (sign the content
   as well when that matters). Checks in this order: -11 if an argument is NULL (or has a length
   without bytes); -50 the certificate does not decode; -12 plain is not a PrivateKeyInfo of
   rsaEncryption with all nine numbers; -51 not EnvelopedData, detached content, or an algorithm
   above not supported; -58 no recipient names the certificate; -75 decryption failed; -72; -71.
   output (old bytes released; release with BINSTR_Delete) is written only on success. */
QUILLON_API int32_t PKCS7_DecryptData(const BINSTR* plain, const BINSTR* certificate, const BINSTR* enveloped,
                                      BINSTR* output);
/* Flags of PKCS7_SignData: leave the content out (a detached signature); sign the content itself
   without signed attributes; return the SignedData alone instead of a ContentInfo. */
#define QC_PKCS7_DETACHED 1
#define QC_PKCS7_NO_ATTRIBUTES 2
#define QC_PKCS7_BARE 4
/* Signs `data` as a DER SignedData (version 1) with the DER certificate and its DER
   PrivateKeyInfo `plain`: one SignerInfo naming the signer by the certificate's issuer and
   serial exactly as the certificate encodes them, the certificate included, digest parameters
   absent, signed attributes contentType (pkcs7-data), signingTime (now, UTC) and messageDigest
   unless QC_PKCS7_NO_ATTRIBUTES; the signature under `algorithm` (a QC_SIGN_* number: the
   SignerInfo names rsaEncryption, or RSASSA-PSS with its parameters). Checks in this order: -11
   if certificate, plain, data or output is NULL (or data has a length without bytes) or flags has
   other bits; -51 an algorithm other than the QC_SIGN_* numbers; -50 the certificate does not
   decode; -12 plain is not an RSA PrivateKeyInfo with all nine numbers (or its modulus is too short
   for the algorithm); -14 the key does not belong to the certificate; -72; -71. output (old bytes
   released; release with BINSTR_Delete) is written only on success. */
QUILLON_API int32_t PKCS7_SignData(int32_t flags, const BINSTR* certificate, const BINSTR* plain, int32_t algorithm,
                                   const BINSTR* data, BINSTR* output);
/* Verifies a DER SignedData, bare or in a ContentInfo: every SignerInfo (named by issuer and
   serial, or by subject key identifier) against the certificate the SignedData carries for it;
   digest SHA-1, -224, -256, -384 or -512 (parameters absent or NULL); signature rsaEncryption or a
   sha*WithRSAEncryption identifier of the same hash, or RSASSA-PSS with its parameters. With
   signed attributes, contentType must name the content's type and messageDigest hold its digest,
   and the signature is over the attributes; without, over the content. The content is the one
   inside, or `detached` (may be NULL) when there is none; when both are there they must be
   equal. On success content_out gets the content and signer_out the first signer's certificate
   (DER), each when not NULL (old bytes released; release with BINSTR_Delete). Only signatures
   are checked: the certificates' paths, validity and revocation are not. 1; -11 signed_data NULL
   (or a record with a length without bytes); -51 not SignedData, no content, or an algorithm or
   form not supported; -59 no certificate for a signer; -56 a signature or digest does not match
   (or the detached content differs from the one inside); -71. */
QUILLON_API int32_t PKCS7_VerifyData(const BINSTR* signed_data, const BINSTR* detached, BINSTR* content_out,
                                     BINSTR* signer_out);

/* ---- Random bytes (count shape) ---- */

/* Fills output with count random bytes; 1, or 0 on failure (null output, negative count). */
QUILLON_API int32_t GetRandomByte(unsigned char* output, int32_t count);

/* ---- Session keys and keyboard input ---- */

/* RSA private key made by GenKeyPairNGenCert; DecryptSessionKey releases it. */
typedef struct RsaKey RsaKey;

/* Largest session key OAEP (SHA-1) can carry under a 2048-bit key: the size of `out` below. */
#define QC_SESSION_KEY_MAX 214

/* RSA-OAEP (SHA-1, MGF1-SHA-1, empty label) decryption of `length` bytes with `key`. The
   session key goes to `out` (room for QC_SESSION_KEY_MAX bytes) only on success; its length
   is not returned. 1, or 0 (null argument, failed decryption). The key is released on every
   path, a null `encrypted` or `out` included: never use the handle again. (count shape) */
QUILLON_API int32_t DecryptSessionKey(RsaKey* key, const unsigned char* encrypted, uint32_t length,
                                      unsigned char* out);
/* As DecryptSessionKey with the key given as bare Base64 text (LF or CR LF line breaks, no
   PEM header lines) of an EncryptedPrivateKeyInfo and its zero-terminated password. 1; 0 for
   a null argument, text that is not Base64, or a failed decryption; PRIKEY_Decrypt's codes
   (-13 empty or wrong password, -51, -52) and -12 for a key that is not RSA. */
QUILLON_API int32_t DecryptSessionKeyWithPEMKey(const char* key_text, uint32_t key_text_length, const char* password,
                                                const unsigned char* encrypted, uint32_t length, unsigned char* out);
/* Keyboard input: each of the `count` records holds one SEED-CBC message (block padding,
   from the IV afresh) of one keystroke. out[i] receives message i's first byte (an empty
   message leaves it alone), written only when every message decrypts. 16 bytes are used
   from key and IV. 1; -11 for a null argument, a key or IV record shorter than 16 bytes, or
   count < 1; -75 when a message does not decrypt (out untouched); -71. (code shape) */
QUILLON_API int32_t DecodeCertKeyboard(const BINSTR* blocks, int32_t count, const BINSTR* key, const BINSTR* iv,
                                       unsigned char* out);
/* As DecodeCertKeyboard with the 16-byte key followed by the 16-byte IV in `key_and_iv`
   (32 bytes) and `count` consecutive 16-byte blocks (messages of 1 to 15 bytes). The third
   argument is not read. 1, -11, -75, -71. */
QUILLON_API int32_t DecryptCBCKeyWithSessionKey(const unsigned char* key_and_iv, const unsigned char* blocks,
                                                int32_t unused, unsigned char* out, int32_t count);

/* ---- Key pair in a certificate template (count shape) ---- */

/* Bytes of pem_out for a template of L bytes: the two marker lines (27 + 25), the Base64 text
   (76-character lines joined by LF) and the terminating zero. */
#define QC_KEYPAIR_PEM_SIZE(L) (53u + ((L) + 2u) / 3u * 4u + (((L) + 2u) / 3u * 4u + 75u) / 76u - 1u)
/* Enough for any template up to 2,048 bytes. */
#define QC_KEYPAIR_PEM_SIZE_2048 2820

/* Generates a 2048-bit RSA key with e = 3, writes its modulus over bytes 304..559 of the DER
   certificate template (in place; every other byte, the signature included, is kept) and the
   patched template as "-----BEGIN CERTIFICATE-----<Base64>-----END CERTIFICATE-----" into
   pem_out (at most QC_KEYPAIR_PEM_SIZE(template_length) bytes, zero-terminated). Returns the
   text's length and the key in *key_out, for DecryptSessionKey. 0 on failure, with *key_out
   null and the template unchanged: a null argument, or a template shorter than 560 bytes or
   whose subjectPublicKeyInfo is not an rsaEncryption key with a 2048-bit modulus whose
   leading zero octet is byte 303 and the public exponent 3; failed generation or encoding. */
QUILLON_API int32_t GenKeyPairNGenCert(RsaKey** key_out, unsigned char* cert_template, uint32_t template_length,
                                       char* pem_out);

/* ---- Certificates (code shape). Texts are NUL-terminated, Korean values in EUC-KR. ---- */

/* Decoded certificate, from CERT_Load until CERT_Unload. */
typedef struct X509Cert X509Cert;

/* Decodes the DER certificate in `der` (read within der->length) into a new *out. */
QUILLON_API int32_t CERT_Load(X509Cert** out, const BINSTR* der);
/* Releases a certificate from CERT_Load; it must not be used again. */
QUILLON_API int32_t CERT_Unload(X509Cert* cert);
/* Version as encoded: 2 for an X.509 v3 certificate. */
QUILLON_API int32_t CERT_GetVersion(X509Cert* cert, uint32_t* version);
/* Serial number in upper-case hex. */
QUILLON_API int32_t CERT_GetSerialNum(X509Cert* cert, int32_t size, char* buffer);
/* Long name of the signature algorithm, "undefined" when not in the library's table. */
QUILLON_API int32_t CERT_GetSignatureAlgorithm(X509Cert* cert, int32_t size, char* buffer);
/* Subject as CN=...,OU=...,O=...,C=... (last RDN first); -10 when it does not fit or a
 * value holds a character outside KS X 1001. */
QUILLON_API int32_t CERT_GetSubjectName(X509Cert* cert, int32_t size, char* buffer);
/* Issuer, same form as the subject. */
QUILLON_API int32_t CERT_GetIssuerName(X509Cert* cert, int32_t size, char* buffer);
/* Validity as YYYY-MM-DD hh:mm:ss in Korean time (two-digit years 50-99 are 1950-1999);
 * each buffer must hold 20 bytes. */
QUILLON_API int32_t CERT_GetValidity(X509Cert* cert, char* not_before, char* not_after);
/* The subject name's DER exactly as the certificate holds it, into `out` (emptied first;
 * release with BINSTR_Delete); -71 when memory runs out. */
QUILLON_API int32_t CERT_GetSubjectName_DERFormat(X509Cert* cert, BINSTR* out);
/* Key algorithm name (14 bytes suffice) and key text n=..,e=.. or p=..,q=..,g=..,y=.. */
QUILLON_API int32_t CERT_GetPubKey(X509Cert* cert, int32_t size, char* algorithm, char* key_text);
/* Signature bits in upper-case hex; size must be at least 2 x bytes + 1. */
QUILLON_API int32_t CERT_GetSignature(X509Cert* cert, int32_t size, char* buffer);

/*
 * Extension queries. Each renders the FIRST extension of its type (the critical flag is not
 * looked at), decoded afresh from the certificate on every call, as NUL-terminated text in the
 * caller's buffer of `size` bytes; nothing is ever written at or past buffer[size]. Checks and
 * results, in this order:
 *   -11  null handle, a handle without a decoded certificate, or a null buffer;
 *   -53  the certificate has no such extension (buffer untouched);
 *   -51  the extension is not of the expected shape (buffer untouched);
 *   -10  the text and its NUL do not fit in size bytes (the buffer may hold a partial text);
 *   -71  allocation failed;
 *    1   success.
 * Labels are as shown; \t is a tab, \n a line feed. Korean values are EUC-KR, and so are the
 * Korean labels, named here by their bytes:
 *   REAL      "real name"          BD C7 B8 ED
 *   HASHALG   "hash algorithm"     C7 D8 BD AC 20 BE CB B0 ED B8 AE C1 F2
 *   ISSUER    "certificate issuer" C0 CE C1 F5 BC AD 20 B9 DF B1 DE C0 DA
 *   DIRECTORY "directory address"  B5 F0 B7 BA C5 E4 B8 AE 20 C1 D6 BC D2
 */
/* "digitalSignature, nonRepudiation, ..., decipherOnly": the names of the set bits, ", "-separated. */
QUILLON_API int32_t CERT_GetKeyUsage(X509Cert* cert, int32_t size, char* buffer);
/* "CA : TRUE, PathLenConstraint : 0"; both cA and pathLenConstraint must be encoded (else -51);
   a path length beyond 32 bits prints -1. */
QUILLON_API int32_t CERT_GetBasicConstraints(X509Cert* cert, int32_t size, char* buffer);
/* Per policy n (from 1; one character, so the tenth is ':'), policies separated by "\n":
   "[n]Certificate Policy:\n\tPolicyIdentifier=<oid>", then per qualifier m
   "\n\t[n,m]Policy Qualifier Info:\n\t\t" and "Policy Qualifier CPS:<uri>" or
   "Policy Qualifier User Notice:<explicit text>" (BMP and UTF-8 texts in EUC-KR; a text with
   no EUC-KR form is left out). */
QUILLON_API int32_t CERT_GetCertPolicy(X509Cert* cert, int32_t size, char* buffer);
/* The policy OIDs joined by ","; a text that does not fit gives -51 (not -10). */
QUILLON_API int32_t CERT_GetCertPolicy_PolicyID(X509Cert* cert, int32_t size, char* buffer);
/* Short names of the purposes, ", "-separated; a purpose the library does not know is "UNDEF". */
QUILLON_API int32_t CERT_GetExtKeyUsage(X509Cert* cert, int32_t size, char* buffer);
/* Per e-mail name "E-MAIL:\n\t<address>\n"; per otherName "OtherName:\n", and for the Korean
   identification data (1.2.410.200004.10.1.1) "\tidentifyData:\n\t\t" REAL " = <real name>\n",
   then with a VID "\t\tVID:\n\t\t\t" HASHALG "=<hash long name>\n\t\t\tvirtualID=<hex>\n".
   Other names are checked and left out. A real name with no EUC-KR form is left empty. */
QUILLON_API int32_t CERT_GetSubjectAltName(X509Cert* cert, int32_t size, char* buffer);
/* "KeyID=<hex>\n", then with an issuer ISSUER ":\n" and for a directory name
   DIRECTORY ":\n\t<name as CERT_GetIssuerName>" (-51 if that name does not fit), then
   "\nCertificate SerialNumber=<hex>"; each part only when present. */
QUILLON_API int32_t CERT_GetAuthKeyID(X509Cert* cert, int32_t size, char* buffer);
/* The key identifier in upper-case hex; size must be at least 2 x bytes + 1. */
QUILLON_API int32_t CERT_GetSubKeyID(X509Cert* cert, int32_t size, char* buffer);
/* Per point k (from 1), points separated by "\n": "[k] CRL Distribution Point\n", then
   "\t Distribution Point Name:\n" with "\t\t Full Name:\n" and "\t\t\t<uri or directory name>"
   per name (no separator), or "\t\t nameRealativeToCRLIssuer:\n" and "\t\t\t<value>" per
   attribute; "\t Reason Flags:\n\t\t<the flag bytes as they are>"; "\t cRL Issuer:\n" and
   "\t\t<uri>" per URI. A directory name of more than 126 bytes is left out. */
QUILLON_API int32_t CERT_GetCRLDP(X509Cert* cert, int32_t size, char* buffer);
/* Every full-name URI of every point, in order, joined by "|\n". */
QUILLON_API int32_t CERT_GetCRLDP_URL(X509Cert* cert, int32_t size, char* buffer);

/* ---- Smart card (code shape) ----
 * Each call binds the platform's PC/SC library at run time, connects to the first reader
 * (shared, T=0), verifies the card's PIN, works on one slot and disconnects; nothing is kept
 * between calls. Slot 1 or 2. The PIN is a NUL-terminated text of exactly 8 characters; any
 * other length gives -103 before anything is sent to the card. When the card refuses the PIN
 * and reports the tries it still allows, they are stored through tries_left unless it is NULL.
 * Arguments are checked after the library is bound, so without PC/SC every call gives -100.
 * Codes: -100 PC/SC library, service, reader, card or release failure (a card that cannot be
 * released turns even a completed operation into -100); -102 transmission failed, the card
 * answered with less than a status word, or a write was refused; -103 PIN rejected; -104
 * master-file selection refused; -71 allocation failed. A certificate is stored as its 2-byte
 * length and its DER over 52-byte records (record number, 0x32, 50 bytes). */

/* Writes the DER certificate to the slot's certificate file. 0 if pin or certificate (or its
   data) is NULL; -11 for a slot other than 1 and 2 or a certificate of more than 12,698 bytes
   (the 254 records a file can number). Records past the new certificate keep their contents. */
QUILLON_API int32_t MEDIA_CARD_WriteCert(int32_t slot, const char* pin, const BINSTR* certificate,
                                         int32_t* tries_left);
/* Reads the slot's certificate into out (its old bytes released; release with BINSTR_Delete);
   out is written only on success. -11 if pin or out is NULL or the slot is not 1 or 2; -51 if
   the file holds no whole DER object or yields more than a 2-byte DER length allows. */
QUILLON_API int32_t MEDIA_CARD_ReadCert(int32_t slot, const char* pin, BINSTR* out, int32_t* tries_left);
/* Writes a private key to the slot: key holds a plain PKCS#8 PrivateKeyInfo (DER) whose first
   attribute is randomNum (1.2.410.200004.10.1.1.3) with a BIT STRING of at least 20 bytes. The
   first 20 go to the slot's random-number record; the key without its attributes goes to the
   key file as an EncryptedPrivateKeyInfo under password (pbeWithSHA1AndSEED-CBC for RSA,
   GPKIpbeWithSHA1AndSEED-CBC for KCDSA, 2,048 iterations, 8 random salt bytes). Nothing is
   written unless all of that succeeds. 0 if pin, password or key (or its data) is NULL; -11 for
   a slot other than 1 and 2; -51 the key is not a PrivateKeyInfo or lacks that randomNum; -12
   neither rsaEncryption nor KCDSA1; -13 encryption failed; -52 encoding failed. */
QUILLON_API int32_t MEDIA_CARD_WritePriKey(int32_t slot, const char* pin, const char* password, const BINSTR* key,
                                           int32_t* tries_left);
/* Reads the slot's private key and gives it in the form of a disk key file: the key file's
   EncryptedPrivateKeyInfo is decrypted with password, the slot's random number (when its record
   holds one) is added back as the randomNum attribute, and the key is encrypted again as by
   PRIKEY_Encrypt (new salt). out (old bytes released; release with BINSTR_Delete) is written
   only on success. -11 if pin, password or out is NULL or the slot is not 1 or 2; -51 the card
   holds no EncryptedPrivateKeyInfo of a readable scheme; -13 the password does not decrypt it;
   -52 re-encoding failed; the codes of PRIKEY_Encrypt. */
QUILLON_API int32_t MEDIA_CARD_ReadPriKey(int32_t slot, const char* pin, const char* password, BINSTR* out,
                                          int32_t* tries_left);

/* ---- Private keys and disk media (code shape) ----
   Keys are PKCS#8: an EncryptedPrivateKeyInfo under pbeWithSHA1AndSEED-CBC
   (1.2.410.200004.1.15), SEED-CBC with the fixed IV (1.2.410.200004.1.4), the PKCS#12-derived
   SEED-CBC (1.2.410.200004.1.4.2), PBES2 with PBKDF2 (PRF HMAC-SHA1, -SHA224, -SHA256, -SHA384
   or -SHA512) and SEED-CBC, ARIA-128/192/256-CBC (1.2.410.200046.1.1.2/.7/.12, and
   1.2.410.100001.1.20 for ARIA-128), AES-128/192/256-CBC or DES-EDE3-CBC (a keyLength, where
   present, must be the cipher's key size), or the PKCS#12 schemes pbeWithSHAAnd3-KeyTripleDES-CBC
   (1.2.840.113549.1.12.1.3), pbeWithSHAAnd128BitRC2-CBC (.5) and pbeWithSHAAnd40BitRC2-CBC (.6),
   whose derivation takes the password as a BMPString closed by 00 00: valid UTF-8 as UTF-16,
   any other bytes widened one by one (00 b), as other writers of these schemes do;
   plain keys are a PrivateKeyInfo for rsaEncryption or KCDSA1. Passwords are NUL-terminated
   bytes. Iteration counts above 4,000,000 are refused as a failed decryption (-13). Output
   records are replaced (old bytes released) only once the work has succeeded; on -52 they are
   left empty. Release outputs with BINSTR_Delete. Paths name regular files; a missing path,
   a directory or other non-regular file, an empty file, or one that changes size while read
   gives -54. On Windows a path that is valid UTF-8 is taken as UTF-8 (the form
   MEDIA_DISK_FindCertificates reports), any other as the ANSI code page. */

/* Reads the whole file into `out`, which is emptied first on every path: 1, -11, -54. */
QUILLON_API int32_t MEDIA_DISK_ReadCert(const char* path, BINSTR* out);
/* Reads a key file and decrypts it as PRIKEY_Decrypt does: its codes, or -11, -54 (the file
   is read before the password is examined). */
QUILLON_API int32_t MEDIA_DISK_ReadPriKey(const char* path, const char* password, BINSTR* out);
/* Which cipher protects a key file, without decrypting or checking the password: 0 for
   schemes 1.2.410.200004.1.15 and .1.4, 89 for .1.4.2, 113, 114 and 115 for the PKCS#12
   schemes 3-key 3DES, 128-bit RC2 and 40-bit RC2, and for PBES2 the cipher's number: 70
   SEED-CBC, 92 ARIA-128-CBC (either identifier), 109/110/111 AES-128/192/256-CBC, 112
   DES-EDE3-CBC, 117/118 ARIA-192/256-CBC, 0 any other. -11; -54; -13 for an empty password; -51
   when the file is not an accepted EncryptedPrivateKeyInfo or is PBES2 with another derivation,
   PRF or keyLength. */
QUILLON_API int32_t MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index(const char* path, const char* password);

/* Certificate and key pairs on disk: <root>/<CA folder>/USER/<subject folder>/signCert.der with
   signPri.key beside it, the names USER, signCert.der and signPri.key matched without regard to
   ASCII case (of several spellings of one file in a folder, the first in byte order). A folder
   without both files is passed over, as are a root, folder or certificate file that cannot be
   read, a certificate that does not decode (one over 64 KiB included), and a link or junction
   that leads nowhere or outside its root (the root itself may be a link); the layout's fixed
   depth keeps a link loop from recursing. The same files reached twice (two roots, a link inside
   a root) are listed once, under the first path. Entries are sorted by cert_path (byte order).
   Every text is NUL-terminated and never NULL. Paths are the root as given followed by the names
   found, joined by the platform's separator: UTF-8 on Windows; elsewhere the file names' own
   bytes (UTF-8 on any current system). */
typedef struct NpkiEntry {
    char* cert_path;      /* the signCert.der file */
    char* key_path;       /* the signPri.key file */
    char* subject;        /* as CERT_GetSubjectName renders it (EUC-KR); "" when it cannot (-10) */
    char* issuer;         /* as CERT_GetIssuerName */
    char* serial;         /* as CERT_GetSerialNum */
    char* not_before;     /* as CERT_GetValidity (Korean time) */
    char* not_after;
    int32_t expired;      /* 1 when the time of the call is past not_after, else 0; expired pairs are listed */
    int32_t vid;          /* 1 the certificate carries a VID (CERT_GetVID gives 1), 0 none (-53), -1 malformed (-51) */
    int32_t key_cipher;   /* as MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index reports for the key file (no
                             password needed); -54 the key file cannot be read or exceeds 64 KiB; -51
                             it is not an accepted EncryptedPrivateKeyInfo (a plain key included) */
    char* key_scheme;     /* the scheme's long name in the object table, e.g. "pbeWithSHA1AndSEED-CBC",
                             "PBES2"; "" for a plain PrivateKeyInfo or a key_cipher below 0 */
    int32_t key_plain;    /* 1 the key file holds a plain (unencrypted) PrivateKeyInfo, else 0 */
    int32_t random_num;   /* 1 the key carries a randomNum PRIKEY_GetRandomNum reads, 0 it does not, -1
                             cannot tell without the password: the key is encrypted (or unread) and the
                             attribute lies inside. The certificate's VID is no proof either way. */
} NpkiEntry;
typedef struct NpkiList {
    uint32_t count;       /* entries */
    int32_t truncated;    /* 1 when a bound stopped the search: more pairs may exist */
    NpkiEntry* entries;   /* count records, NULL when count is 0 */
} NpkiList;
/* Bounds of one search: entries read from one folder, entries read in all, pairs listed. */
#define QC_NPKI_FOLDER_ENTRY_MAX 10000
#define QC_NPKI_ENTRY_BUDGET 200000
#define QC_NPKI_PAIR_MAX 10000
/* Finds the pairs under `root_count` roots (UTF-8 paths), or, when root_count is 0 (roots not
   read), under the platform's NPKI folders: on Windows %USERPROFILE%\AppData\LocalLow\NPKI,
   %ProgramFiles%\NPKI, %ProgramFiles(x86)%\NPKI and NPKI at the root of every removable drive;
   on macOS ~/Library/Preferences/NPKI, ~/Documents/NPKI and ~/NPKI; elsewhere ~/NPKI ($HOME).
   A missing root is passed over silently. No password is asked for and nothing is decrypted.
   Checks in this order: -11 if out is NULL, root_count is negative, or roots is NULL (or holds
   a NULL) with root_count above 0; -71 (nothing is kept, and nothing partial is reported). An
   empty result is success. *out is written only on success; release the list with
   MEDIA_DISK_FreeCertificates. */
QUILLON_API int32_t MEDIA_DISK_FindCertificates(const char* const* roots, int32_t root_count, NpkiList** out);
/* Releases a list from MEDIA_DISK_FindCertificates with all it holds: 1, or -11 for NULL. */
QUILLON_API int32_t MEDIA_DISK_FreeCertificates(NpkiList* list);

/* Decrypts an EncryptedPrivateKeyInfo into `out` as DER PrivateKeyInfo (the library's own
   encoding: version 0, NULL parameters for RSA). -11 for a null argument; -13 for an empty
   password, a wrong password, damaged data (an RSA or KCDSA key that does not decode
   included) or a count above the cap; -12 when the password is right but the key inside is a
   well-formed PrivateKeyInfo of another algorithm (an EC key, say); -51 for input that is not
   an EncryptedPrivateKeyInfo under an accepted scheme (including PBES2 with another key
   derivation, PRF, keyLength, cipher or IV size); -52 when encoding the result fails. */
QUILLON_API int32_t PRIKEY_Decrypt(const char* password, const BINSTR* encrypted, BINSTR* out);
/* Encrypts a DER PrivateKeyInfo into `out` as an EncryptedPrivateKeyInfo: RSA keys under
   1.2.410.200004.1.15, KCDSA keys under 1.2.410.200004.1.4.2, 8 random salt bytes, 2,048
   iterations. -11; -12 when the input is not a PrivateKeyInfo of rsaEncryption (with all nine
   numbers) or KCDSA1; -15 when encryption fails (an empty password included); -52. */
QUILLON_API int32_t PRIKEY_Encrypt(const char* password, const BINSTR* plain, BINSTR* out);
/* PRF and cipher numbers of PRIKEY_EncryptPbes2. The PRFs are HMAC over the named hash; the
   cipher numbers are those MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index reports for the files
   written (ARIA-128-CBC is written under its standard identifier 1.2.410.200046.1.1.2). */
#define QC_PRF_HMAC_SHA1 59
#define QC_PRF_HMAC_SHA224 105
#define QC_PRF_HMAC_SHA256 106
#define QC_PRF_HMAC_SHA384 107
#define QC_PRF_HMAC_SHA512 108
#define QC_CIPHER_SEED_CBC 70
#define QC_CIPHER_ARIA128_CBC 92
#define QC_CIPHER_AES128_CBC 109
#define QC_CIPHER_AES192_CBC 110
#define QC_CIPHER_AES256_CBC 111
#define QC_CIPHER_ARIA192_CBC 117
#define QC_CIPHER_ARIA256_CBC 118
#define QC_PBES2_MAX_ITERATIONS 4000000
/* Encrypts a DER PrivateKeyInfo into `out` as an EncryptedPrivateKeyInfo under PBES2: PBKDF2
   with the PRF (the prf field left out for HMAC-SHA1, its default), 16 random salt bytes,
   `iterations`, and the cipher with a random IV; no keyLength field. The caller's DER element
   is encrypted exactly as given (attributes such as randomNum and their order kept; bytes after
   the element ignored). Checks in this order: -11 if password, plain or out is NULL; -11 for a
   prf or cipher other than the QC_PRF_* and QC_CIPHER_* numbers above or iterations outside
   1..QC_PBES2_MAX_ITERATIONS; -12 when plain (or its data) is not a PrivateKeyInfo of
   rsaEncryption (with all nine numbers) or KCDSA1; -15 when encryption fails (an empty
   password included); -52; -71. out (old bytes released; release with BINSTR_Delete) is
   written only on success. */
QUILLON_API int32_t PRIKEY_EncryptPbes2(const char* password, const BINSTR* plain, int32_t prf, int32_t cipher,
                                        int32_t iterations, BINSTR* out);
/* Checks that a DER PrivateKeyInfo belongs to a DER certificate: same algorithm, and equal
   n and e (RSA) or equal p, q, g and y (KCDSA, y computed from the private x). 1 when it
   does, -14 when not, -11, -12 when either cannot be decoded. */
QUILLON_API int32_t PRIKEY_CheckKeyPair(const BINSTR* certificate, const BINSTR* plain);

/* Signatures. Algorithm numbers for PRIKEY_Sign and CERT_VerifyData: RSA PKCS#1 v1.5 with
   the named hash (the digest in a DigestInfo with NULL parameters), and RSASSA-PSS with SHA-256,
   MGF1-SHA-256 and a 32-byte salt (trailer field 1). Data is hashed inside; a signature is
   exactly as long as the modulus. */
#define QC_SIGN_RSA_SHA1 30
#define QC_SIGN_RSA_SHA224 97
#define QC_SIGN_RSA_SHA256 98
#define QC_SIGN_RSA_SHA384 99
#define QC_SIGN_RSA_SHA512 100
#define QC_SIGN_RSA_PSS_SHA256 101
/* Signs `data` (NULL with length 0 signs the empty message) with a DER PrivateKeyInfo such as
   PRIKEY_Decrypt gives. The private operation is blinded and constant-time; PSS draws a fresh
   salt. Checks in this order: -11 if plain, data or signature is NULL or data has a length
   without bytes; -51 for an algorithm other than the QC_SIGN_* numbers; -12 when plain is not
   a PrivateKeyInfo of rsaEncryption with all nine numbers, or its modulus is too short for the
   algorithm (PKCS#1 v1.5 needs the DigestInfo plus 11 bytes, PSS the hash and salt plus 2);
   -72; -71. signature (old bytes released; release with BINSTR_Delete) is written only on
   success. */
QUILLON_API int32_t PRIKEY_Sign(const BINSTR* plain, int32_t algorithm, const BINSTR* data, BINSTR* signature);
/* Checks a signature over `data` with the certificate's public key: 1 when it verifies, -56 when
   it does not (a signature of another length than the modulus, or at or above it, included).
   PKCS#1 v1.5 signatures are checked by building the expected block whole and comparing it, so
   nothing the signature decrypts to is parsed. -11 for a null handle, data or signature (or a
   length without bytes); -51 for an algorithm other than the QC_SIGN_* numbers or a
   certificate whose key is not RSA; -71. */
QUILLON_API int32_t CERT_VerifyData(X509Cert* cert, int32_t algorithm, const BINSTR* data, const BINSTR* signature);
/* Checks that `issuer`'s key made `cert`'s signature: 1, or -56 when it does not, when the
   algorithm inside the signed part differs from the outer one, or when the signature BIT STRING
   has unused bits. Algorithms: sha1/sha224/sha256/sha384/sha512WithRSAEncryption (parameters
   NULL or absent) and RSASSA-PSS with its parameters (any hash above, MGF1, trailer field 1);
   -51 for any other, or an issuer key that is not RSA. -11 for a null handle; -71. Only the
   signature is checked: names, validity, constraints and revocation are not. */
QUILLON_API int32_t CERT_VerifyIssuedBy(X509Cert* cert, X509Cert* issuer);

/* ---- Trust store (code shape unless stated) ----
   Trusted roots, untrusted intermediates and CRLs, against which a certificate is verified: a
   path is built from it to a trusted root through the pool (issuer candidates by authority and
   subject key identifier, then by name; names compared as RFC 5280 asks, byte for byte or after
   folding the case and spaces of PrintableString and UTF8String values), at most 10 issuers long,
   never through one certificate twice; each path that reaches a root is checked (the first that
   holds is the answer; when none does, the first one's failure) as RFC 5280 section 6.1 describes WITHOUT
   policy processing: every signature by the next key (the algorithms of CERT_VerifyIssuedBy),
   validity at the time (the root's too), name chaining, basicConstraints cA on every issuer (a v1
   self-signed root excepted), pathLenConstraint (self-issued certificates not counted), keyUsage
   keyCertSign where keyUsage is present, no unknown critical extension (nameConstraints, which is
   not enforced, counts as unknown). Certificate policies are NOT enforced: read them from the
   path's certificates with CERT_GetCertPolicy. CRLs (v1, v2) apply to the certificate whose issuer
   names them (and whose key matches their authority key identifier; an issuingDistributionPoint
   must name one of the certificate's distribution points): the signature by the issuer (cRLSign
   where keyUsage is present), thisUpdate and nextUpdate against the time, then the serial number.
   Delta CRLs, indirect CRLs and CRLs for some reasons only are not read: when only such a CRL
   applies the result is -70. A store is not safe to use from two threads at once. */
typedef struct TrustStore TrustStore;
#define QC_TRUST_REQUIRE_CRL 1      /* every certificate but the root must have an applicable CRL */
#define QC_TRUST_IGNORE_VALIDITY 2  /* no date is checked, of certificates or CRLs (archived signatures) */
/* New, empty store, or NULL when allocation fails. Release with TRUST_Free. */
QUILLON_API TrustStore* TRUST_Create(void);
/* Releases the store; NULL is ignored. */
QUILLON_API void TRUST_Free(TrustStore* store);
/* Adds trusted root certificates: DER (one certificate) or PEM (every CERTIFICATE block). 1;
   -11 store or cert NULL (or a length without bytes); -50 a certificate does not decode (nothing
   from this input is added); -71. */
QUILLON_API int32_t TRUST_AddTrusted(TrustStore* store, const BINSTR* cert);
/* Adds untrusted intermediates, as TRUST_AddTrusted. */
QUILLON_API int32_t TRUST_AddUntrusted(TrustStore* store, const BINSTR* cert);
/* Adds CRLs: DER (one) or PEM (every X509 CRL block). 1; -11; -51 a CRL does not decode
   (nothing from this input is added); -71. */
QUILLON_API int32_t TRUST_AddCrl(TrustStore* store, const BINSTR* crl);
/* Adds every regular file of the folder (not its subfolders) that holds certificates, DER or PEM,
   as trusted roots; files that hold none are skipped. The number added (0 or more); -11 store or
   path NULL; -54 the folder cannot be read; -71. */
QUILLON_API int32_t TRUST_AddFolder(TrustStore* store, const char* path);
/* Verifies the DER certificate at `at` (seconds since 1970-01-01 UTC; 0 now) under QC_TRUST_*
   flags. 1 when a path to a trusted root is found and holds; otherwise the first failure: -60,
   -61, -62, -63, -64, -65, -66, -67, -68, -69, -70 as described above; -51 when the only issuers
   found sign with an algorithm or key CERT_VerifyIssuedBy does not verify (KCDSA); -11 store or
   cert NULL (or a length without bytes) or other flag bits; -50 the certificate does not decode;
   -71. The path
   (as far as it was built: the certificate alone when no issuer was found) and the revocation
   reason stay readable until the next TRUST_Verify on the store. */
QUILLON_API int32_t TRUST_Verify(TrustStore* store, const BINSTR* cert, int64_t at, uint32_t flags);
/* The number of certificates in the last path (count shape: 0 for a NULL store or none yet). */
QUILLON_API int32_t TRUST_GetPathLength(TrustStore* store);
/* The DER of the last path's certificate at `index`: 0 the verified certificate, upwards to the
   root. 1; -11 store or der NULL; -10 index outside the path; -71. der (old bytes released;
   release with BINSTR_Delete) is written only on success. */
QUILLON_API int32_t TRUST_GetPathCert(TrustStore* store, int32_t index, BINSTR* der);
/* The CRLReason (0-10, 0 also when the entry gives none) of the revocation the last TRUST_Verify
   found, or -1 when it found none or store is NULL. */
QUILLON_API int32_t TRUST_GetRevocationReason(TrustStore* store);
/* PKCS7_VerifyData, then each signer's certificate verified in `store` as TRUST_Verify does (at,
   flags), with the certificates the SignedData carries lent to the store as untrusted
   intermediates for this call only. 1; every code of PKCS7_VerifyData first (-11 also for a NULL
   store or other flag bits); then TRUST_Verify's code for the first signer whose path fails, its
   path readable from the store. content_out and signer_out as PKCS7_VerifyData, written only on
   success. */
QUILLON_API int32_t PKCS7_VerifyDataWithStore(const BINSTR* signed_data, const BINSTR* detached, TrustStore* store,
                                              int64_t at, uint32_t flags, BINSTR* content_out, BINSTR* signer_out);

/* Identity check. A Korean personal certificate names its holder by a virtual identifier (VID) in
   the identification data of its subjectAltName (otherName 1.2.410.200004.10.1.1: realName and a
   userInfo of type 1.2.410.200004.10.1.1.1 holding { hashAlg, [0] virtualID }), where
     virtualID = H(H(DER(SEQUENCE { idn PrintableString, randomNum BIT STRING })))
   with idn the holder's identity number and randomNum the random number kept beside the private
   key (the attribute 1.2.410.200004.10.1.1.3 of its PrivateKeyInfo). Only the first
   subjectAltName is read, and in it only the first userInfo of each identification data. */
#define QC_VID_IDN_MAX 64
#define QC_VID_RANDOM_MAX 1024
/* The randomNum of a DER PrivateKeyInfo (rsaEncryption or KCDSA1) such as PRIKEY_Decrypt gives:
   the bytes of its BIT STRING after the unused-bits octet. -11 if plain or out is NULL or plain
   has a length without bytes; -12 plain is not such a PrivateKeyInfo; -53 it has no randomNum
   attribute; -51 the attribute is there twice, or its value is not one BIT STRING of at least
   one byte with no unused bits; -71. out (old bytes released; release with BINSTR_Delete) is
   written only on success. */
QUILLON_API int32_t PRIKEY_GetRandomNum(const BINSTR* plain, BINSTR* out);
/* The certificate's VID: the object-table number of its hash (29 SHA-1, 94 SHA-256, 93/95/96
   SHA-224/384/512, 0 for a hash the table does not hold) in *hash_nid and the virtualID bytes in
   vid (old bytes released; release with BINSTR_Delete), both written only on success. -11 for a
   null handle, hash_nid or vid; -53 no subjectAltName, or no identification data with a VID
   (a real name alone, or a userInfo of another type); -51 the subjectAltName does not decode
   (a VID without its virtualID included), or it carries two VIDs; -71. */
QUILLON_API int32_t CERT_GetVID(X509Cert* cert, int32_t* hash_nid, BINSTR* vid);
/* Checks an identity number against the certificate's VID with the key's randomNum (as
   PRIKEY_GetRandomNum gives it): 1 when H(H(...)) above equals the virtualID, -57 when it does
   not (a virtualID of another length included). idn is NUL-terminated ASCII digits exactly as
   the VID was made from them: 1 to QC_VID_IDN_MAX digits, nothing else, so a number written with
   a hyphen or a space is refused rather than cleaned. The hash must be SHA-1 or SHA-256. Checks
   in this order: -11 for a null handle, idn or random_num (or a length without bytes), an idn
   that is not all digits, or a random_num of 0 or more than QC_VID_RANDOM_MAX bytes; -53 and -51
   as CERT_GetVID, and -51 for another hash; -57; -71. The comparison is constant-time; the
   library keeps no copy of the number, and wipes everything it derives from it. */
QUILLON_API int32_t CERT_CheckVID(X509Cert* cert, const char* idn, const BINSTR* random_num);

/* PFX (PKCS#12) files under a password: the form in which browsers and operating systems export
   and import a certificate with its private key. */
#define QC_PFX_LEGACY 1
/* Reads a PFX with its password into the certificate (DER) and the plain key (a PrivateKeyInfo
   in the library's encoding, as PRIKEY_Decrypt gives). The MAC is checked first, before anything
   is decrypted: HMAC under the PKCS#12 derivation with SHA-1, -224, -256, -384 or -512 (at most
   QC_PBES2_MAX_ITERATIONS), or PBMAC1 (PBKDF2 with an HMAC PRF; HMAC with any of those hashes).
   A MAC that does not match means a wrong password or a changed file, which cannot be told
   apart: both give -13, before any other work. Safe contents plain or encrypted; key bags plain
   or shrouded under any scheme PRIKEY_Decrypt reads (the PKCS#12 3DES and RC2 schemes, the SEED
   schemes, PBES2); certificate bags holding X.509 certificates, several allowed. The first key
   in the file is taken, with the certificate whose localKeyID equals the key's and whose public
   key is the key's, else the first certificate whose public key is. A randomNum carried as an
   attribute of the key bag is added to a key that has none; one inside the key is kept as it
   is. The password is UTF-8 (passed to the PKCS#12 derivation as UTF-16) or other bytes
   (widened one by one); a file without a MAC, with a public-key integrity mode, or in BER with
   indefinite lengths is not read. Checks in this order: -11 if password, pfx, certificate or
   key is NULL (or pfx has a length without bytes); -51 the input is not a version-3 PFX with a
   password MAC this library reads; -13 an empty password, a MAC that does not match, or a bag
   that does not decrypt under the password; -51 a bag, scheme or structure inside that is not
   read, more than 16 ContentInfos or 64 bags, no key or no certificate; -12 the key is not
   rsaEncryption or KCDSA1 or does not decode; -14 no certificate in the file belongs to the
   key; -52; -71. certificate and key (old bytes released; release with BINSTR_Delete) are
   written only on success, never one without the other. */
QUILLON_API int32_t PFX_Import(const char* password, const BINSTR* pfx, BINSTR* certificate, BINSTR* key);
/* Writes a DER certificate and its plain key (a PrivateKeyInfo, encrypted exactly as given, so
   attributes such as randomNum are kept) as a PFX under password. Both bags carry localKeyID
   = SHA-1 of the certificate; every derivation uses 2,048 iterations and a fresh salt. By
   default: the key shrouded under PBES2 (PBKDF2 with HMAC-SHA256, AES-256-CBC), the certificate
   in safe contents encrypted the same way, and an HMAC-SHA256 MAC. With QC_PFX_LEGACY, for
   older consumers: pbeWithSHAAnd3-KeyTripleDES-CBC for the key, pbeWithSHAAnd40BitRC2-CBC for
   the certificate, an HMAC-SHA1 MAC. Checks in this order: -11 if password, certificate, key or
   pfx is NULL, or flags holds anything but QC_PFX_LEGACY; -12 certificate or key (or its data)
   does not decode, or the key is not rsaEncryption or KCDSA1; -14 the key does not belong to
   the certificate; -15 an empty password, or encryption failed; -72; -52; -71. pfx (old bytes
   released; release with BINSTR_Delete) is written only on success. */
QUILLON_API int32_t PFX_Export(const char* password, const BINSTR* certificate, const BINSTR* key, int32_t flags,
                               BINSTR* pfx);

#ifdef __cplusplus
}
#endif

#endif /* QUILLONCRYPTO_H */
