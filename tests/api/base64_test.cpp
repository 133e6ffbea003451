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
