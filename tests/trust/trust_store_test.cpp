#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "support/binstr_holder.h"
#include "support/fixture_file.h"
#include "quilloncrypto.h"

namespace quillon::test {
namespace {

constexpr int64_t kAt = 1748736000;  // 2025-06-01T00:00:00Z, the time make_chain.sh judges at

std::vector<uint8_t> Chain(const std::string& name) { return FixtureBytes("chain/" + name); }

// An input record over bytes the test keeps.
struct In {
    std::vector<uint8_t> bytes;
    BINSTR b;
    explicit In(std::vector<uint8_t> v) : bytes(std::move(v)), b{bytes.data(), static_cast<uint32_t>(bytes.size())} {}
    const BINSTR* get() { return &b; }
};

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

struct Store {
    TrustStore* store = TRUST_Create();
    ~Store() { TRUST_Free(store); }
    void Trust(const std::string& name) { ASSERT_EQ(TRUST_AddTrusted(store, In(Chain(name)).get()), QC_OK); }
};

// The store, as the script asked OpenSSL: roots trusted, the rest untrusted, the CRLs given.
struct Case {
    const char* name;
    const char* leaf;
    const char* untrusted;
    const char* crls;
    uint32_t flags;
    int32_t expected;
    int openssl;  // OpenSSL's error number for the same files (0: verified)
};

constexpr const char* kInt = "int2.der int1.der";
constexpr const char* kAll = "root.crl int1.crl int2.crl";
constexpr uint32_t kCrl = QC_TRUST_REQUIRE_CRL;
const Case kCases[] = {
    {"ok_sha256", "ee_sha256.der", kInt, "", 0, QC_OK, 0},
    {"ok_sha1", "ee_sha1.der", kInt, "", 0, QC_OK, 0},
    {"ok_pss", "ee_pss.der", kInt, "", 0, QC_OK, 0},
    {"ok_1024", "ee_1024.der", kInt, "", 0, QC_OK, 0},
    {"ok_crls", "ee_sha256.der", kInt, kAll, kCrl, QC_OK, 0},
    {"ok_crl_v1", "ee_sha256.der", kInt, "root_v1.crl int1.crl int2_plain.crl", kCrl, QC_OK, 0},
    {"expired", "ee_expired.der", kInt, "", 0, QC_ERR_TRUST_VALIDITY, 10},
    {"not_yet_valid", "ee_future.der", kInt, "", 0, QC_ERR_TRUST_VALIDITY, 9},
    {"expired_ignored", "ee_expired.der", kInt, "", QC_TRUST_IGNORE_VALIDITY, QC_OK, 0},
    {"bad_signature", "ee_bad_signature.der", kInt, "", 0, QC_ERR_TRUST_SIGNATURE, 7},
    {"no_issuer", "ee_sha256.der", "int1.der", "", 0, QC_ERR_TRUST_ISSUER, 20},
    {"not_a_ca", "ee_under_ee.der", "ee_issuer.der int2.der int1.der", "", 0, QC_ERR_TRUST_NOT_CA, 79},
    {"path_length", "ee_too_deep.der", "int3.der int2.der int1.der", "", 0, QC_ERR_TRUST_PATH_LENGTH, 25},
    {"key_usage", "ee_bad_usage.der", "int_no_certsign.der int1.der", "", 0, QC_ERR_TRUST_KEY_USAGE, 79},
    {"unknown_critical", "ee_critical.der", kInt, "", 0, QC_ERR_TRUST_CRITICAL, 34},
    {"revoked", "ee_revoked.der", kInt, kAll, kCrl, QC_ERR_TRUST_REVOKED, 23},
    {"revoked_plain", "ee_revoked.der", kInt, "root_v1.crl int1.crl int2_plain.crl", kCrl, QC_ERR_TRUST_REVOKED, 23},
    {"no_crl", "ee_sha256.der", kInt, "root.crl int1.crl", kCrl, QC_ERR_TRUST_NO_CRL, 3},
    {"crl_expired", "ee_sha256.der", kInt, "root.crl int1.crl int2_expired.crl", kCrl, QC_ERR_TRUST_CRL_INVALID, 12},
    {"crl_bad_signature", "ee_sha256.der", kInt, "root.crl int1.crl int2_bad_signature.crl", kCrl,
     QC_ERR_TRUST_CRL_INVALID, 8},
    {"cross_loop", "ee_cross.der", "cross_a_by_b.der cross_b_by_a.der", "", 0, QC_ERR_TRUST_ISSUER, 20},
    // OpenSSL needs cross_b_by_int1 listed first; the store finds the path in this order too.
    {"cross_reached", "ee_cross.der", "cross_a_by_b.der cross_b_by_a.der cross_b_by_int1.der int1.der", "", 0, QC_OK,
     0},
    {"too_long", "ee_long.der",
     "long01.der long02.der long03.der long04.der long05.der long06.der long07.der long08.der long09.der long10.der "
     "long11.der long12.der",
     "", 0, QC_ERR_TRUST_PATH_LENGTH, 22},
};

std::map<std::string, int> OpensslVerdicts() {
    std::ifstream in(std::string(QUILLON_FIXTURES) + "/chain/openssl_verdicts.txt");
    std::map<std::string, int> verdicts;
    std::string name, code;
    while (in >> name >> code) verdicts[name] = code == "unknown" ? -1 : std::stoi(code);
    return verdicts;
}

int32_t VerifyCase(Store& s, const Case& c) {
    s.Trust("root.der");
    for (const auto& name : Words(c.untrusted)) EXPECT_EQ(TRUST_AddUntrusted(s.store, In(Chain(name)).get()), QC_OK);
    for (const auto& name : Words(c.crls)) EXPECT_EQ(TRUST_AddCrl(s.store, In(Chain(name)).get()), QC_OK);
    return TRUST_Verify(s.store, In(Chain(c.leaf)).get(), kAt, c.flags);
}

TEST(TrustStore, AgreesWithOpenSslOnEveryCase) {
    const auto verdicts = OpensslVerdicts();
    ASSERT_EQ(verdicts.size(), std::size(kCases));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(verdicts.count(c.name));
        EXPECT_EQ(verdicts.at(c.name), c.openssl) << "the table no longer matches what OpenSSL said";
        Store s;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(VerifyCase(s, c), c.expected) << QC_ErrorText(c.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

TEST(TrustStore, PathAndRevocationReasonReadBack) {
    Store s;
    ASSERT_EQ(VerifyCase(s, kCases[4]), QC_OK);
    const char* expected[] = {"ee_sha256.der", "int2.der", "int1.der", "root.der"};
    ASSERT_EQ(TRUST_GetPathLength(s.store), 4);
    for (int i = 0; i < 4; ++i) {
        Binstr der;
        ASSERT_EQ(TRUST_GetPathCert(s.store, i, &der.b), QC_OK);
        EXPECT_EQ(der.bytes(), Chain(expected[i])) << i;
    }
    Binstr der;
    EXPECT_EQ(TRUST_GetPathCert(s.store, 4, &der.b), QC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(TRUST_GetPathCert(s.store, -1, &der.b), QC_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(TRUST_GetRevocationReason(s.store), -1);

    Store revoked;
    ASSERT_EQ(VerifyCase(revoked, kCases[15]), QC_ERR_TRUST_REVOKED);
    EXPECT_EQ(TRUST_GetRevocationReason(revoked.store), 1);  // keyCompromise
    EXPECT_EQ(TRUST_GetPathLength(revoked.store), 4);
}

// A delta or indirect CRL alone is refused rather than read as a base CRL; beside the base CRL
// it is left aside.
TEST(TrustStore, DeltaAndIndirectCrlsAreRefused) {
    for (const char* crl : {"int2_delta.crl", "int2_indirect.crl"}) {
        SCOPED_TRACE(crl);
        for (bool with_base : {false, true}) {
            Store s;
            Case c{"", "ee_revoked.der", kInt, "root.crl int1.crl", kCrl, 0, 0};
            s.Trust("root.der");
            EXPECT_EQ(TRUST_AddCrl(s.store, In(Chain(crl)).get()), QC_OK);
            if (with_base) {
                EXPECT_EQ(TRUST_AddCrl(s.store, In(Chain("int2.crl")).get()), QC_OK);
            }
            EXPECT_EQ(VerifyCase(s, c), with_base ? QC_ERR_TRUST_REVOKED : QC_ERR_TRUST_CRL_UNSUPPORTED);
        }
    }
}

// A thousand certificates named like the issuer, under another key and with no key identifier:
// each is a candidate, none verifies, and the answer still comes at once.
TEST(TrustStore, ThousandLookAlikesAnswerQuickly) {
    const std::vector<uint8_t> trap = Chain("trap.der");
    // The serial is the INTEGER after the version: its last octet and the one before it vary.
    size_t serial = 0;
    for (size_t i = 4; i + 3 < trap.size(); ++i)
        if (trap[i] == 0xA0 && trap[i + 1] == 3 && trap[i + 5] == 0x02) {
            serial = i + 7 + trap[i + 6] - 1;
            break;
        }
    ASSERT_NE(serial, 0u);
    for (bool with_issuer : {false, true}) {
        Store s;
        s.Trust("root.der");
        for (int i = 0; i < 1000; ++i) {
            std::vector<uint8_t> copy = trap;
            copy[serial] = static_cast<uint8_t>(i);
            copy[serial - 1] = static_cast<uint8_t>(0x10 + i / 256);
            ASSERT_EQ(TRUST_AddUntrusted(s.store, In(copy).get()), QC_OK);
        }
        if (with_issuer) {
            for (const char* name : {"int2.der", "int1.der"})
                ASSERT_EQ(TRUST_AddUntrusted(s.store, In(Chain(name)).get()), QC_OK);
        }
        const auto start = std::chrono::steady_clock::now();
        const int32_t result = TRUST_Verify(s.store, In(Chain("ee_sha256.der")).get(), kAt, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(result, with_issuer ? QC_OK : QC_ERR_TRUST_SIGNATURE);
    }
}

// Names match after folding case and spaces: the fixture certificates carry their names as
// written, so a root added as PEM from a folder and the real fixtures of the other scripts chain.
TEST(TrustStore, FolderOfPemRootsAndTheOtherFixtures) {
    const auto folder = std::filesystem::temp_directory_path() / "quillon_trust_roots";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "sub");
    auto pem = [](const std::vector<uint8_t>& der) {
        std::string text(4 * (der.size() + 2) / 3 + 1, '\0');
        text.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), der.data(), static_cast<int>(der.size())));
        for (size_t at = 64; at < text.size(); at += 65) text.insert(at, "\n");
        return "-----BEGIN CERTIFICATE-----\r\n" + text + "\r\n-----END CERTIFICATE-----\n";
    };
    std::ofstream(folder / "roots.pem") << "comment\n" << pem(Chain("root.der")) << pem(FixtureBytes("certs/ca.der"));
    std::ofstream(folder / "notes.txt") << "not a certificate";
    Store s;
    EXPECT_EQ(TRUST_AddFolder(s.store, folder.string().c_str()), 2);
    EXPECT_EQ(TRUST_AddFolder(s.store, (folder / "missing").string().c_str()), QC_ERR_FILE_READ);
    const struct {
        const char* name;
        int64_t at;
        int32_t expected;
    } users[] = {{"user_utf8", kAt, QC_OK},        {"user_pss", kAt, QC_OK},      {"user_pss384", kAt, QC_OK},
                 {"user_sha512", kAt, QC_OK},      {"user_bmp", kAt, QC_OK},      {"user_sha1", 1600000000, QC_OK},
                 {"user_sha1", kAt, QC_ERR_TRUST_VALIDITY}};  // expired in 2024
    for (const auto& user : users) {
        SCOPED_TRACE(user.name);
        EXPECT_EQ(TRUST_Verify(s.store, In(FixtureBytes(std::string("certs/") + user.name + ".der")).get(), user.at, 0),
                  user.expected);
        EXPECT_EQ(TRUST_GetPathLength(s.store), 2);
    }
    std::filesystem::remove_all(folder);
}

TEST(TrustStore, ArgumentsAndMalformedInput) {
    Store s;
    In leaf(Chain("ee_sha256.der"));
    In junk(std::vector<uint8_t>{0x30, 0x03, 0x02, 0x01, 0x01});
    BINSTR hollow{nullptr, 4};
    EXPECT_EQ(TRUST_AddTrusted(nullptr, &leaf.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TRUST_AddUntrusted(s.store, &hollow), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TRUST_AddCrl(s.store, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TRUST_AddFolder(s.store, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TRUST_Verify(s.store, &leaf.b, kAt, 4), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TRUST_AddTrusted(s.store, &junk.b), QC_ERR_CERT_DECODE);
    EXPECT_EQ(TRUST_AddUntrusted(s.store, In({0x04, 0x01, 0x00}).get()), QC_ERR_CERT_DECODE);  // not a SEQUENCE
    EXPECT_EQ(TRUST_AddCrl(s.store, &junk.b), QC_ERR_MALFORMED_DER);
    EXPECT_EQ(TRUST_AddCrl(s.store, &leaf.b), QC_ERR_MALFORMED_DER);
    EXPECT_EQ(TRUST_Verify(s.store, &junk.b, kAt, 0), QC_ERR_CERT_DECODE);
    EXPECT_EQ(TRUST_GetPathLength(nullptr), 0);
    EXPECT_EQ(TRUST_GetRevocationReason(nullptr), -1);
    EXPECT_EQ(TRUST_GetPathCert(s.store, 0, nullptr), QC_ERR_NULL_ARGUMENT);
    TRUST_Free(nullptr);
    // The certificate itself trusted is a path of one.
    s.Trust("root.der");
    EXPECT_EQ(TRUST_Verify(s.store, In(Chain("root.der")).get(), kAt, kCrl), QC_OK);
    EXPECT_EQ(TRUST_GetPathLength(s.store), 1);
    // Without a time, now: the fixtures' dates hold until 2032.
    EXPECT_EQ(TRUST_Verify(s.store, &leaf.b, 0, 0), QC_ERR_TRUST_ISSUER);
}

}  // namespace
}  // namespace quillon::test
