// The committed certificate fixtures and OpenSSL's reading of them, the oracle of the
// certificate tests.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>
#include <openssl/x509.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

// UTF-8 to EUC-KR through the system's converter, independent of the library's table.
inline std::string EucKr(const std::string& utf8) {
    iconv_t cd = iconv_open("EUC-KR", "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char *src = const_cast<char*>(utf8.data()), *dst = out.data();
    size_t src_left = utf8.size(), dst_left = out.size();
    EXPECT_NE(iconv(cd, &src, &src_left, &dst, &dst_left), static_cast<size_t>(-1)) << utf8;
    iconv_close(cd);
    out.resize(out.size() - dst_left);
    return out;
}

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
