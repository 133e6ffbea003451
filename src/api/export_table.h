// Every export of the library with its ordinal: the original 57 keep theirs, later exports
// take 58 on and are only ever appended.
// The build reads this list to write the linker's export list (and, for Windows, the
// module-definition file); a test checks the shared library against it.
#pragma once

// QUILLON_EXPORT_ENTRY(ordinal, name)
#define QUILLON_EXPORT_TABLE(QUILLON_EXPORT_ENTRY) \
    QUILLON_EXPORT_ENTRY(1, CreateCertExchangeSession) \
    QUILLON_EXPORT_ENTRY(2, CloseCertExchangeSession) \
    QUILLON_EXPORT_ENTRY(3, EncryptCertExchange) \
    QUILLON_EXPORT_ENTRY(4, DecryptCertExchange) \
    QUILLON_EXPORT_ENTRY(5, EncryptCertExchange_PKCS12) \
    QUILLON_EXPORT_ENTRY(6, DecryptCertExchange_PKCS12) \
    QUILLON_EXPORT_ENTRY(7, GetCertExchangePublicKey) \
    QUILLON_EXPORT_ENTRY(8, SetCertExchangeSessionKey) \
    QUILLON_EXPORT_ENTRY(9, FreeCesMessage) \
    QUILLON_EXPORT_ENTRY(10, BINSTR_Create) \
    QUILLON_EXPORT_ENTRY(11, BINSTR_Delete) \
    QUILLON_EXPORT_ENTRY(12, BINSTR_SetData) \
    QUILLON_EXPORT_ENTRY(13, CERT_Load) \
    QUILLON_EXPORT_ENTRY(14, CERT_Unload) \
    QUILLON_EXPORT_ENTRY(15, CERT_GetVersion) \
    QUILLON_EXPORT_ENTRY(16, CERT_GetSerialNum) \
    QUILLON_EXPORT_ENTRY(17, CERT_GetSignatureAlgorithm) \
    QUILLON_EXPORT_ENTRY(18, CERT_GetSubjectName) \
    QUILLON_EXPORT_ENTRY(19, CERT_GetIssuerName) \
    QUILLON_EXPORT_ENTRY(20, CERT_GetValidity) \
    QUILLON_EXPORT_ENTRY(21, CERT_GetSubjectName_DERFormat) \
    QUILLON_EXPORT_ENTRY(22, CERT_GetPubKey) \
    QUILLON_EXPORT_ENTRY(23, CERT_GetSignature) \
    QUILLON_EXPORT_ENTRY(24, CERT_GetKeyUsage) \
    QUILLON_EXPORT_ENTRY(25, CERT_GetBasicConstraints) \
    QUILLON_EXPORT_ENTRY(26, CERT_GetCertPolicy) \
    QUILLON_EXPORT_ENTRY(27, CERT_GetCertPolicy_PolicyID) \
    QUILLON_EXPORT_ENTRY(28, CERT_GetExtKeyUsage) \
    QUILLON_EXPORT_ENTRY(29, CERT_GetSubjectAltName) \
    QUILLON_EXPORT_ENTRY(30, CERT_GetAuthKeyID) \
    QUILLON_EXPORT_ENTRY(31, CERT_GetSubKeyID) \
    QUILLON_EXPORT_ENTRY(32, CERT_GetCRLDP) \
    QUILLON_EXPORT_ENTRY(33, CERT_GetCRLDP_URL) \
    QUILLON_EXPORT_ENTRY(34, MEDIA_DISK_ReadCert) \
    QUILLON_EXPORT_ENTRY(35, MEDIA_DISK_ReadPriKey) \
    QUILLON_EXPORT_ENTRY(36, MEDIA_CARD_ReadCert) \
    QUILLON_EXPORT_ENTRY(37, MEDIA_CARD_ReadPriKey) \
    QUILLON_EXPORT_ENTRY(38, PRIKEY_Decrypt) \
    QUILLON_EXPORT_ENTRY(39, PRIKEY_CheckKeyPair) \
    QUILLON_EXPORT_ENTRY(40, PRIKEY_Encrypt) \
    QUILLON_EXPORT_ENTRY(41, CRYPT_GenKeyAndIV) \
    QUILLON_EXPORT_ENTRY(42, CRYPT_GetKeyAndIV) \
    QUILLON_EXPORT_ENTRY(43, CRYPT_SetKeyAndIV) \
    QUILLON_EXPORT_ENTRY(44, CRYPT_Encrypt) \
    QUILLON_EXPORT_ENTRY(45, CRYPT_Decrypt) \
    QUILLON_EXPORT_ENTRY(46, BASE64_Encode) \
    QUILLON_EXPORT_ENTRY(47, BASE64_Decode) \
    QUILLON_EXPORT_ENTRY(48, PKCS7_EncryptData) \
    QUILLON_EXPORT_ENTRY(49, MEDIA_CARD_WritePriKey) \
    QUILLON_EXPORT_ENTRY(50, MEDIA_CARD_WriteCert) \
    QUILLON_EXPORT_ENTRY(51, MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index) \
    QUILLON_EXPORT_ENTRY(52, GetRandomByte) \
    QUILLON_EXPORT_ENTRY(53, DecryptSessionKey) \
    QUILLON_EXPORT_ENTRY(54, DecodeCertKeyboard) \
    QUILLON_EXPORT_ENTRY(55, DecryptCBCKeyWithSessionKey) \
    QUILLON_EXPORT_ENTRY(56, GenKeyPairNGenCert) \
    QUILLON_EXPORT_ENTRY(57, DecryptSessionKeyWithPEMKey) \
    QUILLON_EXPORT_ENTRY(58, QC_ErrorText) \
    QUILLON_EXPORT_ENTRY(59, PRIKEY_EncryptPbes2) \
    QUILLON_EXPORT_ENTRY(60, PRIKEY_Sign) \
    QUILLON_EXPORT_ENTRY(61, CERT_VerifyData) \
    QUILLON_EXPORT_ENTRY(62, CERT_VerifyIssuedBy) \
    QUILLON_EXPORT_ENTRY(63, PKCS7_DecryptData) \
    QUILLON_EXPORT_ENTRY(64, PKCS7_SignData) \
    QUILLON_EXPORT_ENTRY(65, PKCS7_VerifyData) \
    QUILLON_EXPORT_ENTRY(66, PRIKEY_GetRandomNum) \
    QUILLON_EXPORT_ENTRY(67, CERT_GetVID) \
    QUILLON_EXPORT_ENTRY(68, CERT_CheckVID) \
    QUILLON_EXPORT_ENTRY(71, MEDIA_DISK_FindCertificates) \
    QUILLON_EXPORT_ENTRY(72, MEDIA_DISK_FreeCertificates)

// Ordinals held for exports that are not in this table yet; every other ordinal follows the one
// before it.
#define QUILLON_EXPORT_RESERVED_FIRST 69
#define QUILLON_EXPORT_RESERVED_COUNT 2
