#include "rsa/rsa_der.h"

#include "asn1/der.h"
#include "bignum/bignum.h"
#include "core/mem.h"
#include "rsa/rsa_key.h"

namespace quillon {
namespace {

constexpr int kPrivateItems = 9;  // version, n, e, d, p, q, dP, dQ, qInv

// The first `count` items of a SEQUENCE as numbers, starting at `first`.
bool ReadNumbers(const DerElement* sequence, int first, int count, BigNumPtr* numbers) {
    for (int i = 0; i < count; ++i) {
        numbers[i].reset(static_cast<BigNum*>(DER_GetItem(sequence, first + i, DER_INTEGER)));
        if (!numbers[i]) return false;
    }
    return true;
}

DerElementPtr ParseSequence(const uint8_t* der, size_t available) {
    if (!der || available == 0) return nullptr;
    DerElementPtr sequence(DER_Parse(der, available));
    if (!sequence || *sequence->identifier != kDerSequenceId) return nullptr;
    return sequence;
}

}  // namespace

RsaKey* RSA_DecodePublicKey(const uint8_t* der, size_t available) {
    DerElementPtr sequence = ParseSequence(der, available);
    if (!sequence || DER_ItemCount(sequence.get()) < 2) return nullptr;
    BigNumPtr parts[2];
    if (!ReadNumbers(sequence.get(), 0, 2, parts)) return nullptr;
    RsaKeyPtr key(RSAKEY_New());
    if (!key || !RSAKEY_SetComponents(key.get(), parts[0].get(), parts[1].get(), nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr))
        return nullptr;
    key->is_private = 0;
    return key.release();
}

RsaKey* RSA_DecodePrivateKey(const uint8_t* der, size_t available) {
    DerElementPtr sequence = ParseSequence(der, available);
    if (!sequence || DER_ItemCount(sequence.get()) < kPrivateItems) return nullptr;
    BigNumPtr parts[kPrivateItems - 1];
    if (!ReadNumbers(sequence.get(), 1, kPrivateItems - 1, parts)) return nullptr;
    RsaKeyPtr key(RSAKEY_New());
    // Stored order matches the encoded one: n, e, d, p, q, dP, dQ, qInv.
    if (!key || !RSAKEY_SetComponents(key.get(), parts[0].get(), parts[1].get(), parts[2].get(), parts[3].get(),
                                      parts[4].get(), parts[5].get(), parts[6].get(), parts[7].get()))
        return nullptr;
    key->is_private = 1;
    return key.release();
}

int RSA_EncodePublicKey(const RsaKey* key, DerElement* out) {
    if (!key || !out || !key->n || !key->e) return 0;
    DER_Reset(out);
    if (DER_AppendInteger(out, key->n) && DER_AppendInteger(out, key->e)) return 1;
    DER_Reset(out);
    return 0;
}

int RSA_EncodePrivateKey(const RsaKey* key, DerElement* out) {
    if (!key || !out) return 0;
    const BigNum* numbers[] = {key->n, key->e, key->d, key->p, key->q, key->dP, key->dQ, key->qInv};
    for (const BigNum* number : numbers)
        if (!number) return 0;
    DER_Reset(out);
    BigNumPtr version(BIGNUM_New());
    bool ok = version && DER_AppendInteger(out, version.get());
    for (const BigNum* number : numbers) ok = ok && DER_AppendInteger(out, number);
    if (ok) return 1;
    DER_Reset(out);
    return 0;
}

}  // namespace quillon
