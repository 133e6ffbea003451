// The phone side of the certificate exchange, written with OpenSSL alone: an independent peer
// for the library's exchange session. Messages are built and read byte by byte here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/tlv.h"

namespace quillon::test {


struct TlvView {
    uint8_t tag;
    ByteVec contents;
};
// The items of a constructed element (whole input must be one element); nullopt when malformed.
std::optional<std::vector<TlvView>> ReadItems(const ByteVec& element);

// PKCS#7 padding; the zero IV unless one is given.
ByteVec SeedCbc(bool encrypt, const ByteVec& key, const ByteVec& input, const ByteVec& iv = ByteVec(16, 0));
ByteVec Sha1(const ByteVec& data);
ByteVec HmacSha1(const ByteVec& key, const ByteVec& data);

struct OpenSslPhone {
    explicit OpenSslPhone(std::string exchange_code);

    // Recovers the session modulus from the public-key message (nullopt if it is not one).
    std::optional<ByteVec> ReadPublicKeyMessage(const ByteVec& message);
    // RSA (n, 3) with PKCS#1 v1.5 type 2 padding of `session_key`, wrapped as the session-key message.
    ByteVec MakeSessionKeyMessage(const ByteVec& modulus, const ByteVec& session_key);

    ByteVec MacKey() const;  // SHA-1 of code key then session key
    // Sealed message of `version`; the MAC item is appended when `with_mac` is set.
    ByteVec Seal(const ByteVec& certificate, const ByteVec& private_key, uint8_t version = 1,
                 bool with_mac = true) const;
    // Opens and verifies a sealed message; nullopt on any failure.
    std::optional<std::pair<ByteVec, ByteVec>> Open(const ByteVec& message) const;

    std::string code;
    ByteVec code_key;
    ByteVec session_key;
};

}  // namespace quillon::test
