// The RSA AlgorithmIdentifiers: PSS and OAEP parameters with their defaults, and what is refused.
#include <gtest/gtest.h>

#include "asn1/der.h"
#include "asn1/object_table.h"
#include "cipher/digest.h"
#include "cipher/openssl_oracle.h"
#include "rsa/rsa_params.h"
#include "support/tlv.h"

namespace quillon {
namespace {

using namespace test;

const ByteVec kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const ByteVec kMgf1 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x08};

ByteVec HashId(const ByteVec& oid, bool null_params = true) {
    return Tlv(0x30, null_params ? Concat({Tlv(0x06, oid), Tlv(0x05, {})}) : Tlv(0x06, oid));
}

TEST(RsaParams, PssParametersReadWithDefaultsAndRefusals) {
    const ByteVec& sha256 = kSha256;
    const ByteVec sha512 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};
    const ByteVec md5 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05};
    const ByteVec& mgf1 = kMgf1;
    const ByteVec oaep = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x07};
    auto mgf = [&](const ByteVec& oid, const ByteVec& hash) { return Tlv(0xA1, Tlv(0x30, Concat({Tlv(0x06, oid), HashId(hash)}))); };
    auto integer = [](uint8_t tag, const ByteVec& value) { return Tlv(tag, Tlv(0x02, value)); };
    const struct {
        const char* what;
        ByteVec params;
        int hash, mgf_hash;
        int salt;  // -1: refused
    } rows[] = {
        {"all defaults", {}, NID_SHA1, NID_SHA1, 20},
        {"sha256 set", Concat({Tlv(0xA0, HashId(sha256)), mgf(mgf1, sha256), integer(0xA2, {0x20})}), NID_SHA256, NID_SHA256, 32},
        {"hash params absent, trailer 1", Concat({Tlv(0xA0, HashId(sha512, false)), integer(0xA3, {0x01})}), NID_SHA512, NID_SHA1, 20},
        {"salt 0", integer(0xA2, {0x00}), NID_SHA1, NID_SHA1, 0},
        {"two-byte salt", integer(0xA2, {0x01, 0x00}), NID_SHA1, NID_SHA1, 256},
        {"out of order", Concat({integer(0xA2, {0x20}), Tlv(0xA0, HashId(sha256))}), 0, 0, -1},
        {"repeated", Concat({Tlv(0xA0, HashId(sha256)), Tlv(0xA0, HashId(sha256))}), 0, 0, -1},
        {"unknown hash", Tlv(0xA0, HashId(md5)), 0, 0, -1},
        {"mask other than MGF1", mgf(oaep, sha256), 0, 0, -1},
        {"trailer 2", integer(0xA3, {0x02}), 0, 0, -1},
        {"negative salt", integer(0xA2, {0x80}), 0, 0, -1},
        {"salt over the cap", integer(0xA2, {0x04, 0x01}), 0, 0, -1},
        {"unknown field [4]", integer(0xA4, {0x01}), 0, 0, -1},
        {"hash with non-NULL parameters", Tlv(0xA0, Tlv(0x30, Concat({Tlv(0x06, sha256), Tlv(0x04, {})}))), 0, 0, -1},
    };
    for (const auto& row : rows) {
        const ByteVec der = Tlv(0x30, row.params);
        DerElementPtr params(DER_Parse(der.data(), der.size()));
        RsaSignScheme scheme{};
        const bool read = RSA_SchemeFromPssParams(params.get(), &scheme);
        ASSERT_EQ(read, row.salt >= 0) << row.what;
        if (!read) continue;
        EXPECT_TRUE(scheme.pss);
        EXPECT_EQ(scheme.hash->nid, row.hash) << row.what;
        EXPECT_EQ(scheme.mgf_hash->nid, row.mgf_hash) << row.what;
        EXPECT_EQ(scheme.salt_length, static_cast<uint32_t>(row.salt)) << row.what;
    }
    // As a whole AlgorithmIdentifier: PSS needs its parameters; PKCS#1 ones take NULL or nothing.
    const ByteVec pss = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0A};
    const ByteVec sha256_rsa = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B};
    const struct {
        ByteVec algorithm;
        bool read;
    } algorithms[] = {
        {Tlv(0x30, Concat({Tlv(0x06, pss), Tlv(0x30, {})})), true},
        {Tlv(0x30, Tlv(0x06, pss)), false},
        {Tlv(0x30, Concat({Tlv(0x06, sha256_rsa), Tlv(0x05, {})})), true},
        {Tlv(0x30, Tlv(0x06, sha256_rsa)), true},
        {Tlv(0x30, Concat({Tlv(0x06, sha256_rsa), Tlv(0x30, {})})), false},
        {Tlv(0x30, Concat({Tlv(0x06, md5), Tlv(0x05, {})})), false},
    };
    for (const auto& a : algorithms) {
        DerElementPtr element(DER_Parse(a.algorithm.data(), a.algorithm.size()));
        RsaSignScheme scheme{};
        EXPECT_EQ(RSA_SchemeFromAlgorithm(element.get(), &scheme), a.read) << ToHex(a.algorithm);
    }
}

}  // namespace
}  // namespace quillon
