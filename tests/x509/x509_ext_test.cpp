#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include "asn1/der.h"
#include "core/mem.h"
#include "support/cert_fixtures.h"
#include "x509/ext_text.h"
#include "x509/x509_cert.h"

namespace {

using namespace quillon;
using namespace quillon::test;
using Bytes = std::vector<uint8_t>;
using Cert = Owned<quillon::X509Cert, X509_Free>;

constexpr ExtQuery kQueries[] = {ExtQuery::KeyUsage,      ExtQuery::BasicConstraints, ExtQuery::CertPolicy,
                                 ExtQuery::CertPolicyIds, ExtQuery::ExtKeyUsage,      ExtQuery::SubjectAltName,
                                 ExtQuery::AuthKeyId,     ExtQuery::SubjectKeyId,     ExtQuery::CrlDistPoints,
                                 ExtQuery::CrlUrls};

Cert Decode(const Bytes& der) {
    DerElementPtr element(DER_Parse(der.data(), der.size()));
    quillon::X509Cert* cert = nullptr;
    return Cert(element && X509_Decode(element.get(), &cert) ? cert : nullptr);
}

// Every query, into a roomy and a cramped buffer; only the documented results come back.
void QueryAll(const PointerList* extensions) {
    static char roomy[8192], cramped[24];
    for (ExtQuery q : kQueries) {
        for (auto [buffer, size] : {std::pair<char*, int32_t>{roomy, sizeof roomy}, {cramped, sizeof cramped}}) {
            const ExtText r = X509Ext_Text(extensions, q, buffer, size);
            EXPECT_TRUE(r == ExtText::kDone || r == ExtText::kAbsent || r == ExtText::kMalformed ||
                        r == ExtText::kTooSmall)
                << static_cast<int>(r);
        }
    }
}

TEST(X509ExtText, KoreanLabelsAreTheirEucKrBytes) {
    const std::pair<const char*, const char*> labels[] = {
        {kLabelRealName, "\t\t실명 = "},
        {kLabelHashAlg, "\t\t\t해쉬 알고리즘="},
        {kLabelCertIssuer, "인증서 발급자:\n"},
        {kLabelDirectory, "디렉토리 주소:\n\t"},
    };
    for (const auto& [label, utf8] : labels) {
        iconv_t cd = iconv_open("EUC-KR", "UTF-8");
        char out[64] = {};
        char* src = const_cast<char*>(utf8);
        char* dst = out;
        size_t src_left = std::strlen(utf8), dst_left = sizeof out - 1;
        ASSERT_NE(iconv(cd, &src, &src_left, &dst, &dst_left), static_cast<size_t>(-1));
        iconv_close(cd);
        EXPECT_EQ(std::string(label), std::string(out)) << utf8;
    }
    EXPECT_EQ(std::strlen(kLabelRealName), 9u);
    EXPECT_EQ(std::strlen(kLabelHashAlg), 17u);
    EXPECT_EQ(std::strlen(kLabelCertIssuer), 15u);
    EXPECT_EQ(std::strlen(kLabelDirectory), 16u);
}

// Each extension's value cut at every length and with every byte changed, in an exact-size
// block so that a read past the OCTET STRING is caught: the decoders stay inside it.
TEST(X509ExtText, DecodesStayInsideTheExtensionValue) {
    for (const char* name : {"ext_common", "ext_korean", "ext_many"}) {
        Cert cert = Decode(ReadCert(name));
        ASSERT_TRUE(cert) << name;
        const long live = MEM_LiveBlocks();
        for (int i = 0; i < X509_ListCount(cert->tbs->extensions); ++i) {
            AsnValue* value = static_cast<X509Extension*>(X509_ListGet(cert->tbs->extensions, i))->value;
            const Bytes original(value->data, value->data + value->length);
            uint8_t* kept = value->data;
            auto run = [&](const Bytes& bytes, size_t n) {
                value->data = static_cast<uint8_t*>(MEM_Alloc(n));
                if (n) std::memcpy(value->data, bytes.data(), n);
                value->length = static_cast<uint32_t>(n);
                QueryAll(cert->tbs->extensions);
                MEM_Free(value->data);
            };
            for (size_t n = 0; n < original.size(); ++n) run(original, n);
            for (size_t at = 0; at < original.size(); ++at) {
                for (uint8_t change : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(original[at] ^ 0x80)}) {
                    Bytes corrupt = original;
                    corrupt[at] = change;
                    run(corrupt, corrupt.size());
                }
            }
            value->data = kept;
            value->length = static_cast<uint32_t>(original.size());
        }
        EXPECT_EQ(MEM_LiveBlocks(), live) << name;
    }
}

// The certificate sweep, carried on to the extension queries of whatever still decodes.
TEST(X509ExtText, CorruptedCertificatesNeverCrashTheQueries) {
    const Bytes original = ReadCert("ext_korean");
    const long live = MEM_LiveBlocks();
    for (size_t i = 0; i < original.size(); ++i) {
        for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(original[i] ^ 0x80)}) {
            Bytes der = original;
            der[i] = value;
            if (Cert cert = Decode(der)) QueryAll(cert->tbs->extensions);
        }
    }
    EXPECT_EQ(MEM_LiveBlocks(), live);
}

}  // namespace
