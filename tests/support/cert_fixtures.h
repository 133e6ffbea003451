// The committed certificate fixtures and OpenSSL's reading of them, the oracle of the
// certificate tests.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/fixture_file.h"

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

inline std::string Raw(const ASN1_STRING* s) {
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s));
}

inline std::string Utf8ToEucKr(const ASN1_STRING* s) {
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, s);
    const std::string out = EucKr(std::string(reinterpret_cast<char*>(utf8), n > 0 ? n : 0));
    OPENSSL_free(utf8);
    return out;
}

inline std::string OsslShortName(const ASN1_OBJECT* type) { return OBJ_nid2sn(OBJ_obj2nid(type)); }

// OpenSSL's reading of a name in this library's text form: last RDN first, the first value of
// each, values in EUC-KR but the country as encoded; `label` names each attribute type.
inline std::string NameText(const X509_NAME* name, std::string (*label)(const ASN1_OBJECT*) = OsslShortName) {
    std::string out;
    for (int i = 0, last_set = -1; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        if (X509_NAME_ENTRY_set(e) == std::exchange(last_set, X509_NAME_ENTRY_set(e))) continue;
        const ASN1_OBJECT* type = X509_NAME_ENTRY_get_object(e);
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(e);
        const std::string text = OBJ_obj2nid(type) == NID_countryName ? Raw(value) : Utf8ToEucKr(value);
        out = label(type) + "=" + text + (out.empty() ? "" : ",") + out;
    }
    return out;
}

inline std::vector<uint8_t> ReadCert(const std::string& name) { return FixtureBytes("certs/" + name + ".der"); }

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
