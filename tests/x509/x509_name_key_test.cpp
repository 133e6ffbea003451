#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "x509/x509_name_key.h"

namespace quillon {
namespace {

// C=KR, then O and CN of the given string type (V_ASN1_*), DER-encoded by OpenSSL.
std::vector<uint8_t> Name(int type, const char* organization, const char* common_name) {
    X509_NAME* name = X509_NAME_new();
    X509_NAME_add_entry_by_txt(name, "C", V_ASN1_PRINTABLESTRING, reinterpret_cast<const unsigned char*>("KR"), -1, -1, 0);
    X509_NAME_ENTRY* entry = X509_NAME_ENTRY_create_by_txt(nullptr, "O", type, reinterpret_cast<const unsigned char*>(organization), -1);
    X509_NAME_add_entry(name, entry, -1, 0);
    X509_NAME_ENTRY_free(entry);
    entry = X509_NAME_ENTRY_create_by_txt(nullptr, "CN", type, reinterpret_cast<const unsigned char*>(common_name), -1);
    X509_NAME_add_entry(name, entry, -1, 0);
    X509_NAME_ENTRY_free(entry);
    unsigned char* der = nullptr;
    const int length = i2d_X509_NAME(name, &der);
    std::vector<uint8_t> out(der, der + length);
    OPENSSL_free(der);
    X509_NAME_free(name);
    return out;
}

bool Match(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    Bytes key_a, key_b;
    EXPECT_TRUE(X509Name_MatchKey(a.data(), a.size(), &key_a));
    EXPECT_TRUE(X509Name_MatchKey(b.data(), b.size(), &key_b));
    return key_a == key_b;
}

TEST(X509NameKey, ComparesAsRfc5280Asks) {
    constexpr int P = V_ASN1_PRINTABLESTRING, U = V_ASN1_UTF8STRING, I = V_ASN1_IA5STRING;
    const struct {
        int type_a;
        const char *o_a, *cn_a;
        int type_b;
        const char *o_b, *cn_b;
        bool match;
    } cases[] = {
        {P, "Quillon", "Root CA", P, "Quillon", "Root CA", true},
        {P, "Quillon", "Root CA", U, "Quillon", "Root CA", true},
        {P, "Quillon", "Root CA", P, "QUILLON", "root ca", true},
        {U, "  Quillon  Test ", "Root   CA", P, "Quillon Test", "Root CA", true},
        {U, "퀼론", "루트", U, "퀼론", "루트", true},
        {U, "퀼론", "루트", U, "퀼론", "루트 ", true},
        {P, "Quillon", "Root CA", P, "Quillon", "RootCA", false},
        {P, "Quillon", "Root CA", P, "Quillon", "Root CB", false},
        {U, "퀼론", "루트", U, "퀼론", "루트2", false},
        {I, "Quillon", "Root CA", I, "quillon", "Root CA", false},  // other types: byte for byte
        {I, "Quillon", "Root CA", P, "Quillon", "Root CA", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Match(Name(c.type_a, c.o_a, c.cn_a), Name(c.type_b, c.o_b, c.cn_b)), c.match)
            << c.o_a << "/" << c.cn_a << " vs " << c.o_b << "/" << c.cn_b;
}

}  // namespace
}  // namespace quillon
