// SignedData and EnvelopedData as received. The first byte picks what the rest is:
//   even: a SignedData (bare or in a ContentInfo) to verify, its content embedded;
//   odd:  an EnvelopedData to open with the fixture recipient's key and certificate.
// Whatever the bytes, the checks end in a result code: never a crash, a leak or a read past them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pkcs/pkcs7_open.h"
#include "pkcs/pkcs7_signed.h"

namespace {

std::vector<uint8_t> Fixture(const char* name) {
    std::ifstream file(std::string(QUILLON_FIXTURES) + "/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.empty()) std::abort();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> key = Fixture("pkcs8/user_plain.der");
    static const std::vector<uint8_t> cert = Fixture("certs/recipient_utf8.der");
    if (size < 1) return 0;
    // An exact-size copy, so that any read past the input is caught.
    std::vector<uint8_t> input(data + 1, data + size);
    quillon::MemBytes content, signer;
    if (data[0] & 1) {
        quillon::PKCS7_OpenEnvelopeDer(key.data(), key.size(), cert.data(), cert.size(), input.data(), input.size(),
                                       &content);
    } else {
        quillon::PKCS7_VerifyDer(input.data(), input.size(), nullptr, 0, false, &content, &signer);
    }
    return 0;
}
