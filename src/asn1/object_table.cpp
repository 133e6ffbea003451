#include "asn1/object_table.h"

#include <string_view>

namespace quillon {

// Names are kept byte for byte as renderings and peers expect them, misspellings included.
constexpr ObjectRow ObjectTable[kObjectCount] = {
    {"UNDEF", "undefined", "0.0"},  // 0
    {"RC4", "rc4", "1.2.840.113549.3.4"},  // 1
    {"rsaEncryption", "rsaEncryption", "1.2.840.113549.1.1.1"},  // 2
    {"X509", "X509", "2.5.4"},  // 3
    {"CN", "commonName", "2.5.4.3"},  // 4
    {"C", "countryName", "2.5.4.6"},  // 5
    {"L", "localityName", "2.5.4.7"},  // 6
    {"ST", "stateOrProvinceName", "2.5.4.8"},  // 7
    {"O", "organizationName", "2.5.4.10"},  // 8
    {"OU", "organizationalUnitName", "2.5.4.11"},  // 9
    {"RSA", "rsa", "2.5.8.1.1"},  // 10
    {"pkcs7", "pkcs7", "1.2.840.113549.1.7"},  // 11
    {"pkcs7-data", "pkcs7-data", "1.2.840.113549.1.7.1"},  // 12
    {"pkcs7-signedData", "pkcs7-signedData", "1.2.840.113549.1.7.2"},  // 13
    {"pkcs7-envelopedData", "pkcs7-envelopedData", "1.2.840.113549.1.7.3"},  // 14
    {"pkcs7-signedAndEnvelopedData", "pkcs7-signedAndEnvelopedData", "1.2.840.113549.1.7.4"},  // 15
    {"pkcs7-digestData", "pkcs7-digestData", "1.2.840.113549.1.7.5"},  // 16
    {"pkcs7-encryptedData", "pkcs7-encryptedData", "1.2.840.113549.1.7.6"},  // 17
    {"SHA", "sha", "1.3.14.3.2.18"},  // 18
    {"RSA-SHA", "shaWithRSAEncryption", "1.3.14.3.2.15"},  // 19
    {"emailAddress", "emailAddress", "1.2.840.113549.1.9.1"},  // 20
    {"unstructuredName", "unstructuredName", "1.2.840.113549.1.9.2"},  // 21
    {"contentType", "contentType", "1.2.840.113549.1.9.3"},  // 22
    {"messageDigest", "messageDigest", "1.2.840.113549.1.9.4"},  // 23
    {"signingTime", "signingTime", "1.2.840.113549.1.9.5"},  // 24
    {"countersignature", "countersignature", "1.2.840.113549.1.9.6"},  // 25
    {"challengePassword", "challengePassword", "1.2.840.113549.1.9.7"},  // 26
    {"unstructuredAddress", "unstructuredAddress", "1.2.840.113549.1.9.8"},  // 27
    {"extendedCertificateAttributes", "extendedCertificateAttributes", "1.2.840.113549.1.9.9"},  // 28
    {"SHA1", "sha1", "1.3.14.3.2.26"},  // 29
    {"RSA-SHA1", "sha1WithRSAEncryption", "1.2.840.113549.1.1.5"},  // 30
    {"subjectKeyIdentifier", "X509v3 Subject Key Identifier", "2.5.29.14"},  // 31
    {"keyUsage", "X509v3 Key Usage", "2.5.29.15"},  // 32
    {"privateKeyUsagePeriod", "X509v3 Private Key Usage Period", "2.5.29.16"},  // 33
    {"subjectAltName", "X509v3 Subject Alternative Name", "2.5.29.17"},  // 34
    {"issuerAltName", "X509v3 Issuer Alternative Name", "2.5.29.18"},  // 35
    {"basicConstraints", "X509v3 Basic Constraints", "2.5.29.19"},  // 36
    {"crlNumber", "X509v3 CRL Number", "2.5.29.20"},  // 37
    {"certificatePolicies", "X509v3 Certificate Policies", "2.5.29.32"},  // 38
    {"authorityKeyIdentifier", "X509v3 Authority Key Identifier", "2.5.29.35"},  // 39
    {"GN", "givenName", "2.5.4.42"},  // 40
    {"SN", "surname", "2.5.4.4"},  // 41
    {"initials", "initials", "2.5.4.43"},  // 42
    {"(null)", "(null)", ""},  // 43
    {"crlDistributionPoints", "X509v3 CRL Distribution Points", "2.5.29.31"},  // 44
    {"serialNumber", "serialNumber", "2.5.4.5"},  // 45
    {"title", "title", "2.5.4.12"},  // 46
    {"description", "description", "2.5.4.13"},  // 47
    {"extendedKeyUsage", "X509v3 Extended Key Usage", "2.5.29.37"},  // 48
    {"keyBag", "keyBag", "1.2.840.113549.1.12.10.1.1"},  // 49
    {"pkcs8ShroudedKeyBag", "pkcs8ShroudedKeyBag", "1.2.840.113549.1.12.10.1.2"},  // 50
    {"certBag", "certBag", "1.2.840.113549.1.12.10.1.3"},  // 51
    {"crlBag", "crlBag", "1.2.840.113549.1.12.10.1.4"},  // 52
    {"secretBag", "secretBag", "1.2.840.113549.1.12.10.1.5"},  // 53
    {"safeContentsBag", "safeContentsBag", "1.2.840.113549.1.12.10.1.6"},  // 54
    {"friendlyName", "friendlyName", "1.2.840.113549.1.9.20"},  // 55
    {"localKeyID", "localKeyID", "1.2.840.113549.1.9.21"},  // 56
    {"x509Certificate", "x509Certificate", "1.2.840.113549.1.9.22.1"},  // 57
    {"x509Crl", "x509Crl", "1.2.840.113549.1.9.23.1"},  // 58
    {"hmacWithSHA1", "hmacWithSHA1", "1.2.840.113549.2.7"},  // 59
    {"pkcs1", "pkcs1", "1.2.840.113549.1.1"},  // 60
    {"pkcs5", "pkcs5", "1.2.840.113549.1.5"},  // 61
    {"subjectDirectoryAttributes", "X509v3 Subject Directory Attributes", "2.5.29.9"},  // 62
    {"issuingDistributionPoint", "X509v3 Issuing Distrubution Point", "2.5.29.28"},  // 63
    {"certificateIssuer", "X509v3 Certificate Issuer", "2.5.29.29"},  // 64
    {"korea", "korea", "1.2.410"},  // 65
    {"kisa", "kisa", "1.2.410.200004"},  // 66
    {"kftc", "kftc", "1.2.410.200005"},  // 67
    {"npki-alg", "npki-alg", "1.2.410.200004.1"},  // 68
    {"SEED-ECB", "seed-ecb", "1.2.410.200004.1.3"},  // 69
    {"SEED-CBC", "seed-cbc", "1.2.410.200004.1.4"},  // 70
    {"SEED-OFB", "seed-ofb128", "1.2.410.200004.1.5"},  // 71
    {"SEED-CFB", "seed-cfb128", "1.2.410.200004.1.6"},  // 72
    {"pbeWithSHA1AndSEED-CBC", "pbeWithSHA1AndSEED-CBC", "1.2.410.200004.1.15"},  // 73
    {"kisa-identifyData", "kisa-identifyData", "1.2.410.200004.6.1"},  // 74
    {"kisa-identifyData2", "kisa-identifyData2", "1.2.410.200004.5.1.1.4"},  // 75
    {"VID", "VID", "1.2.410.200004.10.1.1.1"},  // 76
    {"EncryptedVID", "EncryptedVID", "1.2.410.200004.10.1.1.2"},  // 77
    {"randomNum", "randomNum", "1.2.410.200004.10.1.1.3"},  // 78
    {"yessignCA", "yessignCA", "1.2.410.200005.1"},  // 79
    {"yessignCA-attribute", "yessignCA-attribute", "1.2.410.200005.1.10"},  // 80
    {"yessign-enCert4ssn", "yessign-enCert4ssn", "1.2.410.200005.1.10.1"},  // 81
    {"hmacSHA", "hmacSHA", "1.3.6.1.5.5.8.1.2"},  // 82
    {"id-qt-cps", "Policy Qualifier CPS", "1.3.6.1.5.5.7.2.1"},  // 83
    {"id-qt-unotice", "Policy Qualifier User Notice", "1.3.6.1.5.5.7.2.2"},  // 84
    {"id-kp-timeStamping", "Time Stamping", "1.3.6.1.5.5.7.3.8"},  // 85
    {"id-kp-OCSPSigning", "OCSP Signing", "1.3.6.1.5.5.7.3.9"},  // 86
    {"id-kisa-HSM", "id-kisa-HSM", "1.2.410.200004.10.1.2"},  // 87
    {"KCDSA1", "kcdsa1", "1.2.410.200004.1.21"},  // 88
    {"GPKIpbeWithSHA1AndSEED-CBC", "GPKIpbeWithSHA1AndSEED-CBC", "1.2.410.200004.1.4.2"},  // 89
    {"PBES2", "PBES2", "1.2.840.113549.1.5.13"},  // 90
    {"PBKDF2", "PBKDF2", "1.2.840.113549.1.5.12"},  // 91
    {"OID-ariaCBC", "OID-ariaCBC", "1.2.410.100001.1.20"},  // 92
    // Rows added later go after the last one, so that no stored or exchanged NID moves.
    {"SHA224", "sha224", "2.16.840.1.101.3.4.2.4"},  // 93
    {"SHA256", "sha256", "2.16.840.1.101.3.4.2.1"},  // 94
    {"SHA384", "sha384", "2.16.840.1.101.3.4.2.2"},  // 95
    {"SHA512", "sha512", "2.16.840.1.101.3.4.2.3"},  // 96
    {"RSA-SHA224", "sha224WithRSAEncryption", "1.2.840.113549.1.1.14"},  // 97
    {"RSA-SHA256", "sha256WithRSAEncryption", "1.2.840.113549.1.1.11"},  // 98
    {"RSA-SHA384", "sha384WithRSAEncryption", "1.2.840.113549.1.1.12"},  // 99
    {"RSA-SHA512", "sha512WithRSAEncryption", "1.2.840.113549.1.1.13"},  // 100
    {"RSASSA-PSS", "rsassaPss", "1.2.840.113549.1.1.10"},  // 101
    {"ecdsa-with-SHA256", "ecdsa-with-SHA256", "1.2.840.10045.4.3.2"},  // 102
    {"ecdsa-with-SHA384", "ecdsa-with-SHA384", "1.2.840.10045.4.3.3"},  // 103
    {"ecdsa-with-SHA512", "ecdsa-with-SHA512", "1.2.840.10045.4.3.4"},  // 104
    {"hmacWithSHA224", "hmacWithSHA224", "1.2.840.113549.2.8"},  // 105
    {"hmacWithSHA256", "hmacWithSHA256", "1.2.840.113549.2.9"},  // 106
    {"hmacWithSHA384", "hmacWithSHA384", "1.2.840.113549.2.10"},  // 107
    {"hmacWithSHA512", "hmacWithSHA512", "1.2.840.113549.2.11"},  // 108
    {"AES-128-CBC", "aes-128-cbc", "2.16.840.1.101.3.4.1.2"},  // 109
    {"AES-192-CBC", "aes-192-cbc", "2.16.840.1.101.3.4.1.22"},  // 110
    {"AES-256-CBC", "aes-256-cbc", "2.16.840.1.101.3.4.1.42"},  // 111
    {"DES-EDE3-CBC", "des-ede3-cbc", "1.2.840.113549.3.7"},  // 112
    {"PBE-SHA1-3DES", "pbeWithSHA1And3-KeyTripleDES-CBC", "1.2.840.113549.1.12.1.3"},  // 113
    {"PBE-SHA1-RC2-128", "pbeWithSHA1And128BitRC2-CBC", "1.2.840.113549.1.12.1.5"},  // 114
    {"PBE-SHA1-RC2-40", "pbeWithSHA1And40BitRC2-CBC", "1.2.840.113549.1.12.1.6"},  // 115
    {"ARIA-128-CBC", "aria-128-cbc", "1.2.410.200046.1.1.2"},  // 116
    {"ARIA-192-CBC", "aria-192-cbc", "1.2.410.200046.1.1.7"},  // 117
    {"ARIA-256-CBC", "aria-256-cbc", "1.2.410.200046.1.1.12"},  // 118
    {"MGF1", "mgf1", "1.2.840.113549.1.1.8"},  // 119
    {"RSAES-OAEP", "rsaesOaep", "1.2.840.113549.1.1.7"},  // 120
    {"PSPECIFIED", "pSpecified", "1.2.840.113549.1.1.9"},  // 121
    {"PBMAC1", "PBMAC1", "1.2.840.113549.1.5.14"},  // 122
};

namespace {

constexpr auto kOidLengths = [] {
    struct { size_t of[kObjectCount]; } lengths{};
    for (int i = 0; i < kObjectCount; ++i) lengths.of[i] = std::string_view(ObjectTable[i].oid).size();
    return lengths;
}();

static_assert(kOidLengths.of[NID_PLACEHOLDER] == 0);
static_assert(std::string_view(ObjectTable[NID_SEED_CBC].oid) == "1.2.410.200004.1.4");
static_assert(std::string_view(ObjectTable[NID_OID_ARIA_CBC].short_name) == "OID-ariaCBC");
static_assert(std::string_view(ObjectTable[NID_ECDSA_WITH_SHA512].oid) == "1.2.840.10045.4.3.4");
static_assert(std::string_view(ObjectTable[NID_HMAC_WITH_SHA512].oid) == "1.2.840.113549.2.11");

}  // namespace

int OBJ_NidFromText(const char* text, size_t length) {
    // Length 0 would otherwise find the placeholder row.
    if (!text || length == 0) return 0;
    for (int nid = 0; nid < kObjectCount; ++nid)
        if (kOidLengths.of[nid] == length && std::string_view(ObjectTable[nid].oid, length) == std::string_view(text, length))
            return nid;
    return 0;
}

int OBJ_NidFromValue(const AsnValue* value) {
    if (!value || !value->data) return 0;
    return OBJ_NidFromText(reinterpret_cast<const char*>(value->data), value->length);
}

AsnValue* OBJ_ValueFromNid(int nid) {
    if (nid <= 0 || nid >= kObjectCount || kOidLengths.of[nid] == 0) return nullptr;
    return ASNVALUE_FromOidText(ObjectTable[nid].oid);
}

const ObjectRow* OBJ_Row(int nid) {
    if (nid < 0 || nid >= kObjectCount) return &ObjectTable[0];
    return &ObjectTable[nid];
}

}  // namespace quillon
