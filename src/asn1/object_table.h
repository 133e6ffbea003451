// The built-in object identifier table: every algorithm, attribute, extension and content
// type the library knows is named by its row number, the NID.
#pragma once

#include <cstddef>
#include <cstdint>

#include "asn1/asn_value.h"

namespace quillon {

struct ObjectRow {
    const char* short_name;
    const char* long_name;
    const char* oid;  // dotted decimal; empty for the placeholder row
};

inline constexpr int kObjectCount = 123;

// NID 0 is both the undefined row and the answer for an identifier that is not in the table.
inline constexpr int NID_UNDEF = 0;
inline constexpr int NID_RC4 = 1;
inline constexpr int NID_RSA_ENCRYPTION = 2;
inline constexpr int NID_X509_ARC = 3;  // "X509": the arc of the directory attribute types
inline constexpr int NID_CN = 4;
inline constexpr int NID_C = 5;
inline constexpr int NID_L = 6;
inline constexpr int NID_ST = 7;
inline constexpr int NID_O = 8;
inline constexpr int NID_OU = 9;
inline constexpr int NID_RSA = 10;
inline constexpr int NID_PKCS7 = 11;
inline constexpr int NID_PKCS7_DATA = 12;
inline constexpr int NID_PKCS7_SIGNED_DATA = 13;
inline constexpr int NID_PKCS7_ENVELOPED_DATA = 14;
inline constexpr int NID_PKCS7_SIGNED_AND_ENVELOPED_DATA = 15;
inline constexpr int NID_PKCS7_DIGEST_DATA = 16;
inline constexpr int NID_PKCS7_ENCRYPTED_DATA = 17;
inline constexpr int NID_SHA = 18;
inline constexpr int NID_RSA_SHA = 19;
inline constexpr int NID_EMAIL_ADDRESS = 20;
inline constexpr int NID_UNSTRUCTURED_NAME = 21;
inline constexpr int NID_CONTENT_TYPE = 22;
inline constexpr int NID_MESSAGE_DIGEST = 23;
inline constexpr int NID_SIGNING_TIME = 24;
inline constexpr int NID_COUNTERSIGNATURE = 25;
inline constexpr int NID_CHALLENGE_PASSWORD = 26;
inline constexpr int NID_UNSTRUCTURED_ADDRESS = 27;
inline constexpr int NID_EXTENDED_CERTIFICATE_ATTRIBUTES = 28;
inline constexpr int NID_SHA1 = 29;
inline constexpr int NID_RSA_SHA1 = 30;
inline constexpr int NID_SUBJECT_KEY_IDENTIFIER = 31;
inline constexpr int NID_KEY_USAGE = 32;
inline constexpr int NID_PRIVATE_KEY_USAGE_PERIOD = 33;
inline constexpr int NID_SUBJECT_ALT_NAME = 34;
inline constexpr int NID_ISSUER_ALT_NAME = 35;
inline constexpr int NID_BASIC_CONSTRAINTS = 36;
inline constexpr int NID_CRL_NUMBER = 37;
inline constexpr int NID_CERTIFICATE_POLICIES = 38;
inline constexpr int NID_AUTHORITY_KEY_IDENTIFIER = 39;
inline constexpr int NID_GN = 40;
inline constexpr int NID_SN = 41;
inline constexpr int NID_INITIALS = 42;
inline constexpr int NID_PLACEHOLDER = 43;
inline constexpr int NID_CRL_DISTRIBUTION_POINTS = 44;
inline constexpr int NID_SERIAL_NUMBER = 45;
inline constexpr int NID_TITLE = 46;
inline constexpr int NID_DESCRIPTION = 47;
inline constexpr int NID_EXTENDED_KEY_USAGE = 48;
inline constexpr int NID_KEY_BAG = 49;
inline constexpr int NID_PKCS8_SHROUDED_KEY_BAG = 50;
inline constexpr int NID_CERT_BAG = 51;
inline constexpr int NID_CRL_BAG = 52;
inline constexpr int NID_SECRET_BAG = 53;
inline constexpr int NID_SAFE_CONTENTS_BAG = 54;
inline constexpr int NID_FRIENDLY_NAME = 55;
inline constexpr int NID_LOCAL_KEY_ID = 56;
inline constexpr int NID_X509_CERTIFICATE = 57;
inline constexpr int NID_X509_CRL = 58;
inline constexpr int NID_HMAC_WITH_SHA1 = 59;
inline constexpr int NID_PKCS1 = 60;
inline constexpr int NID_PKCS5 = 61;
inline constexpr int NID_SUBJECT_DIRECTORY_ATTRIBUTES = 62;
inline constexpr int NID_ISSUING_DISTRIBUTION_POINT = 63;
inline constexpr int NID_CERTIFICATE_ISSUER = 64;
inline constexpr int NID_KOREA = 65;
inline constexpr int NID_KISA = 66;
inline constexpr int NID_KFTC = 67;
inline constexpr int NID_NPKI_ALG = 68;
inline constexpr int NID_SEED_ECB = 69;
inline constexpr int NID_SEED_CBC = 70;
inline constexpr int NID_SEED_OFB = 71;
inline constexpr int NID_SEED_CFB = 72;
inline constexpr int NID_PBE_WITH_SHA1_AND_SEED_CBC = 73;
inline constexpr int NID_KISA_IDENTIFY_DATA = 74;
inline constexpr int NID_KISA_IDENTIFY_DATA2 = 75;
inline constexpr int NID_VID = 76;
inline constexpr int NID_ENCRYPTED_VID = 77;
inline constexpr int NID_RANDOM_NUM = 78;
inline constexpr int NID_YESSIGN_CA = 79;
inline constexpr int NID_YESSIGN_CA_ATTRIBUTE = 80;
inline constexpr int NID_YESSIGN_EN_CERT4SSN = 81;
inline constexpr int NID_HMAC_SHA = 82;
inline constexpr int NID_ID_QT_CPS = 83;
inline constexpr int NID_ID_QT_UNOTICE = 84;
inline constexpr int NID_ID_KP_TIME_STAMPING = 85;
inline constexpr int NID_ID_KP_OCSP_SIGNING = 86;
inline constexpr int NID_ID_KISA_HSM = 87;
inline constexpr int NID_KCDSA1 = 88;
inline constexpr int NID_GPKI_PBE_WITH_SHA1_AND_SEED_CBC = 89;
inline constexpr int NID_PBES2 = 90;
inline constexpr int NID_PBKDF2 = 91;
inline constexpr int NID_OID_ARIA_CBC = 92;
inline constexpr int NID_SHA224 = 93;
inline constexpr int NID_SHA256 = 94;
inline constexpr int NID_SHA384 = 95;
inline constexpr int NID_SHA512 = 96;
inline constexpr int NID_SHA224_WITH_RSA_ENCRYPTION = 97;
inline constexpr int NID_SHA256_WITH_RSA_ENCRYPTION = 98;
inline constexpr int NID_SHA384_WITH_RSA_ENCRYPTION = 99;
inline constexpr int NID_SHA512_WITH_RSA_ENCRYPTION = 100;
inline constexpr int NID_RSASSA_PSS = 101;
inline constexpr int NID_ECDSA_WITH_SHA256 = 102;
inline constexpr int NID_ECDSA_WITH_SHA384 = 103;
inline constexpr int NID_ECDSA_WITH_SHA512 = 104;
inline constexpr int NID_HMAC_WITH_SHA224 = 105;
inline constexpr int NID_HMAC_WITH_SHA256 = 106;
inline constexpr int NID_HMAC_WITH_SHA384 = 107;
inline constexpr int NID_HMAC_WITH_SHA512 = 108;
inline constexpr int NID_AES_128_CBC = 109;
inline constexpr int NID_AES_192_CBC = 110;
inline constexpr int NID_AES_256_CBC = 111;
inline constexpr int NID_DES_EDE3_CBC = 112;
inline constexpr int NID_PBE_SHA1_3DES = 113;
inline constexpr int NID_PBE_SHA1_RC2_128 = 114;
inline constexpr int NID_PBE_SHA1_RC2_40 = 115;
inline constexpr int NID_ARIA_128_CBC = 116;
inline constexpr int NID_ARIA_192_CBC = 117;
inline constexpr int NID_ARIA_256_CBC = 118;
inline constexpr int NID_MGF1 = 119;
inline constexpr int NID_RSAES_OAEP = 120;
inline constexpr int NID_P_SPECIFIED = 121;
inline constexpr int NID_PBMAC1 = 122;

// The standard ARIA-128-CBC identifier that other tools write in PBES2 keys (row
// NID_ARIA_128_CBC). Readers take it as the same cipher as NID_OID_ARIA_CBC, and the key
// files' cipher index still reports it as NID_OID_ARIA_CBC, as it did before it had a row.
inline constexpr char kAria128CbcOid[] = "1.2.410.200046.1.1.2";

// Rows 0 to kObjectCount - 1 in NID order.
extern const ObjectRow ObjectTable[kObjectCount];

// First NID whose identifier text is exactly `text[0..length)`; 0 when none (or length 0).
int OBJ_NidFromText(const char* text, size_t length);
// NID of a type-6 value's dotted text; 0 for null or unknown.
int OBJ_NidFromValue(const AsnValue* value);
// New type-6 value holding the row's identifier; null for NID 0, 43, and NIDs outside the table.
AsnValue* OBJ_ValueFromNid(int nid);
// The row of a NID; any NID outside the table gives row 0. Never null.
const ObjectRow* OBJ_Row(int nid);

}  // namespace quillon
