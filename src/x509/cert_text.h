// Text renderings of certificate fields: hex numbers, public keys, validity times, raw bytes.
#pragma once

#include <cstdint>

#include "asn1/asn_value.h"

namespace quillon {

struct BigNum;
struct RsaKey;

// Hex of `number` at text[at], with BIGNUM_ToHex's capacity rule over `capacity` bytes.
// Returns the new text length, or -1 when it does not fit.
int32_t X509_AppendHex(const BigNum* number, char* text, int32_t at, int32_t capacity);
// "n=<hex>,e=<hex>" / "p=..,q=..,g=..,y=..": 1, or 0 when it does not fit in `size` bytes.
int X509_RsaKeyText(const RsaKey* key, char* text, int32_t size);
int X509_KcdsaKeyText(BigNum* const* params, char* text, int32_t size);
// YYYY-MM-DD hh:mm:ss in Korean time into 20 bytes: 1, or 0 when the time does not parse.
int X509_TimeText(const AsnValue* time, char* out);
// Upper-case hex of `length` bytes and a terminator: 1, or 0 when it does not fit.
int X509_HexText(const uint8_t* bytes, uint32_t length, char* buffer, int32_t size);

}  // namespace quillon
