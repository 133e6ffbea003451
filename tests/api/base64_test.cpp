#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "quilloncrypto.h"
#include "support/random_bytes.h"

namespace {

struct Result {
    int32_t rc;
    std::string text;  // output bytes, empty when the record is empty
    bool empty;
};

Result RunCodec(int32_t (*fn)(const BINSTR*, BINSTR*), const std::string& in) {
    BINSTR input{reinterpret_cast<unsigned char*>(const_cast<char*>(in.data())), static_cast<uint32_t>(in.size())};
    BINSTR output;
    BINSTR_Create(&output);
    Result r{fn(&input, &output), {}, output.data == nullptr};
    if (output.data) {
        r.text.assign(reinterpret_cast<char*>(output.data), output.length);
        EXPECT_EQ(output.data[output.length], 0) << "output must be followed by a zero byte";
        EXPECT_EQ(r.rc, static_cast<int32_t>(output.length));
    } else {
        EXPECT_EQ(output.length, 0u);
    }
    BINSTR_Delete(&output);
    return r;
}
Result Encode(const std::string& in) { return RunCodec(BASE64_Encode, in); }
Result Decode(const std::string& in) { return RunCodec(BASE64_Decode, in); }

std::string OpenSslEncode(const std::string& in) {
    std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
    out.resize(n);
    return out;
}

std::string WithoutLineFeeds(std::string s) {
    std::erase(s, '\n');
    return s;
}

TEST(Base64Encode, GroupsPaddingAndLineBreaks) {
    EXPECT_EQ(Encode("abc").text, "YWJj");
    EXPECT_EQ(Encode(std::string(1, '\0')).text, "AA==");
    EXPECT_EQ(Encode(std::string(2, '\0')).text, "AAA=");
    struct Case { size_t input, length, line_feeds; };
    for (const Case c : {Case{57, 76, 0}, Case{58, 81, 1}, Case{114, 153, 1}, Case{115, 158, 2}, Case{171, 230, 2}}) {
        const Result r = Encode(std::string(c.input, 'x'));
        ASSERT_EQ(r.rc, static_cast<int32_t>(c.length)) << c.input;
        EXPECT_EQ(std::count(r.text.begin(), r.text.end(), '\n'), static_cast<long>(c.line_feeds)) << c.input;
        EXPECT_NE(r.text.back(), '\n');
        for (size_t at = 76; at < r.text.size(); at += 77) EXPECT_EQ(r.text[at], '\n') << c.input;
    }
    const Result empty = Encode("");
    EXPECT_TRUE(empty.rc == 0 && empty.empty);
}

TEST(Base64Decode, AcceptedForms) {
    const std::pair<const char*, const char*> cases[] = {
        {"YWJj", "abc"}, {"YW\nJj", "abc"}, {"YW\r\nJj", "abc"}, {"Y W\tJ*j", "abc"}, {"\nYWJj\r\n", "abc"},
        {"YWJj\n\n", "abc"}, {"YQ==", "a"}, {"YWI=", "ab"}, {"YQ=\n=", "a"}};
    for (const auto& [text, plain] : cases) {
        const Result r = Decode(text);
        EXPECT_EQ(r.rc, static_cast<int32_t>(std::strlen(plain))) << text;
        EXPECT_EQ(r.text, plain) << text;
    }
}

// A zero result never hands out a buffer, text without symbols included.
TEST(Base64Decode, RefusedFormsLeaveTheOutputEmpty) {
    for (const char* text : {"YW\rJj", "YWJj\r", "YQ=", "YQ==YQ==", "Y===", "YQ=a", "Y", "YWJjY", "==", "=", "", "!!\n**",
                             // complete groups followed by a lone pad group: more bytes than the estimate
                             "AAAAAAAA==", "AAAAAAAAAAAA==", "AAAA=", "AAAAAAAA\n=="}) {
        const Result r = Decode(text);
        EXPECT_EQ(r.rc, 0) << text;
        EXPECT_TRUE(r.empty) << text;
    }
    BINSTR out;
    BINSTR_Create(&out);
    EXPECT_EQ(BASE64_Decode(nullptr, &out) + BASE64_Decode(&out, nullptr), 0);
    EXPECT_EQ(BASE64_Encode(nullptr, &out) + BASE64_Encode(&out, nullptr), 0);
}

// Random inputs: our encoding agrees with OpenSSL's (line feeds aside), and our decoder
// recovers the bytes from OpenSSL's text with LF, CR LF and junk inserted.
TEST(Base64, AgreesWithOpenSslOnRandomInputs) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 400; ++round) {
        const size_t size = round < 300 ? static_cast<size_t>(round) + 1 : rng() % 5000 + 1;
        const auto bytes = quillon::test::SeededBytes(rng, size);
        const std::string plain(bytes.begin(), bytes.end());
        const std::string reference = OpenSslEncode(plain);

        const Result ours = Encode(plain);
        ASSERT_EQ(WithoutLineFeeds(ours.text), reference) << size;
        ASSERT_EQ(Decode(ours.text).text, plain) << size;

        std::string noisy;
        for (char c : reference) {
            switch (rng() % 16) {
                case 0: noisy += '\n'; break;
                case 1: noisy += "\r\n"; break;
                case 2: noisy += static_cast<char>("!@#$% \t*-_~.,"[rng() % 13]); break;
                case 3: noisy += static_cast<char>(0x80 + rng() % 0x80); break;
                default: break;
            }
            noisy += c;
        }
        const Result decoded = Decode(noisy);
        ASSERT_EQ(decoded.rc, static_cast<int32_t>(size)) << size;
        ASSERT_EQ(decoded.text, plain) << size;
    }
}

}  // namespace
