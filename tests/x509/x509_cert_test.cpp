#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "api/mem.h"
#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "rsa/rsa_key.h"
#include "support/alloc_fault.h"
#include "support/cert_fixtures.h"
#include "x509/x509_cert.h"
#include "x509/x509_name.h"

namespace {

using namespace quillon;
using namespace quillon::test;
using Element = Owned<DerElement, DER_Free>;
using Cert = Owned<X509Cert, X509_Free>;
using Bytes = std::vector<uint8_t>;

Cert Decode(const Bytes& der, size_t available) {
    Element element(DER_Parse(der.data(), available));
    if (!element) return nullptr;
    X509Cert* cert = nullptr;
    if (!X509_Decode(element.get(), &cert)) {
        EXPECT_EQ(cert, nullptr);
        return nullptr;
    }
    return Cert(cert);
}
Cert Decode(const Bytes& der) { return Decode(der, der.size()); }

std::string Text(const AsnValue* v) {
    return v && v->data ? std::string(reinterpret_cast<const char*>(v->data), v->length) : std::string();
}
std::string Text(const ASN1_OBJECT* object) {
    char buffer[128];
    OBJ_obj2txt(buffer, sizeof buffer, object, 1);
    return buffer;
}
std::string Text(const ASN1_STRING* s) {
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s));
}
Bytes Magnitude(const BigNum* n) {
    Bytes out((BIGNUM_NumBits(n) + 7) / 8);
    if (!out.empty()) BIGNUM_ToBytes(n, out.data());
    return out;
}
Bytes Magnitude(const BIGNUM* n) {
    Bytes out(BN_num_bytes(n));
    BN_bn2bin(n, out.data());
    return out;
}
Bytes Param(EVP_PKEY* key, const char* name) {
    BIGNUM* bn = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &bn), 1) << name;
    Bytes out = bn ? Magnitude(bn) : Bytes();
    BN_free(bn);
    return out;
}

// OpenSSL's entries, first attribute of each RDN, as (OID, tag, contents).
struct Attribute {
    std::string oid;
    uint32_t tag;
    std::string contents;
    bool operator==(const Attribute&) const = default;
};
std::vector<Attribute> Expected(const X509_NAME* name) {
    std::vector<Attribute> out;
    int last_set = -1;
    for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
        const X509_NAME_ENTRY* e = X509_NAME_get_entry(name, i);
        if (X509_NAME_ENTRY_set(e) == last_set) continue;
        last_set = X509_NAME_ENTRY_set(e);
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(e);
        out.push_back({Text(X509_NAME_ENTRY_get_object(e)), static_cast<uint32_t>(ASN1_STRING_type(value)), Text(value)});
    }
    return out;
}
std::vector<Attribute> Actual(const PointerList* name) {
    std::vector<Attribute> out;
    for (int i = 0; i < X509_ListCount(name); ++i) {
        const auto* e = static_cast<const X509NameEntry*>(X509_ListGet(name, i));
        out.push_back({Text(e->object), e->value->type, Text(e->value)});
    }
    return out;
}

class X509Fixture : public ::testing::TestWithParam<std::string> {};

