#include "peer_shim.h"

#include <cstring>
#include <new>

#include "phone_peer.h"
#include "bignum/bignum.h"
#include "pkcs/pkcs8.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

using quillon::Bytes;
using quillon::cli::PhonePeer;

struct TestPhone {
    PhonePeer peer;
    explicit TestPhone(const char* code) : peer(code) {}
};

namespace {

bool CopyOut(const Bytes& from, unsigned char* to, size_t room, size_t* length) {
    if (from.size() > room) return false;
    if (!from.empty()) std::memcpy(to, from.data(), from.size());
    *length = from.size();
    return true;
}

}  // namespace

extern "C" TestPhone* TestPhone_New(const char* exchange_code) {
    auto* phone = new (std::nothrow) TestPhone(exchange_code);
    if (phone && !phone->peer.valid()) {
        delete phone;
        return nullptr;
    }
    return phone;
}

extern "C" void TestPhone_Free(TestPhone* phone) { delete phone; }

extern "C" int TestPhone_Answer(TestPhone* phone, const unsigned char* message, size_t length, unsigned char* reply,
                                size_t room, size_t* reply_length) {
    Bytes answer;
    return phone->peer.AnswerPublicKey(message, length, answer) && CopyOut(answer, reply, room, reply_length);
}

extern "C" int TestPhone_Open(TestPhone* phone, const unsigned char* message, size_t length,
                              unsigned char* certificate, size_t* certificate_length, unsigned char* key,
                              size_t* key_length, size_t room) {
    Bytes cert, private_key;
    return phone->peer.OpenSealed(message, length, cert, private_key) &&
           CopyOut(cert, certificate, room, certificate_length) && CopyOut(private_key, key, room, key_length);
}

extern "C" size_t TestRecipient_Decrypt(const unsigned char* private_key_info, size_t key_length,
                                        const unsigned char* in, size_t in_length, unsigned char* out,
                                        size_t room) {
    quillon::PrivateKeyInfo* info = nullptr;
    if (!quillon::PKCS8_DecodeBytes(private_key_info, key_length, &info)) return 0;
    size_t result = 0;
    if (info->rsaKey && info->rsaKey->n && room >= (quillon::BIGNUM_NumBits(info->rsaKey->n) + 7u) / 8u) {
        uint32_t out_length = 0;
        if (quillon::RSA_PrivateDecrypt(info->rsaKey, out, &out_length, in, static_cast<uint32_t>(in_length),
                                        quillon::kRsaPkcs1Padding))
            result = out_length;
    }
    quillon::PKCS8_Free(info);
    return result;
}
