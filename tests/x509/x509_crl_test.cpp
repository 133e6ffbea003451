#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <string>
#include <vector>

#include "asn1/time_value.h"
#include "support/fixture_file.h"
#include "x509/x509_crl.h"

namespace quillon {
namespace {

using test::FixtureBytes;

int64_t OsslSeconds(const ASN1_TIME* time) {
    int days = 0, seconds = 0;
    ASN1_TIME* epoch = ASN1_TIME_set(nullptr, 0);
    ASN1_TIME_diff(&days, &seconds, epoch, time);
    ASN1_TIME_free(epoch);
    return int64_t{days} * 86400 + seconds;
}

// Every list make_chain.sh writes, decoded here and by OpenSSL.
TEST(X509Crl, DecodesAsOpenSslDoes) {
    const struct {
        const char* name;
        uint32_t flags;
    } lists[] = {{"root.crl", 0},         {"int1.crl", 0},        {"int2.crl", 0},
                 {"int2_plain.crl", 0}, {"root_v1.crl", 0},      {"int2_expired.crl", 0}, {"int2_bad_signature.crl", 0},
                 {"int2_delta.crl", kCrlDelta}, {"int2_indirect.crl", kCrlIndirect}};
    for (const auto& list : lists) {
        SCOPED_TRACE(list.name);
        const std::vector<uint8_t> der = FixtureBytes(std::string("chain/") + list.name);
        const uint8_t* p = der.data();
        X509_CRL* ossl = d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size()));
        ASSERT_NE(ossl, nullptr);
        X509CrlPtr crl(X509Crl_Decode(der.data(), der.size()));
        ASSERT_NE(crl, nullptr);
        EXPECT_EQ(crl->version, static_cast<uint32_t>(X509_CRL_get_version(ossl) + 1));
        EXPECT_EQ(crl->this_update, OsslSeconds(X509_CRL_get0_lastUpdate(ossl)));
        EXPECT_EQ(crl->next_update, OsslSeconds(X509_CRL_get0_nextUpdate(ossl)));
        EXPECT_EQ(crl->flags, list.flags);
        AUTHORITY_KEYID* key_id =
            static_cast<AUTHORITY_KEYID*>(X509_CRL_get_ext_d2i(ossl, NID_authority_key_identifier, nullptr, nullptr));
        EXPECT_EQ(crl->key_id.length, key_id ? static_cast<uint32_t>(ASN1_STRING_length(key_id->keyid)) : 0u);
        AUTHORITY_KEYID_free(key_id);
        const STACK_OF(X509_REVOKED)* revoked = X509_CRL_get_REVOKED(ossl);
        ASSERT_EQ(crl->entry_count, revoked ? static_cast<uint32_t>(sk_X509_REVOKED_num(revoked)) : 0u);
        for (int i = 0; i < sk_X509_REVOKED_num(revoked); ++i) {
            const X509_REVOKED* entry = sk_X509_REVOKED_value(revoked, i);
            const ASN1_INTEGER* serial = X509_REVOKED_get0_serialNumber(entry);
            unsigned char* encoded = nullptr;
            const int length = i2d_ASN1_INTEGER(serial, &encoded);
            const X509CrlEntry* found = X509Crl_Find(crl.get(), encoded + 2, static_cast<uint32_t>(length - 2));
            ASSERT_NE(found, nullptr);
            ASN1_ENUMERATED* reason =
                static_cast<ASN1_ENUMERATED*>(X509_REVOKED_get_ext_d2i(entry, NID_crl_reason, nullptr, nullptr));
            EXPECT_EQ(found->reason, reason ? ASN1_ENUMERATED_get(reason) : kCrlNoReason);
            ASN1_ENUMERATED_free(reason);
            // One more in the last octet names no entry.
            encoded[length - 1] ^= 0x55;
            EXPECT_EQ(X509Crl_Find(crl.get(), encoded + 2, static_cast<uint32_t>(length - 2)), nullptr);
            OPENSSL_free(encoded);
        }
        X509_CRL_free(ossl);
    }
}

// No prefix decodes; no single changed octet gets past the bounds (the sanitizer build watches).
TEST(X509Crl, TruncatedAndAlteredListsStayInBounds) {
    const std::vector<uint8_t> der = FixtureBytes("chain/int2.crl");
    for (size_t length = 0; length < der.size(); ++length) {
        std::vector<uint8_t> prefix(der.begin(), der.begin() + static_cast<long>(length));
        EXPECT_EQ(X509CrlPtr(X509Crl_Decode(prefix.data(), prefix.size())), nullptr) << length;
    }
    for (size_t at = 0; at < der.size(); ++at)
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0x80}, uint8_t{0xFF}, static_cast<uint8_t>(der[at] ^ 1)}) {
            std::vector<uint8_t> copy = der;
            copy[at] = value;
            X509CrlPtr crl(X509Crl_Decode(copy.data(), copy.size()));
            if (crl) EXPECT_LE(crl->der_size, copy.size());
        }
}

}  // namespace
}  // namespace quillon
