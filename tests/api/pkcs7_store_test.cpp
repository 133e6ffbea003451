#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/binstr_holder.h"
#include "support/fixture_file.h"
#include "quilloncrypto.h"

namespace quillon::test {
namespace {

constexpr int64_t kAt = 1748736000;  // 2025-06-01T00:00:00Z

std::vector<uint8_t> Chain(const std::string& name) { return FixtureBytes("chain/" + name); }

// The signer's path is checked in the store after its signature, with the certificates the
// SignedData carries lent for the call only.
TEST(Pkcs7VerifyWithStore, SignersPathInTheStore) {
    const struct {
        const char* file;
        bool crls;
        uint32_t flags;
        int32_t expected;
    } cases[] = {
        {"signed_carried.p7", false, 0, QC_OK},
        {"signed_carried.p7", true, QC_TRUST_REQUIRE_CRL, QC_OK},
        {"signed_carried.p7", false, QC_TRUST_REQUIRE_CRL, QC_ERR_TRUST_NO_CRL},
        {"signed_alone.p7", false, 0, QC_ERR_TRUST_ISSUER},
        {"signed_revoked.p7", true, QC_TRUST_REQUIRE_CRL, QC_ERR_TRUST_REVOKED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TrustStore* store = TRUST_Create();
        Binstr root(Chain("root.der")), signed_data(Chain(c.file)), content, signer;
        ASSERT_EQ(TRUST_AddTrusted(store, &root.b), QC_OK);
        if (c.crls)
            for (const char* name : {"root.crl", "int1.crl", "int2.crl"}) {
                Binstr crl(Chain(name));
                ASSERT_EQ(TRUST_AddCrl(store, &crl.b), QC_OK);
            }
        EXPECT_EQ(PKCS7_VerifyDataWithStore(&signed_data.b, nullptr, store, kAt, c.flags, &content.b, &signer.b),
                  c.expected);
        EXPECT_EQ(content.bytes().empty(), c.expected != QC_OK);
        if (c.expected == QC_OK) {
            EXPECT_EQ(content.bytes(), Chain("content.txt"));
            EXPECT_EQ(TRUST_GetPathLength(store), 4);
        }
        // Nothing carried stays behind in the store.
        Binstr leaf(Chain("ee_sha256.der"));
        EXPECT_EQ(TRUST_Verify(store, &leaf.b, kAt, 0), QC_ERR_TRUST_ISSUER);
        // And the signature alone still verifies as before.
        EXPECT_EQ(PKCS7_VerifyData(&signed_data.b, nullptr, nullptr, nullptr), QC_OK);
        TRUST_Free(store);
    }
    Binstr signed_data(Chain("signed_carried.p7"));
    EXPECT_EQ(PKCS7_VerifyDataWithStore(&signed_data.b, nullptr, nullptr, kAt, 0, nullptr, nullptr),
              QC_ERR_NULL_ARGUMENT);
    TrustStore* store = TRUST_Create();
    EXPECT_EQ(PKCS7_VerifyDataWithStore(&signed_data.b, nullptr, store, kAt, 8, nullptr, nullptr),
              QC_ERR_NULL_ARGUMENT);
    // A changed content octet: the signature fails before any path is sought.
    const std::string text(reinterpret_cast<char*>(signed_data.b.data), signed_data.b.length);
    signed_data.b.data[text.find("Signed under")] ^= 1;
    EXPECT_EQ(PKCS7_VerifyDataWithStore(&signed_data.b, nullptr, store, kAt, 0, nullptr, nullptr), QC_ERR_SIGNATURE);
    TRUST_Free(store);
}

}  // namespace
}  // namespace quillon::test
