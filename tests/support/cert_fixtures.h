// The committed certificate fixtures and OpenSSL's reading of them, the oracle of the
// certificate tests.
#pragma once

#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

inline std::vector<uint8_t> ReadCert(const std::string& name) {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/certs/" + name + ".der", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct X509Deleter {
    void operator()(X509* x) const { X509_free(x); }
};
using OsslCert = std::unique_ptr<X509, X509Deleter>;

inline OsslCert OsslParse(const std::vector<uint8_t>& der) {
    const unsigned char* p = der.data();
    return OsslCert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

// The fixtures that decode, and those the decoder refuses by design.
inline const std::vector<std::string>& DecodableCerts() {
    static const std::vector<std::string> names = {"ca",       "user_utf8",  "user_sha1",   "user_bmp",
                                                   "user_kcdsa", "user_uid", "user_strings"};
    return names;
}

}  // namespace quillon::test
