#include "exchange/keypair_cert.h"

#include <cstring>

#include "asn1/der.h"
#include "text/base64.h"
#include "bignum/bignum.h"
#include "core/mem.h"
#include "rsa/rsa_key.h"

namespace quillon {

namespace {

constexpr char kBegin[] = "-----BEGIN CERTIFICATE-----";
constexpr char kEnd[] = "-----END CERTIFICATE-----";
constexpr uint8_t kRsaEncryption[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

// One DER element inside [pos, end): its tag, where its content starts and ends.
struct Element {
    uint8_t tag = 0;
    size_t content = 0;
    size_t end = 0;
};

// Reads the header at pos; low tag numbers and definite lengths of up to four octets only.
bool Read(const uint8_t* der, size_t pos, size_t end, Element* e) {
    if (pos >= end || end - pos < 2) return false;
    e->tag = der[pos];
    if ((e->tag & kDerTagNumberMask) == kDerTagNumberMask) return false;
    size_t at = pos + 1;
    size_t len = der[at++];
    if (len & 0x80) {
        const size_t octets = len & 0x7F;
        if (octets == 0 || octets > 4 || end - at < octets) return false;
        len = 0;
        for (size_t i = 0; i < octets; ++i) len = (len << 8) | der[at++];
    }
    if (end - at < len) return false;
    e->content = at;
    e->end = at + len;
    return true;
}

// Steps over `count` elements starting at *pos.
bool Skip(const uint8_t* der, size_t* pos, size_t end, int count) {
    Element e;
    for (int i = 0; i < count; ++i) {
        if (!Read(der, *pos, end, &e)) return false;
        *pos = e.end;
    }
    return true;
}

size_t Base64Length(size_t length) {
    const size_t chars = (length + 2) / 3 * 4;
    return chars == 0 ? 0 : chars + (chars + 75) / 76 - 1;
}

}  // namespace

int KEYPAIR_TemplateFits(const uint8_t* der, size_t length) {
    if (!der || length < kTemplateMinLength) return 0;
    Element cert, tbs, spki, field;
    if (!Read(der, 0, length, &cert) || cert.tag != kDerSequenceId) return 0;
    if (!Read(der, cert.content, cert.end, &tbs) || tbs.tag != kDerSequenceId) return 0;
    size_t pos = tbs.content;
    if (!Read(der, pos, tbs.end, &field)) return 0;
    if (field.tag == kDerExplicit0Id) pos = field.end;  // [0] version
    // serialNumber, signature, issuer, validity, subject
    if (!Skip(der, &pos, tbs.end, 5)) return 0;
    if (!Read(der, pos, tbs.end, &spki) || spki.tag != kDerSequenceId) return 0;
    Element algorithm, bits, rsa, modulus;
    if (!Read(der, spki.content, spki.end, &algorithm) || algorithm.tag != kDerSequenceId) return 0;
    if (algorithm.end - algorithm.content < sizeof kRsaEncryption ||
        std::memcmp(der + algorithm.content, kRsaEncryption, sizeof kRsaEncryption) != 0)
        return 0;
    if (!Read(der, algorithm.end, spki.end, &bits) || bits.tag != DER_BIT_STRING || bits.end == bits.content ||
        der[bits.content] != 0)
        return 0;
    if (!Read(der, bits.content + 1, bits.end, &rsa) || rsa.tag != kDerSequenceId) return 0;
    if (!Read(der, rsa.content, rsa.end, &modulus) || modulus.tag != DER_INTEGER) return 0;
    // The exponent is not patched: a template with another one would announce the wrong key.
    Element exponent;
    if (!Read(der, modulus.end, rsa.end, &exponent) || exponent.tag != DER_INTEGER || exponent.end != exponent.content + 1 ||
        der[exponent.content] != 3)
        return 0;
    // 257 content octets: the zero, then a magnitude whose top bit is set.
    return modulus.content == kTemplateModulusOffset - 1 && modulus.end - modulus.content == kTemplateModulusLength + 1 &&
           der[modulus.content] == 0 && (der[modulus.content + 1] & 0x80) != 0;
}

size_t KEYPAIR_PemSize(size_t length) { return sizeof kBegin - 1 + sizeof kEnd - 1 + Base64Length(length) + 1; }

int32_t KEYPAIR_GenerateIntoTemplate(RsaKey** key_out, uint8_t* cert, size_t length, char* pem_out) {
    *key_out = nullptr;
    if (!KEYPAIR_TemplateFits(cert, length) || KEYPAIR_PemSize(length) > INT32_MAX) return 0;
    RsaKeyPtr key(RSAKEY_New());
    BigNumPtr e(BIGNUM_New());
    if (!key || !e || !BIGNUM_SetWord(e.get(), 3) || !RSAKEY_Generate(key.get(), e.get(), 2048)) return 0;
    if (BIGNUM_NumBits(key->n) != 2048) return 0;
    uint8_t saved[kTemplateModulusLength];
    std::memcpy(saved, cert + kTemplateModulusOffset, sizeof saved);
    BIGNUM_ToBytes(key->n, cert + kTemplateModulusOffset);
    size_t text_length = 0;
    MemBlock text(BASE64_EncodeBytes(cert, length, &text_length));
    if (!text || text_length != Base64Length(length)) {
        std::memcpy(cert + kTemplateModulusOffset, saved, sizeof saved);
        return 0;
    }
    char* o = pem_out;
    std::memcpy(o, kBegin, sizeof kBegin - 1);
    o += sizeof kBegin - 1;
    std::memcpy(o, text.get(), text_length);
    o += text_length;
    std::memcpy(o, kEnd, sizeof kEnd - 1);
    o += sizeof kEnd - 1;
    *o = '\0';
    *key_out = key.release();
    return static_cast<int32_t>(o - pem_out);
}

}  // namespace quillon