TEST_P(X509Fixture, DecodesWhatOpensslReads) {
    const Bytes der = ReadCert(GetParam());
    ASSERT_FALSE(der.empty());
    OsslCert ossl = OsslParse(der);
    ASSERT_TRUE(ossl);
    Cert cert = Decode(der);
    ASSERT_TRUE(cert);
    const X509Tbs* tbs = cert->tbs;
    ASSERT_NE(tbs, nullptr);

    EXPECT_EQ(tbs->version, static_cast<uint32_t>(X509_get_version(ossl.get())));
    BIGNUM* serial = ASN1_INTEGER_to_BN(X509_get0_serialNumber(ossl.get()), nullptr);
    EXPECT_EQ(Magnitude(tbs->serialNumber), Magnitude(serial));
    BN_free(serial);

    const ASN1_OBJECT* algorithm = nullptr;
    X509_ALGOR_get0(&algorithm, nullptr, nullptr, X509_get0_tbs_sigalg(ossl.get()));
    EXPECT_EQ(Text(tbs->signature), Text(algorithm));
    const ASN1_BIT_STRING* signature = nullptr;
    const X509_ALGOR* outer = nullptr;
    X509_get0_signature(&signature, &outer, ossl.get());
    X509_ALGOR_get0(&algorithm, nullptr, nullptr, outer);
    EXPECT_EQ(Text(cert->signatureAlgorithm), Text(algorithm));
    EXPECT_EQ(Text(cert->signatureValue), Text(signature));
    EXPECT_EQ(cert->signatureValue->unused_bits, 0u);

    EXPECT_EQ(Actual(tbs->issuer), Expected(X509_get_issuer_name(ossl.get())));
    EXPECT_EQ(Actual(tbs->subject), Expected(X509_get_subject_name(ossl.get())));
    EXPECT_EQ(Text(tbs->validity->notBefore), Text(X509_get0_notBefore(ossl.get())));
    EXPECT_EQ(Text(tbs->validity->notAfter), Text(X509_get0_notAfter(ossl.get())));

    const X509PubKey* key = tbs->subjectPublicKeyInfo;
    ASSERT_NE(key, nullptr);
    X509_ALGOR* key_algorithm = nullptr;
    X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, &key_algorithm, X509_get_X509_PUBKEY(ossl.get()));
    X509_ALGOR_get0(&algorithm, nullptr, nullptr, key_algorithm);
    EXPECT_EQ(Text(key->algorithm), Text(algorithm));
    if (OBJ_NidFromValue(key->algorithm) == NID_RSA_ENCRYPTION) {
        ASSERT_NE(key->rsaKey, nullptr);
        EXPECT_EQ(key->kcdsaParams, nullptr);
        EVP_PKEY* pkey = X509_get0_pubkey(ossl.get());
        EXPECT_EQ(Magnitude(key->rsaKey->n), Param(pkey, OSSL_PKEY_PARAM_RSA_N));
        EXPECT_EQ(Magnitude(key->rsaKey->e), Param(pkey, OSSL_PKEY_PARAM_RSA_E));
        EXPECT_EQ(key->rsaKey->present, kRsaHasN | kRsaHasE);
        EXPECT_EQ(key->rsaKey->is_private, 0);
    } else {
        ASSERT_EQ(OBJ_NidFromValue(key->algorithm), NID_KCDSA1);
        EXPECT_EQ(key->rsaKey, nullptr);
        ASSERT_NE(key->kcdsaParams, nullptr);
        FILE* f = std::fopen((std::string(QUILLON_FIXTURES) + "/certs/keys/kcdsa.dsa.pem").c_str(), "r");
        ASSERT_NE(f, nullptr);
        EVP_PKEY* dsa = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
        std::fclose(f);
        ASSERT_NE(dsa, nullptr);
        EXPECT_EQ(Magnitude(key->kcdsaParams[kKcdsaP]), Param(dsa, OSSL_PKEY_PARAM_FFC_P));
        EXPECT_EQ(Magnitude(key->kcdsaParams[kKcdsaQ]), Param(dsa, OSSL_PKEY_PARAM_FFC_Q));
        EXPECT_EQ(Magnitude(key->kcdsaParams[kKcdsaG]), Param(dsa, OSSL_PKEY_PARAM_FFC_G));
        EXPECT_EQ(Magnitude(key->kcdsaParams[kKcdsaY]), Param(dsa, OSSL_PKEY_PARAM_PUB_KEY));
        for (int slot : {3, 5, 6, 7}) EXPECT_EQ(key->kcdsaParams[slot], nullptr);
        EVP_PKEY_free(dsa);
    }

    if (GetParam() == "user_uid") {
        // Unique identifiers present: the extensions are not read.
        EXPECT_EQ(tbs->extensions, nullptr);
        return;
    }
    ASSERT_EQ(X509_ListCount(tbs->extensions), X509_get_ext_count(ossl.get()));
    for (int i = 0; i < X509_get_ext_count(ossl.get()); ++i) {
        X509_EXTENSION* expected = X509_get_ext(ossl.get(), i);
        const auto* extension = static_cast<const X509Extension*>(X509_ListGet(tbs->extensions, i));
        EXPECT_EQ(Text(extension->object), Text(X509_EXTENSION_get_object(expected)));
        EXPECT_EQ(extension->critical, X509_EXTENSION_get_critical(expected) ? 0xFFFFFFFFu : 0u);
        EXPECT_EQ(extension->value->type, 4u);
        EXPECT_EQ(Text(extension->value), Text(X509_EXTENSION_get_data(expected)));
    }
}

INSTANTIATE_TEST_SUITE_P(Certs, X509Fixture, ::testing::ValuesIn(DecodableCerts()));

TEST(X509Decode, RefusesVersionOneAndGeneralizedTime) {
    for (const char* name : {"user_v1", "user_gentime"}) {
        const Bytes der = ReadCert(name);
        ASSERT_FALSE(der.empty());
        EXPECT_FALSE(Decode(der)) << name;
    }
}

// One change of a known byte sequence of user_utf8, with the length kept, and the verdict.
struct Patch {
    const char* what;
    Bytes from, to;
    bool decodes;
};

class X509Patched : public ::testing::TestWithParam<Patch> {};

TEST_P(X509Patched, Decodes) {
    const Patch& p = GetParam();
    Bytes der = ReadCert("user_utf8");
    auto at = std::search(der.begin(), der.end(), p.from.begin(), p.from.end());
    ASSERT_NE(at, der.end()) << p.what;
    std::copy(p.to.begin(), p.to.end(), at);
    EXPECT_EQ(static_cast<bool>(Decode(der)), p.decodes) << p.what;
}

