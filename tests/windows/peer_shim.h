/* The other ends the DLL test talks to, built from the library's internals into the test
   program itself: the reference phone of the certificate exchange and a PKCS#7 recipient. */
#ifndef QUILLON_PEER_SHIM_H
#define QUILLON_PEER_SHIM_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TestPhone TestPhone;

/* Null when the exchange code is invalid. */
TestPhone* TestPhone_New(const char* exchange_code);
void TestPhone_Free(TestPhone* phone);
/* Answers the PC's public-key message with the session-key message (at most `room` bytes). 1 or 0. */
int TestPhone_Answer(TestPhone* phone, const unsigned char* message, size_t length, unsigned char* reply,
                     size_t room, size_t* reply_length);
/* Opens a sealed message; certificate and key go to the buffers (each `room` bytes). 1 or 0. */
int TestPhone_Open(TestPhone* phone, const unsigned char* message, size_t length, unsigned char* certificate,
                   size_t* certificate_length, unsigned char* key, size_t* key_length, size_t room);

/* RSA PKCS#1 v1.5 decryption with the key of a plain PrivateKeyInfo. Plaintext length, or 0. */
size_t TestRecipient_Decrypt(const unsigned char* private_key_info, size_t key_length, const unsigned char* in,
                             size_t in_length, unsigned char* out, size_t room);

#ifdef __cplusplus
}
#endif

#endif
