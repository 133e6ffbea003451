// DER built by hand: an independent encoder for test peers and fuzz harnesses.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quillon::test {

using ByteVec = std::vector<uint8_t>;

// Tag-length-value in DER with the minimal length form.
inline ByteVec Tlv(uint8_t tag, const ByteVec& contents) {
    ByteVec out{tag};
    const size_t n = contents.size();
    if (n < 0x80) {
        out.push_back(static_cast<uint8_t>(n));
    } else {
        ByteVec len;
        for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(0x80 | len.size()));
        out.insert(out.end(), len.begin(), len.end());
    }
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

inline ByteVec Concat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Contents octets of the object identifiers the PKCS#7 and PKCS#12 peers write, by hand.
inline const ByteVec kOidPkcs7Data = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
inline const ByteVec kOidPkcs7EnvelopedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x03};
inline const ByteVec kOidPkcs7EncryptedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x06};
inline const ByteVec kOidSecretBag = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x0A, 0x01, 0x05};
inline const ByteVec kOidSeedCbc = {0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x01, 0x04};  // 1.2.410.200004.1.4
inline const ByteVec kOidSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
// The IV of the PKCS#12 form: the ASCII digits "5820463917352804".
inline const ByteVec kPfxIv = {'5', '8', '2', '0', '4', '6', '3', '9', '1', '7', '3', '5', '2', '8', '0', '4'};

}  // namespace quillon::test