const uint8_t kRsaOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
Bytes RsaOidWithLast(uint8_t last) {
    Bytes b(std::begin(kRsaOid), std::end(kRsaOid));
    b.back() = last;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, X509Patched,
    ::testing::Values(Patch{"version 0", {0xA0, 0x03, 0x02, 0x01, 0x02}, {0xA0, 0x03, 0x02, 0x01, 0x00}, false},
                      Patch{"version 1", {0xA0, 0x03, 0x02, 0x01, 0x02}, {0xA0, 0x03, 0x02, 0x01, 0x01}, true},
                      Patch{"unknown key algorithm", RsaOidWithLast(0x01), RsaOidWithLast(0x07), false},
                      Patch{"notBefore as GeneralizedTime", {0x17, 0x0D, '1', '3'}, {0x18, 0x0D, '1', '3'}, false},
                      Patch{"UTCTime digits are not checked", {0x17, 0x0D, '1', '3'}, {0x17, 0x0D, 'x', '3'}, true},
                      // The [3] wrapper is recognised by its low four bits only.
                      Patch{"extensions as [4]", {0xA3, 0x82}, {0xA4, 0x82}, false},
                      Patch{"extensions as [19]", {0xA3, 0x82}, {0xB3, 0x82}, true}));

// Every byte of a certificate replaced in turn: decoding fails or succeeds, never more.
TEST(X509Decode, SurvivesCorruptionAndTruncation) {
    for (const char* name : {"user_utf8", "user_kcdsa"}) {
        const Bytes original = ReadCert(name);
        const long live = MEM_LiveBlocks();
        for (size_t i = 0; i < original.size(); ++i) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(original[i] ^ 0x80)}) {
                Bytes der = original;
                der[i] = value;
                Decode(der);
            }
        }
        for (size_t n = 0; n < original.size(); ++n) EXPECT_FALSE(Decode(original, n)) << name << " cut at " << n;
        EXPECT_EQ(MEM_LiveBlocks(), live);
    }
}

TEST(X509Decode, AllocationFailures) {
    for (const char* name : {"user_utf8", "user_kcdsa"}) {
        const Bytes der = ReadCert(name);
        Element element(DER_Parse(der.data(), der.size()));
        ASSERT_TRUE(element);
        WalkAllocationFailures(
            [&] {
                X509Cert* cert = nullptr;
                const int r = X509_Decode(element.get(), &cert);
                if (!r && cert) return -1;
                X509_Free(cert);
                return r;
            },
            [&](bool fired, int result) { EXPECT_EQ(result, fired ? 0 : 1) << name; });
    }
}

TEST(X509Decode, RefillsAnExistingObjectOnlyOnSuccess) {
    Cert cert = Decode(ReadCert("user_utf8"));
    ASSERT_TRUE(cert);
    const Bytes ca = ReadCert("ca");
    Element element(DER_Parse(ca.data(), ca.size()));
    X509Cert* same = cert.get();
    ASSERT_EQ(X509_Decode(element.get(), &same), 1);
    EXPECT_EQ(same, cert.get());
    EXPECT_EQ(X509_ListCount(cert->tbs->extensions), 4);

    const Bytes v1 = ReadCert("user_v1");
    Element bad(DER_Parse(v1.data(), v1.size()));
    ASSERT_EQ(X509_Decode(bad.get(), &same), 0);
    EXPECT_EQ(X509_ListCount(cert->tbs->extensions), 4) << "a failed decode leaves the object alone";
    EXPECT_EQ(X509_Decode(nullptr, &same), 0);
    EXPECT_EQ(X509_Decode(element.get(), nullptr), 0);
}

