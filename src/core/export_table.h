// Every export of the library with its ordinal, and whether this build implements it.
// The build reads this list to write the linker's export list (and, for Windows, the
// module-definition file); a test checks the shared library against it.
#pragma once

// QUILLON_EXPORT_ENTRY(ordinal, name, implemented)
#define QUILLON_EXPORT_TABLE(QUILLON_EXPORT_ENTRY) \
    QUILLON_EXPORT_ENTRY(1, CreateCertExchangeSession, 1) \
    QUILLON_EXPORT_ENTRY(2, CloseCertExchangeSession, 1) \
    QUILLON_EXPORT_ENTRY(3, EncryptCertExchange, 1) \
    QUILLON_EXPORT_ENTRY(4, DecryptCertExchange, 1) \
    QUILLON_EXPORT_ENTRY(5, EncryptCertExchange_PKCS12, 1) \
    QUILLON_EXPORT_ENTRY(6, DecryptCertExchange_PKCS12, 1) \
    QUILLON_EXPORT_ENTRY(7, GetCertExchangePublicKey, 1) \
    QUILLON_EXPORT_ENTRY(8, SetCertExchangeSessionKey, 1) \
    QUILLON_EXPORT_ENTRY(9, FreeCesMessage, 1) \
    QUILLON_EXPORT_ENTRY(10, BINSTR_Create, 1) \
    QUILLON_EXPORT_ENTRY(11, BINSTR_Delete, 1) \
    QUILLON_EXPORT_ENTRY(12, BINSTR_SetData, 1) \
    QUILLON_EXPORT_ENTRY(13, CERT_Load, 1) \
    QUILLON_EXPORT_ENTRY(14, CERT_Unload, 1) \
    QUILLON_EXPORT_ENTRY(15, CERT_GetVersion, 1) \
    QUILLON_EXPORT_ENTRY(16, CERT_GetSerialNum, 1) \
    QUILLON_EXPORT_ENTRY(17, CERT_GetSignatureAlgorithm, 1) \
    QUILLON_EXPORT_ENTRY(18, CERT_GetSubjectName, 1) \
    QUILLON_EXPORT_ENTRY(19, CERT_GetIssuerName, 1) \
    QUILLON_EXPORT_ENTRY(20, CERT_GetValidity, 1) \
    QUILLON_EXPORT_ENTRY(21, CERT_GetSubjectName_DERFormat, 1) \
    QUILLON_EXPORT_ENTRY(22, CERT_GetPubKey, 1) \
    QUILLON_EXPORT_ENTRY(23, CERT_GetSignature, 1) \
    QUILLON_EXPORT_ENTRY(24, CERT_GetKeyUsage, 1) \
    QUILLON_EXPORT_ENTRY(25, CERT_GetBasicConstraints, 1) \
    QUILLON_EXPORT_ENTRY(26, CERT_GetCertPolicy, 1) \
    QUILLON_EXPORT_ENTRY(27, CERT_GetCertPolicy_PolicyID, 1) \
    QUILLON_EXPORT_ENTRY(28, CERT_GetExtKeyUsage, 1) \
    QUILLON_EXPORT_ENTRY(29, CERT_GetSubjectAltName, 1) \
    QUILLON_EXPORT_ENTRY(30, CERT_GetAuthKeyID, 1) \
    QUILLON_EXPORT_ENTRY(31, CERT_GetSubKeyID, 1) \
    QUILLON_EXPORT_ENTRY(32, CERT_GetCRLDP, 1) \
    QUILLON_EXPORT_ENTRY(33, CERT_GetCRLDP_URL, 1) \
    QUILLON_EXPORT_ENTRY(34, MEDIA_DISK_ReadCert, 1) \
    QUILLON_EXPORT_ENTRY(35, MEDIA_DISK_ReadPriKey, 1) \
    QUILLON_EXPORT_ENTRY(36, MEDIA_CARD_ReadCert, 1) \
    QUILLON_EXPORT_ENTRY(37, MEDIA_CARD_ReadPriKey, 1) \
    QUILLON_EXPORT_ENTRY(38, PRIKEY_Decrypt, 1) \
    QUILLON_EXPORT_ENTRY(39, PRIKEY_CheckKeyPair, 1) \
    QUILLON_EXPORT_ENTRY(40, PRIKEY_Encrypt, 1) \
    QUILLON_EXPORT_ENTRY(41, CRYPT_GenKeyAndIV, 1) \
    QUILLON_EXPORT_ENTRY(42, CRYPT_GetKeyAndIV, 1) \
    QUILLON_EXPORT_ENTRY(43, CRYPT_SetKeyAndIV, 1) \
    QUILLON_EXPORT_ENTRY(44, CRYPT_Encrypt, 1) \
    QUILLON_EXPORT_ENTRY(45, CRYPT_Decrypt, 1) \
    QUILLON_EXPORT_ENTRY(46, BASE64_Encode, 1) \
    QUILLON_EXPORT_ENTRY(47, BASE64_Decode, 1) \
    QUILLON_EXPORT_ENTRY(48, PKCS7_EncryptData, 1) \
    QUILLON_EXPORT_ENTRY(49, MEDIA_CARD_WritePriKey, 1) \
    QUILLON_EXPORT_ENTRY(50, MEDIA_CARD_WriteCert, 1) \
    QUILLON_EXPORT_ENTRY(51, MEDIA_DISK_ReadPriKey_To_OID_Cipher_Index, 1) \
    QUILLON_EXPORT_ENTRY(52, GetRandomByte, 1) \
    QUILLON_EXPORT_ENTRY(53, DecryptSessionKey, 1) \
    QUILLON_EXPORT_ENTRY(54, DecodeCertKeyboard, 1) \
    QUILLON_EXPORT_ENTRY(55, DecryptCBCKeyWithSessionKey, 1) \
    QUILLON_EXPORT_ENTRY(56, GenKeyPairNGenCert, 1) \
    QUILLON_EXPORT_ENTRY(57, DecryptSessionKeyWithPEMKey, 1)
