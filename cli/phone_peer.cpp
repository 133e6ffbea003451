#include "phone_peer.h"

#include <cstring>

#include "exchange/cert_exchange.h"
#include "asn1/der.h"
#include "bignum/bignum.h"
#include "cipher/hmac.h"
#include "cipher/pbe.h"
#include "cipher/random.h"
#include "cipher/seed.h"
#include "cipher/sha1.h"
#include "core/secret.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"

namespace quillon::cli {
namespace {

constexpr size_t kSessionKeyLength = 16;
constexpr size_t kModulusBytes = 128;

AsnValue* OctetStringItem(const DerElement* element, int index) {
    return static_cast<AsnValue*>(DER_GetItem(element, index, DER_OCTET_STRING));
}

// Follows a path of item indexes down from `element`; null when an item is missing.
DerElementPtr Descend(const DerElement* element, std::initializer_list<int> path) {
    DerElementPtr current;
    for (int index : path) {
        current.reset(DER_GetItemElement(current ? current.get() : element, index));
        if (!current) return nullptr;
    }
    return current;
}

// The plaintext SEQUENCE { OCTET STRING certificate, OCTET STRING private key }.
bool ReadPair(const DerElement* pair, Bytes& certificate, Bytes& private_key) {
    AsnValuePtr cert_value(OctetStringItem(pair, 0));
    AsnValuePtr key_value(OctetStringItem(pair, 1));
    if (!cert_value || !key_value) return false;
    certificate.assign(cert_value->data, cert_value->data + cert_value->length);
    private_key.assign(key_value->data, key_value->data + key_value->length);
    return true;
}

}  // namespace

PhonePeer::PhonePeer(const std::string& exchange_code) {
    valid_ = exchange_code.size() == kExchangeCodeLength && CES_DeriveCodeKey(exchange_code.c_str(), code_key_);
}

bool PhonePeer::AnswerPublicKey(const uint8_t* message, size_t length, Bytes& reply) {
    // Step 2: the modulus, SEED-encrypted under the code key, is item 1.
    DerElementPtr parsed(DER_Parse(message, length));
    if (!parsed || DER_ItemCount(parsed.get()) != 2) return false;
    AsnValuePtr encrypted_modulus(OctetStringItem(parsed.get(), 1));
    SecureBytes plain;
    // The session key is RSA-1024: anything else is not the PC this code was given to.
    if (!encrypted_modulus ||
        !SEED_CBC_CryptBytes(kDecrypt, code_key_, nullptr, encrypted_modulus->data, encrypted_modulus->length, plain) ||
        plain.size() != kModulusBytes || (plain[0] & 0x80) == 0)
        return false;
    modulus_.assign(plain.begin(), plain.end());

    // Step 3: a fresh session key, RSA-encrypted under (n, 3).
    session_key_.resize(kSessionKeyLength);
    if (!RANDOM_Bytes(session_key_.data(), session_key_.size())) return false;
    BigNumPtr n(BIGNUM_FromBytes(modulus_.data(), static_cast<uint32_t>(modulus_.size()), nullptr));
    BigNumPtr e(BIGNUM_New());
    RsaKeyPtr key(RSAKEY_New());
    if (!n || !e || !key || !BIGNUM_SetWord(e.get(), 3) ||
        !RSAKEY_SetComponents(key.get(), n.get(), e.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        return false;
    Bytes sealed_key(modulus_.size());
    uint32_t sealed_length = 0;
    if (!RSA_PublicEncrypt(key.get(), sealed_key.data(), &sealed_length, session_key_.data(),
                           static_cast<uint32_t>(session_key_.size())))
        return false;

    // The answer: SEQUENCE { INTEGER 0, OCTET STRING sealed key }; item 0 is not examined by the PC.
    DerElementPtr answer(DER_New());
    BigNumPtr zero(BIGNUM_New());
    AsnValuePtr sealed_value(ASNVALUE_FromOctets(sealed_key.data(), sealed_length));
    uint8_t* bytes = nullptr;
    if (!answer || !zero || !sealed_value || !DER_Append(answer.get(), DER_INTEGER, zero.get(), 1) ||
        !DER_Append(answer.get(), DER_OCTET_STRING, sealed_value.get(), static_cast<int32_t>(sealed_length)))
        return false;
    const int32_t total = DER_ToBytes(answer.get(), &bytes);
    if (total <= 0) return false;
    reply.assign(bytes, bytes + total);
    MEM_Free(bytes);
    return true;
}

bool PhonePeer::OpenSealed(const uint8_t* message, size_t length, Bytes& certificate, Bytes& private_key) const {
    DerElementPtr parsed(DER_Parse(message, length));
    if (!parsed) return false;
    BigNumPtr version(static_cast<BigNum*>(DER_GetItem(parsed.get(), 0, DER_INTEGER)));
    AsnValuePtr ciphertext(OctetStringItem(parsed.get(), 1));
    DerElementPtr mac_sequence(static_cast<DerElement*>(DER_GetItem(parsed.get(), 2, DER_SEQUENCE)));
    if (!version || BIGNUM_GetWord(version.get()) != 1 || !ciphertext || !mac_sequence) return false;
    AsnValuePtr received_mac(OctetStringItem(mac_sequence.get(), 1));
    if (!received_mac || received_mac->length != 20) return false;

    // Decrypt under the session key, then check the MAC over the plaintext.
    SecureBytes plain;
    if (!SEED_CBC_CryptBytes(kDecrypt, session_key_.data(), nullptr, ciphertext->data, ciphertext->length, plain)) return false;
    SecureBytes mac_key_material(code_key_, code_key_ + sizeof code_key_);
    mac_key_material.insert(mac_key_material.end(), session_key_.begin(), session_key_.end());
    uint8_t mac_key[20], mac[20];
    const bool computed = SHA1_Digest(mac_key_material.data(), mac_key_material.size(), mac_key) &&
                          HMAC_SHA1(mac_key, sizeof mac_key, plain.data(), plain.size(), mac);
    MEM_Wipe(mac_key, sizeof mac_key);
    if (!computed) return false;
    if (!CT_Equal(mac, sizeof mac, received_mac->data, received_mac->length)) return false;

    DerElementPtr pair(DER_Parse(plain.data(), plain.size()));
    return pair && ReadPair(pair.get(), certificate, private_key);
}

bool PhonePeer::OpenPfx(const uint8_t* pfx, size_t length, Bytes& certificate, Bytes& private_key) const {
    DerElementPtr parsed(DER_Parse(pfx, length));
    if (session_key_.size() < 16 || !parsed || DER_ItemCount(parsed.get()) != 3) return false;
    DerElementPtr auth(DER_GetItemElement(parsed.get(), 1));
    DerElementPtr mac_data(DER_GetItemElement(parsed.get(), 2));
    DerElementPtr digest_info = mac_data ? Descend(mac_data.get(), {0}) : nullptr;
    AsnValuePtr received(digest_info ? OctetStringItem(digest_info.get(), 1) : nullptr);
    AsnValuePtr salt(mac_data ? OctetStringItem(mac_data.get(), 1) : nullptr);
    if (!auth || !received || !salt) return false;

    // The MAC first: HMAC-SHA1 of the authSafe element under SHA-1(session key || salt).
    uint8_t* auth_bytes = nullptr;
    const int32_t auth_length = DER_ToBytes(auth.get(), &auth_bytes);
    SecureBytes material(session_key_.begin(), session_key_.begin() + 16);
    material.insert(material.end(), salt->data, salt->data + salt->length);
    uint8_t mac_key[20], mac[20];
    const bool computed = auth_length > 0 && SHA1_Digest(material.data(), material.size(), mac_key) &&
                          HMAC_SHA1(mac_key, sizeof mac_key, auth_bytes, static_cast<size_t>(auth_length), mac);
    MEM_Free(auth_bytes);
    MEM_Wipe(mac_key, sizeof mac_key);
    if (!computed) return false;
    if (!CT_Equal(mac, sizeof mac, received->data, received->length)) return false;

    // authSafe [0] -> OCTET STRING -> AuthenticatedSafe -> ContentInfo [0] -> EncryptedData -> ciphertext.
    DerElementPtr wrapped = Descend(auth.get(), {1});
    AsnValuePtr safe(wrapped ? OctetStringItem(wrapped.get(), 0) : nullptr);
    DerElementPtr authenticated(safe ? DER_Parse(safe->data, safe->length) : nullptr);
    DerElementPtr content = authenticated ? Descend(authenticated.get(), {0, 1, 0, 1}) : nullptr;
    AsnValuePtr ciphertext(content ? OctetStringItem(content.get(), 2) : nullptr);
    if (!ciphertext) return false;
    SecureBytes plain;
    if (!SEED_CBC_CryptBytes(kDecrypt, session_key_.data(), kPbeFixedIv, ciphertext->data, ciphertext->length, plain))
        return false;
    // SafeContents -> SafeBag -> [0] -> the pair.
    DerElementPtr contents(DER_Parse(plain.data(), plain.size()));
    DerElementPtr pair = contents ? Descend(contents.get(), {0, 1, 0}) : nullptr;
    return pair && ReadPair(pair.get(), certificate, private_key);
}

}  // namespace quillon::cli