TEST(X509Extensions, FindByNid) {
    Cert cert = Decode(ReadCert("user_utf8"));
    ASSERT_TRUE(cert);
    const PointerList* list = cert->tbs->extensions;
    // keyUsage, basicConstraints, certificatePolicies, extKeyUsage, subjectAltName, AKID, SKID, CRLDP
    struct Find {
        int nid, last, expected;
    };
    for (const Find& f : {Find{NID_KEY_USAGE, -1, 0}, Find{NID_BASIC_CONSTRAINTS, -1, 1},
                          Find{NID_BASIC_CONSTRAINTS, 1, -1}, Find{NID_BASIC_CONSTRAINTS, -7, 1},
                          Find{NID_CRL_DISTRIBUTION_POINTS, 6, 7}, Find{NID_CRL_DISTRIBUTION_POINTS, 7, -1},
                          Find{NID_CRL_DISTRIBUTION_POINTS, 0x7FFFFFFF, -1}, Find{NID_ISSUER_ALT_NAME, -1, -1},
                          Find{NID_UNDEF, -1, -2}, Find{NID_PLACEHOLDER, -1, -2}, Find{93, -1, -2},
                          Find{-4, -1, -2}})
        EXPECT_EQ(X509Ext_FindByNid(list, f.nid, f.last), f.expected) << f.nid << " after " << f.last;
    EXPECT_EQ(X509Ext_FindByNid(nullptr, NID_KEY_USAGE, -1), -1);

    // Duplicates are kept and found in turn.
    PointerList* twice = PLIST_New();
    PLIST_Push(twice, X509_ListGet(list, 1));
    PLIST_Push(twice, X509_ListGet(list, 0));
    PLIST_Push(twice, X509_ListGet(list, 1));
    EXPECT_EQ(X509Ext_FindByNid(twice, NID_BASIC_CONSTRAINTS, -1), 0);
    EXPECT_EQ(X509Ext_FindByNid(twice, NID_BASIC_CONSTRAINTS, 0), 2);
    EXPECT_EQ(X509Ext_FindByNid(twice, NID_BASIC_CONSTRAINTS, 2), -1);
    PLIST_Free(twice);

    EXPECT_EQ(X509_ListCount(nullptr), 0);
    EXPECT_EQ(X509_ListGet(nullptr, 0), nullptr);
    EXPECT_EQ(X509_ListGet(list, 8), nullptr);
    EXPECT_EQ(X509_ListGet(list, -1), nullptr);
}

TEST(X509Extensions, CriticalFlag) {
    Cert ca = Decode(ReadCert("ca"));
    ASSERT_TRUE(ca);
    const int bc = X509Ext_FindByNid(ca->tbs->extensions, NID_BASIC_CONSTRAINTS, -1);
    ASSERT_GE(bc, 0);
    EXPECT_EQ(static_cast<const X509Extension*>(X509_ListGet(ca->tbs->extensions, bc))->critical, 0xFFFFFFFFu);
    const int skid = X509Ext_FindByNid(ca->tbs->extensions, NID_SUBJECT_KEY_IDENTIFIER, -1);
    ASSERT_GE(skid, 0);
    EXPECT_EQ(static_cast<const X509Extension*>(X509_ListGet(ca->tbs->extensions, skid))->critical, 0u);
}

// Re-encoding a name gives OpenSSL's DER, except that a multi-valued RDN keeps one value.
TEST_P(X509Fixture, NameEncodesBackToItsDer) {
    const Bytes der = ReadCert(GetParam());
    OsslCert ossl = OsslParse(der);
    Cert cert = Decode(der);
    ASSERT_TRUE(cert && ossl);
    for (bool subject : {true, false}) {
        const X509_NAME* expected = subject ? X509_get_subject_name(ossl.get()) : X509_get_issuer_name(ossl.get());
        Element name(X509Name_Encode(subject ? cert->tbs->subject : cert->tbs->issuer));
        ASSERT_TRUE(name);
        uint8_t* bytes = nullptr;
        const int32_t n = DER_ToBytes(name.get(), &bytes);
        MemBlock owner(bytes);
        // Decoding the re-encoded name gives the same entries back.
        PointerList* again = nullptr;
        Element reparsed(DER_Parse(bytes, n));
        ASSERT_EQ(X509Name_Decode(reparsed.get(), &again), 1);
        EXPECT_EQ(Actual(again), Expected(expected));
        X509_FreeName(again);
        if (X509_NAME_entry_count(expected) != X509_NAME_ENTRY_set(X509_NAME_get_entry(expected, X509_NAME_entry_count(expected) - 1)) + 1)
            continue;  // multi-valued: second value dropped
        unsigned char* ossl_der = nullptr;
        const int m = i2d_X509_NAME(expected, &ossl_der);
        EXPECT_EQ(Bytes(bytes, bytes + n), Bytes(ossl_der, ossl_der + m));
        OPENSSL_free(ossl_der);
    }
}

TEST(X509Name, MultiValuedRdnKeepsTheFirstEncodedValue) {
    Cert cert = Decode(ReadCert("user_sha1"));
    ASSERT_TRUE(cert);
    // C, O, then the SET {OU=Unit, CN=Multi Value}, which DER orders by encoding: the
    // shorter OU attribute comes first and is the one kept.
    ASSERT_EQ(X509_ListCount(cert->tbs->subject), 3);
    const auto* last = static_cast<const X509NameEntry*>(X509_ListGet(cert->tbs->subject, 2));
    EXPECT_EQ(Text(last->object), "2.5.4.11");
    EXPECT_EQ(Text(last->value), "Unit");
    EXPECT_EQ(X509Name_Decode(nullptr, nullptr), 0);
    EXPECT_EQ(X509Name_Encode(nullptr), nullptr);
}

}  // namespace
