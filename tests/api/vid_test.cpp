// PRIKEY_GetRandomNum, CERT_GetVID and CERT_CheckVID over the certificates of
// tests/fixtures/make_vid_certs.sh, whose VIDs hashlib computed for a made-up identity number and
// the randomNum of pkcs8/rsa_attrs_plain.der.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/cert_exports.h"
#include "support/pkcs8_fixtures.h"
#include "support/tlv.h"

namespace quillon::test {
namespace {

constexpr char kIdn[] = "8001011234567";  // made up: nobody's number

std::vector<uint8_t> FixtureRandom() {
    std::vector<uint8_t> r(20);
    for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(i);
    return r;
}

int32_t Check(::X509Cert* cert, const char* idn, const std::vector<uint8_t>& random) {
    BINSTR r{const_cast<uint8_t*>(random.data()), static_cast<uint32_t>(random.size())};
    return CERT_CheckVID(cert, idn, &r);
}

TEST(CertVid, RightNumberMatchesAndEveryNearMissIsRefused) {
    const std::vector<uint8_t> random = FixtureRandom();
    const struct {
        const char* cert;
        int32_t get;  // CERT_GetVID
        int32_t nid;
        uint32_t length;
        int32_t check;  // CERT_CheckVID with the right number and random number
    } rows[] = {
        {"vid_sha1", QC_OK, 29, 20, QC_OK},
        {"vid_sha256", QC_OK, 94, 32, QC_OK},
        {"vid_sha512", QC_OK, 96, 64, QC_ERR_MALFORMED_DER},
        {"vid_one_hash", QC_OK, 94, 32, QC_ERR_IDENTITY},
        {"vid_utf8", QC_OK, 94, 32, QC_ERR_IDENTITY},
        {"vid_hyphen", QC_OK, 94, 32, QC_ERR_IDENTITY},
        {"vid_octets", QC_OK, 94, 32, QC_ERR_IDENTITY},
        {"vid_wrong_hash", QC_OK, 94, 20, QC_ERR_IDENTITY},
        {"vid_name_only", QC_ERR_EXTENSION_ABSENT, 0, 0, QC_ERR_EXTENSION_ABSENT},
        {"vid_other_type", QC_ERR_EXTENSION_ABSENT, 0, 0, QC_ERR_EXTENSION_ABSENT},
        {"ext_common", QC_ERR_EXTENSION_ABSENT, 0, 0, QC_ERR_EXTENSION_ABSENT},
        {"ca", QC_ERR_EXTENSION_ABSENT, 0, 0, QC_ERR_EXTENSION_ABSENT},
        {"user_utf8", QC_OK, 29, 21, QC_ERR_IDENTITY},  // 21 bytes: no SHA-1 value
        {"vid_no_virtual_id", QC_ERR_MALFORMED_DER, 0, 0, QC_ERR_MALFORMED_DER},
        {"vid_two", QC_ERR_MALFORMED_DER, 0, 0, QC_ERR_MALFORMED_DER},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cert);
        Loaded cert(row.cert);
        ASSERT_EQ(cert.result, QC_OK);
        const std::vector<uint8_t> kept{0xEE};
        Binstr vid(kept);
        int32_t nid = -1;
        EXPECT_EQ(CERT_GetVID(cert.cert, &nid, &vid.b), row.get);
        EXPECT_EQ(nid, row.get == QC_OK ? row.nid : -1);
        EXPECT_EQ(vid.b.length, row.get == QC_OK ? row.length : 1u);
        EXPECT_EQ(Check(cert.cert, kIdn, random), row.check);
        if (row.check != QC_OK) continue;
        // One digit, one bit, one byte away: none of them matches.
        std::vector<uint8_t> flipped = random, shorter(random.begin(), random.end() - 1);
        flipped[19] ^= 0x01;
        EXPECT_EQ(Check(cert.cert, "8001011234568", random), QC_ERR_IDENTITY);
        EXPECT_EQ(Check(cert.cert, "800101123456", random), QC_ERR_IDENTITY);
        EXPECT_EQ(Check(cert.cert, kIdn, flipped), QC_ERR_IDENTITY);
        EXPECT_EQ(Check(cert.cert, kIdn, shorter), QC_ERR_IDENTITY);
    }
}

TEST(CertVid, ArgumentCodesInTheirOrder) {
    Loaded right("vid_sha256"), none("ca");
    const std::vector<uint8_t> random = FixtureRandom();
    const std::string longest(QC_VID_IDN_MAX, '1'), too_long(QC_VID_IDN_MAX + 1, '1');
    BINSTR r{const_cast<uint8_t*>(random.data()), 20}, hollow{nullptr, 20}, empty{nullptr, 0};
    std::vector<uint8_t> big(QC_VID_RANDOM_MAX + 1, 7), biggest(QC_VID_RANDOM_MAX, 7);
    BINSTR too_big{big.data(), static_cast<uint32_t>(big.size())};
    BINSTR largest{biggest.data(), static_cast<uint32_t>(biggest.size())};
    const struct {
        const char* what;
        ::X509Cert* cert;
        const char* idn;
        const BINSTR* random;
        int32_t code;
    } rows[] = {
        {"null handle", nullptr, kIdn, &r, QC_ERR_NULL_ARGUMENT},
        {"null number", right.cert, nullptr, &r, QC_ERR_NULL_ARGUMENT},
        {"null random number", right.cert, kIdn, nullptr, QC_ERR_NULL_ARGUMENT},
        {"a length without bytes", right.cert, kIdn, &hollow, QC_ERR_NULL_ARGUMENT},
        {"no random number", right.cert, kIdn, &empty, QC_ERR_NULL_ARGUMENT},
        {"random number too long", right.cert, kIdn, &too_big, QC_ERR_NULL_ARGUMENT},
        {"empty number", right.cert, "", &r, QC_ERR_NULL_ARGUMENT},
        {"hyphen", right.cert, "800101-1234567", &r, QC_ERR_NULL_ARGUMENT},
        {"space", right.cert, "800101 1234567", &r, QC_ERR_NULL_ARGUMENT},
        {"trailing line end", right.cert, "8001011234567\n", &r, QC_ERR_NULL_ARGUMENT},
        {"number too long", right.cert, too_long.c_str(), &r, QC_ERR_NULL_ARGUMENT},
        {"arguments before the certificate", none.cert, "800101-1234567", &r, QC_ERR_NULL_ARGUMENT},
        {"no VID", none.cert, kIdn, &r, QC_ERR_EXTENSION_ABSENT},
        {"longest number", right.cert, longest.c_str(), &r, QC_ERR_IDENTITY},
        {"longest random number", right.cert, kIdn, &largest, QC_ERR_IDENTITY},
        {"right", right.cert, kIdn, &r, QC_OK},
    };
    for (const auto& row : rows) EXPECT_EQ(CERT_CheckVID(row.cert, row.idn, row.random), row.code) << row.what;

    Binstr vid;
    int32_t nid = 0;
    EXPECT_EQ(CERT_GetVID(nullptr, &nid, &vid.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetVID(right.cert, nullptr, &vid.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(CERT_GetVID(right.cert, &nid, nullptr), QC_ERR_NULL_ARGUMENT);
}

// A PrivateKeyInfo of the fixture's RSA key with the attribute set given.
std::vector<uint8_t> KeyWithAttributes(const ByteVec& attributes) {
    const std::vector<uint8_t> der = ReadPkcs8("rsa_attrs_plain.der");
    // Version, algorithm and key: the items before the [0] attributes at offset 1218.
    const ByteVec items(der.begin() + 4, der.begin() + 1218);
    return Tlv(0x30, Concat({items, attributes.empty() ? ByteVec{} : Tlv(0xA0, attributes)}));
}

ByteVec Attribute(const ByteVec& oid, std::initializer_list<ByteVec> values) {
    return Tlv(0x30, Concat({oid, Tlv(0x31, Concat(values))}));
}

TEST(PrikeyRandomNum, TheBitStringBytesOrWhyNot) {
    const ByteVec random_oid{0x06, 0x0A, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x0A, 0x01, 0x01, 0x03};
    const ByteVec name_oid{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x14};
    const ByteVec bits = Tlv(0x03, Concat({{0x00}, FixtureRandom()}));
    const ByteVec random = Attribute(random_oid, {bits}), name = Attribute(name_oid, {Tlv(0x1E, {0xD0, 0xA4})});
    const struct {
        const char* what;
        std::vector<uint8_t> key;
        int32_t code;
        std::vector<uint8_t> random;
    } rows[] = {
        {"the fixture", ReadPkcs8("rsa_attrs_plain.der"), QC_OK, FixtureRandom()},
        {"after another attribute", KeyWithAttributes(Concat({name, random})), QC_OK, FixtureRandom()},
        {"one byte", KeyWithAttributes(Attribute(random_oid, {Tlv(0x03, {0x00, 0x5A})})), QC_OK, {0x5A}},
        {"KCDSA key without attributes", ReadPkcs8("kcdsa_plain.der"), QC_ERR_EXTENSION_ABSENT, {}},
        {"no attributes", KeyWithAttributes({}), QC_ERR_EXTENSION_ABSENT, {}},
        {"another attribute only", KeyWithAttributes(name), QC_ERR_EXTENSION_ABSENT, {}},
        {"unused bits", KeyWithAttributes(Attribute(random_oid, {Tlv(0x03, {0x01, 0x5A})})), QC_ERR_MALFORMED_DER, {}},
        {"empty BIT STRING", KeyWithAttributes(Attribute(random_oid, {Tlv(0x03, {0x00})})), QC_ERR_MALFORMED_DER, {}},
        {"OCTET STRING", KeyWithAttributes(Attribute(random_oid, {Tlv(0x04, FixtureRandom())})), QC_ERR_MALFORMED_DER, {}},
        {"two values", KeyWithAttributes(Attribute(random_oid, {bits, bits})), QC_ERR_MALFORMED_DER, {}},
        {"twice", KeyWithAttributes(Concat({random, random})), QC_ERR_MALFORMED_DER, {}},
        {"a certificate", ReadCert("vid_sha256"), QC_ERR_KEY_INVALID, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Binstr key(row.key), out(std::vector<uint8_t>{0xEE});
        EXPECT_EQ(PRIKEY_GetRandomNum(&key.b, &out.b), row.code);
        EXPECT_EQ(out.bytes(), row.code == QC_OK ? row.random : std::vector<uint8_t>{0xEE});
    }
    Binstr key(ReadPkcs8("rsa_attrs_plain.der")), out;
    BINSTR hollow{nullptr, 4}, empty{nullptr, 0};
    EXPECT_EQ(PRIKEY_GetRandomNum(nullptr, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PRIKEY_GetRandomNum(&hollow, &out.b), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PRIKEY_GetRandomNum(&key.b, nullptr), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(PRIKEY_GetRandomNum(&empty, &out.b), QC_ERR_KEY_INVALID);
}

}  // namespace
}  // namespace quillon::test
