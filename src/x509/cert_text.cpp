// Text renderings of certificate fields for the CERT_* queries. Each writes into the caller's
// buffer within `size`.
#include "x509/cert_text.h"

#include <cstdio>
#include <cstring>

#include "asn1/time_value.h"
#include "bignum/bignum.h"
#include "rsa/rsa_key.h"
#include "x509/x509_cert.h"

namespace quillon {

int32_t X509_AppendHex(const BigNum* number, char* text, int32_t at, int32_t capacity) {
    if (!number || capacity <= 0) return -1;
    int length = capacity;
    if (!BIGNUM_ToHex(number, text + at, &length)) return -1;
    return at + length;
}

namespace {

// ",x=" then the number, if the room tests pass.
int32_t AppendLabelledHex(const char* label, const BigNum* number, char* text, int32_t at, int32_t size) {
    if (size - at - 2 < 3) return -1;
    std::memcpy(text + at, label, 3);
    return X509_AppendHex(number, text, at + 3, size - at - 3);
}

}  // namespace

int X509_RsaKeyText(const RsaKey* key, char* text, int32_t size) {
    std::memcpy(text, "n=", 2);
    int32_t at = X509_AppendHex(key->n, text, 2, size - 2);
    if (at < 0) return 0;
    at = AppendLabelledHex(",e=", key->e, text, at, size);
    return at < 0 ? 0 : 1;
}

int X509_KcdsaKeyText(BigNum* const* params, char* text, int32_t size) {
    std::memcpy(text, "p=", 2);
    int32_t at = X509_AppendHex(params[kKcdsaP], text, 2, size - 2);
    if (at < 0) return 0;
    static constexpr struct {
        const char* label;
        int slot;
    } kRest[] = {{",q=", kKcdsaQ}, {",g=", kKcdsaG}, {",y=", kKcdsaY}};
    for (const auto& part : kRest) {
        at = AppendLabelledHex(part.label, params[part.slot], text, at, size);
        if (at < 0) return 0;
    }
    return 1;
}

// YYYY-MM-DD hh:mm:ss in Korean time, into 20 bytes.
int X509_TimeText(const AsnValue* time, char* out) {
    std::tm tm;
    if (!TIME_ParseShifted(time, kKstShiftSeconds, &tm)) return 0;
    char text[64];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    TIME_ClearTm(&tm);
    // Two-digit years keep the year at four digits: always 19 characters.
    std::memcpy(out, text, 19);
    out[19] = '\0';
    return 1;
}

int X509_HexText(const uint8_t* bytes, uint32_t length, char* buffer, int32_t size) {
    if (int64_t{size} < 2 * int64_t{length} + 1) return 0;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (uint32_t i = 0; i < length; ++i) {
        buffer[2 * i] = kDigits[bytes[i] >> 4];
        buffer[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    buffer[2 * length] = '\0';
    return 1;
}

}  // namespace quillon
